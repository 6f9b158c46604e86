#include "x11/clipboard.h"

#include "x11/connection.h"
#include "x11/requestor.h"

namespace vantle_native::x11 {

Result<selection::SelectionRead, ClipboardError> read_selection() {
    auto connection = Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    return read_file_drop(connection.value(), nullptr);
}

}  // namespace vantle_native::x11
