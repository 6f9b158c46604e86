#include "win/clipboard.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "file_clipboard.h"
#include "diagnostics.h"
#include "unicode/utf16_strict.h"
#include "win/bounded_work.h"
#include "win/drop_files.h"
#include "win/message_window.h"

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
// How long a read waits for the clipboard's owner to render the list, and
// the error that names it when the owner has not: whole, prefix included
// (built from its parts it would cost the exe more).
constexpr DWORD render_bound_ms = 10'000;
constexpr std::string_view unrendered_text = "Clipboard error: the clipboard's owner did not render the list within 10 s";
static_assert(unrendered_text.starts_with(clipboard_error_prefix));
static_assert(render_bound_ms == 10'000 && unrendered_text.ends_with(" 10 s"), "the error names the bound");

using vantle_native::clipboard::DropEffect;
using vantle_native::clipboard::FileDrop;
using vantle_native::clipboard::PreparedList;

constexpr UINT block_flags = GMEM_MOVEABLE | GMEM_ZEROINIT;
constexpr UINT count_query_index = 0xFFFFFFFF;

// The registered format that tells a paste whether to copy, move or link the
// files of the list beside it.
constexpr platform::WideLiteral drop_effect_format_name("Preferred DropEffect");

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

// Opens the clipboard with `owner` and hands over a built file-drop block
// with the blocks that go beside it.
Status<ClipboardError> place_drop_list(std::span<const std::byte> drop, std::span<const ClipboardBlock> companions,
                                       HWND owner) {
    std::vector<ClipboardBlock> blocks{{CF_HDROP, drop}};
    blocks.insert(blocks.end(), companions.begin(), companions.end());
    auto guard = ClipboardGuard::open(owner);
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

void record_undecodable_name() {
    if (admits(level_error)) {
        emit_record(level_error, undecodable_name_prefix, unicode::utf16_decode_error_text, undecodable_name_record);
    }
}

std::span<const std::byte> bytes_at(void* address, std::size_t size) {
    return {static_cast<const std::byte*>(address), size};
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
        auto decoded = unicode::decode_utf16_strict(platform::WideView(name.data(), length));
        if (decoded.ok()) {
            paths.push_back(std::move(decoded.value()));
        } else {
            record_undecodable_name();
        }
    }
    return paths;
}

// The UTF-16 form of a narrow name, converted as the platform converts it
// for its queries: from the ANSI code page. Empty if it cannot be converted.
platform::WideView widened(std::span<const std::byte> name, std::basic_string<WCHAR>& buffer) {
    if (name.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const auto* bytes = reinterpret_cast<LPCSTR>(name.data());
    const auto length = static_cast<int>(name.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, bytes, length, nullptr, 0);
    if (units <= 0) return {};
    buffer.resize(static_cast<std::size_t>(units));
    const int converted = MultiByteToWideChar(CP_ACP, 0, bytes, length, buffer.data(), units);
    return {buffer.data(), static_cast<std::size_t>(std::max(converted, 0))};
}

// The units of a wide name, copied out of the block: a hostile list offset
// may leave them unaligned.
platform::WideView wide_units(std::span<const std::byte> name, std::basic_string<WCHAR>& buffer) {
    const drop_files::WideUnits units(name);
    buffer.resize(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) buffer[i] = static_cast<WCHAR>(units[i]);
    return buffer;
}

// Calls use(units) with the UTF-16 units of each name of a block: a wide
// name's own, a narrow name's conversion. False if the walk would leave the
// block.
template <class Use>
bool for_each_name_units(std::span<const std::byte> block, const drop_files::DropLayout& layout, Use&& use) {
    const bool wide = layout.unit_size == drop_files::wide_unit_size;
    std::basic_string<WCHAR> buffer;
    return drop_files::walk_drop_names(block, layout, [&](std::span<const std::byte> name) {
        use(wide ? wide_units(name, buffer) : widened(name, buffer));
    });
}

// The names of a block as one UTF-8 text, each name followed by a NUL;
// names that do not decode are left out. A first walk checks the block and
// measures the text, a second fills it, so that a long list is never copied
// by growth. Nothing if the walk would leave the block.
std::optional<std::string> walked_names(std::span<const std::byte> block, const drop_files::DropLayout& layout) {
    std::size_t size = 0;
    const bool readable = for_each_name_units(block, layout, [&](platform::WideView units) {
        if (const auto length = unicode::strict_utf8_length(units)) size += *length + 1;
    });
    if (!readable) return std::nullopt;
    std::string names;
    names.reserve(size);
    (void)for_each_name_units(block, layout, [&](platform::WideView units) {
        if (!unicode::strict_utf8_length(units)) {
            record_undecodable_name();
            return;
        }
        unicode::append_utf8_of_utf16(names, units);
        names += '\0';
    });
    return names;
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

// Fetches the clipboard's file-drop block, reaches `rendered` (its owner has
// rendered it) and reads it with read(address, size). The caller holds a
// ClipboardGuard.
template <class Read>
auto read_drop_block(const Milestone& rendered, Read&& read) {
    return read_clipboard_block(CF_HDROP, [&](void* address, std::size_t size) {
        rendered.reached();
        return read(address, size);
    });
}

// Any program can put a file-drop block on the clipboard, and the platform's
// queries trust it: one that would lead a reader past its end is refused
// before anything reads it.
ClipboardError unreadable_block_error() { return clipboard_error(OsError{ERROR_INVALID_DATA}); }

// The effect of the list on the clipboard: a copy when no effect was given.
Result<DropEffect, ClipboardError> read_drop_effect(UINT format) {
    if (!IsClipboardFormatAvailable(format)) return DropEffect::copy;
    return read_clipboard_block(format, [](void* address, std::size_t size) -> Result<DropEffect, ClipboardError> {
        return drop_files::effect_of(bytes_at(address, size));
    });
}

}  // namespace

Result<ClipboardGuard, OsError> ClipboardGuard::open(HWND owner) {
    if (!OpenClipboard(owner)) return Failure{capture_last_error()};
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

Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect, HWND owner) {
    if (effect != DropEffect::move) return place_drop_list(list.bytes, {}, owner);
    auto format = drop_effect_format();
    if (!format.ok()) return Failure{format.error()};
    const auto move = drop_files::move_effect_block();
    const ClipboardBlock effect_block{format.value(), move};
    return place_drop_list(list.bytes, std::span(&effect_block, 1), owner);
}

namespace {

// What read(milestone) gives, done by `worker`, or the unrendered error
// when it has not got its data within the bound.
template <class Read>
auto read_within_bound(Worker& worker, Read read) {
    return within(worker, render_bound_ms, std::move(read), [] { return Failure{unrendered_error()}; });
}

// Reaches `rendered` once the list's data is in hand.
Result<SequencedDrop, ClipboardError> read_file_drop(HWND owner, const Milestone& rendered) {
    auto format = drop_effect_format();
    if (!format.ok()) return Failure{format.error()};
    auto guard = ClipboardGuard::open(owner);
    if (!guard.ok()) return Failure{clipboard_error(guard.error())};
    // Read while the clipboard is open: nobody can change it meanwhile.
    const DWORD sequence = GetClipboardSequenceNumber();
    if (!IsClipboardFormatAvailable(CF_HDROP)) return SequencedDrop{std::nullopt, sequence};
    auto effect = read_drop_effect(format.value());
    if (!effect.ok()) return Failure{std::move(effect.error())};
    auto names = read_drop_block(rendered, [](void* address, std::size_t size) -> Result<std::string, ClipboardError> {
        const auto block = bytes_at(address, size);
        const auto layout = drop_files::drop_layout(block);
        auto walked = layout ? walked_names(block, *layout) : std::nullopt;
        if (!walked) return Failure{unreadable_block_error()};
        return std::move(*walked);
    });
    if (!names.ok()) return Failure{std::move(names.error())};
    return SequencedDrop{FileDrop{effect.value(), std::move(names.value())}, sequence};
}

}  // namespace

Result<SequencedDrop, ClipboardError> read_file_drop_within_bound(Worker& worker, HWND owner) {
    return read_within_bound(worker, [owner](const Milestone& rendered) { return read_file_drop(owner, rendered); });
}

ClipboardError unrendered_error() { return Pasteboard{std::string(unrendered_text), std::nullopt}; }

std::string names_of_drop_list(std::span<const std::byte> block) {
    const auto layout = drop_files::drop_layout(block);
    auto names = layout ? walked_names(block, *layout) : std::nullopt;
    return names ? std::move(*names) : std::string();
}

}  // namespace vantle_native::win::clipboard

// The program's operations, in the terms of the rooms above.
namespace vantle_native::clipboard {

using win::clipboard::ClipboardGuard;

PreparedList prepare_file_list(std::span<const std::string_view> paths) {
    return PreparedList{win::drop_files::build_drop_list(paths)};
}

PreparedList prepare_file_list_of_names(std::string_view names) {
    return PreparedList{win::drop_files::build_drop_list_of_names(names)};
}

// The copy that the first options make: the clipboard opened without a window.
Status<ClipboardError> write_file_list(std::span<const std::string_view> paths) {
    if (paths.empty()) return Done{};
    return win::clipboard::place_drop_list(win::drop_files::build_drop_list(paths), {}, nullptr);
}

// The added options open the clipboard with a message-only window of their
// own, which makes the open exclusive.
Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect) {
    const auto window = win::MessageWindow::create();
    return win::clipboard::place_file_list(list, effect, win::handle_or_none(window));
}

// The read, on a worker thread, is bounded only until it has the list:
// the platform's queries that follow walk the list from its start for each
// name, which takes long for a long list and is no owner's doing.
Result<std::vector<std::string>, ClipboardError> read_file_list() {
    using Read = Result<std::vector<std::string>, ClipboardError>;
    const auto read = [](const win::Milestone& rendered) -> Read {
        auto guard = ClipboardGuard::open();
        if (!guard.ok()) return Failure{clipboard_error(guard.error())};
        return win::clipboard::read_drop_block(rendered, [](void* address, std::size_t size) -> Read {
            if (!win::drop_files::is_readable_drop_block(win::clipboard::bytes_at(address, size))) {
                return Failure{win::clipboard::unreadable_block_error()};
            }
            return win::clipboard::queried_names(static_cast<HDROP>(address));
        });
    };
    win::Worker worker;
    return win::clipboard::read_within_bound(worker, read);
}

Result<std::optional<FileDrop>, ClipboardError> read_file_drop() {
    const auto window = win::MessageWindow::create();
    // A read given up ends the process with its fatal report, and the held
    // worker with it.
    win::Worker worker;
    auto read = win::clipboard::read_file_drop_within_bound(worker, win::handle_or_none(window));
    if (!read.ok()) return Failure{std::move(read.error())};
    return std::move(read.value().drop);
}

}  // namespace vantle_native::clipboard
