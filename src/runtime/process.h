// The process frame: what runs before the dispatcher and after it.
#pragma once

namespace vantle_native::runtime {

// The main thread's name, given to the platform and shown in the fatal report.
inline constexpr char main_thread_name[] = "main";

inline constexpr int exit_success = 0;
inline constexpr int exit_fatal = 101;

// Prepares the process (runtime/platform.h), runs `entry`, empties standard
// output and gives the exit status: exit_success, or exit_fatal after a fatal report.
[[nodiscard]] int run_process(void (*entry)());

}  // namespace vantle_native::runtime
