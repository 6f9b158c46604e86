// The Wayland clipboard (the data-control selection) as the Linux program
// uses it: a read of the selection, a copy served by a detached child, and
// the session.
#pragma once

#include <memory>
#include <optional>

#include "errors.h"
#include "result.h"
#include "selection/formats.h"
#include "wayland/client.h"

namespace vantle_native::wayland {

// The selection's file list with its effect, read with the preference of
// every Linux clipboard; no offer at all is an unowned selection. The
// transfers of `serving`, if given, go on meanwhile.
[[nodiscard]] Result<selection::SelectionRead, ClipboardError> read_selection(Client& client,
                                                                            Transfers* serving = nullptr);

// Serves `source` from this loop until the compositor cancels it and no
// transfer is left, or until `until` if given; the end of the connection
// ends it too.
void serve_until_cancelled(Client& client, const Source& source, Transfers& transfers,
                           std::optional<Deadline> until = std::nullopt);

// Hands `source`, the selection, over to a detached child that keeps the
// connection and the transfers under way, and serves them until the
// compositor cancels the source: the selection never changes hands, so a
// copy that another program makes meanwhile is never replaced. This process
// says no more to the compositor.
[[nodiscard]] Status<ClipboardError> hand_over_to_detached_child(Client& client, const Source& source,
                                                                 Transfers& transfers);

// A copy: makes `content` the selection on the connection, then hands it
// over to a detached child (hand_over_to_detached_child); returns once the
// child has it.
[[nodiscard]] Status<ClipboardError> serve_from_detached_child(
    Client& client, const std::shared_ptr<const selection::SelectionContent>& content);

// --serve on the Wayland clipboard (see session/serve.h).
[[nodiscard]] Status<ClipboardError> serve_session(Client& client);

}  // namespace vantle_native::wayland
