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

// A copy: starts a detached child that makes `content` the selection and
// serves it until another client takes the selection; returns once the
// child owns it.
[[nodiscard]] Status<ClipboardError> serve_from_detached_child(
    const std::shared_ptr<const selection::SelectionContent>& content);

// --serve on the Wayland clipboard (see session/serve.h).
[[nodiscard]] Status<ClipboardError> serve_session(Client& client);

}  // namespace vantle_native::wayland
