#include "win/bounded_work.h"

namespace vantle_native::win {

// Manual reset: once reached, it stays so for every wait.
Milestone::Milestone() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool run_within(DWORD bound_ms, LPTHREAD_START_ROUTINE run, void* job, const Milestone& milestone) {
    const KernelHandle thread(milestone.event() == nullptr ? nullptr : CreateThread(nullptr, 0, run, job, 0, nullptr));
    if (thread.get() == nullptr) {
        (void)run(job);
        return true;
    }
    if (WaitForSingleObject(milestone.event(), bound_ms) == WAIT_TIMEOUT) return false;
    (void)WaitForSingleObject(thread.get(), INFINITE);
    return true;
}

}  // namespace vantle_native::win
