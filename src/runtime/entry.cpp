// The executable's entry point; the host build tests run_process directly.
#include "main.h"
#include "runtime/process.h"

int main() { return vantle_native::runtime::run_process(vantle_native::main); }
