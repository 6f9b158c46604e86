#include "win/input_pump.h"

#include <array>
#include <atomic>

#include "runtime/stdio.h"

namespace vantle_native::win {

struct InputPump::Shared {
    static constexpr auto chunk_bytes = static_cast<DWORD>(runtime::standard_input_chunk_bytes);

    Shared(HANDLE ready_event, HANDLE taken_event) : ready(ready_event), taken(taken_event) {}
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    ~Shared() {
        (void)CloseHandle(ready);
        (void)CloseHandle(taken);
    }

    HANDLE ready;
    HANDLE taken;
    std::atomic<bool> stopping = false;
    std::array<char, chunk_bytes> buffer{};
    DWORD filled = 0;
};

namespace {

// An automatic-reset event, or none.
HANDLE new_event() { return CreateEventW(nullptr, FALSE, FALSE, nullptr); }

// The thread: reads a chunk, says it is ready, waits until it is taken. A
// failed read is the end of the input, as a closed pipe is.
DWORD pump_input(LPVOID parameter) {
    const std::unique_ptr<std::shared_ptr<InputPump::Shared>> hold(static_cast<std::shared_ptr<InputPump::Shared>*>(parameter));
    InputPump::Shared& shared = **hold;
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    for (;;) {
        DWORD read = 0;
        const bool got = input != nullptr && input != INVALID_HANDLE_VALUE &&
                         ReadFile(input, shared.buffer.data(), InputPump::Shared::chunk_bytes, &read, nullptr) && read > 0;
        shared.filled = got ? read : 0;
        (void)SetEvent(shared.ready);
        if (!got) return 0;
        (void)WaitForSingleObject(shared.taken, INFINITE);
        if (shared.stopping) return 0;
    }
}

}  // namespace

Result<InputPump, OsError> InputPump::start() {
    const HANDLE ready_event = new_event();
    const HANDLE taken_event = new_event();
    if (ready_event == nullptr || taken_event == nullptr) {
        const OsError error = last_os_error();
        if (ready_event != nullptr) (void)CloseHandle(ready_event);
        if (taken_event != nullptr) (void)CloseHandle(taken_event);
        return Failure{error};
    }
    auto shared = std::make_shared<Shared>(ready_event, taken_event);
    auto thread_hold = std::make_unique<std::shared_ptr<Shared>>(shared);
    const HANDLE thread = CreateThread(nullptr, 0, pump_input, thread_hold.get(), 0, nullptr);
    if (thread == nullptr) return Failure{last_os_error()};
    (void)thread_hold.release();  // the thread's own now
    (void)CloseHandle(thread);
    return InputPump(std::move(shared));
}

InputPump::~InputPump() {
    if (!shared_) return;
    // A thread that waits for its chunk to be taken ends now; one that is
    // blocked in a read ends with the process.
    shared_->stopping = true;
    (void)SetEvent(shared_->taken);
}

HANDLE InputPump::ready() const { return shared_->ready; }

std::string_view InputPump::chunk() const { return {shared_->buffer.data(), shared_->filled}; }

void InputPump::read_on() { (void)SetEvent(shared_->taken); }

}  // namespace vantle_native::win
