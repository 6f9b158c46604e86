#include "wayland/clipboard.h"

#include <poll.h>

#include <cerrno>
#include <span>
#include <vector>

#include "linux/detached_child.h"

namespace vantle_native::wayland {
namespace {

// The bytes of one target; none when the owner gave nothing (an owner that
// refuses a type closes its pipe without writing).
Result<std::optional<std::string>, ClipboardError> receive_target(Client& client, const Offer& offer,
                                                                  selection::Target target, Transfers* serving) {
    auto bytes = client.receive(offer, target, serving);
    if (!bytes.ok()) return Failure{std::move(bytes.error())};
    if (bytes.value().empty()) return std::optional<std::string>();
    return std::optional<std::string>(std::move(bytes.value()));
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

Status<ClipboardError> hand_over_to_detached_child(Client& client, const Source& source, Transfers& transfers) {
    std::vector<int> kept = transfers.descriptors();
    kept.push_back(client.descriptor());
    auto handed = linux_room::start_detached_child(
        [&](const linux_room::ParentReport& parent) {
            parent.owned();
            serve_until_cancelled(client, source, transfers);
        },
        kept);
    if (handed.ok()) client.hand_to_child();
    return handed;
}

Status<ClipboardError> serve_from_detached_child(Client& client,
                                                 const std::shared_ptr<const selection::SelectionContent>& content) {
    Transfers transfers;
    const auto source = client.take_selection(content, transfers);
    auto taken = client.roundtrip();
    if (!taken.ok()) return taken;
    return hand_over_to_detached_child(client, *source, transfers);
}

}  // namespace vantle_native::wayland
