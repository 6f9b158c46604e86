// The operations of file_clipboard.h on the X11 clipboard (the CLIPBOARD
// selection): a copy is served by a detached child, a read asks the owner.
#include <memory>

#include "selection/content.h"
#include "x11/connection.h"
#include "x11/detached_server.h"
#include "x11/requestor.h"

namespace vantle_native::clipboard {
namespace {

constexpr std::string_view no_file_list_text = "the clipboard holds no file list";
// A name holding a line break would print as two lines, the second a path
// that was never on the clipboard: it is left out, as a name that does not
// decode is.
constexpr std::string_view line_breaks = "\r\n";

Result<x11::SelectionRead, ClipboardError> read_selection() {
    auto connection = x11::Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    return x11::read_file_drop(connection.value(), nullptr);
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

Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect) {
    auto content = selection::content_of(list, effect);
    if (!content.ok()) return Failure{std::move(content.error())};
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

}  // namespace vantle_native::clipboard
