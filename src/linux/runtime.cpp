// The Linux side of runtime/platform.h.
#include <dlfcn.h>
#include <execinfo.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string_view>

#include "linux/byte_text.h"
#include "runtime/platform.h"
#include "text.h"

namespace vantle_native::runtime {
namespace {

constexpr char backtrace_variable[] = "RUST_BACKTRACE";
constexpr std::string_view backtrace_off = "0";
constexpr std::string_view backtrace_full = "full";

}  // namespace

// Linux keeps no thread name apart from the process's, which stays the
// program's own. A write to a pipe whose reader has gone must be an error
// the program reports (EPIPE), not a signal that ends it without a word.
void prepare_process() { (void)std::signal(SIGPIPE, SIG_IGN); }

BacktraceStyle backtrace_style() {
    const char* value = std::getenv(backtrace_variable);
    if (value == nullptr || value == backtrace_off) return BacktraceStyle::off;
    return value == backtrace_full ? BacktraceStyle::full : BacktraceStyle::brief;
}

std::size_t capture_stack(std::span<void*> frames) {
    const int captured = backtrace(frames.data(), static_cast<int>(frames.size()));
    return captured > 0 ? static_cast<std::size_t>(captured) : 0;
}

std::string module_and_offset(void* address, BacktraceStyle style) {
    Dl_info module{};
    if (dladdr(address, &module) == 0 || module.dli_fname == nullptr) return {};
    std::string_view path = module.dli_fname;
    const std::size_t slash = path.rfind('/');
    if (style != BacktraceStyle::full && slash != std::string_view::npos) path.remove_prefix(slash + 1);
    std::string text = " - ";
    text += linux_room::is_utf8(path) ? std::string(path) : linux_room::quoted_bytes(path);
    text += "+0x";
    append_hex(text, reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(module.dli_fbase));
    return text;
}

void end_after_allocation_failure(std::string_view note) {
    (void)!write(STDERR_FILENO, note.data(), note.size());
    std::abort();
}

}  // namespace vantle_native::runtime
