#include "path_lists.h"

#include <optional>
#include <string>

#include "unicode/utf.h"

namespace vantle_native {
namespace {

constexpr std::string_view list_separator = ";;;";
constexpr std::string_view utf8_byte_order_mark = "\xEF\xBB\xBF";

// Why a line of standard input cannot be a path, or nothing when it can.
// The first fault of the line is the one named.
std::optional<std::string_view> input_line_fault(std::string_view line) {
    const std::size_t valid = unicode::valid_utf8_prefix_length(line);
    if (line.substr(0, valid).find('\0') != std::string_view::npos) return "holds a NUL";
    if (valid < line.size()) return "is not valid UTF-8";
    return std::nullopt;
}

}  // namespace

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

}  // namespace vantle_native
