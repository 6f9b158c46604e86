// A copy that outlives the process that made it: a Linux clipboard's
// selection lives only while its owner serves it, so a detached child
// serves it. The process frame is the same for the X11 and the Wayland
// clipboard; each gives the serving itself.
#pragma once

#include <functional>
#include <span>

#include "errors.h"
#include "result.h"

namespace vantle_native::linux_room {

// The child's one message to its parent, through a pipe, before it serves
// on its own.
class ParentReport {
public:
    explicit ParentReport(int report) : report_(report) {}

    // The child owns the selection: the parent may return.
    void owned() const;
    // A hand-over found that another program had taken the selection
    // already: that newer copy stays, no child is left, and that is no error.
    void taken() const;
    // The child could not own the selection: the parent reports `error`.
    [[noreturn]] void failed(const ClipboardError& error) const;

private:
    int report_;
};

// What the child runs: it takes the selection, tells its parent through the
// report, serves until another program takes the selection, and returns.
using ChildServer = std::function<void(const ParentReport&)>;

// Starts a detached child (a new session, its standard streams on
// /dev/null, the root as its working directory and no other descriptor of
// this process but those in `kept`, so that a caller's pipes close) that
// runs `serve`. Returns once the child has said that it owns the selection
// (or that it was taken already), or with the error that kept it from
// owning it; a child that says nothing within the hand-over timeout is
// ended.
[[nodiscard]] Status<ClipboardError> start_detached_child(const ChildServer& serve,
                                                          std::span<const int> kept = {});

}  // namespace vantle_native::linux_room
