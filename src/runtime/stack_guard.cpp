// The stack protector's guard value and its failure path, in place of the
// compiler's support library: that library seeds the guard through the
// cryptography API, which would add a DLL to every start of the exe. The
// seed here mixes what differs between runs and processes (the time, the
// process and thread ids, the performance counter and the randomised
// addresses of the image and the stack), as Windows' own compilers do for
// their stack cookie.
#include <cstdint>

#include "platform/win32.h"

// The compiler's own names for the guard and its failure path.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {

std::uintptr_t __stack_chk_guard = 0x2B992DDFA232;  // replaced before main runs

// A smashed stack may hold anything: end at once, with no unwinding and no
// handler that could be subverted.
[[noreturn]] void __stack_chk_fail() {
    vantle_native::platform::request_fail_fast(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE);
}

}  // extern "C"
// NOLINTEND(bugprone-reserved-identifier)

namespace {

// Runs before any protected function: a function that is on the stack while
// the guard changes would take its own check for an attack.
__attribute__((constructor(101), no_stack_protector)) void seed_stack_guard() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    std::uintptr_t seed = (static_cast<std::uintptr_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    seed ^= static_cast<std::uintptr_t>(GetCurrentProcessId()) << 16;
    seed ^= static_cast<std::uintptr_t>(GetCurrentThreadId()) << 40;
    seed ^= static_cast<std::uintptr_t>(GetTickCount64()) << 24;
    seed ^= static_cast<std::uintptr_t>(counter.QuadPart);
    seed ^= reinterpret_cast<std::uintptr_t>(&seed);
    seed ^= reinterpret_cast<std::uintptr_t>(&seed_stack_guard);
    // A zero byte first would end a string overflow before it reached the guard.
    __stack_chk_guard = seed & ~std::uintptr_t{0xFF};
}

}  // namespace
