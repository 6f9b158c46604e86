// File descriptors this program owns: each closed when its scope ends.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <utility>

#include "errors.h"
#include "result.h"

namespace vantle_native::linux_room {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() { reset(); }

    [[nodiscard]] int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void reset() {
        if (fd_ >= 0) (void)close(std::exchange(fd_, -1));
    }

private:
    int fd_;
};

// The device that reads as empty and takes whatever is written.
inline constexpr char null_device[] = "/dev/null";

// Both ends of a new pipe, closed on exec.
struct Pipe {
    Descriptor read_end;
    Descriptor write_end;
};
[[nodiscard]] inline Result<Pipe, ClipboardError> open_pipe() {
    std::array<int, 2> ends{};
    if (pipe2(ends.data(), O_CLOEXEC) != 0) return Failure{clipboard_error(last_os_error())};
    return Pipe{Descriptor(ends[0]), Descriptor(ends[1])};
}

}  // namespace vantle_native::linux_room
