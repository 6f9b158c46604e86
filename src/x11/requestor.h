// Reading the CLIPBOARD selection from its owner: TARGETS first, then the
// chosen target, each answer awaited with a deadline that every chunk of an
// incremental transfer renews, within a bound on the whole transfer's time
// and size.
#pragma once

#include <optional>
#include <string>

#include "file_clipboard.h"
#include "selection/bounds.h"
#include "selection/formats.h"
#include "x11/connection.h"

namespace vantle_native::x11 {

using selection::max_selection_bytes;
using selection::SelectionRead;

// The owner's file list with its effect, as selection::read_plan chooses
// its targets; nothing when it offers no list. Events the waits are not for
// go to `others`. Each read asks from a window of its own, destroyed when it
// ends: an owner's answer that comes after the read gave up finds no window,
// so neither it nor the data it writes is ever taken for a later read's.
[[nodiscard]] Result<SelectionRead, ClipboardError> read_file_drop(Connection& connection, const EventSink& others);

// A session's question to a new owner, whether it offers a file list, asked
// without waiting: its answer comes through the session's loop, which tells
// the change then, or once the deadline has passed without one.
class OfferProbe {
public:
    // Asks the owner for its targets, into the offer_probe property, stamped
    // with the change's time: an owner gives the request's time back, which
    // tells this answer from a late one to an earlier question.
    [[nodiscard]] static OfferProbe ask(Connection& connection, xcb_window_t window, xcb_timestamp_t time);

    [[nodiscard]] const Deadline& deadline() const { return deadline_; }
    // When `event` is the answer: whether the owner offers a file list (a
    // refusal, or targets that cannot be read, offer none).
    [[nodiscard]] std::optional<bool> answer(Connection& connection, const xcb_generic_event_t& event) const;

private:
    OfferProbe(xcb_window_t window, xcb_timestamp_t time, Deadline deadline)
        : window_(window), time_(time), deadline_(deadline) {}

    xcb_window_t window_;
    xcb_timestamp_t time_;
    Deadline deadline_;
};

}  // namespace vantle_native::x11
