// The session's loop on the Wayland clipboard: one poll over standard input,
// the compositor's connection, the signals that end a session and the pipes
// of the transfers under way. While the session's source is the selection
// it serves it from this loop; when its input ends (or such a signal comes)
// and its source is still the selection, a detached child takes over, so
// that the user's clipboard does not empty when the app quits.
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <span>
#include <string>
#include <vector>

#include "linux/ending_signals.h"
#include "runtime/stdio.h"
#include "selection/bounds.h"
#include "selection/content.h"
#include "session/line_reader.h"
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

    // Tells the session of the latest change, if it has not been told, with
    // whether the new offer holds a file list.
    void report_changes(Session& session) {
        if (client_.changes() == reported_) return;
        reported_ = client_.changes();
        const Offer* offer = client_.selection();
        session.changed(reported_, offer != nullptr && selection::offers_file_list(offers_of(*offer)));
    }

    // The end of the session. A source that is still the selection goes on
    // in a detached child that keeps this session's connection, source and
    // transfers: the selection never changes hands, so a copy that another
    // program makes meanwhile is never replaced, and the pastes under way
    // are finished by the child; this process says no more to the
    // compositor. Otherwise the transfers under way are finished from here,
    // within the time a whole transfer has, so that a paste does not lose
    // its end.
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
    Session session(desktop);
    session::LineReader lines;
    // Each request sees every change that has arrived before it.
    const auto on_line = [&](std::string line) {
        (void)client.dispatch(false);
        session.handle_line(std::move(line));
    };
    const auto on_too_long = [&] { session.handle_too_long_line(); };
    const auto end_of_input = [&] {
        lines.finish(on_line);
        return desktop.hand_over();
    };
    // The polled descriptors: these three, then the transfers' pipes.
    constexpr std::size_t input = 0;
    constexpr std::size_t compositor = 1;
    constexpr std::size_t ending = 2;
    constexpr std::size_t transfers_from = 3;
    std::vector<pollfd> polled;
    std::array<char, runtime::standard_input_chunk_bytes> chunk{};
    for (;;) {
        auto dispatched = client.dispatch(false);
        if (!dispatched.ok()) return dispatched;
        desktop.report_changes(session);
        auto flushed = client.flush();
        if (!flushed.ok()) return flushed;
        polled.assign({pollfd{STDIN_FILENO, POLLIN, 0}, pollfd{client.descriptor(), POLLIN, 0},
                       pollfd{signals.value().descriptor(), POLLIN, 0}});
        transfers.add_to(polled);
        const auto deadline = transfers.next_deadline();
        if (poll(polled.data(), polled.size(), deadline ? deadline->poll_timeout() : -1) < 0) {
            if (errno == EINTR) continue;
            return Failure{clipboard_error(last_os_error())};
        }
        if (polled[ending].revents != 0) {
            signals.value().take();
            return end_of_input();
        }
        if (polled[compositor].revents != 0) {
            auto read = client.dispatch(true);
            if (!read.ok()) return read;
        }
        transfers.pump(std::span<const pollfd>(polled).subspan(transfers_from));
        if (polled[input].revents == 0) continue;
        const ssize_t got = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        // A failed read is the end of the input, as a closed pipe is.
        if (got <= 0) return end_of_input();
        lines.take(std::string_view(chunk.data(), static_cast<std::size_t>(got)), on_line, on_too_long);
    }
}

}  // namespace vantle_native::wayland
