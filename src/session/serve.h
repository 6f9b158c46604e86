// --serve: a session on standard input and output, until the input ends.
// Each platform's room defines it: it runs the loop that waits for input and
// for the clipboard's changes at once.
#pragma once

#include "errors.h"
#include "result.h"

namespace vantle_native::session {

// Fails at the start, when the platform cannot give the session what it
// needs (a window, a display), and after a read whose owner hung has been
// answered with its error, when the platform cannot take that read back; a
// reply that cannot be written is the fatal report, as a failed print is.
[[nodiscard]] Status<ClipboardError> serve();

}  // namespace vantle_native::session
