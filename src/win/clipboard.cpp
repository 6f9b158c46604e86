#include "win/clipboard.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>
#include <utility>

#include "diagnostics.h"
#include "unicode/utf.h"

namespace vantle_native::win::clipboard {
namespace {

constexpr std::string_view module_path = "vantle_native::win::clipboard";
constexpr std::string_view source_file = R"(src\win\clipboard)";

// The module's records name it as both their target and their module path.
constexpr RecordLocation record_location(std::uint32_t line) {
    return RecordLocation{module_path, module_path, source_file, line};
}
constexpr RecordLocation open_failure_record = record_location(67);
constexpr RecordLocation hand_over_failure_record = record_location(62);
constexpr RecordLocation undecodable_name_record = record_location(140);
constexpr std::string_view open_failure_prefix = "Error creating clipboard: ";
constexpr std::string_view hand_over_failure_prefix = "Error writing files to clipboard: ";
constexpr std::string_view undecodable_name_prefix = "Error read file list: ";

constexpr UINT block_flags = GMEM_MOVEABLE | GMEM_ZEROINIT;

// The registered format that tells a paste whether to copy, move or link the
// files of the list beside it: one DWORD of DROPEFFECT bits.
constexpr platform::WideLiteral drop_effect_format_name("Preferred DropEffect");
constexpr std::uint32_t effect_copy_bit = 1;
constexpr std::uint32_t effect_move_bit = 2;
constexpr std::uint32_t effect_link_bit = 4;
constexpr std::size_t effect_block_size = 4;

// DROPFILES with wide names: the list's offset, a zero point, fNC 0, fWide 1.
constexpr std::size_t drop_header_size = 20;
constexpr std::uint32_t list_offset_field = 0;
constexpr std::uint32_t wide_field = 16;
constexpr UINT count_query_index = 0xFFFFFFFF;
constexpr std::size_t wide_unit_size = 2;
constexpr std::size_t narrow_unit_size = 1;

void put_u32(std::vector<std::byte>& bytes, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::byte>(value >> (8 * i));
}

std::uint32_t get_u32(std::span<const std::byte> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::to_integer<std::uint32_t>(bytes[offset + i]) << (8 * i);
    return value;
}

std::uint16_t get_u16(std::span<const std::byte> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[offset]) |
                                      (std::to_integer<unsigned>(bytes[offset + 1]) << 8));
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

// The file-drop block's length: the header, each path and its 0 unit, the end.
std::size_t drop_list_size(std::span<const std::string_view> paths) {
    const std::size_t units = std::accumulate(paths.begin(), paths.end(), std::size_t{1},
                                              [](std::size_t sum, std::string_view path) { return sum + utf16_length(path) + 1; });
    return drop_header_size + wide_unit_size * units;
}

// A movable global block that this program owns until it hands it over.
class OwnedGlobalBlock {
public:
    explicit OwnedGlobalBlock(std::size_t size) : handle_(GlobalAlloc(block_flags, size)) {}
    OwnedGlobalBlock(OwnedGlobalBlock&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    OwnedGlobalBlock& operator=(OwnedGlobalBlock&&) = delete;
    OwnedGlobalBlock(const OwnedGlobalBlock&) = delete;
    OwnedGlobalBlock& operator=(const OwnedGlobalBlock&) = delete;
    ~OwnedGlobalBlock() {
        if (handle_ != nullptr) (void)GlobalFree(handle_);
    }

    [[nodiscard]] HGLOBAL get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // The system owns the block from now on.
    void hand_over() { handle_ = nullptr; }

private:
    HGLOBAL handle_;
};

// A global block locked for the length of a scope.
class GlobalBlockLock {
public:
    explicit GlobalBlockLock(HGLOBAL handle) : handle_(handle), address_(GlobalLock(handle)) {}
    GlobalBlockLock(const GlobalBlockLock&) = delete;
    GlobalBlockLock& operator=(const GlobalBlockLock&) = delete;
    ~GlobalBlockLock() {
        if (address_ != nullptr) (void)GlobalUnlock(handle_);
    }

    [[nodiscard]] void* address() const { return address_; }
    explicit operator bool() const { return address_ != nullptr; }

private:
    HGLOBAL handle_;
    void* address_;
};

// A new global block holding a copy of `data`. A block that cannot be locked
// takes the refused way out: the error is captured before the block is freed.
Result<OwnedGlobalBlock, OsError> filled_global_block(std::span<const std::byte> data) {
    OwnedGlobalBlock block(data.size());
    if (!block) return Failure{capture_last_error()};
    const GlobalBlockLock lock(block.get());
    if (!lock) return Failure{capture_last_error()};
    std::memcpy(lock.address(), data.data(), data.size());
    return block;
}

// Records a writer failure when records are admitted and makes its error.
ClipboardError writer_failure(OsError error, std::string_view record_prefix, const RecordLocation& location) {
    if (admits(level_error)) emit_record(level_error, record_prefix, to_text(error), location);
    return clipboard_error(error);
}

// Opens the clipboard and hands over a built file-drop block with the blocks
// that go beside it.
Status<ClipboardError> place_drop_list(std::span<const std::byte> drop, std::span<const ClipboardBlock> companions) {
    std::vector<ClipboardBlock> blocks{{CF_HDROP, drop}};
    blocks.insert(blocks.end(), companions.begin(), companions.end());
    auto guard = ClipboardGuard::open();
    if (!guard.ok()) return Failure{writer_failure(guard.error(), open_failure_prefix, open_failure_record)};
    auto handed_over = set_clipboard_block(blocks);
    if (!handed_over.ok()) {
        return Failure{writer_failure(handed_over.error(), hand_over_failure_prefix, hand_over_failure_record)};
    }
    return Done{};
}

Result<UINT, ClipboardError> drop_effect_format() {
    const UINT format = RegisterClipboardFormatW(drop_effect_format_name.c_str());
    if (format == 0) return Failure{clipboard_error(capture_last_error())};
    return format;
}

// One name of a file-drop block: where its units start and how many there are.
struct DropName {
    std::size_t offset;
    std::size_t units;
};

// cppcheck does not follow members read through std::optional.
struct DropLayout {
    std::size_t list_offset;  // cppcheck-suppress unusedStructMember
    std::size_t unit_size;    // cppcheck-suppress unusedStructMember
};

std::optional<DropLayout> drop_layout(std::span<const std::byte> block) {
    if (block.size() < drop_header_size) return std::nullopt;
    const std::uint32_t list_offset = get_u32(block, list_offset_field);
    if (list_offset >= block.size()) return std::nullopt;
    return DropLayout{list_offset, get_u32(block, wide_field) != 0 ? wide_unit_size : narrow_unit_size};
}

// The one walk of a file-drop block, the way the platform reads it: from the
// list offset, each name up to its 0 unit, until an empty name. Calls
// visit(DropName) for each name; false if the walk would leave the block.
template <class Visit>
bool walk_drop_names(std::span<const std::byte> block, const DropLayout& layout, Visit&& visit) {
    const std::size_t unit_size = layout.unit_size;
    std::size_t name_start = layout.list_offset;
    for (std::size_t offset = name_start; offset + unit_size <= block.size(); offset += unit_size) {
        bool unit_zero = true;
        for (std::size_t i = 0; i < unit_size; ++i) unit_zero = unit_zero && block[offset + i] == std::byte{0};
        if (!unit_zero) continue;
        if (offset == name_start) return true;
        visit(DropName{name_start, (offset - name_start) / unit_size});
        name_start = offset + unit_size;
    }
    return false;
}

// Keeps a decoded name, or records that it was left out.
void keep_decoded(Result<std::string, Utf16DecodeError> decoded, std::vector<std::string>& paths) {
    if (decoded.ok()) {
        paths.push_back(std::move(decoded.value()));
    } else if (admits(level_error)) {
        emit_record(level_error, undecodable_name_prefix, utf16_decode_error_text, undecodable_name_record);
    }
}

// The names as the platform's queries give them: two queries per name.
std::vector<std::string> queried_names(HDROP drop) {
    const UINT count = DragQueryFileW(drop, count_query_index, nullptr, 0);
    std::vector<std::string> paths;
    paths.reserve(count);
    for (UINT index = 0; index < count; ++index) {
        const UINT length = DragQueryFileW(drop, index, nullptr, 0);
        // In size_t, so that no answer can make the buffer shorter than the
        // units decoded from it.
        std::vector<WCHAR> name(static_cast<std::size_t>(length) + 1);
        const auto capacity = static_cast<UINT>(std::min<std::size_t>(name.size(), std::numeric_limits<UINT>::max()));
        (void)DragQueryFileW(drop, index, name.data(), capacity);
        keep_decoded(decode_utf16_strict(platform::WideView(name.data(), length)), paths);
    }
    return paths;
}

// The names of a wide list, decoded straight from the block.
std::vector<std::string> walked_names(std::span<const std::byte> block, std::span<const DropName> names) {
    std::vector<std::string> paths;
    paths.reserve(names.size());
    std::basic_string<WCHAR> units;
    for (const DropName name : names) {
        units.resize(name.units);
        for (std::size_t i = 0; i < name.units; ++i) {
            units[i] = static_cast<WCHAR>(get_u16(block, name.offset + wide_unit_size * i));
        }
        keep_decoded(decode_utf16_strict(units), paths);
    }
    return paths;
}

enum class NameSource { queries, walk };

// The list of a locked file-drop block. Any program can put a block here, and
// the platform's queries trust it; one that would lead a reader past its end
// is refused before anything reads it. A wide list may be decoded from the
// walk itself; a narrow one goes through the platform, which owns the code
// page conversion.
Result<std::vector<std::string>, ClipboardError> read_locked_list(void* address, std::size_t size,
                                                                  NameSource source) {
    const std::span block(static_cast<const std::byte*>(address), size);
    const auto layout = drop_layout(block);
    const bool walk = source == NameSource::walk && layout && layout->unit_size == wide_unit_size;
    std::vector<DropName> names;
    const bool readable = layout && walk_drop_names(block, *layout, [&](DropName name) {
        if (walk) names.push_back(name);
    });
    if (!readable) return Failure{clipboard_error(OsError{ERROR_INVALID_DATA})};
    if (walk) return walked_names(block, names);
    return queried_names(static_cast<HDROP>(address));
}

// Fetches the clipboard's block of `format`, locks it and reads it with
// read(address, size). The caller holds a ClipboardGuard.
template <class Read>
auto read_clipboard_block(UINT format, Read&& read) -> decltype(read(nullptr, std::size_t{})) {
    const HANDLE data = GetClipboardData(format);
    if (data == nullptr) return Failure{clipboard_error(capture_last_error())};
    const GlobalBlockLock lock(data);
    if (!lock) return Failure{clipboard_error(capture_last_error())};
    return read(lock.address(), GlobalSize(data));
}

Result<std::vector<std::string>, ClipboardError> read_drop_list(NameSource source) {
    return read_clipboard_block(CF_HDROP, [source](void* address, std::size_t size) {
        return read_locked_list(address, size, source);
    });
}

// What the effect's DROPEFFECT bits ask of a paste; a short or empty block
// asks for a copy, as it does of the file manager.
DropEffect effect_of(std::span<const std::byte> block) {
    const std::uint32_t bits = block.size() < effect_block_size ? 0 : get_u32(block, 0);
    if ((bits & effect_copy_bit) != 0) return DropEffect::copy;
    if ((bits & effect_move_bit) != 0) return DropEffect::move;
    if ((bits & (effect_copy_bit | effect_move_bit | effect_link_bit)) == effect_link_bit) return DropEffect::link;
    return DropEffect::copy;
}

// The effect of the list on the clipboard: a copy when no effect was given.
Result<DropEffect, ClipboardError> read_drop_effect(UINT format) {
    if (!IsClipboardFormatAvailable(format)) return DropEffect::copy;
    return read_clipboard_block(format, [](void* address, std::size_t size) -> Result<DropEffect, ClipboardError> {
        return effect_of(std::span(static_cast<const std::byte*>(address), size));
    });
}

}  // namespace

Result<ClipboardGuard, OsError> ClipboardGuard::open() {
    if (!OpenClipboard(nullptr)) return Failure{capture_last_error()};
    return ClipboardGuard();
}

ClipboardGuard::ClipboardGuard(ClipboardGuard&& other) noexcept : engaged_(other.engaged_) {
    other.engaged_ = false;
}

ClipboardGuard::~ClipboardGuard() {
    // A failing close changes nothing for the operation that held the guard.
    if (engaged_ && !CloseClipboard()) (void)capture_last_error();
}

OsError capture_last_error() { return last_os_error(); }

Status<OsError> set_clipboard_block(std::span<const ClipboardBlock> blocks) {
    std::vector<OwnedGlobalBlock> filled;
    filled.reserve(blocks.size());
    for (const ClipboardBlock& block : blocks) {
        auto global = filled_global_block(block.data);
        if (!global.ok()) return Failure{global.error()};
        filled.push_back(std::move(global.value()));
    }
    (void)EmptyClipboard();
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (SetClipboardData(blocks[i].format, filled[i].get()) == nullptr) {
            const OsError refused = capture_last_error();
            // Part of a set must not stay: a list without its effect would be
            // pasted as a copy of files that were meant to move.
            if (i > 0) (void)EmptyClipboard();
            return Failure{refused};
        }
        filled[i].hand_over();
    }
    return Done{};
}

std::vector<std::byte> build_drop_list(std::span<const std::string_view> paths) {
    std::vector<std::byte> bytes(drop_header_size);
    // Sized once: a list of any length is built without growing through
    // copies that would each hold the whole block again.
    bytes.reserve(drop_list_size(paths));
    put_u32(bytes, list_offset_field, drop_header_size);
    put_u32(bytes, wide_field, 1);
    for (const std::string_view path : paths) {
        for (std::size_t i = 0; i < path.size();) {
            unicode::encode_utf16(unicode::next_utf8_code_point(path, i),
                                  [&](std::uint16_t unit) { append_unit(bytes, unit); });
        }
        append_unit(bytes, 0);
    }
    append_unit(bytes, 0);
    return bytes;
}

Status<ClipboardError> write_file_list(std::span<const std::string_view> paths) {
    if (paths.empty()) return Done{};
    return write_drop_list(build_drop_list(paths));
}

Status<ClipboardError> cut_file_list(std::span<const std::string_view> paths) {
    if (paths.empty()) return Done{};
    return cut_drop_list(build_drop_list(paths));
}

Status<ClipboardError> write_drop_list(std::span<const std::byte> drop) { return place_drop_list(drop, {}); }

Status<ClipboardError> cut_drop_list(std::span<const std::byte> drop) {
    auto format = drop_effect_format();
    if (!format.ok()) return Failure{format.error()};
    std::vector<std::byte> effect(effect_block_size);
    put_u32(effect, 0, effect_move_bit);
    const ClipboardBlock effect_block{format.value(), effect};
    return place_drop_list(drop, std::span(&effect_block, 1));
}

bool is_readable_drop_block(std::span<const std::byte> block) {
    const auto layout = drop_layout(block);
    return layout && walk_drop_names(block, *layout, [](DropName) {});
}

Result<std::vector<std::string>, ClipboardError> read_file_list() {
    auto guard = ClipboardGuard::open();
    if (!guard.ok()) return Failure{clipboard_error(guard.error())};
    return read_drop_list(NameSource::queries);
}

Result<std::optional<FileDrop>, ClipboardError> read_file_drop() {
    auto format = drop_effect_format();
    if (!format.ok()) return Failure{format.error()};
    auto guard = ClipboardGuard::open();
    if (!guard.ok()) return Failure{clipboard_error(guard.error())};
    if (!IsClipboardFormatAvailable(CF_HDROP)) return std::optional<FileDrop>();
    auto effect = read_drop_effect(format.value());
    if (!effect.ok()) return Failure{std::move(effect.error())};
    auto paths = read_drop_list(NameSource::walk);
    if (!paths.ok()) return Failure{std::move(paths.error())};
    return std::optional<FileDrop>(FileDrop{effect.value(), std::move(paths.value())});
}

}  // namespace vantle_native::win::clipboard
