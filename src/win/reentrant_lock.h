// The Windows lock of runtime/stdio.h (found through the Windows room's
// include path): the platform's critical section, so that no threading
// library is linked in.
#pragma once

#include "platform/win32.h"

namespace vantle_native::runtime {

// A lock that the thread holding it may take again.
class ReentrantLock {
public:
    ReentrantLock() { InitializeCriticalSection(&section_); }
    ReentrantLock(const ReentrantLock&) = delete;
    ReentrantLock& operator=(const ReentrantLock&) = delete;
    ~ReentrantLock() { DeleteCriticalSection(&section_); }

    void lock() { EnterCriticalSection(&section_); }
    [[nodiscard]] bool try_lock() { return TryEnterCriticalSection(&section_) != FALSE; }
    void unlock() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_{};
};

}  // namespace vantle_native::runtime
