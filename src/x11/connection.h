// The connection to the X server and the window the clipboard works through,
// each a scope object; waiting for events with a deadline.
#pragma once

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "linux/deadline.h"
#include "linux/freed.h"
#include "selection/formats.h"
#include "result.h"

namespace vantle_native::x11 {

// The atoms the clipboard uses, interned once per connection.
struct Atoms {
    xcb_atom_t clipboard;
    xcb_atom_t targets;
    xcb_atom_t timestamp;
    xcb_atom_t multiple;
    xcb_atom_t incr;
    // The property of our window that a read asks the owner to fill.
    xcb_atom_t transfer;
    // The property of our window that a zero-length append stamps with the
    // server's time.
    xcb_atom_t time_probe;
    // The property of our window that a session's question to a new owner
    // (its targets) is answered in: apart from a read's, so that neither
    // answer is taken for the other.
    xcb_atom_t offer_probe;
    // The served targets, in the order of selection::served_targets.
    std::array<xcb_atom_t, selection::served_targets.size()> served;

    [[nodiscard]] xcb_atom_t of(selection::Target target) const { return served[static_cast<std::size_t>(target)]; }
    // The served target that `atom` names, if any.
    [[nodiscard]] std::optional<selection::Target> target_of(xcb_atom_t atom) const {
        const auto* found = std::ranges::find_if(selection::served_targets,
                                                 [&](selection::Target target) { return of(target) == atom; });
        if (found == selection::served_targets.end()) return std::nullopt;
        return *found;
    }
};

// What XCB allocates for an event, a reply or an error: freed with free().
using linux_room::Freed;
// A reply from the server, freed when its scope ends.
template <class Reply>
using Owned = std::unique_ptr<Reply, Freed>;
// An event from the server, freed when its scope ends.
using Event = Owned<xcb_generic_event_t>;

// The event's kind, without the bit that marks a sent event.
[[nodiscard]] inline std::uint8_t kind_of(const xcb_generic_event_t& event) { return event.response_type & 0x7F; }

// The events that a wait is not for: the session routes them, a one-shot
// read has no use for them.
using EventSink = std::function<void(Event)>;

using linux_room::Clock;
using linux_room::Deadline;
using linux_room::earlier;

class Connection {
public:
    // Connects to $DISPLAY and interns the atoms. No DISPLAY, or a display
    // that cannot be reached, is a clipboard error that names it.
    [[nodiscard]] static Result<Connection, ClipboardError> open();

    Connection(Connection&& other) noexcept;
    Connection& operator=(Connection&&) = delete;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection();

    [[nodiscard]] xcb_connection_t* get() const { return connection_; }
    [[nodiscard]] const Atoms& atoms() const { return atoms_; }
    [[nodiscard]] xcb_window_t root() const { return root_; }
    [[nodiscard]] int descriptor() const { return xcb_get_file_descriptor(connection_); }
    // The longest property value that fits one request (without the
    // big-requests extension, which not every peer's server offers): longer
    // data goes incrementally.
    [[nodiscard]] std::size_t max_property_bytes() const;

    // Sends what is queued; an error once the connection has broken.
    [[nodiscard]] Status<ClipboardError> flush();
    // Returns once the server has carried out every request sent so far: a
    // client that exits with requests in flight may see them dropped.
    [[nodiscard]] Status<ClipboardError> sync();
    // An event that has already arrived, if any.
    [[nodiscard]] Event poll_event() const { return Event(xcb_poll_for_event(connection_)); }
    // An event that XCB has already read from the connection, if any: one that
    // came while a reply was awaited, which a poll on the connection no
    // longer sees.
    [[nodiscard]] Event poll_queued_event() const { return Event(xcb_poll_for_queued_event(connection_)); }
    // The next event, waiting by poll on the connection until the deadline
    // (none: without end); nothing once the deadline has passed.
    [[nodiscard]] Result<std::optional<Event>, ClipboardError> next_event(std::optional<Deadline> deadline);
    // Waits until an event that `wanted` accepts, handing every other event
    // to `others`; `timeout_text` is the error when the deadline comes first.
    template <class Wanted>
    [[nodiscard]] Result<Event, ClipboardError> wait_for(Deadline deadline, Wanted&& wanted, const EventSink& others,
                                                         std::string_view timeout_text) {
        for (;;) {
            auto event = next_event(deadline);
            if (!event.ok()) return Failure{std::move(event.error())};
            if (!event.value()) return Failure{clipboard_error(timeout_text)};
            if (wanted(**event.value())) return std::move(*event.value());
            if (others) others(std::move(*event.value()));
        }
    }

private:
    Connection(xcb_connection_t* connection, xcb_window_t root, const Atoms& atoms)
        : connection_(connection), root_(root), atoms_(atoms) {}

    xcb_connection_t* connection_;
    xcb_window_t root_;
    Atoms atoms_;
};

// The clipboard error of a connection that has broken.
[[nodiscard]] ClipboardError broken_connection_error();

// The window that owns the CLIPBOARD selection now, as the server says, or
// XCB_NONE. Every event the server sent before its answer has arrived by
// then.
[[nodiscard]] Result<xcb_window_t, ClipboardError> clipboard_owner(const Connection& connection);

// An invisible window of this program: the owner of what it serves, the
// requestor of what it reads. Destroyed when its scope ends.
class Window {
public:
    // Selects the property changes of the window: they give the server's
    // time and the chunks of incremental transfers.
    [[nodiscard]] static Result<Window, ClipboardError> create(Connection& connection);

    Window(Window&& other) noexcept;
    Window& operator=(Window&&) = delete;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window();

    [[nodiscard]] xcb_window_t id() const { return id_; }

private:
    Window(xcb_connection_t* connection, xcb_window_t id) : connection_(connection), id_(id) {}
    xcb_connection_t* connection_;
    xcb_window_t id_;
};

// A window's property: its type, the size of its items (8, 16 or 32 bits)
// and its bytes, up to the limit it was read with.
struct Property {
    xcb_atom_t type;
    std::uint8_t format;
    // Read through Result's value(), which cppcheck does not follow.
    // cppcheck-suppress unusedStructMember
    std::string bytes;
    // The value was longer than the limit: `bytes` is empty.
    bool too_long;
};

// Whether a read deletes the property: the deletion is what asks an owner
// for the next chunk of an incremental transfer.
enum class Deletion : std::uint8_t { keep, take };

// Reads a property of at most `limit` bytes. The server is asked for one
// unit more than `limit` allows, so that a longer value is known as such
// without being sent.
[[nodiscard]] Result<Property, ClipboardError> read_property(Connection& connection, xcb_window_t window,
                                                             xcb_atom_t property, std::size_t limit,
                                                             Deletion deletion);

// The atoms that a property of 32-bit items holds.
[[nodiscard]] std::vector<xcb_atom_t> atoms_of(std::string_view bytes);

// The server's current time, from the property change that a zero-length
// append to the window makes: what taking a selection must be stamped with.
[[nodiscard]] Result<xcb_timestamp_t, ClipboardError> server_time(Connection& connection, xcb_window_t window,
                                                                  const EventSink& others);

}  // namespace vantle_native::x11
