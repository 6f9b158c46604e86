// Every allocation goes through here, so that running out of memory ends the
// run the same way wherever it happens: a one-line note on standard error and
// the platform's fail-fast request, with no unwinding and no exit handlers.
#include <cstdlib>
#include <new>

#include "platform/win32.h"
#include "runtime/memory.h"

namespace vantle_native::runtime {
namespace {

constexpr char allocation_failure_prefix[] = "memory allocation of ";
constexpr char allocation_failure_suffix[] = " bytes failed";

// Writes without allocating: the heap has just failed.
void write_to_standard_error(const char* bytes, std::size_t length) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    (void)WriteFile(handle, bytes, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

void report_allocation_failure(std::size_t size) {
    char digits[24];
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + size % 10);
        size /= 10;
    } while (size != 0);
    write_to_standard_error(allocation_failure_prefix, sizeof allocation_failure_prefix - 1);
    write_to_standard_error(digits + start, sizeof digits - start);
    write_to_standard_error(allocation_failure_suffix, sizeof allocation_failure_suffix - 1);
    platform::request_fail_fast(FAST_FAIL_FATAL_APP_EXIT);
}

void* allocate_or_fail_fast(std::size_t size) {
    // malloc(0) may give null without failing; ask for one byte instead.
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    report_allocation_failure(size);
}

}  // namespace vantle_native::runtime

void* operator new(std::size_t size) { return vantle_native::runtime::allocate_or_fail_fast(size); }
void* operator new[](std::size_t size) { return vantle_native::runtime::allocate_or_fail_fast(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return vantle_native::runtime::allocate_or_fail_fast(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return vantle_native::runtime::allocate_or_fail_fast(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
