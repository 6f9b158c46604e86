// The session's loop on a Linux desktop, whichever clipboard it serves: one
// poll over standard input, the signals that end a session and the
// clipboard's own descriptors. While the session owns the selection it
// serves it from this loop; when its input ends (or such a signal comes) the
// clipboard hands over what it still owns, so that the user's clipboard does
// not empty when the app quits.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "errors.h"
#include "linux/ending_signals.h"
#include "result.h"
#include "runtime/stdio.h"
#include "session/line_reader.h"
#include "session/session.h"

namespace vantle_native::linux_room {

// Runs a session on `desktop` until its input ends, with the ending signals
// held. The desktop is a session::Desktop that also gives the loop:
//   Status<ClipboardError> settle(session::Session&)
//       before each poll: takes what has arrived, tells the session of the
//       changes, sends what waits to be sent;
//   void add_to(std::vector<pollfd>&)   its descriptors, after the loop's;
//   std::optional<Deadline> next_deadline() const
//       the time the next poll ends at, if any;
//   Status<ClipboardError> pump(std::span<const pollfd>)
//       after each poll, with what it found on the desktop's descriptors;
//   void drain()   before each request: takes the changes that have come;
//   Status<ClipboardError> hand_over()   at the end of the input.
template <class Desktop>
[[nodiscard]] Status<ClipboardError> run_session(Desktop& desktop, const EndingSignals& signals) {
    session::Session session(desktop);
    session::LineReader lines;
    // Each request sees every change that has arrived before it.
    const auto on_line = [&](std::string line) {
        desktop.drain();
        session.handle_line(std::move(line));
    };
    const auto on_too_long = [&] { session.handle_too_long_line(); };
    const auto end_of_input = [&] {
        lines.finish(on_line);
        return desktop.hand_over();
    };
    // The polled descriptors: these two, then the desktop's.
    constexpr std::size_t input = 0;
    constexpr std::size_t ending = 1;
    constexpr std::size_t desktop_from = 2;
    std::vector<pollfd> polled;
    std::array<char, runtime::standard_input_chunk_bytes> chunk{};
    for (;;) {
        auto settled = desktop.settle(session);
        if (!settled.ok()) return settled;
        polled.assign({pollfd{STDIN_FILENO, POLLIN, 0}, pollfd{signals.descriptor(), POLLIN, 0}});
        desktop.add_to(polled);
        const auto deadline = desktop.next_deadline();
        if (poll(polled.data(), polled.size(), deadline ? deadline->poll_timeout() : -1) < 0) {
            if (errno == EINTR) continue;
            return Failure{clipboard_error(last_os_error())};
        }
        if (polled[ending].revents != 0) {
            signals.take();
            return end_of_input();
        }
        auto pumped = desktop.pump(std::span<const pollfd>(polled).subspan(desktop_from));
        if (!pumped.ok()) return pumped;
        if (polled[input].revents == 0) continue;
        const ssize_t got = read(STDIN_FILENO, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        // A failed read is the end of the input, as a closed pipe is.
        if (got <= 0) return end_of_input();
        lines.take(std::string_view(chunk.data(), static_cast<std::size_t>(got)), on_line, on_too_long);
    }
}

}  // namespace vantle_native::linux_room
