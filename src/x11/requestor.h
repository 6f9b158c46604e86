// Reading the CLIPBOARD selection from its owner: TARGETS first, then the
// chosen target, each answer awaited with a deadline that every chunk of an
// incremental transfer renews.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "file_clipboard.h"
#include "x11/connection.h"

namespace vantle_native::x11 {

// The current owner of the CLIPBOARD selection, or XCB_NONE.
[[nodiscard]] xcb_window_t clipboard_owner(const Connection& connection);

// The bytes of `target`, converted into a property of `window`; nothing when
// the owner refuses the target. Events the wait is not for go to `others`.
[[nodiscard]] Result<std::optional<std::string>, ClipboardError> read_target(Connection& connection, xcb_window_t window,
                                                                             xcb_atom_t target, const EventSink& others);

// The targets the owner offers; none when it refuses to list them.
[[nodiscard]] Result<std::vector<xcb_atom_t>, ClipboardError> read_targets(Connection& connection, xcb_window_t window,
                                                                           const EventSink& others);

// Whether targets hold a file list this program reads.
[[nodiscard]] bool offers_files(const Atoms& atoms, const std::vector<xcb_atom_t>& targets);

struct SelectionRead {
    // Whether the selection had an owner at all.
    bool owned;
    std::optional<clipboard::FileDrop> drop;
};

// The owner's file list with its effect: gnome-copied-files if offered
// (its first line gives the effect), else text/uri-list with
// kde-cutselection beside it; nothing when it offers neither.
[[nodiscard]] Result<SelectionRead, ClipboardError> read_file_drop(Connection& connection, xcb_window_t window,
                                                                   const EventSink& others);

}  // namespace vantle_native::x11
