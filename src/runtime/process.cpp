#include "runtime/process.h"

#include "runtime/fatal.h"
#include "runtime/platform.h"
#include "runtime/stdio.h"

namespace vantle_native::runtime {

int run_process(void (*entry)()) {
    prepare_process();
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
