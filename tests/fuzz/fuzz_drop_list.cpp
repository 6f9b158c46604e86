// Splitting a --copy_files value and building its file-drop block.
// Properties: the pieces joined with ";;;" give the value back; the block is
// 20 + sum of 2(u+1) + 2 bytes long with the fixed header; it passes the
// reader's check; and the platform's walk of it finds the pieces up to the
// first empty one.
#include <algorithm>
#include <vector>

#include "errors.h"
#include "fuzz_support.h"
#include "unicode/utf16_strict.h"
#include "path_lists.h"
#include "support/fake_win32.h"
#include "unicode/utf.h"
#include "win/drop_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto value = vantle_native::unicode::decode_utf16_strict(fuzz::units_of(data, size));
    if (!value.ok()) return 0;  // the exe never gets an undecodable argument this far
    const std::string& text = value.value();

    const std::vector<std::string_view> pieces = vantle_native::split_list(text);
    std::string joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) joined += std::string(i == 0 ? "" : ";;;") + std::string(pieces[i]);
    fuzz::check(joined == text);

    const std::vector<std::byte> block = vantle_native::win::drop_files::build_drop_list(pieces);
    std::vector<fuzz::Units> names;
    std::size_t expected = 20 + 2;
    for (const auto piece : pieces) {
        names.emplace_back();
        for (std::size_t i = 0; i < piece.size();) {
            vantle_native::unicode::encode_utf16(vantle_native::unicode::next_utf8_code_point(piece, i),
                                                 [&](std::uint16_t unit) { names.back() += static_cast<WCHAR>(unit); });
        }
        expected += 2 * (names.back().size() + 1);
    }
    fuzz::check(block.size() == expected);
    const std::byte header[20] = {std::byte{20}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
                                  std::byte{1}, {}, {}, {}};
    fuzz::check(std::equal(header, header + 20, block.begin()));
    fuzz::check(vantle_native::win::drop_files::is_readable_drop_block(block));

    // What a reader of the format sees: every 0 unit ends a name (a U+0000
    // inside a path included), and the list ends at the first empty name.
    fuzz::Units list;
    for (const auto& name : names) list += name + WCHAR{0};
    list += WCHAR{0};
    std::vector<fuzz::Units> seen;
    fuzz::Units current;
    for (const WCHAR unit : list) {
        if (unit != 0) {
            current += unit;
            continue;
        }
        if (current.empty()) break;
        seen.push_back(current);
        current.clear();
    }
    const auto drop = reinterpret_cast<HDROP>(const_cast<std::byte*>(block.data()));
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    fuzz::check(count == seen.size());
    for (UINT i = 0; i < count; ++i) {
        fuzz::Units name(DragQueryFileW(drop, i, nullptr, 0) + std::size_t{1}, WCHAR{});
        DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size()));
        name.pop_back();
        fuzz::check(name == seen[i]);
    }
    fake::reset();
    return 0;
}
