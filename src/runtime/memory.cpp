// Every allocation goes through here, so that running out of memory ends the
// run the same way wherever it happens: a one-line note on standard error and
// the platform's way of ending at once, with no unwinding and no exit handlers.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>

#include "runtime/memory.h"
#include "runtime/platform.h"

namespace vantle_native::runtime {
namespace {

constexpr std::string_view allocation_failure_prefix = "memory allocation of ";
constexpr std::string_view allocation_failure_suffix = " bytes failed";
// The digits of the largest size_t.
constexpr std::size_t max_size_digits = 20;

}  // namespace

void report_allocation_failure(std::size_t size) {
    // Built in place: the heap has just failed.
    std::array<char, allocation_failure_prefix.size() + max_size_digits + allocation_failure_suffix.size()> note{};
    char* end = std::copy(allocation_failure_prefix.begin(), allocation_failure_prefix.end(), note.data());
    char digits[max_size_digits];
    std::size_t start = sizeof digits;
    do {
        digits[--start] = static_cast<char>('0' + size % 10);
        size /= 10;
    } while (size != 0);
    end = std::copy(digits + start, digits + sizeof digits, end);
    end = std::copy(allocation_failure_suffix.begin(), allocation_failure_suffix.end(), end);
    end_after_allocation_failure(std::string_view(note.data(), static_cast<std::size_t>(end - note.data())));
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
