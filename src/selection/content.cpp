// The content a copy serves on the Linux desktops, whichever clipboard
// takes it.
#include "selection/content.h"

#include <unistd.h>

#include <memory>
#include <optional>

#include "linux/freed.h"

namespace vantle_native::selection {
namespace {

constexpr std::string_view no_directory_text = "the current directory, which a relative path is taken from, is unknown: ";

// Where a relative path is taken from, with a slash at its end.
Result<std::string, ClipboardError> current_directory() {
    // The C library sizes the buffer, so that no depth of directories is too deep.
    const std::unique_ptr<char, linux_room::Freed> path(getcwd(nullptr, 0));
    if (!path) {
        const OsError error = last_os_error();
        std::string text(clipboard_error_prefix);
        text += no_directory_text;
        text += to_text(error);
        return Failure{ClipboardError(Pasteboard{std::move(text), error.code})};
    }
    std::string directory(path.get());
    if (!directory.ends_with('/')) directory += '/';
    return directory;
}

}  // namespace

Result<std::shared_ptr<const SelectionContent>, ClipboardError> content_of(const clipboard::PreparedList& list,
                                                                          clipboard::DropEffect effect) {
    const std::string_view given(reinterpret_cast<const char*>(list.bytes.data()), list.bytes.size());
    std::string names;
    names.reserve(given.size());
    std::string directory;
    std::optional<ClipboardError> failed;
    clipboard::for_each_name(given, [&](std::string_view path) {
        if (failed) return;
        if (!path.starts_with('/') && directory.empty()) {
            auto found = current_directory();
            if (!found.ok()) {
                failed = std::move(found.error());
                return;
            }
            directory = std::move(found.value());
        }
        if (!path.starts_with('/')) names += directory;
        names += path;
        names += '\0';
    });
    if (failed) return Failure{std::move(*failed)};
    return std::make_shared<const SelectionContent>(SelectionContent{effect, std::move(names)});
}

}  // namespace vantle_native::selection

