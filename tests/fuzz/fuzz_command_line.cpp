// Splitting a command line, then decoding each argument. Properties: argument
// 0 is cut off by its own rules; quoting the other arguments the standard way
// and splitting again gives them back; an argument fails decoding exactly
// when it holds an unpaired surrogate.
#include "errors.h"
#include "fuzz_support.h"
#include "unicode/utf16_strict.h"
#include "runtime/arguments.h"
#include "win/arguments.h"

namespace {

using fuzz::Units;

Units quoted(const Units& argument) {
    if (!argument.empty() && argument.find_first_of(u" \t\"") == Units::npos) return argument;
    Units out = u"\"";
    std::size_t backslashes = 0;
    for (const WCHAR unit : argument) {
        if (unit == u'\\') {
            ++backslashes;
            continue;
        }
        out.append(unit == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
        out += unit;
        backslashes = 0;
    }
    out.append(2 * backslashes, u'\\');
    return out + u"\"";
}

bool has_unpaired_surrogate(const Units& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const unsigned unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Units line = fuzz::units_of(data, size);
    for (WCHAR& unit : line) unit = unit == 0 ? u'0' : unit;  // the line ends at its first 0
    line += WCHAR{0};
    const auto arguments = vantle_native::runtime::split_command_line(line.c_str());
    fuzz::check(!arguments.empty());

    Units requoted = u"p";
    for (std::size_t i = 1; i < arguments.size(); ++i) requoted += u" " + quoted(arguments[i]);
    requoted += WCHAR{0};
    const auto again = vantle_native::runtime::split_command_line(requoted.c_str());
    fuzz::check(again.size() == arguments.size());
    for (std::size_t i = 1; i < arguments.size(); ++i) fuzz::check(again[i] == arguments[i]);

    for (const auto& argument : arguments) {
        fuzz::check(vantle_native::unicode::decode_utf16_strict(argument).ok() == !has_unpaired_surrogate(argument));
    }
    return 0;
}
