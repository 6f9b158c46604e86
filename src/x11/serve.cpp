// The session on the X11 clipboard: the X connection in the Linux session's
// loop (linux/session_loop.h). What the session still owns at its end goes
// to a detached child.
#include <poll.h>

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "linux/ending_signals.h"
#include "linux/session_loop.h"
#include "session/session.h"
#include "selection/content.h"
#include "x11/clipboard.h"
#include "x11/connection.h"
#include "x11/detached_server.h"
#include "x11/owner.h"
#include "x11/requestor.h"
#include "x11/selection_watcher.h"
#include "x11/timeouts.h"

namespace vantle_native::x11 {
namespace {

using linux_room::EndingSignals;
using session::Desktop;
using session::Session;

constexpr std::string_view own_change_unseen_text =
    "the X server did not tell of this program's own clipboard change within 5 s";
static_assert(answer_timeout == Milliseconds{5000}, "the text names the timeout");
// The clipboard as the session sees it. Its sequence is its own count of the
// selection's changes of owner, as XFIXES tells of them. Probes ask from a
// window of their own, and each read from one of its own: an owner's late
// answer to either is never taken for the other's. A new copy goes on with
// the transfers of the previous list that are under way.
class X11Desktop final : public Desktop {
public:
    X11Desktop(Connection& connection, xcb_window_t window, xcb_window_t probe_window,
               const SelectionWatcher& watcher)
        : connection_(connection),
          window_(window),
          probe_window_(probe_window),
          watcher_(watcher),
          others_([this](Event event) { route(std::move(event)); }) {}

    Result<std::uint64_t, ClipboardError> place(clipboard::PreparedList list, clipboard::DropEffect effect) override {
        auto content = selection::content_of(list, effect);
        if (!content.ok()) return Failure{std::move(content.error())};
        auto time = server_time(connection_, window_, others_);
        if (!time.ok()) return Failure{std::move(time.error())};
        auto owner = Owner::take(connection_, window_, std::move(content.value()), time.value());
        if (!owner.ok()) return Failure{std::move(owner.error())};
        if (owner_) owner.value().continue_transfers_of(*owner_);
        owner_.emplace(std::move(owner.value()));
        // The number of this change is that of its own notification.
        auto seen = connection_.wait_for(
            Deadline::after(answer_timeout),
            [&](const xcb_generic_event_t& event) {
                const auto* change = watcher_.notification(event);
                return change != nullptr && change->owner == window_ && change->selection_timestamp == time.value();
            },
            others_, own_change_unseen_text);
        if (!seen.ok()) return Failure{std::move(seen.error())};
        // The changes before this one are no news once its answer is out.
        forget_news();
        route(std::move(seen.value()));
        return sequence_;
    }

    // The session's own list is answered from what it serves, while the
    // server says that it still owns it: asking the server would have it ask
    // this very loop.
    Result<Read, ClipboardError> read() override {
        auto owned = still_owns();
        if (!owned.ok()) return Failure{std::move(owned.error())};
        if (owned.value()) return Read{owner_->content()->drop(), sequence_};
        const std::uint64_t read_at = sequence_;
        auto read = read_file_drop(connection_, others_);
        if (!read.ok()) return Failure{std::move(read.error())};
        return Read{std::move(read.value().drop), read_at};
    }

    std::uint64_t sequence() override { return sequence_; }

    // The changes are counted whether or not the app watches; the session
    // decides what it is told. The changes up to now are no news once the
    // answer has given their number.
    Status<ClipboardError> watch(bool) override {
        forget_news();
        return Done{};
    }

    // Routes every event that has arrived.
    void drain() {
        while (Event event = connection_.poll_event()) route(std::move(event));
    }

    // Routes every event and tells the session of the changes, until nothing
    // is queued: telling may wait for the server, and XCB keeps the events
    // that come meanwhile where a poll on the connection does not see them.
    // Then sends what waits to be sent.
    [[nodiscard]] Status<ClipboardError> settle(Session& session) {
        for (;;) {
            drain();
            drop_stalled();
            report_changes(session);
            Event late = connection_.poll_queued_event();
            if (!late) return connection_.flush();
            route(std::move(late));
        }
    }

    void add_to(std::vector<pollfd>& polled) const { polled.push_back({connection_.descriptor(), POLLIN, 0}); }

    // The events are taken when the loop settles.
    [[nodiscard]] static Status<ClipboardError> pump(std::span<const pollfd>) { return Done{}; }

    // When the loop must wake without input: a transfer's or a probe's
    // deadline.
    [[nodiscard]] std::optional<Deadline> next_deadline() const {
        return earlier(owner_ ? owner_->next_deadline() : std::nullopt,
                       probe_ ? std::optional<Deadline>(probe_->probe.deadline()) : std::nullopt);
    }

    // The end of the session: what it still owns goes to a detached child,
    // which takes it only from this session's window, so that a copy made
    // by another program meanwhile is never overwritten. The transfers under
    // way are finished from here, within the time a whole transfer has:
    // their readers read from this window, and a paste must not lose its end.
    [[nodiscard]] Status<ClipboardError> hand_over() {
        drain();
        auto owned = still_owns();
        if (!owned.ok()) return Failure{std::move(owned.error())};
        if (owned.value()) {
            auto handed = serve_from_detached_child(owner_->content(), window_);
            if (!handed.ok()) return handed;
        }
        if (owner_) serve_until_taken(connection_, *owner_, Deadline::after(whole_transfer_timeout));
        return Done{};
    }

private:
    struct Change {
        std::uint64_t sequence;
        xcb_window_t owner;
        xcb_timestamp_t time;
    };
    struct Probe {
        OfferProbe probe;
        std::uint64_t sequence;
    };
    struct Answered {
        std::uint64_t sequence;
        // Read through std::optional, which cppcheck does not follow.
        // cppcheck-suppress unusedStructMember
        bool has_files;
    };

    // Every event reaches the owner first, then the probe, then the watcher.
    void route(Event event) {
        if (owner_ && owner_->handle(*event)) return;
        if (probe_) {
            if (const auto has_files = probe_->probe.answer(connection_, *event)) {
                answered_ = Answered{probe_->sequence, *has_files};
                probe_.reset();
                return;
            }
        }
        if (const auto* change = watcher_.notification(*event)) {
            ++sequence_;
            unreported_ = Change{sequence_, change->owner, change->timestamp};
        }
    }

    // Whether this session owns the selection, as the server says; the
    // events it sent before its answer (a SelectionClear above all) are
    // routed by then.
    Result<bool, ClipboardError> still_owns() {
        if (!owner_ || !owner_->owns()) return false;
        auto current = clipboard_owner(connection_);
        if (!current.ok()) return Failure{std::move(current.error())};
        drain();
        return current.value() == window_;
    }

    // What was still to be told of the changes so far is dropped; a late
    // answer to the probe is not taken for a later one's (its time differs).
    void forget_news() {
        unreported_.reset();
        probe_.reset();
        answered_.reset();
    }

    // A probe whose owner has not answered by its deadline offers nothing.
    void expire_probe() {
        if (!probe_ || probe_->probe.deadline().poll_timeout() > 0) return;
        answered_ = Answered{probe_->sequence, false};
        probe_.reset();
    }

    // Tells the session of each change in order, with whether the new owner
    // offers a file list: at once for no owner and for this session, after
    // the owner's answer (or the probe's deadline) for another program. One
    // probe at a time; the changes that come meanwhile are told as one, the
    // latest.
    void report_changes(Session& session) {
        expire_probe();
        if (answered_) session.changed(answered_->sequence, answered_->has_files);
        answered_.reset();
        if (probe_ || !unreported_) return;
        const Change change = *std::exchange(unreported_, std::nullopt);
        if (!session.watching()) return;
        if (change.owner == XCB_NONE || change.owner == window_) {
            session.changed(change.sequence, change.owner == window_);
            return;
        }
        probe_.emplace(Probe{OfferProbe::ask(connection_, probe_window_, change.time), change.sequence});
    }

    void drop_stalled() {
        if (owner_) owner_->drop_stalled();
    }

    Connection& connection_;
    xcb_window_t window_;
    xcb_window_t probe_window_;
    const SelectionWatcher& watcher_;
    EventSink others_;
    std::optional<Owner> owner_;
    std::uint64_t sequence_ = 0;
    // The latest change not yet told, the probe of the one before it, and
    // that one's answer, to be told.
    std::optional<Change> unreported_;
    std::optional<Probe> probe_;
    std::optional<Answered> answered_;
};

}  // namespace

Status<ClipboardError> serve_session() {
    auto signals = EndingSignals::hold();
    if (!signals.ok()) return Failure{std::move(signals.error())};
    auto connection = Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    Connection& x = connection.value();
    auto window = Window::create(x);
    if (!window.ok()) return Failure{std::move(window.error())};
    auto probe_window = Window::create(x);
    if (!probe_window.ok()) return Failure{std::move(probe_window.error())};
    auto watcher = SelectionWatcher::start(x, window.value().id());
    if (!watcher.ok()) return Failure{std::move(watcher.error())};
    X11Desktop desktop(x, window.value().id(), probe_window.value().id(), watcher.value());
    return linux_room::run_session(desktop, signals.value());
}

}  // namespace vantle_native::x11
