#include "runtime/stdio.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "platform/win32.h"
#include "runtime/fatal.h"
#include "unicode/utf.h"

namespace vantle_native::runtime {
namespace {

constexpr std::string_view console_non_utf8_text =
    "Windows stdio in console mode does not support writing non-UTF-8 byte sequences";
constexpr std::string_view buffered_data_unwritten_text = "failed to write the buffered data";
constexpr std::string_view whole_buffer_unwritten_text = "failed to write whole buffer";
constexpr std::string_view print_failure_prefix = "failed printing to stdout: ";
constexpr SourceLocation print_failure_location{R"(library\std\src\io\stdio)", 993, 9};

// The most UTF-8 bytes converted for one WriteConsoleW call.
constexpr std::size_t console_chunk_bytes = 4096;
constexpr std::size_t max_file_write = std::numeric_limits<DWORD>::max();
// How much standard input is asked for at a time.
constexpr std::size_t input_chunk_bytes = std::size_t{64} * 1024;

Result<HANDLE, IoError> standard_handle(StandardStream stream) {
    const HANDLE handle = GetStdHandle(stream == StandardStream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr) return Failure{IoError{IoError::Kind::os, OsError{ERROR_INVALID_HANDLE}}};
    if (handle == INVALID_HANDLE_VALUE) return Failure{IoError{IoError::Kind::os, last_os_error()}};
    return handle;
}

// The longest prefix of whole, valid UTF-8 characters within one console chunk.
std::size_t valid_utf8_prefix(std::string_view bytes) {
    return unicode::valid_utf8_prefix_length(bytes.substr(0, console_chunk_bytes));
}

// How many bytes of `utf8` the first `units` UTF-16 units stand for.
std::size_t utf8_bytes_of_units(std::string_view utf8, std::size_t units) {
    std::size_t i = 0;
    while (units > 0 && i < utf8.size()) {
        const char32_t c = unicode::next_utf8_code_point(utf8, i);
        units -= std::min<std::size_t>(units, c >= unicode::first_supplementary ? 2 : 1);
    }
    return i;
}

Result<std::size_t, IoError> write_console(HANDLE handle, std::string_view bytes) {
    if (bytes.empty()) return std::size_t{0};
    const std::size_t valid = valid_utf8_prefix(bytes);
    if (valid == 0) return Failure{IoError{IoError::Kind::console_non_utf8}};
    const std::string_view text = bytes.substr(0, valid);
    std::array<WCHAR, console_chunk_bytes> units{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size();) {
        unicode::encode_utf16(unicode::next_utf8_code_point(text, i),
                              [&](std::uint16_t unit) { units[count++] = static_cast<WCHAR>(unit); });
    }
    DWORD written = 0;
    if (!WriteConsoleW(handle, units.data(), static_cast<DWORD>(count), &written, nullptr)) {
        return Failure{IoError{IoError::Kind::os, last_os_error()}};
    }
    // A console that stops between the halves of a pair gets the other half
    // now: it cannot be taken back, and the character must not be cut.
    if (written > 0 && written < count && unicode::is_high_surrogate(static_cast<std::uint16_t>(units[written - 1]))) {
        DWORD low_written = 0;
        if (!WriteConsoleW(handle, &units[written], 1, &low_written, nullptr)) {
            return Failure{IoError{IoError::Kind::os, last_os_error()}};
        }
        written += low_written;
    }
    return written >= count ? valid : utf8_bytes_of_units(text, written);
}

Result<std::size_t, IoError> write_file(HANDLE handle, std::string_view bytes) {
    DWORD written = 0;
    const auto length = static_cast<DWORD>(std::min(bytes.size(), max_file_write));
    if (!WriteFile(handle, bytes.data(), length, &written, nullptr)) {
        return Failure{IoError{IoError::Kind::os, last_os_error()}};
    }
    return static_cast<std::size_t>(written);
}

Result<std::size_t, IoError> write_to(const StandardTarget& target, std::string_view bytes) {
    return target.console ? write_console(target.handle, bytes) : write_file(target.handle, bytes);
}

bool is_invalid_handle(const IoError& error) {
    return error.kind == IoError::Kind::os && error.os.code == static_cast<std::int32_t>(ERROR_INVALID_HANDLE);
}

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

Result<StandardTarget, IoError> find_standard_target(StandardStream stream) {
    auto handle = standard_handle(stream);
    if (!handle.ok()) return Failure{handle.error()};
    DWORD mode = 0;
    return StandardTarget{handle.value(), GetConsoleMode(handle.value(), &mode) != FALSE};
}

Result<std::size_t, IoError> write_standard_target(StandardStream stream, const Result<StandardTarget, IoError>& target,
                                                  std::string_view bytes) {
    auto written = target.ok() ? write_to(target.value(), bytes) : Result<std::size_t, IoError>(Failure{target.error()});
    // Output nobody can receive is dropped without a word, as a console
    // program with no standard output is expected to behave.
    if (!written.ok() && stream == StandardStream::output && is_invalid_handle(written.error())) {
        return bytes.size();
    }
    return written;
}

Result<std::size_t, IoError> write_standard_handle(StandardStream stream, std::string_view bytes) {
    return write_standard_target(stream, find_standard_target(stream), bytes);
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

// A pipe whose writer has gone, or an input the platform rejects as invalid,
// is the end of the input.
bool is_end_of_input(OsError error) {
    return error.code == static_cast<std::int32_t>(ERROR_BROKEN_PIPE) ||
           error.code == static_cast<std::int32_t>(ERROR_INVALID_HANDLE);
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

Result<std::string, IoError> read_standard_input() {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr) return std::string();
    if (handle == INVALID_HANDLE_VALUE) return Failure{IoError{IoError::Kind::os, last_os_error()}};
    std::string input;
    for (;;) {
        const std::size_t held = input.size();
        input.resize(held + input_chunk_bytes);
        DWORD read = 0;
        const BOOL done = ReadFile(handle, input.data() + held, static_cast<DWORD>(input_chunk_bytes), &read, nullptr);
        input.resize(held + (done ? read : 0));
        if (!done) {
            const OsError error = last_os_error();
            if (is_end_of_input(error)) break;
            return Failure{IoError{IoError::Kind::os, error}};
        }
        if (read == 0) break;
    }
    return input;
}

void flush_standard_output_at_exit() {
    auto& output = process_standard_output();
    if (!output) return;
    std::unique_lock hold(output->lock(), std::try_to_lock);
    if (hold.owns_lock()) (void)output->flush();
}

}  // namespace vantle_native::runtime
