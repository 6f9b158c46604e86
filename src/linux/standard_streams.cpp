// The Linux side of the standard streams (runtime/stdio.h): descriptors 0, 1
// and 2, written and read as bytes. A terminal takes bytes too, so no
// target is a console here.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "runtime/stdio.h"

namespace vantle_native::runtime {
namespace {

using runtime::standard_input_chunk_bytes;

constexpr std::size_t max_write_bytes = SSIZE_MAX;

int descriptor_of(StandardStream stream) { return stream == StandardStream::output ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

Result<StandardTarget, IoError> find_standard_target(StandardStream stream) {
    return StandardTarget{descriptor_of(stream), false};
}

Result<std::size_t, IoError> write_standard_target(StandardStream stream, const Result<StandardTarget, IoError>& target,
                                                  std::string_view bytes) {
    if (!target.ok()) return Failure{target.error()};
    for (;;) {
        const ssize_t written = write(static_cast<int>(target.value().handle), bytes.data(),
                                      std::min(bytes.size(), max_write_bytes));
        if (written >= 0) return static_cast<std::size_t>(written);
        if (errno == EINTR) continue;
        // Output nobody can receive (no descriptor 1) is dropped without a
        // word, as on Windows.
        if (errno == EBADF && stream == StandardStream::output) return bytes.size();
        return Failure{IoError{IoError::Kind::os, last_os_error()}};
    }
}

Result<std::size_t, IoError> write_standard_handle(StandardStream stream, std::string_view bytes) {
    return write_standard_target(stream, find_standard_target(stream), bytes);
}

Result<std::string, IoError> read_standard_input() {
    std::string input;
    for (;;) {
        const std::size_t held = input.size();
        input.resize(held + standard_input_chunk_bytes);
        const ssize_t got = read(STDIN_FILENO, input.data() + held, standard_input_chunk_bytes);
        input.resize(held + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0) continue;
        if (got == 0) break;
        if (errno == EINTR) continue;
        // No standard input at all reads as empty, as on Windows.
        if (errno == EBADF) break;
        return Failure{IoError{IoError::Kind::os, last_os_error()}};
    }
    return input;
}

}  // namespace vantle_native::runtime
