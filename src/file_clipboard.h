// The program's clipboard operations, the same on every platform: file lists
// in and out of the system clipboard. Each platform's clipboard room defines
// them.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "errors.h"
#include "result.h"

namespace vantle_native::clipboard {

// What a paste of the list is meant to do with the files.
enum class DropEffect { copy, move, link };

// The effect's word in what the program prints and answers.
[[nodiscard]] constexpr std::string_view effect_word(DropEffect effect) {
    switch (effect) {
        case DropEffect::move: return "move";
        case DropEffect::link: return "link";
        case DropEffect::copy: break;
    }
    return "copy";
}

// A file list read from the clipboard: each name that decodes, in order, as
// UTF-8 followed by a NUL. No name holds a NUL: in every clipboard format
// the program reads, a NUL ends a name or makes it no path at all.
struct FileDrop {
    DropEffect effect;
    std::string names;
};

// Calls visit(name) with each name of a FileDrop's names, in order.
template <class Visit>
void for_each_name(std::string_view names, Visit&& visit) {
    for (std::size_t end = names.find('\0'); end != std::string_view::npos; end = names.find('\0')) {
        visit(names.substr(0, end));
        names.remove_prefix(end + 1);
    }
}

// A list in the clipboard's own form, built before the clipboard is opened,
// so that a caller can release what it was built from first.
struct PreparedList {
    std::vector<std::byte> bytes;
};

[[nodiscard]] PreparedList prepare_file_list(std::span<const std::string_view> paths);
// The same for names each followed by a NUL (as a session's request holds
// them), without a view per name beside them.
[[nodiscard]] PreparedList prepare_file_list_of_names(std::string_view names);

// Replaces the clipboard's content with `paths` as a file list to be copied;
// an empty list changes nothing.
[[nodiscard]] Status<ClipboardError> write_file_list(std::span<const std::string_view> paths);

// The file list on the clipboard, in its order; names that do not decode are
// left out. No file list is an error.
[[nodiscard]] Result<std::vector<std::string>, ClipboardError> read_file_list();

// Replaces the clipboard's content with a prepared list and its effect (copy
// or move), in one open of the clipboard.
[[nodiscard]] Status<ClipboardError> place_file_list(const PreparedList& list, DropEffect effect);

// The file list with its effect, or nothing when the clipboard holds no list.
[[nodiscard]] Result<std::optional<FileDrop>, ClipboardError> read_file_drop();

}  // namespace vantle_native::clipboard
