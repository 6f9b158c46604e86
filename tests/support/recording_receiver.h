#pragma once

#include <vector>

#include "diagnostics.h"

std::vector<vantle_native::DiagnosticRecord>& received_records();
