// Kernel objects of the Windows room: their handles, the events it waits
// for, and the threads it starts with a parameter of their own.
#pragma once

#include <memory>
#include <utility>

#include "platform/win32.h"

namespace vantle_native::win {

// A kernel object's handle, closed at the end of its scope.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) noexcept : handle_(handle) {}
    KernelHandle(KernelHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    KernelHandle& operator=(KernelHandle&&) = delete;
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() {
        if (handle_ != nullptr) (void)CloseHandle(handle_);
    }

    [[nodiscard]] HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// A new event, not signalled, or none (a null handle). A manual-reset event
// stays signalled for every wait once set; an automatic one is taken by the
// first wait.
inline KernelHandle new_event(bool manual_reset) noexcept {
    return KernelHandle(CreateEventW(nullptr, manual_reset ? TRUE : FALSE, FALSE, nullptr));
}

// Starts a thread that runs serve(*parameter) and then deletes the
// parameter, which is the thread's own from the start. Nobody waits for the
// thread itself: its handle goes at once. The parameter as the thread has
// it, or null (and the parameter is gone) when no thread can be had.
template <auto serve, class Parameter>
Parameter* start_thread(std::unique_ptr<Parameter> parameter) {
    const LPTHREAD_START_ROUTINE run = [](LPVOID given) -> DWORD {
        const std::unique_ptr<Parameter> owned(static_cast<Parameter*>(given));
        serve(*owned);
        return 0;
    };
    const KernelHandle thread(CreateThread(nullptr, 0, run, parameter.get(), 0, nullptr));
    return thread.get() == nullptr ? nullptr : parameter.release();
}

}  // namespace vantle_native::win
