// The X11 clipboard's file-list formats as pure data (no X call): the bytes
// this program serves for each target, and the lists it reads from another
// owner's targets. Targets, as the desktops' file managers use them:
//   text/uri-list                    one file:// URI per path, each line
//                                    ending CRLF
//   x-special/gnome-copied-files     "copy" or "cut", then the URIs, joined
//                                    by LF, with no LF at the end
//   application/x-kde-cutselection   "1" for a cut, "0" for a copy
//   UTF8_STRING, text/plain;charset=utf-8
//                                    the paths joined by LF
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "file_clipboard.h"

namespace vantle_native::x11 {

inline constexpr std::string_view uri_list_target = "text/uri-list";
inline constexpr std::string_view gnome_copied_files_target = "x-special/gnome-copied-files";
inline constexpr std::string_view kde_cut_selection_target = "application/x-kde-cutselection";
inline constexpr std::string_view utf8_string_target = "UTF8_STRING";
inline constexpr std::string_view plain_text_target = "text/plain;charset=utf-8";

// "file://" and the path percent-encoded from its UTF-8 bytes: RFC 3986's
// unreserved characters and "/" kept, every other byte %XX in upper case.
[[nodiscard]] std::string file_uri(std::string_view path);

// The path of a local file URI ("file://" with an empty host or
// "localhost"), percent-decoded; nothing for any other URI, and for one that
// does not decode to UTF-8 without a NUL.
[[nodiscard]] std::optional<std::string> local_path(std::string_view uri);

// What an owner serves for one list: every target's bytes, built once.
struct SelectionContent {
    clipboard::DropEffect effect;
    // Each path followed by a NUL, as a read gives them (clipboard::FileDrop).
    std::string names;
    std::string uri_list;
    std::string gnome_copied_files;
    std::string kde_cut_selection;
    std::string text;
};

// `names`: each path followed by a NUL. The effect is copy or move.
[[nodiscard]] SelectionContent selection_content(std::string names, clipboard::DropEffect effect);

// The paths of a URI list (LF or CRLF line ends), each followed by a NUL;
// comment lines, other URIs and URIs that do not decode are left out.
[[nodiscard]] std::string paths_of_uri_list(std::string_view text);

// A gnome-copied-files target: its first line is the effect ("cut" is a
// move, anything else a copy), the URIs follow.
[[nodiscard]] clipboard::FileDrop drop_of_gnome_copied_files(std::string_view bytes);

// A kde-cutselection target: "1" is a move, anything else a copy.
[[nodiscard]] clipboard::DropEffect effect_of_kde_cut_selection(std::string_view bytes);

}  // namespace vantle_native::x11
