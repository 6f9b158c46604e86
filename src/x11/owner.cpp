#include "x11/owner.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "x11/timeouts.h"

namespace vantle_native::x11 {
namespace {

constexpr std::string_view not_confirmed_text = "another program took the clipboard as this one took it";
constexpr std::uint8_t byte_format = 8;
constexpr std::uint8_t long_format = 32;
// More pairs than any requestor asks for in one MULTIPLE request.
constexpr std::size_t max_multiple_bytes = 512 * sizeof(xcb_atom_t);

// The server grabbed: no other client's request is carried out until the
// scope ends.
class ServerGrab {
public:
    explicit ServerGrab(Connection& connection) : connection_(&connection) { (void)xcb_grab_server(connection.get()); }
    ServerGrab(ServerGrab&& other) noexcept : connection_(std::exchange(other.connection_, nullptr)) {}
    ServerGrab& operator=(ServerGrab&&) = delete;
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;
    ~ServerGrab() {
        if (connection_ == nullptr) return;
        (void)xcb_ungrab_server(connection_->get());
        (void)connection_->flush();
    }

private:
    Connection* connection_;
};

// Sets `window` as the owner at `time` and asks the server who owns it now.
Result<bool, ClipboardError> set_and_confirm(Connection& connection, xcb_window_t window, xcb_timestamp_t time) {
    (void)xcb_set_selection_owner(connection.get(), window, connection.atoms().clipboard, time);
    auto owner = clipboard_owner(connection);
    if (!owner.ok()) return Failure{std::move(owner.error())};
    return owner.value() == window;
}

}  // namespace

IncrementalTransfer::IncrementalTransfer(Connection& connection, xcb_window_t requestor, xcb_atom_t property,
                                         xcb_atom_t type, std::string data)
    : connection_(connection),
      requestor_(requestor),
      property_(property),
      type_(type),
      data_(std::move(data)),
      deadline_(Deadline::after(stalled_transfer_timeout)) {
    // Watching first, so that the deletion of the INCR property is seen.
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    (void)xcb_change_window_attributes(connection_.get(), requestor_, XCB_CW_EVENT_MASK, &events);
    const auto size = static_cast<std::uint32_t>(data_.size());
    (void)xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, requestor_, property_,
                              connection_.atoms().incr, long_format, 1, &size);
}

IncrementalTransfer::~IncrementalTransfer() {
    const std::uint32_t no_events = XCB_EVENT_MASK_NO_EVENT;
    (void)xcb_change_window_attributes(connection_.get(), requestor_, XCB_CW_EVENT_MASK, &no_events);
}

bool IncrementalTransfer::send_next_chunk() {
    const std::string_view chunk = std::string_view(data_).substr(sent_, connection_.max_property_bytes());
    sent_ += chunk.size();
    (void)xcb_change_property(connection_.get(), XCB_PROP_MODE_REPLACE, requestor_, property_, type_, byte_format,
                              static_cast<std::uint32_t>(chunk.size()), chunk.data());
    deadline_ = Deadline::after(stalled_transfer_timeout);
    return !chunk.empty();
}

Result<Owner, ClipboardError> Owner::take(Connection& connection, xcb_window_t window,
                                          std::shared_ptr<const selection::SelectionContent> content, xcb_timestamp_t time) {
    auto confirmed = set_and_confirm(connection, window, time);
    if (!confirmed.ok()) return Failure{std::move(confirmed.error())};
    if (!confirmed.value()) return Failure{clipboard_error(not_confirmed_text)};
    return Owner(connection, window, std::move(content), time);
}

Result<std::optional<Owner>, ClipboardError> Owner::take_over(Connection& connection, xcb_window_t window,
                                                              std::shared_ptr<const selection::SelectionContent> content,
                                                              xcb_timestamp_t time, xcb_window_t previous) {
    const ServerGrab grab(connection);
    auto owner = clipboard_owner(connection);
    if (!owner.ok()) return Failure{std::move(owner.error())};
    if (owner.value() != previous) return std::optional<Owner>();
    // `time` is later than the previous owner's, which is the selection's
    // last change while it still owns it: the server takes it.
    auto confirmed = set_and_confirm(connection, window, time);
    if (!confirmed.ok()) return Failure{std::move(confirmed.error())};
    if (!confirmed.value()) return Failure{clipboard_error(not_confirmed_text)};
    return std::optional<Owner>(Owner(connection, window, std::move(content), time));
}

bool Owner::handle(const xcb_generic_event_t& event) {
    const xcb_atom_t clipboard = connection_->atoms().clipboard;
    switch (kind_of(event)) {
        case XCB_SELECTION_REQUEST: {
            const auto& request = reinterpret_cast<const xcb_selection_request_event_t&>(event);
            if (request.owner != window_ || request.selection != clipboard) return false;
            answer(request);
            return true;
        }
        case XCB_SELECTION_CLEAR: {
            const auto& clear = reinterpret_cast<const xcb_selection_clear_event_t&>(event);
            if (clear.owner != window_ || clear.selection != clipboard) return false;
            owns_ = false;
            return true;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto& change = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            if (change.state != XCB_PROPERTY_DELETE) return false;
            const auto found = std::find_if(transfers_.begin(), transfers_.end(),
                                            [&](const auto& transfer) { return transfer.is_for(change.window, change.atom); });
            if (found == transfers_.end()) return false;
            if (!found->send_next_chunk()) transfers_.erase(found);
            return true;
        }
        default: return false;
    }
}

std::optional<Deadline> Owner::next_deadline() const {
    std::optional<Deadline> earliest;
    for (const auto& transfer : transfers_) {
        if (!earliest || transfer.deadline().at() < earliest->at()) earliest = transfer.deadline();
    }
    return earliest;
}

void Owner::drop_stalled() {
    const auto now = Clock::now();
    transfers_.remove_if([&](const auto& transfer) { return transfer.deadline().at() <= now; });
}

// The two owners share the window, hence the keys of their transfers (the
// requestor's window and property): in one list, the rules of one owner
// keep them apart.
void Owner::continue_transfers_of(Owner& previous) { transfers_.splice(transfers_.end(), previous.transfers_); }

// Every answer starts as a refusal and becomes one only for a known target,
// asked of this owner while it holds the selection, no earlier than it took it.
void Owner::answer(const xcb_selection_request_event_t& request) {
    // A requestor of the old conventions names no property: the target is it.
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    const bool in_time = request.time == XCB_CURRENT_TIME || request.time >= time_;
    const bool given = owns_ && in_time && give(request.requestor, property, request.target) != Given::refused;
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = given ? property : XCB_NONE;
    (void)xcb_send_event(connection_->get(), 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                         reinterpret_cast<const char*>(&notify));
}

Owner::Given Owner::give(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target, bool may_be_incremental) {
    const Atoms& atoms = connection_->atoms();
    // A transfer into the property asked for again is over: its reader has
    // moved on, and the deletion that ends this answer asks for nothing more.
    transfers_.remove_if([&](const auto& transfer) { return transfer.is_for(requestor, property); });
    // Its pairs are in the property, so a request of the old conventions,
    // which names none (it is then the target), has none to give.
    if (target == atoms.multiple) {
        return property != target && give_pairs(requestor, property) ? Given::at_once : Given::refused;
    }
    if (target == atoms.targets) {
        const std::array own{atoms.targets, atoms.timestamp, atoms.multiple};
        std::array<xcb_atom_t, own.size() + selection::served_targets.size()> offered{};
        std::copy(atoms.served.begin(), atoms.served.end(), std::copy(own.begin(), own.end(), offered.begin()));
        (void)xcb_change_property(connection_->get(), XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_ATOM,
                                  long_format, offered.size(), offered.data());
        return Given::at_once;
    }
    if (target == atoms.timestamp) {
        (void)xcb_change_property(connection_->get(), XCB_PROP_MODE_REPLACE, requestor, property, XCB_ATOM_INTEGER,
                                  long_format, 1, &time_);
        return Given::at_once;
    }
    auto data = bytes_of(target);
    if (!data || (!may_be_incremental && !fits_one_request(*data))) return Given::refused;
    return give_bytes(requestor, property, target, std::move(*data));
}

// Refused: a MULTIPLE inside a MULTIPLE, a pair that names the property of
// the pairs (the pairs written back would overwrite its data), and a second
// target too long for one request (a requestor's window has one incremental
// transfer at a time).
bool Owner::give_pairs(xcb_window_t requestor, xcb_atom_t property) {
    auto read = read_property(*connection_, requestor, property, max_multiple_bytes, Deletion::keep);
    if (!read.ok() || read.value().too_long || read.value().format != long_format) return false;
    std::vector<xcb_atom_t> pairs = atoms_of(read.value().bytes);
    bool incremental_given = false;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2) {
        const xcb_atom_t target = pairs[i];
        const xcb_atom_t into = pairs[i + 1];
        const Given given = target != connection_->atoms().multiple && into != XCB_NONE && into != property
                                ? give(requestor, into, target, !incremental_given)
                                : Given::refused;
        incremental_given = incremental_given || given == Given::incrementally;
        if (given == Given::refused) pairs[i] = XCB_NONE;
    }
    (void)xcb_change_property(connection_->get(), XCB_PROP_MODE_REPLACE, requestor, property, read.value().type,
                              long_format, static_cast<std::uint32_t>(pairs.size()), pairs.data());
    return true;
}

bool Owner::fits_one_request(std::string_view data) const { return data.size() <= connection_->max_property_bytes(); }

std::optional<std::string> Owner::bytes_of(xcb_atom_t target) const {
    const auto served = connection_->atoms().target_of(target);
    if (!served) return std::nullopt;
    return content_->bytes(*served);
}

Owner::Given Owner::give_bytes(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::string data) {
    if (fits_one_request(data)) {
        (void)xcb_change_property(connection_->get(), XCB_PROP_MODE_REPLACE, requestor, property, type, byte_format,
                                  static_cast<std::uint32_t>(data.size()), data.data());
        return Given::at_once;
    }
    // One transfer at a time per requestor's window, since its record owns
    // the watch on that window: a new request ends an older transfer there.
    transfers_.remove_if([&](const auto& transfer) { return transfer.requestor() == requestor; });
    transfers_.emplace_back(*connection_, requestor, property, type, std::move(data));
    return Given::incrementally;
}

void serve_until_taken(Connection& connection, Owner& owner, std::optional<Deadline> until) {
    while ((owner.owns() || owner.busy()) && (!until || until->poll_timeout() > 0)) {
        auto event = connection.next_event(earlier(owner.next_deadline(), until));
        if (!event.ok()) return;
        if (event.value()) (void)owner.handle(**event.value());
        owner.drop_stalled();
    }
    // The last transfer's closing empty chunk must reach its reader before
    // this client goes: with a flush alone, it was now and then lost.
    (void)connection.sync();
}

}  // namespace vantle_native::x11
