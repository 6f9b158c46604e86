// Strict UTF-16 to UTF-8: a run that holds an unpaired surrogate has no UTF-8
// form and is refused whole, never decoded with a replacement character.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "result.h"
#include "unicode/utf.h"

namespace vantle_native::unicode {

struct Utf16DecodeError {};

inline constexpr std::string_view utf16_decode_error_text = "invalid utf-16: lone surrogate found";

// The length of the UTF-8 form of a UTF-16 run (anything with size() and
// operator[] giving units), or nothing when it holds an unpaired surrogate.
template <class Units>
[[nodiscard]] std::optional<std::size_t> strict_utf8_length(const Units& units) {
    std::size_t length = 0;
    bool valid = true;
    for_each_utf16_code_point(units, [&](char32_t c) {
        valid = !is_surrogate(c);
        length += c < 0x80 ? 1 : c < 0x800 ? 2 : c < first_supplementary ? 3 : 4;
        return valid;
    });
    if (!valid) return std::nullopt;
    return length;
}

// Appends the UTF-8 form of a run that strict_utf8_length accepted.
template <class Units>
void append_utf8_of_utf16(std::string& out, const Units& units) {
    for_each_utf16_code_point(units, [&](char32_t c) {
        append_utf8(out, c);
        return true;
    });
}

// UTF-16 to UTF-8, sized once; any unpaired surrogate fails the whole run.
template <class Units>
[[nodiscard]] Result<std::string, Utf16DecodeError> decode_utf16_strict(const Units& units) {
    const std::optional<std::size_t> length = strict_utf8_length(units);
    if (!length) return Failure{Utf16DecodeError{}};
    std::string text;
    text.reserve(*length);
    append_utf8_of_utf16(text, units);
    return text;
}

}  // namespace vantle_native::unicode
