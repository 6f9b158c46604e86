// Small text formatting that needs no printf machinery.
#pragma once

#include <cstdint>
#include <string>

namespace vantle_native {

// Appends `value` in lowercase hexadecimal, at least `min_digits` digits.
inline void append_hex(std::string& out, std::uint64_t value, unsigned min_digits = 1) {
    static constexpr char digits[] = "0123456789abcdef";
    unsigned count = 1;
    while (count < 16 && (value >> (4 * count)) != 0) ++count;
    if (count < min_digits) count = min_digits;
    for (unsigned i = count; i-- > 0;) out += digits[(value >> (4 * i)) & 0xF];
}

}  // namespace vantle_native
