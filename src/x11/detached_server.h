// A copy that outlives the process that made it: an X selection lives only
// while its owner serves it, so a detached child serves it.
#pragma once

#include <xcb/xcb.h>

#include <memory>

#include "errors.h"
#include "result.h"
#include "selection/formats.h"

namespace vantle_native::x11 {

// Starts a detached child (a new session, its standard streams on
// /dev/null and no other descriptor of this process, so that a caller's
// pipes close) that takes the selection for `content` and serves it until
// another program takes it. Returns once the child owns the selection, or
// with the error that kept it from owning it.
//
// `handed_by`: XCB_NONE for a new copy; for a hand-over, the window of this
// process that owns the selection now. The child then takes it only while
// that window still owns it, and when another program has taken it
// meanwhile, that newer copy stays, no child is left, and that is no error.
[[nodiscard]] Status<ClipboardError> serve_from_detached_child(const std::shared_ptr<const selection::SelectionContent>& content,
                                                               xcb_window_t handed_by);

}  // namespace vantle_native::x11
