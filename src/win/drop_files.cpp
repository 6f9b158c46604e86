#include "win/drop_files.h"

#include "unicode/utf.h"

namespace vantle_native::win::drop_files {
namespace {

// DROPFILES: the list's offset, a zero point, fNC 0, fWide.
constexpr std::size_t drop_header_size = 20;
constexpr std::size_t list_offset_field = 0;
constexpr std::size_t wide_field = 16;

constexpr std::uint32_t effect_copy_bit = 1;
constexpr std::uint32_t effect_move_bit = 2;
constexpr std::uint32_t effect_link_bit = 4;

void put_u32(std::span<std::byte> bytes, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[i] = static_cast<std::byte>(value >> (8 * i));
}

std::uint32_t get_u32(std::span<const std::byte> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

void append_unit(std::vector<std::byte>& bytes, std::uint16_t unit) {
    bytes.push_back(static_cast<std::byte>(unit & 0xFF));
    bytes.push_back(static_cast<std::byte>(unit >> 8));
}

// UTF-16 units of valid UTF-8: one per character, two from U+10000 on
// (whose UTF-8 form begins with a byte of 0xF0 or more).
std::size_t utf16_length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        units += static_cast<std::size_t>((byte & 0xC0) != 0x80) + static_cast<std::size_t>(byte >= 0xF0);
    }
    return units;
}

// The file-drop block of the paths that for_each_path(visit) visits, in order.
// Sized once: a list of any length is built without growing through copies
// that would each hold the whole block again.
template <class ForEachPath>
std::vector<std::byte> drop_list_of(const ForEachPath& for_each_path) {
    std::size_t units = 1;
    for_each_path([&](std::string_view path) { units += utf16_length(path) + 1; });
    std::vector<std::byte> bytes(drop_header_size);
    bytes.reserve(drop_header_size + wide_unit_size * units);
    put_u32(std::span(bytes).subspan(list_offset_field), drop_header_size);
    put_u32(std::span(bytes).subspan(wide_field), 1);
    for_each_path([&](std::string_view path) {
        for (std::size_t i = 0; i < path.size();) {
            unicode::encode_utf16(unicode::next_utf8_code_point(path, i),
                                  [&](std::uint16_t unit) { append_unit(bytes, unit); });
        }
        append_unit(bytes, 0);
    });
    append_unit(bytes, 0);
    return bytes;
}

}  // namespace

std::vector<std::byte> build_drop_list(std::span<const std::string_view> paths) {
    return drop_list_of([&](const auto& visit) {
        for (const std::string_view path : paths) visit(path);
    });
}

std::vector<std::byte> build_drop_list_of_names(std::string_view names) {
    return drop_list_of([&](const auto& visit) { clipboard::for_each_name(names, visit); });
}

std::optional<DropLayout> drop_layout(std::span<const std::byte> block) {
    if (block.size() < drop_header_size) return std::nullopt;
    const std::uint32_t list_offset = get_u32(block, list_offset_field);
    if (list_offset >= block.size()) return std::nullopt;
    return DropLayout{list_offset, get_u32(block, wide_field) != 0 ? wide_unit_size : narrow_unit_size};
}

bool is_readable_drop_block(std::span<const std::byte> block) {
    const auto layout = drop_layout(block);
    return layout && walk_drop_names(block, *layout, [](std::span<const std::byte>) {});
}

std::array<std::byte, effect_block_size> move_effect_block() {
    std::array<std::byte, effect_block_size> block{};
    put_u32(block, effect_move_bit);
    return block;
}

DropEffect effect_of(std::span<const std::byte> block) {
    const std::uint32_t bits = block.size() < effect_block_size ? 0 : get_u32(block, 0);
    if ((bits & effect_copy_bit) != 0) return DropEffect::copy;
    if ((bits & effect_move_bit) != 0) return DropEffect::move;
    if ((bits & (effect_copy_bit | effect_move_bit | effect_link_bit)) == effect_link_bit) {
        return DropEffect::link;
    }
    return DropEffect::copy;
}

}  // namespace vantle_native::win::drop_files
