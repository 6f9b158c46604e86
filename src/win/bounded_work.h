// Work that can hang inside a platform call that cannot be taken back (a
// read of the clipboard whose owner renders its data on demand and never
// does), done on a worker thread so that the caller waits for it within a
// bound. Past the bound the worker is left where it is, with the work: what
// it holds (an open clipboard) stays held until the process ends, which is
// then the caller's to bring about.
#pragma once

#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

#include "platform/win32.h"
#include "win/kernel_handle.h"

namespace vantle_native::win {

// What the work tells its caller once it is past the part that may hang:
// the rest (its own work on what it got) takes as long as it takes. It is
// reached at the end of the work at the latest.
class Milestone {
public:
    Milestone();
    void reached() const { (void)SetEvent(event_.get()); }
    [[nodiscard]] HANDLE event() const { return event_.get(); }

private:
    KernelHandle event_;
};

// A thread that does one job at a time and waits for the next one: started
// at its first job and never ended. Under Wine a thread's handle is
// signalled before the thread is torn down, and a process that exits in
// that moment can crash (measured: a session whose reads each had a thread
// of their own, ending on a broken output right after a read, died of
// SIGSEGV in 5 of 200 runs on a loaded machine; none with one worker kept).
// So a worker outlives its scope: it is left waiting, and ends with the
// process.
class Worker {
public:
    Worker() = default;
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    ~Worker() = default;

    // Runs run(job) on the worker and waits until it is done. False when
    // `milestone` was not reached within `bound_ms`: the worker runs on
    // with the job and is held from then on. A held worker takes no further
    // job: false at once. Where no thread can be had, run(job) runs here,
    // unbounded.
    [[nodiscard]] bool run_within(DWORD bound_ms, LPTHREAD_START_ROUTINE run, void* job, const Milestone& milestone);

    // Whether a job was given up while the worker still runs it, holding
    // what it took (an open clipboard) until the process ends.
    [[nodiscard]] bool held() const { return stuck_; }

    // The job slot and the worker's events, the thread's own: it outlives
    // the Worker, waiting, until the process ends.
    struct Slot;

private:
    Slot* slot_ = nullptr;
    bool stuck_ = false;
};

// What work(milestone) gives, done by `worker`, or what give_up() gives when
// the work did not reach its milestone within `bound_ms`. The work is moved
// to the worker: it must hold nothing of the caller's that the caller may
// let go of.
template <class Work, class GiveUp>
auto within(Worker& worker, DWORD bound_ms, Work work, GiveUp&& give_up)
    -> std::invoke_result_t<Work&, const Milestone&> {
    struct Job {
        explicit Job(Work&& given) : work(std::move(given)) {}
        static DWORD run(LPVOID parameter) {
            Job& job = *static_cast<Job*>(parameter);
            job.value.emplace(job.work(job.milestone));
            job.milestone.reached();
            return 0;
        }
        Work work;
        Milestone milestone;
        std::optional<std::invoke_result_t<Work&, const Milestone&>> value;
    };
    auto job = std::make_unique<Job>(std::move(work));
    if (!worker.run_within(bound_ms, &Job::run, job.get(), job->milestone)) {
        // The worker may still come back to the job, late (a held worker
        // never took it): it is left, for the little while until the process
        // ends.
        (void)job.release();
        return give_up();
    }
    return std::move(*job->value);
}

}  // namespace vantle_native::win
