// The file-list formats of the Linux desktops' clipboards, as pure data (no
// X or Wayland call): the bytes this program serves for each target (an X11
// target, a Wayland MIME type: the same names), and the lists it reads from
// another owner's. Targets, as the desktops' file managers use them:
//   text/uri-list                    one file:// URI per path, each line
//                                    ending CRLF
//   x-special/gnome-copied-files     "copy" or "cut", then the URIs, joined
//   x-special/mate-copied-files      by LF, with no LF at the end (MATE's
//                                    file manager pastes only its own name)
//   application/x-kde-cutselection   "1" for a cut, "0" for a copy
//   UTF8_STRING, text/plain;charset=utf-8
//                                    the paths joined by LF
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "file_clipboard.h"

namespace vantle_native::selection {

// The targets an owner of this program's lists serves.
enum class Target { uri_list, gnome_copied_files, mate_copied_files, kde_cut_selection, utf8_string, plain_text };

inline constexpr std::array served_targets{Target::uri_list,          Target::gnome_copied_files,
                                           Target::mate_copied_files, Target::kde_cut_selection,
                                           Target::utf8_string,       Target::plain_text};
// Whether each target's place in served_targets is its value, which the X11
// room's table of atoms relies on.
constexpr bool served_in_order() {
    for (std::size_t place = 0; place != served_targets.size(); ++place) {
        if (static_cast<std::size_t>(served_targets[place]) != place) return false;
    }
    return true;
}
static_assert(served_in_order());

[[nodiscard]] constexpr std::string_view name_of(Target target) {
    switch (target) {
        case Target::uri_list: return "text/uri-list";
        case Target::gnome_copied_files: return "x-special/gnome-copied-files";
        case Target::mate_copied_files: return "x-special/mate-copied-files";
        case Target::kde_cut_selection: return "application/x-kde-cutselection";
        case Target::utf8_string: return "UTF8_STRING";
        case Target::plain_text: break;
    }
    return "text/plain;charset=utf-8";
}

// The served target of that name, if any.
[[nodiscard]] std::optional<Target> target_named(std::string_view name);

// "file://" and the path percent-encoded from its UTF-8 bytes: RFC 3986's
// unreserved characters and "/" kept, every other byte %XX in upper case.
[[nodiscard]] std::string file_uri(std::string_view path);

// The path of a local file URI ("file://" with an empty host or
// "localhost"), percent-decoded; nothing for any other URI, and for one that
// does not decode to UTF-8 without a NUL.
[[nodiscard]] std::optional<std::string> local_path(std::string_view uri);

// What an owner serves for one list: the effect and the names. A target's
// bytes are built when a reader asks for them, so that a list costs its names
// once while nobody pastes, and each paste costs what it transfers.
struct SelectionContent {
    clipboard::DropEffect effect;
    // Each path followed by a NUL, as a read gives them (clipboard::FileDrop).
    std::string names;

    [[nodiscard]] std::string bytes(Target target) const;
    // The list as a read gives it.
    [[nodiscard]] clipboard::FileDrop drop() const { return {effect, names}; }
};

// What a read of the selection found: whether it had an owner at all, and
// the owner's file list when it offers one.
struct SelectionRead {
    bool owned;
    std::optional<clipboard::FileDrop> drop;
};

// What a reader asks an owner for: the target that holds the list and, beside
// a URI list, KDE's cut marker when it is offered.
struct ReadPlan {
    Target list;
    bool kde_marker;
};

// The plan for an owner whose offer `offers(target)` tells: GNOME's target
// first (its first line gives the effect), then MATE's, then the URI list;
// nothing when it offers none of them.
template <class Offers>
[[nodiscard]] std::optional<ReadPlan> read_plan(Offers&& offers) {
    for (const Target list : {Target::gnome_copied_files, Target::mate_copied_files}) {
        if (offers(list)) return ReadPlan{list, false};
    }
    if (!offers(Target::uri_list)) return std::nullopt;
    return ReadPlan{Target::uri_list, offers(Target::kde_cut_selection)};
}

// Whether an owner with that offer holds a file list this program reads.
template <class Offers>
[[nodiscard]] bool offers_file_list(Offers&& offers) {
    return read_plan(offers).has_value();
}

// The list of a plan's target, from its bytes (a URI list is a copy until a
// KDE marker says otherwise).
[[nodiscard]] clipboard::FileDrop drop_of(Target list, std::string_view bytes);

// The paths of a URI list (LF or CRLF line ends), each followed by a NUL;
// comment lines, other URIs and URIs that do not decode are left out.
[[nodiscard]] std::string paths_of_uri_list(std::string_view text);

// A copied-files target (GNOME's or MATE's): its first line is the effect
// ("cut" is a move, anything else a copy), the URIs follow.
[[nodiscard]] clipboard::FileDrop drop_of_copied_files(std::string_view bytes);

// A kde-cutselection target: "1" is a move, anything else a copy.
[[nodiscard]] clipboard::DropEffect effect_of_kde_cut_selection(std::string_view bytes);

// The read of an owner whose offer `offers(target)` tells, each target's
// bytes taken by `receive(target)`: none when the owner gave nothing for it.
// An owner that offers no list, or gives nothing for its list, holds the
// selection with no list.
template <class Offers, class Receive>
[[nodiscard]] Result<SelectionRead, ClipboardError> read_drop(Offers&& offers, Receive&& receive) {
    const auto plan = read_plan(offers);
    if (!plan) return SelectionRead{true, std::nullopt};
    Result<std::optional<std::string>, ClipboardError> list = receive(plan->list);
    if (!list.ok()) return Failure{std::move(list.error())};
    if (!list.value()) return SelectionRead{true, std::nullopt};
    clipboard::FileDrop drop = drop_of(plan->list, *list.value());
    if (plan->kde_marker) {
        Result<std::optional<std::string>, ClipboardError> cut = receive(Target::kde_cut_selection);
        if (!cut.ok()) return Failure{std::move(cut.error())};
        if (cut.value()) drop.effect = effect_of_kde_cut_selection(*cut.value());
    }
    return SelectionRead{true, std::move(drop)};
}

}  // namespace vantle_native::selection
