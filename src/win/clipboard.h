// The clipboard module: file lists in and out of the system clipboard in the
// shell's file-drop format.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "platform/win32.h"
#include "result.h"

namespace vantle_native::win::clipboard {

// Having one means this thread has the clipboard open; its end closes it.
class ClipboardGuard {
public:
    // One OpenClipboard(NULL): no retry, no wait.
    [[nodiscard]] static Result<ClipboardGuard, OsError> open();

    ClipboardGuard(ClipboardGuard&& other) noexcept;
    ClipboardGuard& operator=(ClipboardGuard&&) = delete;
    ClipboardGuard(const ClipboardGuard&) = delete;
    ClipboardGuard& operator=(const ClipboardGuard&) = delete;
    ~ClipboardGuard();

private:
    ClipboardGuard() = default;
    // Only a moved-from guard is disengaged; it closes nothing.
    bool engaged_ = true;
};

// The calling thread's last platform error, read at once.
[[nodiscard]] OsError capture_last_error();

struct ClipboardBlock {
    UINT format;
    std::span<const std::byte> data;
};

// Copies each block's data into a new movable global block, empties the
// clipboard and hands the blocks over under their formats, in order. The
// caller holds a ClipboardGuard. All are filled before the clipboard is
// emptied, and if one is refused after another was handed over, the
// clipboard is emptied again, so that it never holds part of the set.
[[nodiscard]] Status<OsError> set_clipboard_block(std::span<const ClipboardBlock> blocks);

// The file-drop block for `paths`: a 20-byte header, each path in UTF-16
// followed by a 0 unit, and a final 0 unit.
[[nodiscard]] std::vector<std::byte> build_drop_list(std::span<const std::string_view> paths);

// Replaces the clipboard's content with `paths` as a file-drop list.
[[nodiscard]] Status<ClipboardError> write_file_list(std::span<const std::string_view> paths);

// The same list marked to be moved, with a "Preferred DropEffect" block
// beside it: a paste in the file manager moves the files.
[[nodiscard]] Status<ClipboardError> cut_file_list(std::span<const std::string_view> paths);

// The same two with the file-drop block already built, for a caller that
// releases what it was built from before the clipboard takes its copy.
[[nodiscard]] Status<ClipboardError> write_drop_list(std::span<const std::byte> drop);
[[nodiscard]] Status<ClipboardError> cut_drop_list(std::span<const std::byte> drop);

// The file-drop list on the clipboard, in its order; names that are not valid
// UTF-16 are left out.
[[nodiscard]] Result<std::vector<std::string>, ClipboardError> read_file_list();

// What a paste of the list is meant to do with the files.
enum class DropEffect { copy, move, link };

struct FileDrop {
    DropEffect effect;
    std::vector<std::string> paths;
};

// The file-drop list with its effect, or nothing when the clipboard holds no
// list. The paths are those of read_file_list; a wide list is read in one walk.
[[nodiscard]] Result<std::optional<FileDrop>, ClipboardError> read_file_drop();

// Whether `block` is a file-drop block that the platform can walk without
// reading past its end: a whole header, a list offset inside the block, and
// names ending in a 0 unit up to an empty name, all within the block.
[[nodiscard]] bool is_readable_drop_block(std::span<const std::byte> block);

}  // namespace vantle_native::win::clipboard
