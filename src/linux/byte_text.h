// Bytes that the Linux room shows in reports: names from the kernel and the
// C library, which need not be UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vantle_native::linux_room {

[[nodiscard]] bool is_utf8(std::string_view bytes);

// quoted_form (errors.h) of bytes that need not be UTF-8: each byte outside
// a valid sequence shows as \xNN.
[[nodiscard]] std::string quoted_bytes(std::string_view bytes);

}  // namespace vantle_native::linux_room
