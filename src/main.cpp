#include "main.h"

#include "runtime/arguments.h"
#include "runtime/fatal.h"
#include "runtime/stdio.h"
#include "unicode/utf.h"
#include "win/clipboard.h"

namespace vantle_native {
namespace {

constexpr std::string_view copy_files_option = "--copy_files";
constexpr std::string_view set_folder_icon_option = "--set_folder_icon";
constexpr std::string_view hide_extension_option = "--hide_extension";
constexpr std::string_view read_files_option = "--read_files";
constexpr std::string_view cut_files_option = "--cut_files";
constexpr std::string_view copy_files_stdin_option = "--copy_files_stdin";
constexpr std::string_view cut_files_stdin_option = "--cut_files_stdin";
constexpr std::string_view read_files_with_effect_option = "--read_files_with_effect";
constexpr std::string_view list_separator = ";;;";
constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// The words of --read_files_with_effect's first line.
constexpr std::string_view no_file_list_word = "none";
constexpr std::string_view copy_word = "copy";
constexpr std::string_view move_word = "move";
constexpr std::string_view link_word = "link";

// Each action reports its failures at a place of its own.
constexpr std::string_view dispatcher_file = "src/main";
constexpr runtime::SourceLocation copy_failure_location{dispatcher_file, 40, 36};
constexpr runtime::SourceLocation read_failure_location{dispatcher_file, 44, 41};
constexpr runtime::SourceLocation cut_failure_location{dispatcher_file, 48, 35};
constexpr runtime::SourceLocation copy_stdin_failure_location{dispatcher_file, 52, 47};
constexpr runtime::SourceLocation cut_stdin_failure_location{dispatcher_file, 56, 46};
constexpr runtime::SourceLocation read_effect_failure_location{dispatcher_file, 60, 52};

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
    return nullptr;
}

using PlaceFileList = Status<ClipboardError> (*)(std::span<const std::string_view>);
using PlaceDropList = Status<ClipboardError> (*)(std::span<const std::byte>);

void place_joined(PlaceFileList place, std::string_view joined_paths, const runtime::SourceLocation& location) {
    const std::vector<std::string_view> paths = split_list(joined_paths);
    auto placed = place(paths);
    if (!placed.ok()) runtime::fatal_unwrap(debug_form(placed.error()), location);
}

// The file-drop block of the list on standard input, or nothing when it
// holds no path. The input is released when this returns.
std::optional<std::vector<std::byte>> drop_list_from_standard_input(const runtime::SourceLocation& location) {
    auto input = runtime::read_standard_input();
    if (!input.ok()) runtime::fatal_unwrap(debug_form(input_error(runtime::to_text(input.error()))), location);
    auto paths = split_input_lines(input.value());
    if (!paths.ok()) runtime::fatal_unwrap(debug_form(paths.error()), location);
    if (paths.value().empty()) return std::nullopt;
    return win::clipboard::build_drop_list(paths.value());
}

// The whole list is read and checked before the clipboard is opened, and the
// input is gone before the clipboard takes its copy of the block: a long list
// is held twice at most, not three times.
void place_from_standard_input(PlaceDropList place, const runtime::SourceLocation& location) {
    const auto drop = drop_list_from_standard_input(location);
    if (!drop) return;
    auto placed = place(*drop);
    if (!placed.ok()) runtime::fatal_unwrap(debug_form(placed.error()), location);
}

void read_files() {
    auto paths = win::clipboard::read_file_list();
    if (!paths.ok()) runtime::fatal_unwrap(debug_form(paths.error()), read_failure_location);
    for (const std::string& path : paths.value()) runtime::print_line(path);
}

std::string_view effect_word(win::clipboard::DropEffect effect) {
    switch (effect) {
        case win::clipboard::DropEffect::move: return move_word;
        case win::clipboard::DropEffect::link: return link_word;
        case win::clipboard::DropEffect::copy: break;
    }
    return copy_word;
}

void read_files_with_effect() {
    auto drop = win::clipboard::read_file_drop();
    if (!drop.ok()) runtime::fatal_unwrap(debug_form(drop.error()), read_effect_failure_location);
    if (!drop.value()) {
        runtime::print_line(no_file_list_word);
        return;
    }
    runtime::print_line(effect_word(drop.value()->effect));
    runtime::print_lines(drop.value()->paths);
}

// Why a line of standard input cannot be a path, or nothing when it can.
std::optional<std::string_view> input_line_fault(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t length = unicode::valid_utf8_sequence_length(line.substr(i));
        if (length == 0) return "is not valid UTF-8";
        if (line[i] == '\0') return "holds a NUL";
        i += length;
    }
    return std::nullopt;
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

std::vector<std::string_view> split_list(std::string_view text) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    for (std::size_t found = text.find(list_separator); found != std::string_view::npos;
         found = text.find(list_separator, start)) {
        pieces.push_back(text.substr(start, found - start));
        start = found + list_separator.size();
    }
    pieces.push_back(text.substr(start));
    return pieces;
}

Result<std::vector<std::string_view>, InputError> split_input_lines(std::string_view input) {
    if (input.starts_with(utf8_byte_order_mark)) input.remove_prefix(utf8_byte_order_mark.size());
    std::vector<std::string_view> paths;
    for (std::size_t line_number = 1; !input.empty(); ++line_number) {
        const std::size_t end = input.find('\n');
        std::string_view line = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (const auto fault = input_line_fault(line)) {
            std::string detail = "line " + std::to_string(line_number) + " ";
            detail += *fault;
            return Failure{input_error(detail)};
        }
        if (!line.empty()) paths.push_back(line);
    }
    return paths;
}

void main() {  // NOLINT(bugprone-exception-escape): see the declaration
    const CommandOptions options = parse_command_line(runtime::command_line_arguments());
    if (options.copy_files) {
        place_joined(win::clipboard::write_file_list, *options.copy_files, copy_failure_location);
    } else if (options.read_files) {
        read_files();
    } else if (options.cut_files) {
        place_joined(win::clipboard::cut_file_list, *options.cut_files, cut_failure_location);
    } else if (options.copy_files_stdin) {
        place_from_standard_input(win::clipboard::write_drop_list, copy_stdin_failure_location);
    } else if (options.cut_files_stdin) {
        place_from_standard_input(win::clipboard::cut_drop_list, cut_stdin_failure_location);
    } else if (options.read_files_with_effect) {
        read_files_with_effect();
    }
    // Otherwise --set_folder_icon and --hide_extension, if given, change
    // nothing on this platform, and neither does a run without options.
}

}  // namespace vantle_native
