#include "win/input_pump.h"

#include <array>
#include <atomic>

#include "runtime/stdio.h"
#include "win/kernel_handle.h"

namespace vantle_native::win {

struct InputPump::Shared {
    static constexpr auto chunk_bytes = static_cast<DWORD>(runtime::standard_input_chunk_bytes);

    KernelHandle ready = new_event(false);
    KernelHandle taken = new_event(false);
    std::atomic<bool> stopping = false;
    std::array<char, chunk_bytes> buffer{};
    DWORD filled = 0;
};

namespace {

// The thread: reads a chunk, says it is ready, waits until it is taken. A
// failed read is the end of the input, as a closed pipe is.
void pump_input(const std::shared_ptr<InputPump::Shared>& hold) {
    InputPump::Shared& shared = *hold;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        DWORD read = 0;
        const bool got = input != nullptr && input != INVALID_HANDLE_VALUE &&
                         ReadFile(input, shared.buffer.data(), InputPump::Shared::chunk_bytes, &read, nullptr) && read > 0;
        shared.filled = got ? read : 0;
        (void)SetEvent(shared.ready.get());
        if (!got) return;
        (void)WaitForSingleObject(shared.taken.get(), INFINITE);
        if (shared.stopping) return;
    }
}

}  // namespace

Result<InputPump, OsError> InputPump::start() {
    auto shared = std::make_shared<Shared>();
    if (shared->ready.get() == nullptr || shared->taken.get() == nullptr) return Failure{last_os_error()};
    if (start_thread<pump_input>(std::make_unique<std::shared_ptr<Shared>>(shared)) == nullptr) {
        return Failure{last_os_error()};
    }
    return InputPump(std::move(shared));
}

InputPump::~InputPump() {
    if (!shared_) return;
    // A thread that waits for its chunk to be taken ends now; one that is
    // blocked in a read ends with the process.
    shared_->stopping = true;
    (void)SetEvent(shared_->taken.get());
}

HANDLE InputPump::ready() const { return shared_->ready.get(); }

std::string_view InputPump::chunk() const { return {shared_->buffer.data(), shared_->filled}; }

void InputPump::read_on() { (void)SetEvent(shared_->taken.get()); }

}  // namespace vantle_native::win
