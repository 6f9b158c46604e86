// UTF-8 and UTF-16 code-unit arithmetic shared by the decoder, the drop-list
// builder and the console writer. Strictness (what to do with an unpaired
// surrogate) is left to each caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantle_native::unicode {

inline constexpr char32_t high_surrogate_first = 0xD800;
inline constexpr char32_t low_surrogate_first = 0xDC00;
inline constexpr char32_t surrogate_last = 0xDFFF;
inline constexpr char32_t first_supplementary = 0x10000;
inline constexpr char32_t last_code_point = 0x10FFFF;

[[nodiscard]] constexpr bool is_high_surrogate(char32_t c) {
    return c >= high_surrogate_first && c < low_surrogate_first;
}
[[nodiscard]] constexpr bool is_low_surrogate(char32_t c) {
    return c >= low_surrogate_first && c <= surrogate_last;
}
[[nodiscard]] constexpr bool is_surrogate(char32_t c) {
    return c >= high_surrogate_first && c <= surrogate_last;
}

// Calls visit(code_point) for each code point of a UTF-16 run (anything with
// size() and operator[] giving units), a valid pair giving one supplementary
// code point and any other surrogate unit giving its own value. Stops early
// when visit returns false.
template <class Units, class Visit>
void for_each_utf16_code_point(const Units& units, Visit&& visit) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = static_cast<std::uint16_t>(units[i]);
        if (is_high_surrogate(c) && i + 1 < units.size()) {
            const char32_t next = static_cast<std::uint16_t>(units[i + 1]);
            if (is_low_surrogate(next)) {
                c = first_supplementary + ((c - high_surrogate_first) << 10) + (next - low_surrogate_first);
                ++i;
            }
        }
        if (!visit(c)) return;
    }
}

// Calls emit(unit) once or twice with the UTF-16 form of a code point.
template <class Emit>
void encode_utf16(char32_t c, Emit&& emit) {
    if (c < first_supplementary) {
        emit(static_cast<std::uint16_t>(c));
    } else {
        const char32_t offset = c - first_supplementary;
        emit(static_cast<std::uint16_t>(high_surrogate_first | (offset >> 10)));
        emit(static_cast<std::uint16_t>(low_surrogate_first | (offset & 0x3FF)));
    }
}

// Appends the shortest UTF-8 form of a code point (callers pass no surrogates).
inline void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the UTF-8 sequence at the start of `bytes` if it is one whole,
// valid, shortest-form sequence; 0 if it is invalid or cut off.
[[nodiscard]] inline std::size_t valid_utf8_sequence_length(std::string_view bytes) {
    if (bytes.empty()) return 0;
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = first_supplementary;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(bytes[i]);
        if ((next & 0xC0) != 0x80) return 0;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || is_surrogate(c) || c > last_code_point) return 0;
    return length;
}

// The length of the longest prefix of `bytes` made of whole, valid UTF-8
// sequences: all of it when it is valid UTF-8.
[[nodiscard]] inline std::size_t valid_utf8_prefix_length(std::string_view bytes) {
    std::size_t end = 0;
    while (end < bytes.size()) {
        const std::size_t length = valid_utf8_sequence_length(bytes.substr(end));
        if (length == 0) break;
        end += length;
    }
    return end;
}

// Whether `bytes` can be a path's text: valid UTF-8 that holds no NUL.
[[nodiscard]] inline bool is_path_text(std::string_view bytes) {
    return valid_utf8_prefix_length(bytes) == bytes.size() && bytes.find('\0') == std::string_view::npos;
}

// Decodes the code point at `i` of text known to be valid UTF-8 and moves past it.
[[nodiscard]] inline char32_t next_utf8_code_point(std::string_view utf8, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(utf8[i++]);
    if (lead < 0x80) return lead;
    const std::size_t continuation = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t c = lead & (0x3F >> continuation);
    for (std::size_t k = 0; k < continuation && i < utf8.size(); ++k, ++i) {
        c = (c << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
    }
    return c;
}

}  // namespace vantle_native::unicode
