// The data of a Wayland selection goes through pipes, never through the
// compositor: a reader reads what the owner writes, bounded as every read
// of the Linux clipboards is; an owner writes without blocking, from its
// loop, so that a slow reader holds no one up.
#pragma once

#include <poll.h>

#include <list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "linux/deadline.h"
#include "linux/descriptor.h"
#include "result.h"

namespace vantle_native::wayland {

using linux_room::Deadline;
using linux_room::Descriptor;
using linux_room::open_pipe;
using linux_room::Pipe;


class Transfers;

// Everything an owner writes into `read_end` until it closes its end: 5 s
// for the first bytes and for each later piece, 60 s and 256 MiB for the
// whole; each bound met is its clipboard error. Meanwhile the transfers of
// `serving`, if given, go on: a read of another owner's list holds up no
// paste of this program's.
[[nodiscard]] Result<std::string, ClipboardError> read_all(const Descriptor& read_end,
                                                           Transfers* serving = nullptr);

// The writes of what this program serves, one per reader, each ending with
// its pipe's close. A reader that has closed its end ends only its own
// transfer (the Linux process ignores SIGPIPE from its start: prepare_process).
class Transfers {
public:
    Transfers() = default;
    Transfers(const Transfers&) = delete;
    Transfers& operator=(const Transfers&) = delete;
    ~Transfers() = default;

    // Starts writing `bytes` to `fd`, as far as the pipe takes them now; the
    // transfer holds them until it ends.
    void start(Descriptor fd, std::string bytes);

    [[nodiscard]] bool busy() const { return !transfers_.empty(); }
    // The earliest point at which a reader has been quiet too long.
    [[nodiscard]] std::optional<Deadline> next_deadline() const;
    // The transfers' pipes.
    [[nodiscard]] std::vector<int> descriptors() const;
    // One entry for each transfer, in order, to be passed back to `pump`.
    void add_to(std::vector<pollfd>& polled) const;
    // Writes to each pipe that poll found ready; ends the transfers that are
    // done, whose readers have gone, or whose readers have been quiet past
    // their deadline.
    void pump(std::span<const pollfd> polled);

private:
    struct Transfer {
        Descriptor fd;
        std::string bytes;
        std::size_t written;
        Deadline deadline;
    };
    // Writes as much as the pipe takes; false once the transfer is over.
    static bool write_some(Transfer& transfer);

    std::list<Transfer> transfers_;
};

}  // namespace vantle_native::wayland
