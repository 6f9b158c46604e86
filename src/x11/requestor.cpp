#include "x11/requestor.h"

#include <algorithm>
#include <cstring>

#include "x11/formats.h"
#include "x11/timeouts.h"

namespace vantle_native::x11 {
namespace {

constexpr std::string_view no_answer_text = "the clipboard's owner did not answer within 5 s";
constexpr std::string_view stalled_text = "the clipboard's owner stopped in the middle of a transfer (nothing for 5 s)";
constexpr std::string_view unreadable_property_text = "the X server did not give the clipboard's data";
static_assert(answer_timeout == Milliseconds{5000}, "the texts name the timeout");

// Everything a property holds, in one reply.
constexpr std::uint32_t whole_property_units = UINT32_MAX / 4;

struct Property {
    xcb_atom_t type;
    // Read through Result's value(), which cppcheck does not follow.
    // cppcheck-suppress unusedStructMember
    std::string bytes;
};

// Reads and deletes the property: the deletion is what asks an owner for
// the next chunk of an incremental transfer.
Result<Property, ClipboardError> take_property(Connection& connection, xcb_window_t window, xcb_atom_t property) {
    const auto cookie = xcb_get_property(connection.get(), 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                         whole_property_units);
    const Owned<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection.get(), cookie, nullptr));
    if (!reply) return Failure{clipboard_error(unreadable_property_text)};
    const auto* value = static_cast<const char*>(xcb_get_property_value(reply.get()));
    const auto length = static_cast<std::size_t>(xcb_get_property_value_length(reply.get()));
    return Property{reply->type, std::string(value, length)};
}

bool is_property_change(const xcb_generic_event_t& event, xcb_window_t window, xcb_atom_t property, std::uint8_t state) {
    if (kind_of(event) != XCB_PROPERTY_NOTIFY) return false;
    const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    return change.window == window && change.atom == property && change.state == state;
}

// The chunks of an incremental transfer, which starts with the deletion of
// the INCR property (take_property has made it) and ends with an empty chunk.
Result<std::string, ClipboardError> read_increments(Connection& connection, xcb_window_t window, const EventSink& others) {
    const xcb_atom_t property = connection.atoms().transfer;
    std::string data;
    for (;;) {
        auto chunk_ready = connection.wait_for(
            Deadline::after(answer_timeout),
            [&](const xcb_generic_event_t& event) {
                return is_property_change(event, window, property, XCB_PROPERTY_NEW_VALUE);
            },
            others, stalled_text);
        if (!chunk_ready.ok()) return Failure{std::move(chunk_ready.error())};
        auto chunk = take_property(connection, window, property);
        if (!chunk.ok()) return Failure{std::move(chunk.error())};
        if (chunk.value().bytes.empty()) return data;
        data += chunk.value().bytes;
    }
}

bool holds(const std::vector<xcb_atom_t>& targets, xcb_atom_t target) {
    return std::find(targets.begin(), targets.end(), target) != targets.end();
}

}  // namespace

xcb_window_t clipboard_owner(const Connection& connection) {
    const auto cookie = xcb_get_selection_owner(connection.get(), connection.atoms().clipboard);
    const Owned<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(connection.get(), cookie, nullptr));
    return reply ? reply->owner : XCB_NONE;
}

Result<std::optional<std::string>, ClipboardError> read_target(Connection& connection, xcb_window_t window,
                                                               xcb_atom_t target, const EventSink& others) {
    const Atoms& atoms = connection.atoms();
    (void)xcb_convert_selection(connection.get(), window, atoms.clipboard, target, atoms.transfer, XCB_CURRENT_TIME);
    auto answered = connection.wait_for(
        Deadline::after(answer_timeout),
        [&](const xcb_generic_event_t& event) {
            if (kind_of(event) != XCB_SELECTION_NOTIFY) return false;
            const auto& notify = reinterpret_cast<const xcb_selection_notify_event_t&>(event);
            return notify.requestor == window && notify.selection == atoms.clipboard && notify.target == target;
        },
        others, no_answer_text);
    if (!answered.ok()) return Failure{std::move(answered.error())};
    if (reinterpret_cast<const xcb_selection_notify_event_t&>(*answered.value()).property == XCB_NONE) {
        return std::optional<std::string>();
    }
    auto first = take_property(connection, window, atoms.transfer);
    if (!first.ok()) return Failure{std::move(first.error())};
    if (first.value().type != atoms.incr) return std::optional<std::string>(std::move(first.value().bytes));
    auto whole = read_increments(connection, window, others);
    if (!whole.ok()) return Failure{std::move(whole.error())};
    return std::optional<std::string>(std::move(whole.value()));
}

Result<std::vector<xcb_atom_t>, ClipboardError> read_targets(Connection& connection, xcb_window_t window,
                                                             const EventSink& others) {
    auto listed = read_target(connection, window, connection.atoms().targets, others);
    if (!listed.ok()) return Failure{std::move(listed.error())};
    std::vector<xcb_atom_t> targets;
    if (!listed.value()) return targets;
    const std::string& bytes = *listed.value();
    targets.resize(bytes.size() / sizeof(xcb_atom_t));
    std::memcpy(targets.data(), bytes.data(), targets.size() * sizeof(xcb_atom_t));
    return targets;
}

bool offers_files(const Atoms& atoms, const std::vector<xcb_atom_t>& targets) {
    return holds(targets, atoms.gnome_copied_files) || holds(targets, atoms.uri_list);
}

Result<SelectionRead, ClipboardError> read_file_drop(Connection& connection, xcb_window_t window,
                                                     const EventSink& others) {
    if (clipboard_owner(connection) == XCB_NONE) return SelectionRead{false, std::nullopt};
    auto targets = read_targets(connection, window, others);
    if (!targets.ok()) return Failure{std::move(targets.error())};
    const Atoms& atoms = connection.atoms();
    if (holds(targets.value(), atoms.gnome_copied_files)) {
        auto bytes = read_target(connection, window, atoms.gnome_copied_files, others);
        if (!bytes.ok()) return Failure{std::move(bytes.error())};
        if (!bytes.value()) return SelectionRead{true, std::nullopt};
        return SelectionRead{true, drop_of_gnome_copied_files(*bytes.value())};
    }
    if (!holds(targets.value(), atoms.uri_list)) return SelectionRead{true, std::nullopt};
    auto list = read_target(connection, window, atoms.uri_list, others);
    if (!list.ok()) return Failure{std::move(list.error())};
    if (!list.value()) return SelectionRead{true, std::nullopt};
    clipboard::FileDrop drop{clipboard::DropEffect::copy, paths_of_uri_list(*list.value())};
    if (holds(targets.value(), atoms.kde_cut_selection)) {
        auto cut = read_target(connection, window, atoms.kde_cut_selection, others);
        if (!cut.ok()) return Failure{std::move(cut.error())};
        if (cut.value()) drop.effect = effect_of_kde_cut_selection(*cut.value());
    }
    return SelectionRead{true, std::move(drop)};
}

}  // namespace vantle_native::x11
