#include "runtime/process.h"

#include "platform/win32.h"
#include "runtime/fatal.h"
#include "runtime/stdio.h"

namespace vantle_native::runtime {
namespace {

constexpr platform::WideLiteral kernel_module("kernel32.dll");
constexpr char thread_description_function[] = "SetThreadDescription";
constexpr platform::WideLiteral main_thread_description(main_thread_name);

// x64 has one calling convention, so no WINAPI annotation is needed.
using SetThreadDescriptionFunction = long (*)(HANDLE, const WCHAR*);

// Thread names exist from Windows 10 on; looked up at run time so that the
// program still starts where they do not.
void name_main_thread() {
    const FARPROC found = GetProcAddress(GetModuleHandleW(kernel_module.c_str()), thread_description_function);
    if (found == nullptr) return;
    // Through void (*)() so the compiler accepts the change of signature.
    const auto set_description =
        reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(found));
    set_description(GetCurrentThread(), main_thread_description.c_str());
}

}  // namespace

int run_process(void (*entry)()) {
    name_main_thread();
    int status = exit_success;
    try {
        entry();
    } catch (const FatalUnwind&) {
        // The report is written and every scope on the way here is closed.
        status = exit_fatal;
    }
    flush_standard_output_at_exit();
    return status;
}

}  // namespace vantle_native::runtime
