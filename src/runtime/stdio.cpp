#include "runtime/stdio.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "runtime/fatal.h"

namespace vantle_native::runtime {
namespace {

constexpr std::string_view console_non_utf8_text =
    "Windows stdio in console mode does not support writing non-UTF-8 byte sequences";
constexpr std::string_view buffered_data_unwritten_text = "failed to write the buffered data";
constexpr std::string_view whole_buffer_unwritten_text = "failed to write whole buffer";
constexpr std::string_view print_failure_prefix = "failed printing to stdout: ";
constexpr SourceLocation print_failure_location{R"(library\std\src\io\stdio)", 993, 9};

std::optional<StandardOutput>& process_standard_output() {
    static std::optional<StandardOutput> instance;
    return instance;
}

}  // namespace

std::string to_text(const IoError& error) {
    switch (error.kind) {
        case IoError::Kind::console_non_utf8: return std::string(console_non_utf8_text);
        case IoError::Kind::buffered_data_unwritten: return std::string(buffered_data_unwritten_text);
        case IoError::Kind::whole_buffer_unwritten: return std::string(whole_buffer_unwritten_text);
        case IoError::Kind::os: break;
    }
    return vantle_native::to_text(error.os);
}

void write_standard_error(std::string_view bytes) {
    while (!bytes.empty()) {
        auto written = write_standard_handle(StandardStream::error, bytes);
        if (!written.ok() || written.value() == 0) return;
        bytes.remove_prefix(written.value());
    }
}

Status<IoError> StandardOutput::write_all(std::string_view bytes) {
    const std::size_t last_line_feed = bytes.rfind('\n');
    if (last_line_feed == std::string_view::npos) return buffer_or_write(bytes);
    auto lines = buffer_or_write(bytes.substr(0, last_line_feed + 1));
    if (!lines.ok()) return lines;
    auto flushed = flush();
    if (!flushed.ok()) return flushed;
    return buffer_or_write(bytes.substr(last_line_feed + 1));
}

Status<IoError> StandardOutput::flush() {
    std::size_t done = 0;
    while (done < held_) {
        auto written = write_platform(std::string_view(buffer_.data() + done, held_ - done));
        if (!written.ok() || written.value() == 0) {
            // Keep what did not reach the platform, drop what did: the two
            // ranges overlap, so the move must allow it.
            std::memmove(buffer_.data(), buffer_.data() + done, held_ - done);
            held_ -= done;
            if (!written.ok()) return Failure{written.error()};
            return Failure{IoError{IoError::Kind::buffered_data_unwritten}};
        }
        done += written.value();
    }
    held_ = 0;
    return Done{};
}

Status<IoError> StandardOutput::buffer_or_write(std::string_view bytes) {
    if (held_ + bytes.size() > capacity) {
        auto flushed = flush();
        if (!flushed.ok()) return flushed;
    }
    if (bytes.size() >= capacity) return write_direct(bytes);
    std::copy(bytes.begin(), bytes.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(held_));
    held_ += bytes.size();
    return Done{};
}

Status<IoError> StandardOutput::write_direct(std::string_view bytes) {
    while (!bytes.empty()) {
        auto written = write_platform(bytes);
        if (!written.ok()) return Failure{written.error()};
        if (written.value() == 0) return Failure{IoError{IoError::Kind::whole_buffer_unwritten}};
        bytes.remove_prefix(written.value());
    }
    return Done{};
}

Result<std::size_t, IoError> StandardOutput::write_platform(std::string_view bytes) {
    if (!target_) target_.emplace(find_standard_target(StandardStream::output));
    return write_standard_target(StandardStream::output, *target_, bytes);
}

namespace {

StandardOutput& standard_output() {
    auto& output = process_standard_output();
    if (!output) output.emplace();
    return *output;
}

void fatal_if_unprinted(const Status<IoError>& written) {
    if (written.ok()) return;
    std::string message(print_failure_prefix);
    message += to_text(written.error());
    fatal_report(message, print_failure_location);
}

}  // namespace

void print_line(std::string_view text) {
    auto& output = standard_output();
    const std::lock_guard hold(output.lock());
    auto written = output.write_all(text);
    if (written.ok()) written = output.write_all("\n");
    fatal_if_unprinted(written);
}

void print_text(std::string_view text) {
    auto& output = standard_output();
    const std::lock_guard hold(output.lock());
    fatal_if_unprinted(output.write_all(text));
}

void flush_standard_output_at_exit() {
    auto& output = process_standard_output();
    if (!output) return;
    std::unique_lock hold(output->lock(), std::try_to_lock);
    if (hold.owns_lock()) (void)output->flush();
}

}  // namespace vantle_native::runtime
