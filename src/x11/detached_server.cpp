#include "x11/detached_server.h"

#include "linux/detached_child.h"
#include "x11/owner.h"

namespace vantle_native::x11 {
namespace {

// The selection taken for the child: at once for a new copy; for a
// hand-over, only from the window that hands it over.
Result<std::optional<Owner>, ClipboardError> take_selection(Connection& connection, xcb_window_t window,
                                                            const std::shared_ptr<const selection::SelectionContent>& content,
                                                            xcb_timestamp_t time, xcb_window_t handed_by) {
    if (handed_by != XCB_NONE) return Owner::take_over(connection, window, content, time, handed_by);
    auto owner = Owner::take(connection, window, content, time);
    if (!owner.ok()) return Failure{std::move(owner.error())};
    return std::optional<Owner>(std::move(owner.value()));
}

// The child's serving: owns the selection, says so, serves until another
// program takes it.
void serve_in_child(const linux_room::ParentReport& parent,
                    const std::shared_ptr<const selection::SelectionContent>& content, xcb_window_t handed_by) {
    auto connection = Connection::open();
    if (!connection.ok()) parent.failed(connection.error());
    auto window = Window::create(connection.value());
    if (!window.ok()) parent.failed(window.error());
    auto time = server_time(connection.value(), window.value().id(), nullptr);
    if (!time.ok()) parent.failed(time.error());
    auto owner = take_selection(connection.value(), window.value().id(), content, time.value(), handed_by);
    if (!owner.ok()) parent.failed(owner.error());
    if (!owner.value()) {
        parent.taken();
        return;
    }
    parent.owned();
    serve_until_taken(connection.value(), *owner.value());
}

}  // namespace

Status<ClipboardError> serve_from_detached_child(const std::shared_ptr<const selection::SelectionContent>& content,
                                                 xcb_window_t handed_by) {
    return linux_room::start_detached_child(
        [&](const linux_room::ParentReport& parent) { serve_in_child(parent, content, handed_by); });
}

}  // namespace vantle_native::x11
