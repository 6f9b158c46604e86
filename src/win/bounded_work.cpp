#include "win/bounded_work.h"

namespace vantle_native::win {

struct Worker::Slot {
    // Auto reset: each job posted is taken once.
    KernelHandle posted = new_event(false);
    KernelHandle done = new_event(false);
    LPTHREAD_START_ROUTINE run = nullptr;
    void* job = nullptr;
};

namespace {

// The thread owns its slot: it waits for jobs until the process ends, or
// until a wait fails, and the slot goes with it.
void serve_jobs(const Worker::Slot& slot) {
    while (WaitForSingleObject(slot.posted.get(), INFINITE) == WAIT_OBJECT_0) {
        (void)slot.run(slot.job);
        (void)SetEvent(slot.done.get());
    }
}

// A worker's slot with its thread waiting for jobs, or none when the system
// gives no thread (or event) for it.
Worker::Slot* started_slot() {
    auto slot = std::make_unique<Worker::Slot>();
    if (slot->posted.get() == nullptr || slot->done.get() == nullptr) return nullptr;
    return start_thread<serve_jobs>(std::move(slot));
}

}  // namespace

// Manual reset: once reached, it stays so for every wait.
Milestone::Milestone() : event_(new_event(true)) {}

bool Worker::run_within(DWORD bound_ms, LPTHREAD_START_ROUTINE run, void* job, const Milestone& milestone) {
    // The thread is still in the slot's last job: a new one would overwrite it.
    if (stuck_) return false;
    if (slot_ == nullptr && milestone.event() != nullptr) slot_ = started_slot();
    if (slot_ == nullptr) {
        (void)run(job);
        return true;
    }
    slot_->run = run;
    slot_->job = job;
    (void)SetEvent(slot_->posted.get());
    if (WaitForSingleObject(milestone.event(), bound_ms) == WAIT_TIMEOUT) {
        stuck_ = true;
        return false;
    }
    (void)WaitForSingleObject(slot_->done.get(), INFINITE);
    return true;
}

}  // namespace vantle_native::win
