// The content a copy serves, built from a prepared list: the same for the
// X11 and the Wayland clipboard.
#pragma once

#include <memory>

#include "file_clipboard.h"
#include "selection/formats.h"

namespace vantle_native::selection {

// The content for a prepared list (each path followed by a NUL, as given)
// and its effect. A URI names a file from the root, so a relative path is
// taken from the current directory now; a current directory that cannot be
// found (removed, or unreadable) is a clipboard error, before anything
// changes.
[[nodiscard]] Result<std::shared_ptr<const SelectionContent>, ClipboardError> content_of(
    const clipboard::PreparedList& list, clipboard::DropEffect effect);

}  // namespace vantle_native::selection
