#include "x11/connection.h"

#include <poll.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <utility>

#include "linux/byte_text.h"
#include "x11/timeouts.h"

namespace vantle_native::x11 {
namespace {

constexpr char display_variable[] = "DISPLAY";
constexpr std::string_view no_display_text = "no X display: DISPLAY is not set";
constexpr std::string_view unreachable_display_text = "cannot connect to the X display ";
constexpr std::string_view atoms_refused_text = "the X server did not intern the clipboard's atoms";
constexpr std::string_view window_refused_text = "the X server refused the clipboard's window";
constexpr std::string_view broken_connection_text = "the connection to the X display broke";
constexpr std::string_view no_time_text = "the X server did not give its time within 5 s";
constexpr std::string_view unreadable_property_text = "the X server did not give the clipboard's data";
constexpr std::size_t property_unit_bytes = 4;
static_assert(answer_timeout == Milliseconds{5000}, "the texts name the timeout");

// A ChangeProperty request's fixed part, ahead of its data.
constexpr std::size_t change_property_header_bytes = 24;
constexpr std::size_t request_unit_bytes = 4;

// In the order of Atoms' members; the served targets' names follow.
constexpr std::array protocol_atom_names{
    std::string_view("CLIPBOARD"), std::string_view("TARGETS"), std::string_view("TIMESTAMP"),
    std::string_view("MULTIPLE"),  std::string_view("INCR"),    std::string_view("_VANTLE_NATIVE_TRANSFER"),
    std::string_view("_VANTLE_NATIVE_TIME"), std::string_view("_VANTLE_NATIVE_OFFERS"),
};
constexpr std::size_t atom_count = protocol_atom_names.size() + selection::served_targets.size();
static_assert(sizeof(Atoms) == atom_count * sizeof(xcb_atom_t));

constexpr std::string_view atom_name(std::size_t index) {
    if (index < protocol_atom_names.size()) return protocol_atom_names[index];
    return selection::name_of(selection::served_targets[index - protocol_atom_names.size()]);
}

// Every atom asked for at once, then every answer taken: one round trip.
std::optional<Atoms> intern_atoms(xcb_connection_t* connection) {
    std::array<xcb_intern_atom_cookie_t, atom_count> cookies{};
    for (std::size_t i = 0; i < atom_count; ++i) {
        const std::string_view name = atom_name(i);
        cookies[i] = xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    }
    std::array<xcb_atom_t, atom_count> atoms{};
    bool all = true;
    for (std::size_t i = 0; i < atom_count; ++i) {
        const Owned<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        all = all && reply != nullptr;
        if (reply) atoms[i] = reply->atom;
    }
    if (!all) return std::nullopt;
    // Atoms is these atoms in this order, with nothing between them.
    return std::bit_cast<Atoms>(atoms);
}

}  // namespace

ClipboardError broken_connection_error() { return clipboard_error(broken_connection_text); }

Result<xcb_window_t, ClipboardError> clipboard_owner(const Connection& connection) {
    const auto cookie = xcb_get_selection_owner(connection.get(), connection.atoms().clipboard);
    const Owned<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(connection.get(), cookie, nullptr));
    if (!reply) return Failure{broken_connection_error()};
    return reply->owner;
}

Result<Connection, ClipboardError> Connection::open() {
    const char* display = std::getenv(display_variable);
    if (display == nullptr || *display == '\0') return Failure{clipboard_error(no_display_text)};
    int screen_number = 0;
    xcb_connection_t* connection = xcb_connect(display, &screen_number);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return Failure{clipboard_error(std::string(unreachable_display_text) + linux_room::quoted_bytes(display))};
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen_number && screens.rem > 1; ++i) xcb_screen_next(&screens);
    const auto interned = intern_atoms(connection);
    if (!interned) {
        xcb_disconnect(connection);
        return Failure{clipboard_error(atoms_refused_text)};
    }
    return Connection(connection, screens.data->root, *interned);
}

Connection::Connection(Connection&& other) noexcept
    : connection_(std::exchange(other.connection_, nullptr)), root_(other.root_), atoms_(other.atoms_) {}

Connection::~Connection() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
}

std::size_t Connection::max_property_bytes() const {
    return std::size_t{xcb_get_setup(connection_)->maximum_request_length} * request_unit_bytes -
           change_property_header_bytes;
}

Status<ClipboardError> Connection::flush() {
    if (xcb_flush(connection_) <= 0 || xcb_connection_has_error(connection_) != 0) {
        return Failure{broken_connection_error()};
    }
    return Done{};
}

Result<Property, ClipboardError> read_property(Connection& connection, xcb_window_t window, xcb_atom_t property,
                                               std::size_t limit, Deletion deletion) {
    const auto units = static_cast<std::uint32_t>(limit / property_unit_bytes + 1);
    const auto cookie = xcb_get_property(connection.get(), deletion == Deletion::take ? 1 : 0, window, property,
                                         XCB_GET_PROPERTY_TYPE_ANY, 0, units);
    const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection.get(), cookie, nullptr));
    if (!reply) return Failure{clipboard_error(unreadable_property_text)};
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    if (length > limit || reply->bytes_after != 0) return Property{reply->type, reply->format, {}, true};
    return Property{reply->type, reply->format, std::string(value, length), false};
}

std::vector<xcb_atom_t> atoms_of(std::string_view bytes) {
    std::vector<xcb_atom_t> atoms(bytes.size() / sizeof(xcb_atom_t));
    std::memcpy(atoms.data(), bytes.data(), atoms.size() * sizeof(xcb_atom_t));
    return atoms;
}

Status<ClipboardError> Connection::sync() {
    const Owned<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    if (!reply) return Failure{broken_connection_error()};
    return Done{};
}

Result<std::optional<Event>, ClipboardError> Connection::next_event(std::optional<Deadline> deadline) {
    auto flushed = flush();
    if (!flushed.ok()) return Failure{std::move(flushed.error())};
    for (;;) {
        if (Event event = poll_event()) return std::optional<Event>(std::move(event));
        if (xcb_connection_has_error(connection_) != 0) return Failure{broken_connection_error()};
        const int timeout = deadline ? deadline->poll_timeout() : -1;
        if (timeout == 0) return std::optional<Event>();
        pollfd ready{descriptor(), POLLIN, 0};
        if (poll(&ready, 1, timeout) < 0 && errno != EINTR) return Failure{clipboard_error(last_os_error())};
    }
}

Result<Window, ClipboardError> Window::create(Connection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    const xcb_void_cookie_t created =
        xcb_create_window_checked(c, XCB_COPY_FROM_PARENT, window, connection.root(), 0, 0, 1, 1, 0,
                                  XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    if (xcb_generic_error_t* error = xcb_request_check(c, created)) {
        std::free(error);
        return Failure{clipboard_error(window_refused_text)};
    }
    return Window(c, window);
}

Window::Window(Window&& other) noexcept : connection_(std::exchange(other.connection_, nullptr)), id_(other.id_) {}

Window::~Window() {
    if (connection_ != nullptr) (void)xcb_destroy_window(connection_, id_);
}

Result<xcb_timestamp_t, ClipboardError> server_time(Connection& connection, xcb_window_t window,
                                                    const EventSink& others) {
    const xcb_atom_t probe = connection.atoms().time_probe;
    (void)xcb_change_property(connection.get(), XCB_PROP_MODE_APPEND, window, probe, XCB_ATOM_STRING, 8, 0, nullptr);
    auto stamped = connection.wait_for(
        Deadline::after(answer_timeout),
        [&](const xcb_generic_event_t& event) {
            if (kind_of(event) != XCB_PROPERTY_NOTIFY) return false;
            const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            return change.window == window && change.atom == probe;
        },
        others, no_time_text);
    if (!stamped.ok()) return Failure{std::move(stamped.error())};
    return reinterpret_cast<const xcb_property_notify_event_t&>(*stamped.value()).time;
}

}  // namespace vantle_native::x11
