// The operations of file_clipboard.h on the X11 clipboard (the CLIPBOARD
// selection): a copy is served by a detached child, a read asks the owner.
#include <unistd.h>

#include <array>
#include <climits>
#include <memory>

#include "file_clipboard.h"
#include "x11/connection.h"
#include "x11/detached_server.h"
#include "x11/formats.h"
#include "x11/requestor.h"

namespace vantle_native::clipboard {
namespace {

constexpr std::string_view no_file_list_text = "the clipboard holds no file list";

// A URI names a file from the root: a relative path is taken from the
// current directory, as the caller meant it.
std::string current_directory() {
    std::array<char, PATH_MAX> buffer{};
    return getcwd(buffer.data(), buffer.size()) != nullptr ? std::string(buffer.data()) : std::string();
}

std::string names_of(const PreparedList& list) {
    return {reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size()};
}

// A read's connection and window; the window goes first.
struct ReadingWindow {
    x11::Connection connection;
    x11::Window window;
};

Result<ReadingWindow, ClipboardError> open_reading_window() {
    auto connection = x11::Connection::open();
    if (!connection.ok()) return Failure{std::move(connection.error())};
    auto window = x11::Window::create(connection.value());
    if (!window.ok()) return Failure{std::move(window.error())};
    return ReadingWindow{std::move(connection.value()), std::move(window.value())};
}

Result<x11::SelectionRead, ClipboardError> read_selection() {
    auto reading = open_reading_window();
    if (!reading.ok()) return Failure{std::move(reading.error())};
    return x11::read_file_drop(reading.value().connection, reading.value().window.id(), nullptr);
}

}  // namespace

// Each path followed by a NUL (no path holds one); an empty path names no
// file and is left out.
PreparedList prepare_file_list(std::span<const std::string_view> paths) {
    std::string directory;
    PreparedList list;
    const auto append = [&](std::string_view text) {
        const auto* bytes = reinterpret_cast<const std::byte*>(text.data());
        list.bytes.insert(list.bytes.end(), bytes, bytes + text.size());
    };
    for (const std::string_view path : paths) {
        if (path.empty()) continue;
        if (!path.starts_with('/')) {
            if (directory.empty()) directory = current_directory() + '/';
            append(directory);
        }
        append(path);
        list.bytes.push_back(std::byte{0});
    }
    return list;
}

Status<ClipboardError> write_file_list(std::span<const std::string_view> paths) {
    if (paths.empty()) return Done{};
    return place_file_list(prepare_file_list(paths), DropEffect::copy);
}

Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect) {
    return x11::serve_from_detached_child(std::make_shared<const x11::SelectionContent>(
        x11::selection_content(names_of(list), effect)));
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
    std::string_view names = read.value().drop->names;
    for (std::size_t end = names.find('\0'); end != std::string_view::npos; end = names.find('\0')) {
        paths.emplace_back(names.substr(0, end));
        names.remove_prefix(end + 1);
    }
    return paths;
}

Result<std::optional<FileDrop>, ClipboardError> read_file_drop() {
    auto read = read_selection();
    if (!read.ok()) return Failure{std::move(read.error())};
    return std::move(read.value().drop);
}

}  // namespace vantle_native::clipboard
