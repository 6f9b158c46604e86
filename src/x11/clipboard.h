// The X11 clipboard (the CLIPBOARD selection) as the Linux program uses it
// when no Wayland compositor with data-control is there: a read of the
// selection, a copy served by a detached child (detached_server.h), and the
// session.
#pragma once

#include "errors.h"
#include "result.h"
#include "selection/formats.h"

namespace vantle_native::x11 {

// The selection's file list with its effect, through a connection and a
// window of its own.
[[nodiscard]] Result<selection::SelectionRead, ClipboardError> read_selection();

// --serve on the X11 clipboard (see session/serve.h).
[[nodiscard]] Status<ClipboardError> serve_session();

}  // namespace vantle_native::x11
