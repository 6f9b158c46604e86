// The operations of file_clipboard.h on Linux desktops, and the session:
// on the Wayland clipboard when WAYLAND_DISPLAY names a compositor that
// offers data-control (wlroots desktops, KDE Plasma), else on the X11
// clipboard through DISPLAY (an X session, or XWayland, which GNOME's
// compositor bridges to Wayland apps). Only one of the two is ever owned:
// the compositor passes its selection on to X11 apps itself. A copy is
// served by a detached child; a read asks the owner.
#include "file_clipboard.h"
#include "selection/content.h"
#include "session/serve.h"
#include "wayland/clipboard.h"
#include "x11/clipboard.h"
#include "x11/detached_server.h"

namespace vantle_native {
namespace clipboard {
namespace {

constexpr std::string_view no_file_list_text = "the clipboard holds no file list";
// A name holding a line break would print as two lines, the second a path
// that was never on the clipboard: it is left out, as a name that does not
// decode is.
constexpr std::string_view line_breaks = "\r\n";

Result<selection::SelectionRead, ClipboardError> read_selection() {
    if (const auto client = wayland::Client::connect()) return wayland::read_selection(*client);
    return x11::read_selection();
}

// Each path as given, followed by a NUL (no path holds one); an empty path
// names no file and is left out. A relative path is made absolute when the
// list is placed (selection::content_of), where its failure can be told.
void append_path(PreparedList& list, std::string_view path) {
    if (path.empty()) return;
    const auto* bytes = reinterpret_cast<const std::byte*>(path.data());
    list.bytes.insert(list.bytes.end(), bytes, bytes + path.size());
    list.bytes.push_back(std::byte{0});
}

}  // namespace

PreparedList prepare_file_list(std::span<const std::string_view> paths) {
    PreparedList list;
    for (const std::string_view path : paths) append_path(list, path);
    return list;
}

PreparedList prepare_file_list_of_names(std::string_view names) {
    PreparedList list;
    list.bytes.reserve(names.size());
    for_each_name(names, [&](std::string_view path) { append_path(list, path); });
    return list;
}

Status<ClipboardError> write_file_list(std::span<const std::string_view> paths) {
    if (paths.empty()) return Done{};
    return place_file_list(prepare_file_list(paths), DropEffect::copy);
}

// The connection that chose the path is the one the child serves on.
Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect) {
    auto content = selection::content_of(list, effect);
    if (!content.ok()) return Failure{std::move(content.error())};
    if (const auto client = wayland::Client::connect()) {
        return wayland::serve_from_detached_child(*client, content.value());
    }
    return x11::serve_from_detached_child(content.value(), XCB_NONE);
}

// No owner at all is an empty list; an owner without a file list is the
// error that reading no file list is on every platform.
Result<std::vector<std::string>, ClipboardError> read_file_list() {
    auto read = read_selection();
    if (!read.ok()) return Failure{std::move(read.error())};
    std::vector<std::string> paths;
    if (!read.value().owned) return paths;
    if (!read.value().drop) {
        return Failure{clipboard_error(no_file_list_text)};
    }
    clipboard::for_each_name(read.value().drop->names, [&](std::string_view name) {
        if (name.find_first_of(line_breaks) == std::string_view::npos) paths.emplace_back(name);
    });
    return paths;
}

Result<std::optional<FileDrop>, ClipboardError> read_file_drop() {
    auto read = read_selection();
    if (!read.ok()) return Failure{std::move(read.error())};
    return std::move(read.value().drop);
}

}  // namespace clipboard

namespace session {

Status<ClipboardError> serve() {
    if (const auto client = wayland::Client::connect()) return wayland::serve_session(*client);
    return x11::serve_session();
}

}  // namespace session
}  // namespace vantle_native
