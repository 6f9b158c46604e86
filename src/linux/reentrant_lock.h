// The Linux lock of runtime/stdio.h (found through the Linux room's include
// path).
#pragma once

#include <mutex>

namespace vantle_native::runtime {

// A lock that the thread holding it may take again.
using ReentrantLock = std::recursive_mutex;

}  // namespace vantle_native::runtime
