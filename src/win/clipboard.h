// The Windows clipboard's I/O: the guard that keeps it open, global memory
// blocks in and out of it. The file-drop format itself is drop_files.h; the
// operations the program offers are clipboard.h.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <span>

#include "errors.h"
#include "file_clipboard.h"
#include "platform/win32.h"
#include "result.h"

namespace vantle_native::win {
class Worker;
}

namespace vantle_native::win::clipboard {

// Having one means this thread has the clipboard open; its end closes it.
class ClipboardGuard {
public:
    // One OpenClipboard: no retry, no wait. `owner` is a window of this
    // process (a read's worker thread opens with its caller's window), or
    // none.
    [[nodiscard]] static Result<ClipboardGuard, OsError> open(HWND owner = nullptr);

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

// The operations of file_clipboard.h that the added options and the session
// use, with the clipboard opened by `owner`: the caller's window, which makes
// the open exclusive (or none). A place opens it on the calling thread, a
// read on its worker's.
[[nodiscard]] Status<ClipboardError> place_file_list(const vantle_native::clipboard::PreparedList& list,
                                                     vantle_native::clipboard::DropEffect effect, HWND owner);

struct SequencedDrop {
    std::optional<vantle_native::clipboard::FileDrop> drop;
    // The clipboard's sequence number while the list was read.
    DWORD sequence;
};
// An owner that renders its list on demand and hangs holds a read inside
// GetClipboardData, with the clipboard open, for as long as it hangs. So a
// read runs on `worker` and is given up when it has not got its data within
// a bound: it fails, and the worker is held with the clipboard open, so the
// process must end.
[[nodiscard]] Result<SequencedDrop, ClipboardError> read_file_drop_within_bound(Worker& worker, HWND owner);
// The error of a read given up at that bound.
[[nodiscard]] ClipboardError unrendered_error();

// The names of a file-drop block that this program built, as a read gives
// them: each followed by a NUL.
[[nodiscard]] std::string names_of_drop_list(std::span<const std::byte> block);

}  // namespace vantle_native::win::clipboard
