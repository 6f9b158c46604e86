// The Windows side of the standard streams (runtime/stdio.h): standard
// handles, console and file writes, standard input, the lock.
#include <algorithm>
#include <array>
#include <limits>

#include "platform/win32.h"
#include "runtime/stdio.h"
#include "unicode/utf.h"

namespace vantle_native::runtime {
namespace {

// The most UTF-8 bytes converted for one WriteConsoleW call.
constexpr std::size_t console_chunk_bytes = 4096;
constexpr std::size_t max_file_write = std::numeric_limits<DWORD>::max();

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
    const auto handle = reinterpret_cast<HANDLE>(target.handle);  // NOLINT(performance-no-int-to-ptr)
    return target.console ? write_console(handle, bytes) : write_file(handle, bytes);
}

bool is_invalid_handle(const IoError& error) {
    return error.kind == IoError::Kind::os && error.os.code == static_cast<std::int32_t>(ERROR_INVALID_HANDLE);
}

// A pipe whose writer has gone, or an input the platform rejects as invalid,
// is the end of the input.
bool is_end_of_input(OsError error) {
    return error.code == static_cast<std::int32_t>(ERROR_BROKEN_PIPE) ||
           error.code == static_cast<std::int32_t>(ERROR_INVALID_HANDLE);
}

}  // namespace

Result<StandardTarget, IoError> find_standard_target(StandardStream stream) {
    auto handle = standard_handle(stream);
    if (!handle.ok()) return Failure{handle.error()};
    DWORD mode = 0;
    return StandardTarget{reinterpret_cast<std::intptr_t>(handle.value()), GetConsoleMode(handle.value(), &mode) != FALSE};
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

Result<std::string, IoError> read_standard_input() {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    if (handle == nullptr) return std::string();
    if (handle == INVALID_HANDLE_VALUE) return Failure{IoError{IoError::Kind::os, last_os_error()}};
    std::string input;
    for (;;) {
        const std::size_t held = input.size();
        input.resize(held + standard_input_chunk_bytes);
        DWORD read = 0;
        const BOOL done = ReadFile(handle, input.data() + held, static_cast<DWORD>(standard_input_chunk_bytes), &read, nullptr);
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

}  // namespace vantle_native::runtime
