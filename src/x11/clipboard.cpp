#include "x11/clipboard.h"

#include "x11/connection.h"
#include "x11/requestor.h"

namespace vantle_native::x11 {
namespace {

// A read's connection and window; the window goes first.
struct ReadingWindow {
    Connection connection;
    Window window;
};

Result<ReadingWindow, ClipboardError> open_reading_window() {
    auto connection = Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    auto window = Window::create(connection.value());
    if (!window.ok()) return Failure{std::move(window.error())};
    return ReadingWindow{std::move(connection.value()), std::move(window.value())};
}

}  // namespace

Result<selection::SelectionRead, ClipboardError> read_selection() {
    auto reading = open_reading_window();
    if (!reading.ok()) return Failure{std::move(reading.error())};
    return read_file_drop(reading.value().connection, reading.value().window.id(), nullptr);
}

}  // namespace vantle_native::x11
