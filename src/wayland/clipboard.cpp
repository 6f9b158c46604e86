#include "wayland/clipboard.h"

#include <poll.h>

#include <cerrno>
#include <span>
#include <vector>

#include "linux/detached_child.h"

namespace vantle_native::wayland {
namespace {

constexpr std::string_view no_compositor_text =
    "the Wayland compositor could not be reached, or offers no data-control protocol";

// The bytes of one target; none when the owner gave nothing (an owner that
// refuses a type closes its pipe without writing).
Result<std::optional<std::string>, ClipboardError> receive_target(Client& client, const Offer& offer,
                                                                  selection::Target target, Transfers* serving) {
    auto bytes = client.receive(offer, target, serving);
    if (!bytes.ok()) return Failure{std::move(bytes.error())};
    if (bytes.value().empty()) return std::optional<std::string>();
    return std::optional<std::string>(std::move(bytes.value()));
}

// The child's serving: takes the selection, says so, serves until another
// client takes it.
void serve_in_child(const linux_room::ParentReport& parent,
                    const std::shared_ptr<const selection::SelectionContent>& content) {
    const auto client = Client::connect();
    if (!client) parent.failed(clipboard_error(no_compositor_text));
    Transfers transfers;
    const auto source = client->take_selection(content, transfers);
    auto taken = client->roundtrip();
    if (!taken.ok()) parent.failed(taken.error());
    parent.owned();
    serve_until_cancelled(*client, *source, transfers);
}

}  // namespace

Result<selection::SelectionRead, ClipboardError> read_selection(Client& client, Transfers* serving) {
    const Offer* offer = client.selection();
    if (offer == nullptr) return selection::SelectionRead{false, std::nullopt};
    return selection::read_drop(offers_of(*offer), [&](selection::Target target) {
        return receive_target(client, *offer, target, serving);
    });
}

void serve_until_cancelled(Client& client, const Source& source, Transfers& transfers, std::optional<Deadline> until) {
    std::vector<pollfd> polled;
    while ((!source.cancelled() || transfers.busy()) && (!until || until->poll_timeout() > 0)) {
        if (!client.flush().ok()) return;
        polled.assign({pollfd{client.descriptor(), POLLIN, 0}});
        transfers.add_to(polled);
        const auto deadline = linux_room::earlier(transfers.next_deadline(), until);
        if (poll(polled.data(), polled.size(), deadline ? deadline->poll_timeout() : -1) < 0 && errno != EINTR) return;
        if (!client.dispatch(polled[0].revents != 0).ok()) return;
        transfers.pump(std::span<const pollfd>(polled).subspan(1));
    }
}

Status<ClipboardError> serve_from_detached_child(const std::shared_ptr<const selection::SelectionContent>& content) {
    return linux_room::start_detached_child(
        [&](const linux_room::ParentReport& parent) { serve_in_child(parent, content); });
}

}  // namespace vantle_native::wayland
