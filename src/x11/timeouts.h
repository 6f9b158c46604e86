// How long the X11 clipboard waits, and how the waits relate: the bounds it
// shares with the Wayland clipboard, and the session's probe of a new owner.
#pragma once

#include "selection/bounds.h"

namespace vantle_native::x11 {

using selection::answer_timeout;
using selection::Milliseconds;
using selection::stalled_transfer_timeout;
using selection::whole_transfer_timeout;

// A session asks each new owner what it offers (whether it holds a file
// list) and tells the app of the change when it answers, or after this
// long without an answer: an owner that does not answer is no reason to
// keep the app waiting for the news of a change.
inline constexpr Milliseconds offer_probe_timeout{200};
static_assert(offer_probe_timeout < answer_timeout / 10, "a probe is news, not a read");

}  // namespace vantle_native::x11
