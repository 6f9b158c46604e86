#include "win/clipboard.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

void append_unit(std::vector<std::byte>& bytes, std::uint16_t unit) {
    bytes.push_back(static_cast<std::byte>(unit & 0xFF));
    bytes.push_back(static_cast<std::byte>(unit >> 8));
}

// A movable global block that this program owns until it hands it over.
class OwnedGlobalBlock {
public:
    explicit OwnedGlobalBlock(std::size_t size) : handle_(GlobalAlloc(block_flags, size)) {}
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

// Records a writer failure when records are admitted and makes its error.
ClipboardError writer_failure(OsError error, std::string_view record_prefix, const RecordLocation& location) {
    if (admits(level_error)) emit_record(level_error, record_prefix, to_text(error), location);
    return clipboard_error(error);
}

// Whether the names from `offset` on, each ending in a 0 unit of `unit_size`
// bytes, reach an empty name without leaving the block.
bool list_ends_inside(std::span<const std::byte> block, std::size_t offset, std::size_t unit_size) {
    bool name_empty = true;
    for (; offset + unit_size <= block.size(); offset += unit_size) {
        bool unit_zero = true;
        for (std::size_t i = 0; i < unit_size; ++i) unit_zero = unit_zero && block[offset + i] == std::byte{0};
        if (unit_zero && name_empty) return true;
        name_empty = unit_zero;
    }
    return false;
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

Status<OsError> set_clipboard_block(UINT format, std::span<const std::byte> data) {
    OwnedGlobalBlock block(data.size());
    if (!block) return Failure{capture_last_error()};
    {
        const GlobalBlockLock lock(block.get());
        // A block that cannot be locked takes the refused way out: the error
        // is captured before the block is freed.
        if (!lock) return Failure{capture_last_error()};
        std::memcpy(lock.address(), data.data(), data.size());
    }
    (void)EmptyClipboard();
    if (SetClipboardData(format, block.get()) == nullptr) return Failure{capture_last_error()};
    block.hand_over();
    return Done{};
}

std::vector<std::byte> build_drop_list(std::span<const std::string_view> paths) {
    std::vector<std::byte> bytes(drop_header_size);
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
    const std::vector<std::byte> block = build_drop_list(paths);
    auto guard = ClipboardGuard::open();
    if (!guard.ok()) return Failure{writer_failure(guard.error(), open_failure_prefix, open_failure_record)};
    auto handed_over = set_clipboard_block(CF_HDROP, block);
    if (!handed_over.ok()) {
        return Failure{writer_failure(handed_over.error(), hand_over_failure_prefix, hand_over_failure_record)};
    }
    return Done{};
}

bool is_readable_drop_block(std::span<const std::byte> block) {
    if (block.size() < drop_header_size) return false;
    const std::uint32_t list_offset = get_u32(block, list_offset_field);
    if (list_offset >= block.size()) return false;
    const std::size_t unit_size = get_u32(block, wide_field) != 0 ? wide_unit_size : narrow_unit_size;
    return list_ends_inside(block, list_offset, unit_size);
}

Result<std::vector<std::string>, ClipboardError> read_file_list() {
    auto guard = ClipboardGuard::open();
    if (!guard.ok()) return Failure{clipboard_error(guard.error())};
    const HANDLE data = GetClipboardData(CF_HDROP);
    if (data == nullptr) return Failure{clipboard_error(capture_last_error())};
    const GlobalBlockLock lock(data);
    if (!lock) return Failure{clipboard_error(capture_last_error())};
    // Any program can put a block here, and the platform's queries trust it;
    // one that would lead them past its end is refused before they run.
    const std::span block(static_cast<const std::byte*>(lock.address()), GlobalSize(data));
    if (!is_readable_drop_block(block)) return Failure{clipboard_error(OsError{ERROR_INVALID_DATA})};

    const auto drop = static_cast<HDROP>(lock.address());
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
        auto decoded = decode_utf16_strict(platform::WideView(name.data(), length));
        if (decoded.ok()) {
            paths.push_back(std::move(decoded.value()));
        } else if (admits(level_error)) {
            emit_record(level_error, undecodable_name_prefix, utf16_decode_error_text, undecodable_name_record);
        }
    }
    return paths;
}

}  // namespace vantle_native::win::clipboard
