#include "x11/selection_watcher.h"

namespace vantle_native::x11 {
namespace {

constexpr std::string_view no_extension_text = "the X server has no XFIXES extension, which tells of clipboard changes";
// The version whose selection notifications this program reads.
constexpr std::uint32_t xfixes_major = 1;
constexpr std::uint32_t xfixes_minor = 0;
constexpr std::uint32_t owner_events = XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                       XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                       XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE;

}  // namespace

Result<SelectionWatcher, ClipboardError> SelectionWatcher::start(Connection& connection, xcb_window_t window) {
    xcb_connection_t* c = connection.get();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_xfixes_id);
    const auto version = xcb_xfixes_query_version(c, xfixes_major, xfixes_minor);
    const Owned<xcb_xfixes_query_version_reply_t> agreed(xcb_xfixes_query_version_reply(c, version, nullptr));
    if (extension == nullptr || extension->present == 0 || !agreed) {
        return Failure{clipboard_error(no_extension_text)};
    }
    (void)xcb_xfixes_select_selection_input(c, window, connection.atoms().clipboard, owner_events);
    return SelectionWatcher(extension->first_event);
}

const xcb_xfixes_selection_notify_event_t* SelectionWatcher::notification(const xcb_generic_event_t& event) const {
    if (kind_of(event) != first_event_ + XCB_XFIXES_SELECTION_NOTIFY) return nullptr;
    return reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(&event);
}

}  // namespace vantle_native::x11
