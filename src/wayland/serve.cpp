// The session on the Wayland clipboard: the compositor's connection and the
// pipes of the transfers under way in the Linux session's loop
// (linux/session_loop.h). A source that is still the selection at the
// session's end goes on in a detached child.
#include <poll.h>

#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "linux/ending_signals.h"
#include "linux/session_loop.h"
#include "selection/bounds.h"
#include "selection/content.h"
#include "session/session.h"
#include "wayland/clipboard.h"

namespace vantle_native::wayland {
namespace {

using session::Session;

// The clipboard as the session sees it. Its sequence is the count of the
// compositor's selection events, each of which comes with the new offer's
// types: whether it holds a file list is known without a read.
class WaylandDesktop final : public session::Desktop {
public:
    WaylandDesktop(Client& client, Transfers& transfers) : client_(client), transfers_(transfers) {}

    // The number of this change is that of the selection event the
    // compositor sends for the new source, which has come by the end of the
    // roundtrip.
    Result<std::uint64_t, ClipboardError> place(clipboard::PreparedList list, clipboard::DropEffect effect) override {
        auto content = selection::content_of(list, effect);
        if (!content.ok()) return Failure{std::move(content.error())};
        source_ = client_.take_selection(std::move(content.value()), transfers_);
        auto taken = client_.roundtrip();
        if (!taken.ok()) return Failure{std::move(taken.error())};
        return client_.changes();
    }

    // The session's own list is answered from what it serves while its
    // source is the selection: a read through the compositor would have the
    // owner be this very loop.
    Result<Read, ClipboardError> read() override {
        auto settled = client_.roundtrip();
        if (!settled.ok()) return Failure{std::move(settled.error())};
        const std::uint64_t read_at = client_.changes();
        if (owns()) return Read{source_->content()->drop(), read_at};
        auto read = read_selection(client_, &transfers_);
        if (!read.ok()) return Failure{std::move(read.error())};
        return Read{std::move(read.value().drop), read_at};
    }

    std::uint64_t sequence() override { return client_.changes(); }

    // The changes are counted whether or not the app watches; the session
    // decides what it is told.
    Status<ClipboardError> watch(bool) override { return Done{}; }

    // Takes the events that have come, tells the session of the latest
    // change, if it has not been told, with whether the new offer holds a
    // file list, and sends what waits to be sent.
    [[nodiscard]] Status<ClipboardError> settle(Session& session) {
        auto dispatched = client_.dispatch(false);
        if (!dispatched.ok()) return dispatched;
        if (client_.changes() != reported_) {
            reported_ = client_.changes();
            const Offer* offer = client_.selection();
            session.changed(reported_, offer != nullptr && selection::offers_file_list(offers_of(*offer)));
        }
        return client_.flush();
    }

    // The compositor's connection, then the transfers' pipes.
    void add_to(std::vector<pollfd>& polled) const {
        polled.push_back({client_.descriptor(), POLLIN, 0});
        transfers_.add_to(polled);
    }

    [[nodiscard]] std::optional<Deadline> next_deadline() const { return transfers_.next_deadline(); }

    [[nodiscard]] Status<ClipboardError> pump(std::span<const pollfd> polled) {
        if (polled[0].revents != 0) {
            auto dispatched = client_.dispatch(true);
            if (!dispatched.ok()) return dispatched;
        }
        transfers_.pump(polled.subspan(1));
        return Done{};
    }

    // Each request sees every change that has arrived before it.
    void drain() { (void)client_.dispatch(false); }

    // The end of the session. A source that is still the selection goes on
    // in a detached child (hand_over_to_detached_child), which finishes the
    // pastes under way too. Otherwise those are finished from here, within
    // the time a whole transfer has, so that a paste does not lose its end.
    [[nodiscard]] Status<ClipboardError> hand_over() {
        auto settled = client_.roundtrip();
        if (!settled.ok()) return settled;
        if (owns()) return hand_over_to_detached_child(client_, *source_, transfers_);
        if (source_) {
            serve_until_cancelled(client_, *source_, transfers_, Deadline::after(selection::whole_transfer_timeout));
        }
        return Done{};
    }

private:
    [[nodiscard]] bool owns() const { return source_ && !source_->cancelled(); }

    Client& client_;
    Transfers& transfers_;
    std::unique_ptr<Source> source_;
    std::uint64_t reported_ = 0;
};

}  // namespace

Status<ClipboardError> serve_session(Client& client) {
    auto signals = linux_room::EndingSignals::hold();
    if (!signals.ok()) return Failure{std::move(signals.error())};
    Transfers transfers;
    WaylandDesktop desktop(client, transfers);
    return linux_room::run_session(desktop, signals.value());
}

}  // namespace vantle_native::wayland
