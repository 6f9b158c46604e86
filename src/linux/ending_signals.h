// The signals that end a session on Linux, whichever clipboard it serves.
#pragma once

#include <csignal>

#include "errors.h"
#include "linux/descriptor.h"
#include "result.h"

namespace vantle_native::linux_room {

// The signals that end a session (an interrupt, a request to terminate, the
// end of the terminal), held back from their default (the end of the
// process, the user's copy with it) and read from a descriptor in the
// loop's poll while the scope lasts: the session takes them as the end of
// its input, so that the hand-over runs.
class EndingSignals {
public:
    [[nodiscard]] static Result<EndingSignals, ClipboardError> hold();

    EndingSignals(EndingSignals&& other) noexcept
        : previous_(other.previous_), descriptor_(std::move(other.descriptor_)) {}
    EndingSignals& operator=(EndingSignals&&) = delete;
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;
    ~EndingSignals();

    [[nodiscard]] int descriptor() const { return descriptor_.get(); }
    // Takes the signal that came, so that it does not end the process once
    // the scope lets such signals through again.
    void take() const;

private:
    EndingSignals(const sigset_t& previous, Descriptor descriptor)
        : previous_(previous), descriptor_(std::move(descriptor)) {}

    sigset_t previous_;
    Descriptor descriptor_;
};

}  // namespace vantle_native::linux_room
