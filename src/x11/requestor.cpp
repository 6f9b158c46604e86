#include "x11/requestor.h"

#include <algorithm>
#include <vector>

#include "selection/formats.h"
#include "x11/timeouts.h"

namespace vantle_native::x11 {
namespace {

using selection::endless_text;
using selection::no_answer_text;
using selection::stalled_text;
using selection::too_large_text;

// Reads and deletes the property, which asks an owner for the next chunk.
Result<Property, ClipboardError> take_property(Connection& connection, xcb_window_t window, xcb_atom_t property,
                                               std::size_t limit) {
    auto read = read_property(connection, window, property, limit, Deletion::take);
    if (read.ok() && read.value().too_long) return Failure{clipboard_error(too_large_text)};
    return read;
}

bool is_property_change(const xcb_generic_event_t& event, xcb_window_t window, xcb_atom_t property, std::uint8_t state) {
    if (kind_of(event) != XCB_PROPERTY_NOTIFY) return false;
    const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    return change.window == window && change.atom == property && change.state == state;
}

// The chunks of an incremental transfer, which starts with the deletion of
// the INCR property (take_property has made it) and ends with an empty chunk.
// Each chunk has 5 s; the whole has its own deadline and size.
Result<std::string, ClipboardError> read_increments(Connection& connection, xcb_window_t window, const EventSink& others) {
    const xcb_atom_t property = connection.atoms().transfer;
    const Deadline whole = Deadline::after(whole_transfer_timeout);
    std::string data;
    for (;;) {
        const Deadline chunk_deadline = Deadline::after(answer_timeout);
        const bool whole_first = whole.at() < chunk_deadline.at();
        auto chunk_ready = connection.wait_for(
            whole_first ? whole : chunk_deadline,
            [&](const xcb_generic_event_t& event) {
                return is_property_change(event, window, property, XCB_PROPERTY_NEW_VALUE);
            },
            others, whole_first ? endless_text : stalled_text);
        if (!chunk_ready.ok()) return Failure{std::move(chunk_ready.error())};
        auto chunk = take_property(connection, window, property, max_selection_bytes - data.size());
        if (!chunk.ok()) return Failure{std::move(chunk.error())};
        if (chunk.value().bytes.empty()) return data;
        data += chunk.value().bytes;
    }
}

bool holds(const std::vector<xcb_atom_t>& targets, xcb_atom_t target) {
    return std::find(targets.begin(), targets.end(), target) != targets.end();
}

// What an owner offering `targets` offers, as the formats ask it.
auto offer_of(const Atoms& atoms, const std::vector<xcb_atom_t>& targets) {
    return [&atoms, &targets](selection::Target target) { return holds(targets, atoms.of(target)); };
}

// The bytes of `target`, converted into the transfer property of `window`;
// nothing when the owner refuses the target.
Result<std::optional<std::string>, ClipboardError> read_target(Connection& connection, xcb_window_t window,
                                                               xcb_atom_t target, const EventSink& others) {
    const Atoms& atoms = connection.atoms();
    (void)xcb_convert_selection(connection.get(), window, atoms.clipboard, target, atoms.transfer, XCB_CURRENT_TIME);
    auto answered = connection.wait_for(
        Deadline::after(answer_timeout),
        [&](const xcb_generic_event_t& event) {
            if (kind_of(event) != XCB_SELECTION_NOTIFY) return false;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            return notify.requestor == window && notify.selection == atoms.clipboard && notify.target == target &&
                   (notify.property == atoms.transfer || notify.property == XCB_NONE);
        },
        others, no_answer_text);
    if (!answered.ok()) return Failure{std::move(answered.error())};
    if (reinterpret_cast<const xcb_selection_notify_event_t&>(*answered.value()).property == XCB_NONE) {
        return std::optional<std::string>();
    }
    auto first = take_property(connection, window, atoms.transfer, max_selection_bytes);
    if (!first.ok()) return Failure{std::move(first.error())};
    if (first.value().type != atoms.incr) return std::optional<std::string>(std::move(first.value().bytes));
    auto whole = read_increments(connection, window, others);
    if (!whole.ok()) return Failure{std::move(whole.error())};
    return std::optional<std::string>(std::move(whole.value()));
}

// The targets the owner offers; none when it refuses to list them.
Result<std::vector<xcb_atom_t>, ClipboardError> read_targets(Connection& connection, xcb_window_t window,
                                                             const EventSink& others) {
    auto listed = read_target(connection, window, connection.atoms().targets, others);
    if (!listed.ok()) return Failure{std::move(listed.error())};
    if (!listed.value()) return std::vector<xcb_atom_t>();
    return atoms_of(*listed.value());
}

}  // namespace

Result<SelectionRead, ClipboardError> read_file_drop(Connection& connection, const EventSink& others) {
    auto owner = clipboard_owner(connection);
    if (!owner.ok()) return Failure{std::move(owner.error())};
    if (owner.value() == XCB_NONE) return SelectionRead{false, std::nullopt};
    auto reading = Window::create(connection);
    if (!reading.ok()) return Failure{std::move(reading.error())};
    const xcb_window_t window = reading.value().id();
    auto targets = read_targets(connection, window, others);
    if (!targets.ok()) return Failure{std::move(targets.error())};
    const Atoms& atoms = connection.atoms();
    return selection::read_drop(offer_of(atoms, targets.value()), [&](selection::Target target) {
        return read_target(connection, window, atoms.of(target), others);
    });
}

OfferProbe OfferProbe::ask(Connection& connection, xcb_window_t window, xcb_timestamp_t time) {
    const Atoms& atoms = connection.atoms();
    (void)xcb_convert_selection(connection.get(), window, atoms.clipboard, atoms.targets, atoms.offer_probe, time);
    return {window, time, Deadline::after(offer_probe_timeout)};
}

std::optional<bool> OfferProbe::answer(Connection& connection, const xcb_generic_event_t& event) const {
    if (kind_of(event) != XCB_SELECTION_NOTIFY) return std::nullopt;
    const Atoms& atoms = connection.atoms();
    const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
    if (notify.requestor != window_ || notify.selection != atoms.clipboard || notify.target != atoms.targets ||
        notify.time != time_ || (notify.property != atoms.offer_probe && notify.property != XCB_NONE)) {
        return std::nullopt;
    }
    if (notify.property == XCB_NONE) return false;
    // A list of targets is a few atoms: one request's worth is plenty.
    auto listed = take_property(connection, window_, atoms.offer_probe, connection.max_property_bytes());
    return listed.ok() && listed.value().type != atoms.incr &&
           selection::offers_file_list(offer_of(atoms, atoms_of(listed.value().bytes)));
}

}  // namespace vantle_native::x11
