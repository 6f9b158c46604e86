// How long a reader of the Linux clipboards waits for an owner, how much it
// takes, and how long an owner waits for its readers: the same for the X11
// and the Wayland clipboard, with the texts that report each bound.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace vantle_native::selection {

using Milliseconds = std::chrono::milliseconds;

// An owner's answer to a request, and each chunk of a transfer after the
// last: a reader gives up after this long without news.
inline constexpr Milliseconds answer_timeout{5000};

// A whole transfer, however often its chunks come: an owner that sends
// chunks without end must not hold a reader for ever. A list at the largest
// size a reader takes comes in well under this on a desktop (Xvfb on two
// cores: about a second), so only an owner that dribbles meets it.
inline constexpr Milliseconds whole_transfer_timeout{12 * answer_timeout};
static_assert(whole_transfer_timeout > 2 * answer_timeout, "a few slow chunks are no endless transfer");

// An owner drops a transfer whose reader has not taken the next chunk for
// this long. Never sooner than a reader of ours gives up on the owner, so
// that a slow reader is never cut off by this side first.
inline constexpr Milliseconds stalled_transfer_timeout{10000};
static_assert(stalled_transfer_timeout >= answer_timeout);

// A one-shot copy waits this long for its detached child to say that it owns
// the selection. The child's own waits on the server end first, so that its
// failure, not this deadline, is what the copy reports.
inline constexpr Milliseconds hand_over_timeout{3 * answer_timeout};
static_assert(hand_over_timeout > 2 * answer_timeout);

// The most a read takes from an owner, in one piece or in a whole transfer.
// A session's request line holds at most 64 MiB, about a million paths of
// 60 ASCII characters, which are some 70 MB as a URI list; a million paths
// of that length beyond ASCII, percent-encoded three bytes for each, pass
// 180 MB. This holds both with room, while an owner that sends without end
// costs a reader no more than this (and the names decoded from it) before
// the read fails.
inline constexpr std::size_t max_selection_bytes = std::size_t{256} * 1024 * 1024;

// What a read that meets a bound reports.
inline constexpr std::string_view no_answer_text = "the clipboard's owner did not answer within 5 s";
inline constexpr std::string_view stalled_text = "the clipboard's owner stopped in the middle of a transfer (nothing for 5 s)";
inline constexpr std::string_view endless_text = "the clipboard's owner did not finish a transfer within 60 s";
inline constexpr std::string_view too_large_text = "the clipboard's data is larger than 256 MiB";
static_assert(answer_timeout == Milliseconds{5000}, "the texts name the timeout");
static_assert(whole_transfer_timeout == Milliseconds{60000}, "the text names the timeout");
static_assert(max_selection_bytes == std::size_t{256} << 20, "the text names the size");

}  // namespace vantle_native::selection
