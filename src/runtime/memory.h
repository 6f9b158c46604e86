// Allocation that never fails: on exhaustion the process ends at once.
#pragma once

#include <cstddef>

namespace vantle_native::runtime {

// Writes "memory allocation of N bytes failed" to standard error and ends the
// process through the platform's fail-fast request.
[[noreturn]] void report_allocation_failure(std::size_t size);

[[nodiscard]] void* allocate_or_fail_fast(std::size_t size);

}  // namespace vantle_native::runtime
