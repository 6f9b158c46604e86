// The Linux side of errors.h: errno and the C library's message for it.
#include <array>
#include <cerrno>
#include <cstring>

#include "errors.h"

namespace vantle_native {
namespace {

// Longer than any message the C library has.
constexpr std::size_t message_capacity = 256;

}  // namespace

std::string os_error_text(std::int32_t code) {
    std::array<char, message_capacity> buffer{};
    // The GNU form: it gives the message, which may or may not be in buffer,
    // and "Unknown error N" for a code it has no message for.
    return strerror_r(code, buffer.data(), buffer.size());
}

OsError last_os_error() { return OsError{errno}; }

}  // namespace vantle_native
