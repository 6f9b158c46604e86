// Test-suite program built with vantle_native.exe's hardening flags and its
// stack guard (src/runtime/stack_guard.cpp): the exe's own stack cannot be
// overrun from outside, so the protection is shown on this program instead.
//
//   stack_guard_probe            print the guard value in hex
//   stack_guard_probe overflow   write past a local array; the protector must
//                                end the process before the function returns
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

// Volatile, so that the compiler can neither see that the writes go past the
// array nor drop them as stores that nothing reads.
volatile std::size_t overflow_length = 64;

__attribute__((noinline)) void write_past_local_array() {
    char array[16];
    volatile char* cursor = array;
    for (std::size_t i = 0; i < overflow_length; ++i) cursor[i] = 'x';
}

}  // namespace

int main(int argc, char** argv) {
    // An overrun that nothing checked crashes: end with the exception's code
    // rather than wait in the debugger that Wine starts for a crash (Wine
    // ignores SEM_NOGPFAULTERRORBOX there, but not the top-level filter).
    SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG { return EXCEPTION_EXECUTE_HANDLER; });
    if (argc > 1 && std::strcmp(argv[1], "overflow") == 0) {
        write_past_local_array();
        return 0;  // reached only when nothing checked the guard
    }
    std::printf("%llx\n", static_cast<unsigned long long>(__stack_chk_guard));
    return 0;
}
