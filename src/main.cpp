#include "main.h"

#include "runtime/arguments.h"
#include "runtime/fatal.h"
#include "runtime/stdio.h"
#include "win/clipboard.h"

namespace vantle_native {
namespace {

constexpr std::string_view copy_files_option = "--copy_files";
constexpr std::string_view set_folder_icon_option = "--set_folder_icon";
constexpr std::string_view hide_extension_option = "--hide_extension";
constexpr std::string_view read_files_option = "--read_files";
constexpr std::string_view list_separator = ";;;";

constexpr std::string_view dispatcher_file = "src/main";
constexpr runtime::SourceLocation copy_failure_location{dispatcher_file, 40, 36};
constexpr runtime::SourceLocation read_failure_location{dispatcher_file, 44, 41};

std::optional<std::string>* value_field(CommandOptions& options, std::string_view argument) {
    if (argument == copy_files_option) return &options.copy_files;
    if (argument == set_folder_icon_option) return &options.set_folder_icon;
    if (argument == hide_extension_option) return &options.hide_extension;
    return nullptr;
}

void copy_files(std::string_view joined_paths) {
    const std::vector<std::string_view> paths = split_list(joined_paths);
    auto written = win::clipboard::write_file_list(paths);
    if (!written.ok()) runtime::fatal_unwrap(debug_form(written.error()), copy_failure_location);
}

void read_files() {
    auto paths = win::clipboard::read_file_list();
    if (!paths.ok()) runtime::fatal_unwrap(debug_form(paths.error()), read_failure_location);
    for (const std::string& path : paths.value()) runtime::print_line(path);
}

}  // namespace

CommandOptions parse_command_line(std::vector<std::string> arguments) {
    CommandOptions options;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (auto* field = value_field(options, arguments[i])) {
            // A value-taking option at the very end has no value and is ignored.
            if (i + 1 < arguments.size()) *field = std::move(arguments[++i]);
        } else if (arguments[i] == read_files_option) {
            options.read_files = true;
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

void main() {  // NOLINT(bugprone-exception-escape): see the declaration
    const CommandOptions options = parse_command_line(runtime::command_line_arguments());
    if (options.copy_files) {
        copy_files(*options.copy_files);
    } else if (options.read_files) {
        read_files();
    }
    // Otherwise --set_folder_icon and --hide_extension, if given, change
    // nothing on this platform, and neither does a run without options.
}

}  // namespace vantle_native
