#include "diagnostics.h"

namespace vantle_native {

void emit_record(DiagnosticLevel level, std::string_view prefix, std::string_view argument,
                 const RecordLocation& location) {
    std::string message(prefix);
    message += argument;
    receive_record(DiagnosticRecord{level, location.target, std::move(message), location.module_path,
                                    location.file, location.line});
}

}  // namespace vantle_native
