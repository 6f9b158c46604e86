#include "selection/formats.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "file_clipboard.h"
#include "text.h"
#include "unicode/utf.h"

namespace vantle_native::selection {
namespace {

constexpr std::string_view file_scheme = "file://";
constexpr std::string_view local_host = "localhost";
constexpr std::string_view uri_line_end = "\r\n";
constexpr std::string_view cut_word = "cut";
constexpr std::string_view copy_word = "copy";
constexpr std::string_view kde_cut = "1";
constexpr std::string_view kde_copy = "0";
constexpr char comment_mark = '#';

// The bytes a file URI keeps as they are, as a table looked up in the
// loops that build a long list's URIs (a call per byte made them slow).
constexpr std::array<bool, 256> kept_bytes = [] {
    std::array<bool, 256> kept{};
    for (unsigned c = 0; c != kept.size(); ++c) {
        kept[c] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '.' || c == '_' || c == '~' || c == '/';
    }
    return kept;
}();

// How many of `path`'s first bytes a file URI keeps as they are.
std::size_t kept_run(std::string_view path) {
    std::size_t kept = 0;
    while (kept != path.size() && kept_bytes[static_cast<unsigned char>(path[kept])]) ++kept;
    return kept;
}

std::optional<unsigned> hex_value(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return std::nullopt;
}

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

std::optional<std::string> percent_decoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const auto high = i + 1 < text.size() ? hex_value(text[i + 1]) : std::nullopt;
        const auto low = i + 2 < text.size() ? hex_value(text[i + 2]) : std::nullopt;
        if (!high || !low) return std::nullopt;
        out += static_cast<char>((*high << 4) | *low);
        i += 2;
    }
    return out;
}

// Calls use(line) for each line of `text`, LF or CRLF, the last line's break
// optional.
template <class Use>
void for_each_line(std::string_view text, Use&& use) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        use(line);
    }
}

// Some file managers end each target's data with a NUL, which readers of
// those targets ignore; a NUL inside a line still makes that name no path.
std::string_view without_trailing_nuls(std::string_view bytes) {
    while (bytes.ends_with('\0')) bytes.remove_suffix(1);
    return bytes;
}

void append_path_of_uri_line(std::string& names, std::string_view line) {
    if (line.empty() || line.front() == comment_mark) return;
    if (const auto path = local_path(line)) {
        names += *path;
        names += '\0';
    }
}

std::size_t file_uri_size(std::string_view path) {
    return std::accumulate(path.begin(), path.end(), file_scheme.size(), [](std::size_t size, char c) {
        return size + (kept_bytes[static_cast<unsigned char>(c)] ? 1 : 3);
    });
}

// The size of the URIs of `names`, each with `separator` bytes beside it.
std::size_t file_uris_size(std::string_view names, std::size_t separator) {
    std::size_t size = 0;
    clipboard::for_each_name(names, [&](std::string_view path) { size += file_uri_size(path) + separator; });
    return size;
}

void append_file_uri(std::string& out, std::string_view path) {
    out += file_scheme;
    for (;;) {
        const std::size_t kept = kept_run(path);
        out += path.substr(0, kept);
        path.remove_prefix(kept);
        if (path.empty()) return;
        out += '%';
        append_hex_byte(out, static_cast<unsigned char>(path.front()));
        path.remove_prefix(1);
    }
}

// The served targets' bytes, each built at its size (the text with room for
// one byte more), so that a long list is never copied by growth.
std::string uri_list_of(std::string_view names) {
    std::string list;
    list.reserve(file_uris_size(names, uri_line_end.size()));
    clipboard::for_each_name(names, [&](std::string_view path) {
        append_file_uri(list, path);
        list += uri_line_end;
    });
    return list;
}

std::string copied_files_of(std::string_view names, std::string_view effect_word) {
    std::string list;
    list.reserve(effect_word.size() + file_uris_size(names, 1));
    list += effect_word;
    clipboard::for_each_name(names, [&](std::string_view path) {
        list += '\n';
        append_file_uri(list, path);
    });
    return list;
}

std::string text_of(std::string_view names) {
    std::string text;
    text.reserve(names.size());
    bool first = true;
    clipboard::for_each_name(names, [&](std::string_view path) {
        if (!first) text += '\n';
        text += path;
        first = false;
    });
    return text;
}

}  // namespace

std::string file_uri(std::string_view path) {
    std::string uri;
    uri.reserve(file_uri_size(path));
    append_file_uri(uri, path);
    return uri;
}

std::optional<std::string> local_path(std::string_view uri) {
    if (uri.size() < file_scheme.size() || !equals_ignoring_case(uri.substr(0, file_scheme.size()), file_scheme)) {
        return std::nullopt;
    }
    uri.remove_prefix(file_scheme.size());
    const std::size_t path_start = uri.find('/');
    if (path_start == std::string_view::npos) return std::nullopt;
    const std::string_view host = uri.substr(0, path_start);
    if (!host.empty() && !equals_ignoring_case(host, local_host)) return std::nullopt;
    // A query or a fragment is no part of the file's name.
    const std::string_view path = uri.substr(path_start, uri.find_first_of("?#", path_start) - path_start);
    auto decoded = percent_decoded(path);
    if (!decoded || !unicode::is_path_text(*decoded)) return std::nullopt;
    return decoded;
}

std::optional<Target> target_named(std::string_view name) {
    const auto* found = std::ranges::find_if(served_targets, [&](Target target) { return name_of(target) == name; });
    if (found == served_targets.end()) return std::nullopt;
    return *found;
}

std::string SelectionContent::bytes(Target target) const {
    const bool cut = effect == clipboard::DropEffect::move;
    switch (target) {
        case Target::uri_list: return uri_list_of(names);
        case Target::gnome_copied_files:
        case Target::mate_copied_files: return copied_files_of(names, cut ? cut_word : copy_word);
        case Target::kde_cut_selection: return std::string(cut ? kde_cut : kde_copy);
        case Target::utf8_string:
        case Target::plain_text: break;
    }
    return text_of(names);
}

clipboard::FileDrop drop_of(Target list, std::string_view bytes) {
    if (list == Target::uri_list) return {clipboard::DropEffect::copy, paths_of_uri_list(bytes)};
    return drop_of_copied_files(bytes);
}

std::string paths_of_uri_list(std::string_view text) {
    std::string names;
    for_each_line(without_trailing_nuls(text), [&](std::string_view line) { append_path_of_uri_line(names, line); });
    return names;
}

clipboard::FileDrop drop_of_copied_files(std::string_view bytes) {
    clipboard::FileDrop drop{clipboard::DropEffect::copy, {}};
    bool first = true;
    for_each_line(without_trailing_nuls(bytes), [&](std::string_view line) {
        if (first) {
            if (line == cut_word) drop.effect = clipboard::DropEffect::move;
            first = false;
            return;
        }
        append_path_of_uri_line(drop.names, line);
    });
    return drop;
}

clipboard::DropEffect effect_of_kde_cut_selection(std::string_view bytes) {
    return without_trailing_nuls(bytes).starts_with(kde_cut) ? clipboard::DropEffect::move : clipboard::DropEffect::copy;
}

}  // namespace vantle_native::selection
