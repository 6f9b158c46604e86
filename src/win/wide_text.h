// UTF-16 text as the Windows room shows it in reports.
#pragma once

#include <string>

#include "platform/win32.h"

namespace vantle_native {

// quoted_form (errors.h) of raw UTF-16, where an unpaired surrogate shows as
// \u{d800}.
[[nodiscard]] std::string quoted_form(platform::WideView units);

}  // namespace vantle_native
