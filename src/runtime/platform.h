// What the shared runtime (the process frame, the fatal report, the end of a
// run out of memory) asks of the platform. Each platform's room defines it:
// src/win/ (which the host build runs against the Win32 stand-in) and
// src/linux/.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace vantle_native::runtime {

// Before the dispatcher runs: the main thread's name where the platform
// keeps one, and whatever the platform needs so that a failed write is an
// error value rather than the end of the process.
void prepare_process();

// RUST_BACKTRACE: unset or "0" is off, "full" is full, anything else brief.
enum class BacktraceStyle { off, brief, full };
[[nodiscard]] BacktraceStyle backtrace_style();

// Fills `frames` with the calling thread's return addresses, innermost
// first, and says how many it filled.
[[nodiscard]] std::size_t capture_stack(std::span<void*> frames);

// " - module+0xoffset" for the module that holds `address`, or nothing when
// no module does. A full trace names the module by its whole path.
[[nodiscard]] std::string module_and_offset(void* address, BacktraceStyle style);

// Writes `note` to standard error without allocating (the heap has just
// failed), then ends the process at once, with no unwinding and no exit
// handlers.
[[noreturn]] void end_after_allocation_failure(std::string_view note);

}  // namespace vantle_native::runtime
