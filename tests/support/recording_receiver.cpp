// The tests' receiver of diagnostic records: keeps every record it is given.
#include "support/recording_receiver.h"

namespace vantle_native {

void receive_record(const DiagnosticRecord& record) { received_records().push_back(record); }

}  // namespace vantle_native

std::vector<vantle_native::DiagnosticRecord>& received_records() {
    static std::vector<vantle_native::DiagnosticRecord> records;
    return records;
}
