#include "wayland/pipes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <vector>

#include "selection/bounds.h"

namespace vantle_native::wayland {
namespace {

// What one read or write moves at most.
constexpr std::size_t chunk_bytes = std::size_t{64} * 1024;

bool is_ready(const pollfd& polled) { return (polled.revents & (POLLIN | POLLOUT | POLLERR | POLLHUP)) != 0; }

}  // namespace

Result<std::string, ClipboardError> read_all(const Descriptor& read_end, Transfers* serving) {
    const Deadline whole = Deadline::after(selection::whole_transfer_timeout);
    Deadline piece = Deadline::after(selection::answer_timeout);
    std::string data;
    std::array<char, chunk_bytes> chunk{};
    std::vector<pollfd> polled;
    for (;;) {
        const bool whole_first = whole.at() < piece.at();
        const Deadline& bound = whole_first ? whole : piece;
        polled.assign({pollfd{read_end.get(), POLLIN, 0}});
        if (serving != nullptr) serving->add_to(polled);
        const auto wake = linux_room::earlier(serving != nullptr ? serving->next_deadline() : std::nullopt, bound);
        const int ready = poll(polled.data(), polled.size(), wake->poll_timeout());
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Failure{clipboard_error(last_os_error())};
        if (serving != nullptr) serving->pump(std::span<const pollfd>(polled).subspan(1));
        if (polled[0].revents == 0) {
            // Woken for a transfer of this program's own, not for the read.
            if (bound.poll_timeout() > 0) continue;
            if (whole_first) return Failure{clipboard_error(selection::endless_text)};
            return Failure{clipboard_error(data.empty() ? selection::no_answer_text : selection::stalled_text)};
        }
        const ssize_t got = read(read_end.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Failure{clipboard_error(last_os_error())};
        if (got == 0) return data;
        if (data.size() + static_cast<std::size_t>(got) > selection::max_selection_bytes) {
            return Failure{clipboard_error(selection::too_large_text)};
        }
        data.append(chunk.data(), static_cast<std::size_t>(got));
        piece = Deadline::after(selection::answer_timeout);
    }
}

void Transfers::start(Descriptor fd, std::string bytes) {
    const int flags = fcntl(fd.get(), F_GETFL);
    if (flags < 0 || fcntl(fd.get(), F_SETFL, flags | O_NONBLOCK) != 0) return;
    Transfer transfer{std::move(fd), std::move(bytes), 0, Deadline::after(selection::stalled_transfer_timeout)};
    if (write_some(transfer)) transfers_.push_back(std::move(transfer));
}

std::optional<Deadline> Transfers::next_deadline() const {
    std::optional<Deadline> next;
    for (const Transfer& transfer : transfers_) next = linux_room::earlier(next, transfer.deadline);
    return next;
}

std::vector<int> Transfers::descriptors() const {
    std::vector<int> fds;
    std::transform(transfers_.begin(), transfers_.end(), std::back_inserter(fds),
                   [](const Transfer& transfer) { return transfer.fd.get(); });
    return fds;
}

void Transfers::add_to(std::vector<pollfd>& polled) const {
    std::transform(transfers_.begin(), transfers_.end(), std::back_inserter(polled),
                   [](const Transfer& transfer) { return pollfd{transfer.fd.get(), POLLOUT, 0}; });
}

void Transfers::pump(std::span<const pollfd> polled) {
    auto ready = polled.begin();
    for (auto transfer = transfers_.begin(); transfer != transfers_.end();) {
        const bool over = ready != polled.end() && is_ready(*ready++) ? !write_some(*transfer)
                                                                       : transfer->deadline.poll_timeout() == 0;
        transfer = over ? transfers_.erase(transfer) : std::next(transfer);
    }
}

bool Transfers::write_some(Transfer& transfer) {
    while (transfer.written != transfer.bytes.size()) {
        const std::string_view rest = std::string_view(transfer.bytes).substr(transfer.written);
        const ssize_t written = write(transfer.fd.get(), rest.data(), std::min(rest.size(), chunk_bytes));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0 && errno == EAGAIN) return true;
        // A reader that has closed its end (EPIPE) wants no more.
        if (written <= 0) return false;
        transfer.written += static_cast<std::size_t>(written);
        transfer.deadline = Deadline::after(selection::stalled_transfer_timeout);
    }
    return false;
}

}  // namespace vantle_native::wayland
