// A point on the monotonic clock by which a wait ends, in the form poll()
// takes: the waits of the X11 and the Wayland clipboard alike.
#pragma once

#include <chrono>
#include <optional>

namespace vantle_native::linux_room {

using Clock = std::chrono::steady_clock;

class Deadline {
public:
    [[nodiscard]] static Deadline after(std::chrono::milliseconds span) { return Deadline(Clock::now() + span); }
    [[nodiscard]] Clock::time_point at() const { return at_; }
    // What is left, in whole milliseconds rounded up, for poll: 0 once past.
    [[nodiscard]] int poll_timeout() const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(at_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

private:
    explicit Deadline(Clock::time_point at) : at_(at) {}
    Clock::time_point at_;
};

// The earlier of two deadlines, either of which may be absent.
[[nodiscard]] inline std::optional<Deadline> earlier(std::optional<Deadline> one, std::optional<Deadline> other) {
    if (!one) return other;
    if (!other) return one;
    return one->at() <= other->at() ? one : other;
}

}  // namespace vantle_native::linux_room
