// The shell's file-drop format, as pure data: the block a copy builds, the
// walk of a block that any program may have put on the clipboard, and the
// effect block beside it. No platform call here: the clipboard module does
// the I/O, and these run the same on the host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "file_clipboard.h"

namespace vantle_native::win::drop_files {

using DropEffect = vantle_native::clipboard::DropEffect;

// The file-drop block for `paths`: a 20-byte header (the list's offset 20,
// fWide 1), each path in UTF-16 followed by a 0 unit, and a final 0 unit.
[[nodiscard]] std::vector<std::byte> build_drop_list(std::span<const std::string_view> paths);
// The same for names each followed by a NUL.
[[nodiscard]] std::vector<std::byte> build_drop_list_of_names(std::string_view names);

inline constexpr std::size_t wide_unit_size = 2;
inline constexpr std::size_t narrow_unit_size = 1;

// Where a block's names start and how wide their units are: 2 bytes of
// UTF-16, or 1 byte of the ANSI code page.
struct DropLayout {
    std::size_t list_offset;
    std::size_t unit_size;
};

// The layout of a block with a whole header and a list offset inside it.
[[nodiscard]] std::optional<DropLayout> drop_layout(std::span<const std::byte> block);

// The one walk of a file-drop block, the way the platform reads it: from the
// list offset, each name up to its 0 unit, until an empty name. Calls
// visit(name) with each name's bytes, its 0 unit not included; false if the
// walk would leave the block.
template <class Visit>
bool walk_drop_names(std::span<const std::byte> block, const DropLayout& layout, Visit&& visit) {
    const std::size_t unit_size = layout.unit_size;
    std::size_t name_start = layout.list_offset;
    for (std::size_t offset = name_start; offset + unit_size <= block.size(); offset += unit_size) {
        bool unit_zero = true;
        for (std::size_t i = 0; i < unit_size; ++i) unit_zero = unit_zero && block[offset + i] == std::byte{0};
        if (!unit_zero) continue;
        if (offset == name_start) return true;
        visit(block.subspan(name_start, offset - name_start));
        name_start = offset + unit_size;
    }
    return false;
}

// Whether `block` is a file-drop block that the platform can walk without
// reading past its end: a whole header, a list offset inside the block, and
// names ending in a 0 unit up to an empty name, all within the block.
[[nodiscard]] bool is_readable_drop_block(std::span<const std::byte> block);

// The UTF-16 units of a wide name, little-endian in its bytes at any
// alignment (a hostile list offset may be odd).
class WideUnits {
public:
    explicit WideUnits(std::span<const std::byte> bytes) : bytes_(bytes) {}
    [[nodiscard]] std::size_t size() const { return bytes_.size() / wide_unit_size; }
    [[nodiscard]] std::uint16_t operator[](std::size_t i) const {
        return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes_[2 * i]) |
                                          (std::to_integer<unsigned>(bytes_[2 * i + 1]) << 8));
    }

private:
    std::span<const std::byte> bytes_;
};

// The "Preferred DropEffect" block: one DWORD of DROPEFFECT bits.
inline constexpr std::size_t effect_block_size = 4;

// The block that asks a paste to move the files.
[[nodiscard]] std::array<std::byte, effect_block_size> move_effect_block();

// What an effect block's bits ask of a paste; a short or empty block asks
// for a copy, as it does of the file manager.
[[nodiscard]] DropEffect effect_of(std::span<const std::byte> block);

}  // namespace vantle_native::win::drop_files
