// How long the X11 clipboard waits, and how the waits relate.
#pragma once

#include <chrono>

namespace vantle_native::x11 {

using Milliseconds = std::chrono::milliseconds;

// An owner's answer to a request, and each chunk of an incremental transfer
// after the last: a reader gives up after this long without news.
inline constexpr Milliseconds answer_timeout{5000};

// A whole incremental transfer, however often its chunks come: an owner that
// sends chunks without end must not hold a reader for ever. A list at the
// largest size a reader takes comes in well under this on a desktop (Xvfb
// on two cores: about a second), so only an owner that dribbles meets it.
inline constexpr Milliseconds whole_transfer_timeout{12 * answer_timeout};
static_assert(whole_transfer_timeout > 2 * answer_timeout, "a few slow chunks are no endless transfer");

// A session asks each new owner what it offers (whether it holds a file
// list) and tells the app of the change when it answers, or after this
// long without an answer: an owner that does not answer is no reason to
// keep the app waiting for the news of a change.
inline constexpr Milliseconds offer_probe_timeout{200};
static_assert(offer_probe_timeout < answer_timeout / 10, "a probe is news, not a read");

// An owner drops an incremental transfer whose reader has not asked for the
// next chunk for this long. Never sooner than a reader of ours gives up on
// the owner, so that a slow reader is never cut off by this side first.
inline constexpr Milliseconds stalled_transfer_timeout{10000};
static_assert(stalled_transfer_timeout >= answer_timeout);

// A one-shot copy waits this long for its detached child to say that it owns
// the selection. The child's own waits on the server end first, so that its
// failure, not this deadline, is what the copy reports.
inline constexpr Milliseconds hand_over_timeout{3 * answer_timeout};
static_assert(hand_over_timeout > 2 * answer_timeout);

}  // namespace vantle_native::x11
