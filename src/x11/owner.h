// Serving the CLIPBOARD selection: ownership taken and confirmed with the
// server, each request answered with bytes built for it, data longer than one
// request sent incrementally, each transfer with its own record and deadline.
#pragma once

#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "x11/connection.h"
#include "selection/formats.h"

namespace vantle_native::x11 {

// One incremental transfer to a requestor: while it lasts, this program
// watches the requestor's window for the deletions that ask for the next
// chunk; the watch ends with the record. It holds the bytes it sends, so
// that it outlives a copy that replaces the content they were built from.
class IncrementalTransfer {
public:
    IncrementalTransfer(Connection& connection, xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type,
                        std::string data);
    IncrementalTransfer(const IncrementalTransfer&) = delete;
    IncrementalTransfer& operator=(const IncrementalTransfer&) = delete;
    ~IncrementalTransfer();

    [[nodiscard]] bool is_for(xcb_window_t window, xcb_atom_t property) const {
        return window == requestor_ && property == property_;
    }
    [[nodiscard]] xcb_window_t requestor() const { return requestor_; }
    [[nodiscard]] const Deadline& deadline() const { return deadline_; }
    // Writes the next chunk (an empty one last); false once the empty one is
    // written: the transfer is over, whether or not its reader deletes it.
    bool send_next_chunk();

private:
    Connection& connection_;
    xcb_window_t requestor_;
    xcb_atom_t property_;
    xcb_atom_t type_;
    std::string data_;
    std::size_t sent_ = 0;
    Deadline deadline_;
};

class Owner {
public:
    // Takes the selection for `window` at `time` (the server's, not
    // CurrentTime) and checks with the server that it holds it.
    [[nodiscard]] static Result<Owner, ClipboardError> take(Connection& connection, xcb_window_t window,
                                                            std::shared_ptr<const selection::SelectionContent> content,
                                                            xcb_timestamp_t time);
    // The same, only while `previous` (a window of another client, which
    // hands its selection over) still owns it: the server is grabbed from
    // the check to the take, so that no other program's copy can come in
    // between and be lost. Nothing when another program owns it already.
    [[nodiscard]] static Result<std::optional<Owner>, ClipboardError> take_over(
        Connection& connection, xcb_window_t window, std::shared_ptr<const selection::SelectionContent> content,
        xcb_timestamp_t time, xcb_window_t previous);

    Owner(Owner&&) noexcept = default;
    Owner& operator=(Owner&&) = delete;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() = default;

    // Answers a request, sends a transfer's next chunk, or notes that another
    // program took the selection; false for an event that is none of these.
    bool handle(const xcb_generic_event_t& event);

    [[nodiscard]] bool owns() const { return owns_; }
    // Transfers are under way.
    [[nodiscard]] bool busy() const { return !transfers_.empty(); }
    // The earliest deadline of a transfer, if any.
    [[nodiscard]] std::optional<Deadline> next_deadline() const;
    // Drops the transfers whose readers have gone quiet past their deadline.
    void drop_stalled();
    // Goes on with the transfers that `previous`, the owner this one
    // replaces on the same window, has under way: a paste of the previous
    // list that has started ends whole, while requests get this one's.
    void continue_transfers_of(Owner& previous);

    [[nodiscard]] const std::shared_ptr<const selection::SelectionContent>& content() const { return content_; }

private:
    Owner(Connection& connection, xcb_window_t window, std::shared_ptr<const selection::SelectionContent> content,
          xcb_timestamp_t time)
        : connection_(&connection), window_(window), content_(std::move(content)), time_(time) {}

    // How a target was given, if it was.
    enum class Given { refused, at_once, incrementally };

    void answer(const xcb_selection_request_event_t& request);
    // Writes what `target` asks for into the requestor's property; refused
    // when this owner does not give that target, or when its data is too
    // long for one request and `may_be_incremental` is false.
    Given give(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t target, bool may_be_incremental = true);
    // MULTIPLE: gives each (target, property) pair that `property` lists, in
    // order, and writes the pairs back with None for each target refused.
    bool give_pairs(xcb_window_t requestor, xcb_atom_t property);
    [[nodiscard]] bool fits_one_request(std::string_view data) const;
    Given give_bytes(xcb_window_t requestor, xcb_atom_t property, xcb_atom_t type, std::string data);
    // The bytes of a data target (each data target's type is the target
    // itself), built now, or none for a target this owner does not give.
    [[nodiscard]] std::optional<std::string> bytes_of(xcb_atom_t target) const;

    Connection* connection_;
    xcb_window_t window_;
    std::shared_ptr<const selection::SelectionContent> content_;
    xcb_timestamp_t time_;
    bool owns_ = true;
    std::list<IncrementalTransfer> transfers_;
};

// Serves until another program has taken the selection and no transfer is
// left, or until `until` if given; the end of the connection ends it too.
void serve_until_taken(Connection& connection, Owner& owner, std::optional<Deadline> until = std::nullopt);

}  // namespace vantle_native::x11
