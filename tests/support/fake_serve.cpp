// The session's loop is the platform's own (a thread, a window and one wait
// for both), which the stand-in does not simulate: on the host, --serve finds
// no platform to run on. The session's behaviour is proved under Wine.
#include "session/serve.h"

#include "platform/win32.h"

namespace vantle_native::session {

constexpr DWORD call_not_implemented = 120;

Status<ClipboardError> serve() { return Failure{clipboard_error(OsError{call_not_implemented})}; }

}  // namespace vantle_native::session
