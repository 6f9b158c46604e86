#include "diagnostics.h"

namespace vantle_native {

// No receiver is installed in the program, so a record goes nowhere.
void receive_record(const DiagnosticRecord&) {}

}  // namespace vantle_native
