// Decoding the URIs of another program's list. Properties: whatever a URI
// holds, a path that comes out is UTF-8 without a NUL and starts at the root;
// such a path encodes to a URI that decodes back to it; and a list's names
// are exactly the paths its lines decode to.
#include <string>

#include "fuzz_support.h"
#include "selection/formats.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using vantle_native::selection::file_uri;
    using vantle_native::selection::local_path;

    const auto path = local_path(text);
    if (path) {
        fuzz::check(fuzz::is_path_text(*path) && path->starts_with('/'));
        fuzz::check(local_path(file_uri(*path)) == path);
    }
    if (fuzz::is_path_text(text) && text.starts_with('/')) fuzz::check(local_path(file_uri(text)) == text);

    std::string expected;
    std::string_view rest = text;
    while (rest.ends_with('\0')) rest.remove_suffix(1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.starts_with('#')) continue;
        if (const auto decoded = local_path(line)) expected += *decoded + '\0';
    }
    fuzz::check(vantle_native::selection::paths_of_uri_list(text) == expected);
    return 0;
}
