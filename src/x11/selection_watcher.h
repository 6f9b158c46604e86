// Notifications of every change of the CLIPBOARD selection's owner, through
// the XFIXES extension: X11 has no global sequence number, so a session
// counts these.
#pragma once

#include <xcb/xfixes.h>

#include "x11/connection.h"

namespace vantle_native::x11 {

class SelectionWatcher {
public:
    // Asks the server to notify `window` of every new owner of CLIPBOARD, for
    // as long as the window exists.
    [[nodiscard]] static Result<SelectionWatcher, ClipboardError> start(Connection& connection, xcb_window_t window);

    // The notification an event is, or none.
    [[nodiscard]] const xcb_xfixes_selection_notify_event_t* notification(const xcb_generic_event_t& event) const;

private:
    explicit SelectionWatcher(std::uint8_t first_event) : first_event_(first_event) {}
    std::uint8_t first_event_;
};

}  // namespace vantle_native::x11
