// What the fuzz targets share: turning fuzz bytes into UTF-16 units, and the
// standard quoting that the command-line rules undo.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/win32.h"
#include "unicode/utf.h"

namespace fuzz {

using Units = std::basic_string<WCHAR>;

inline Units units_of(const std::uint8_t* data, std::size_t size) {
    Units units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units += static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    return units;
}

// A path's text, as the properties see it: whole valid UTF-8 sequences, one
// by one, and no NUL.
inline bool is_path_text(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = vantle_native::unicode::valid_utf8_sequence_length(bytes.substr(i));
        if (length == 0 || bytes[i] == '\0') return false;
        i += length;
    }
    return true;
}

// A property that does not hold is a finding: stop here so libFuzzer keeps
// the input.
inline void check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace fuzz
