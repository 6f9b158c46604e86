#include "main.h"

#include <cstring>

#include "file_clipboard.h"
#include "path_lists.h"
#include "runtime/arguments.h"
#include "runtime/fatal.h"
#include "runtime/stdio.h"
#include "session/serve.h"

namespace vantle_native {
namespace {

using clipboard::DropEffect;

constexpr std::string_view copy_files_option = "--copy_files";
constexpr std::string_view set_folder_icon_option = "--set_folder_icon";
constexpr std::string_view hide_extension_option = "--hide_extension";
constexpr std::string_view read_files_option = "--read_files";
constexpr std::string_view cut_files_option = "--cut_files";
constexpr std::string_view copy_files_stdin_option = "--copy_files_stdin";
constexpr std::string_view cut_files_stdin_option = "--cut_files_stdin";
constexpr std::string_view read_files_with_effect_option = "--read_files_with_effect";
constexpr std::string_view serve_option = "--serve";

// --read_files_with_effect's first line when the clipboard holds no file list.
constexpr std::string_view no_file_list_word = "none";

// Each action reports its failures at a place of its own.
constexpr std::string_view dispatcher_file = "src/main";
constexpr runtime::SourceLocation copy_failure_location{dispatcher_file, 40, 36};
constexpr runtime::SourceLocation read_failure_location{dispatcher_file, 44, 41};
constexpr runtime::SourceLocation cut_failure_location{dispatcher_file, 48, 35};
constexpr runtime::SourceLocation copy_stdin_failure_location{dispatcher_file, 52, 47};
constexpr runtime::SourceLocation cut_stdin_failure_location{dispatcher_file, 56, 46};
constexpr runtime::SourceLocation read_effect_failure_location{dispatcher_file, 60, 52};
constexpr runtime::SourceLocation serve_failure_location{dispatcher_file, 64, 32};

std::optional<std::string>* value_field(CommandOptions& options, std::string_view argument) {
    if (argument == copy_files_option) return &options.copy_files;
    if (argument == set_folder_icon_option) return &options.set_folder_icon;
    if (argument == hide_extension_option) return &options.hide_extension;
    if (argument == cut_files_option) return &options.cut_files;
    return nullptr;
}

bool* flag_field(CommandOptions& options, std::string_view argument) {
    if (argument == read_files_option) return &options.read_files;
    if (argument == copy_files_stdin_option) return &options.copy_files_stdin;
    if (argument == cut_files_stdin_option) return &options.cut_files_stdin;
    if (argument == read_files_with_effect_option) return &options.read_files_with_effect;
    if (argument == serve_option) return &options.serve;
    return nullptr;
}

void fatal_on_clipboard_error(const Status<ClipboardError>& done, const runtime::SourceLocation& location) {
    if (!done.ok()) runtime::fatal_unwrap(debug_form(done.error()), location);
}

void copy_joined(std::string_view joined_paths) {
    const std::vector<std::string_view> paths = split_list(joined_paths);
    fatal_on_clipboard_error(clipboard::write_file_list(paths), copy_failure_location);
}

void cut_joined(std::string_view joined_paths) {
    const std::vector<std::string_view> paths = split_list(joined_paths);
    fatal_on_clipboard_error(clipboard::place_file_list(clipboard::prepare_file_list(paths), DropEffect::move),
                             cut_failure_location);
}

// The list on standard input in the clipboard's form, or nothing when it
// holds no path. The input is released when this returns.
std::optional<clipboard::PreparedList> list_from_standard_input(const runtime::SourceLocation& location) {
    auto input = runtime::read_standard_input();
    if (!input.ok()) runtime::fatal_unwrap(debug_form(input_error(runtime::to_text(input.error()))), location);
    auto paths = split_input_lines(input.value());
    if (!paths.ok()) runtime::fatal_unwrap(debug_form(paths.error()), location);
    if (paths.value().empty()) return std::nullopt;
    return clipboard::prepare_file_list(paths.value());
}

// The whole list is read and checked before the clipboard is opened, and the
// input is gone before the clipboard takes its copy of the list: a long list
// is held twice at most, not three times.
void place_from_standard_input(DropEffect effect, const runtime::SourceLocation& location) {
    const auto list = list_from_standard_input(location);
    if (list) fatal_on_clipboard_error(clipboard::place_file_list(*list, effect), location);
}

void read_files() {
    auto paths = clipboard::read_file_list();
    if (!paths.ok()) runtime::fatal_unwrap(debug_form(paths.error()), read_failure_location);
    for (const std::string& path : paths.value()) runtime::print_line(path);
}

// Turns the names, each ending in a NUL, into lines in place. A name that
// holds a line break cannot be one line, and a caller would take its pieces
// for paths that were never on the clipboard: it is left out, as a name that
// does not decode is.
void names_to_lines(std::string& names) {
    std::size_t kept = 0;
    clipboard::for_each_name(names, [&](std::string_view name) {
        if (name.find_first_of("\r\n") != std::string_view::npos) return;
        std::memmove(names.data() + kept, name.data(), name.size());
        kept += name.size();
        names[kept++] = '\n';
    });
    names.resize(kept);
}

void read_files_with_effect() {
    auto drop = clipboard::read_file_drop();
    if (!drop.ok()) runtime::fatal_unwrap(debug_form(drop.error()), read_effect_failure_location);
    if (!drop.value()) {
        runtime::print_line(no_file_list_word);
        return;
    }
    runtime::print_line(clipboard::effect_word(drop.value()->effect));
    std::string& names = drop.value()->names;
    names_to_lines(names);
    runtime::print_text(names);
}

}  // namespace

CommandOptions parse_command_line(std::vector<std::string> arguments) {
    CommandOptions options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (auto* field = value_field(options, arguments[i])) {
            // A value-taking option at the very end has no value and is ignored.
            if (i + 1 < arguments.size()) *field = std::move(arguments[++i]);
        } else if (bool* flag = flag_field(options, arguments[i])) {
            *flag = true;
        }
    }
    return options;
}

void main() {  // NOLINT(bugprone-exception-escape): see the declaration
    const CommandOptions options = parse_command_line(runtime::command_line_arguments());
    if (options.copy_files) {
        copy_joined(*options.copy_files);
    } else if (options.read_files) {
        read_files();
    } else if (options.cut_files) {
        cut_joined(*options.cut_files);
    } else if (options.copy_files_stdin) {
        place_from_standard_input(DropEffect::copy, copy_stdin_failure_location);
    } else if (options.cut_files_stdin) {
        place_from_standard_input(DropEffect::move, cut_stdin_failure_location);
    } else if (options.read_files_with_effect) {
        read_files_with_effect();
    } else if (options.serve) {
        fatal_on_clipboard_error(session::serve(), serve_failure_location);
    }
    // Otherwise --set_folder_icon and --hide_extension, if given, change
    // nothing on this platform, and neither does a run without options.
}

}  // namespace vantle_native
