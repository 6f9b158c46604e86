// Small text formatting that needs no printf machinery.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantle_native {

// The hexadecimal digits, upper case; with ASCII's case bit set they are the
// lower-case ones (the decimal digits have it set already).
inline constexpr std::string_view hex_digits = "0123456789ABCDEF";
inline constexpr char ascii_lower_case_bit = 0x20;

// Appends `byte` as two upper-case hexadecimal digits, as percent-encoding
// and the quoted form of a stray byte show it.
inline void append_hex_byte(std::string& out, unsigned char byte) {
    out += hex_digits[byte >> 4];
    out += hex_digits[byte & 0xF];
}

// Appends `value` in lowercase hexadecimal, at least `min_digits` digits.
inline void append_hex(std::string& out, std::uint64_t value, unsigned min_digits = 1) {
    unsigned count = 1;
    while (count < 16 && (value >> (4 * count)) != 0) ++count;
    if (count < min_digits) count = min_digits;
    for (unsigned i = count; i-- > 0;) out += static_cast<char>(hex_digits[(value >> (4 * i)) & 0xF] | ascii_lower_case_bit);
}

}  // namespace vantle_native
