// Byte and unit literals for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

inline std::vector<std::byte> bytes_of(std::initializer_list<int> values) {
    std::vector<std::byte> bytes;
    for (const int v : values) bytes.push_back(static_cast<std::byte>(v));
    return bytes;
}

inline std::u16string units(std::initializer_list<char16_t> values) { return std::u16string(values); }

// A file-drop block: a header with the list's offset and fWide, then `list`.
inline std::vector<std::byte> with_header(std::uint32_t offset, std::uint32_t wide, std::vector<std::byte> list) {
    std::vector<std::byte> block(20);
    for (int i = 0; i < 4; ++i) block[i] = static_cast<std::byte>(offset >> (8 * i));
    block[16] = static_cast<std::byte>(wide);
    block.insert(block.end(), list.begin(), list.end());
    return block;
}
