// The session's loop on Linux: one poll over standard input and the X
// connection. While the session owns the selection it serves it from this
// loop; when its input ends and it still owns it, a detached child takes it
// over, so that the user's clipboard does not empty when the app quits.
#include "session/serve.h"

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <optional>

#include "session/line_reader.h"
#include "session/session.h"
#include "x11/connection.h"
#include "x11/detached_server.h"
#include "x11/owner.h"
#include "x11/requestor.h"
#include "x11/selection_watcher.h"
#include "x11/timeouts.h"

namespace vantle_native::session {
namespace {

using x11::Deadline;
using x11::Event;

constexpr std::string_view own_change_unseen_text =
    "the X server did not tell of this program's own clipboard change within 5 s";
static_assert(x11::answer_timeout == x11::Milliseconds{5000}, "the text names the timeout");
// How much standard input is taken at a time.
constexpr std::size_t input_chunk_bytes = std::size_t{64} * 1024;

// The clipboard as the session sees it. Its sequence is its own count of the
// selection's changes of owner, as XFIXES tells of them.
class X11Desktop final : public Desktop {
public:
    X11Desktop(x11::Connection& connection, xcb_window_t window, const x11::SelectionWatcher& watcher)
        : connection_(connection), window_(window), watcher_(watcher), others_([this](Event event) { route(std::move(event)); }) {}

    Result<std::uint64_t, ClipboardError> place(clipboard::PreparedList list, clipboard::DropEffect effect) override {
        auto content = std::make_shared<const x11::SelectionContent>(x11::selection_content(
            std::string(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()), effect));
        auto time = x11::server_time(connection_, window_, others_);
        if (!time.ok()) return Failure{std::move(time.error())};
        auto owner = x11::Owner::take(connection_, window_, std::move(content), time.value());
        if (!owner.ok()) return Failure{std::move(owner.error())};
        owner_.emplace(std::move(owner.value()));
        // The number of this change is that of its own notification.
        auto seen = connection_.wait_for(
            Deadline::after(x11::answer_timeout),
            [&](const xcb_generic_event_t& event) {
                const auto* change = watcher_.notification(event);
                return change != nullptr && change->owner == window_ && change->selection_timestamp == time.value();
            },
            others_, own_change_unseen_text);
        if (!seen.ok()) return Failure{std::move(seen.error())};
        route(std::move(seen.value()));
        return sequence_;
    }

    // The session's own list is answered from what it serves: asking the
    // server would have it ask this very loop.
    Result<Read, ClipboardError> read() override {
        if (owner_ && owner_->owns()) {
            const x11::SelectionContent& content = *owner_->content();
            return Read{clipboard::FileDrop{content.effect, content.names}, sequence_};
        }
        const std::uint64_t read_at = sequence_;
        auto read = x11::read_file_drop(connection_, window_, others_);
        if (!read.ok()) return Failure{std::move(read.error())};
        return Read{std::move(read.value().drop), read_at};
    }

    std::uint64_t sequence() override { return sequence_; }

    // The changes are counted whether or not the app watches; the session
    // decides what it is told.
    Status<ClipboardError> watch(bool) override { return Done{}; }

    // Every event reaches the owner first, then the watcher.
    void route(Event event) {
        if (owner_ && owner_->handle(*event)) return;
        if (const auto* change = watcher_.notification(*event)) {
            ++sequence_;
            latest_owner_ = change->owner;
            change_pending_ = true;
        }
    }

    // Tells the session of the changes since the last call, with whether the
    // new owner offers a file list.
    void report_changes(Session& session) {
        while (change_pending_) {
            change_pending_ = false;
            if (!session.watching()) return;
            const std::uint64_t changed_at = sequence_;
            session.changed(changed_at, owner_offers_files(latest_owner_));
        }
    }

    [[nodiscard]] std::optional<Deadline> next_deadline() const {
        return owner_ ? owner_->next_deadline() : std::nullopt;
    }
    void drop_stalled() {
        if (owner_) owner_->drop_stalled();
    }

    // The end of the session: what it still owns goes to a detached child.
    [[nodiscard]] Status<ClipboardError> hand_over() const {
        if (!owner_ || !owner_->owns()) return Done{};
        return x11::serve_from_detached_child(owner_->content());
    }

private:
    bool owner_offers_files(xcb_window_t owner) {
        if (owner == XCB_NONE) return false;
        if (owner == window_) return true;
        auto targets = x11::read_targets(connection_, window_, others_);
        return targets.ok() && x11::offers_files(connection_.atoms(), targets.value());
    }

    x11::Connection& connection_;
    xcb_window_t window_;
    const x11::SelectionWatcher& watcher_;
    x11::EventSink others_;
    std::optional<x11::Owner> owner_;
    std::uint64_t sequence_ = 0;
    xcb_window_t latest_owner_ = XCB_NONE;
    bool change_pending_ = false;
};

}  // namespace

Status<ClipboardError> serve() {
    auto connection = x11::Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    x11::Connection& x = connection.value();
    auto window = x11::Window::create(x);
    if (!window.ok()) return Failure{std::move(window.error())};
    auto watcher = x11::SelectionWatcher::start(x, window.value().id());
    if (!watcher.ok()) return Failure{std::move(watcher.error())};
    X11Desktop desktop(x, window.value().id(), watcher.value());
    Session session(desktop);
    LineReader lines;
    const auto on_line = [&](std::string_view line) { session.handle_line(line); };
    const auto on_too_long = [&] { session.handle_too_long_line(); };
    std::array<char, input_chunk_bytes> chunk{};
    for (;;) {
        while (Event event = x.poll_event()) desktop.route(std::move(event));
        desktop.drop_stalled();
        desktop.report_changes(session);
        auto flushed = x.flush();
        if (!flushed.ok()) return flushed;
        std::array<pollfd, 2> ready{{{STDIN_FILENO, POLLIN, 0}, {x.descriptor(), POLLIN, 0}}};
        const auto deadline = desktop.next_deadline();
        if (poll(ready.data(), ready.size(), deadline ? deadline->poll_timeout() : -1) < 0) {
            if (errno == EINTR) continue;
            return Failure{clipboard_error(last_os_error())};
        }
        if (ready[0].revents == 0) continue;
        const ssize_t got = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        // A failed read is the end of the input, as a closed pipe is.
        if (got <= 0) {
            lines.finish(on_line);
            return desktop.hand_over();
        }
        lines.take(std::string_view(chunk.data(), static_cast<std::size_t>(got)), on_line, on_too_long);
    }
}

}  // namespace vantle_native::session
