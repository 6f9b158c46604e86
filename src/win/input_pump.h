// Standard input read on a thread of its own, so that the session's loop can
// wait for input and for window messages at once. One chunk at a time: the
// thread reads the next chunk only once the loop has taken the last, so
// nothing piles up however fast the input comes.
#pragma once

#include <memory>
#include <string_view>

#include "errors.h"
#include "platform/win32.h"
#include "result.h"

namespace vantle_native::win {

class InputPump {
public:
    // Starts the thread; it reads the first chunk at once.
    [[nodiscard]] static Result<InputPump, OsError> start();

    InputPump(InputPump&&) noexcept = default;
    InputPump& operator=(InputPump&&) = delete;
    InputPump(const InputPump&) = delete;
    InputPump& operator=(const InputPump&) = delete;
    ~InputPump();

    // Signalled when a chunk, or the end of the input, is ready.
    [[nodiscard]] HANDLE ready() const;
    // The chunk that is ready; empty at the end of the input. It stays valid
    // until read_on.
    [[nodiscard]] std::string_view chunk() const;
    // Lets the thread read the next chunk.
    void read_on();

    // What the loop and the thread share; the thread keeps its own hold on
    // it, since a read it is blocked in cannot be taken back.
    struct Shared;

private:
    explicit InputPump(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    std::shared_ptr<Shared> shared_;
};

}  // namespace vantle_native::win
