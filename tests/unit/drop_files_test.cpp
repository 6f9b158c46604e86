// The file-drop format on its own: no platform, no stand-in.
#include "win/drop_files.h"

#include <gtest/gtest.h>

#include "support/bytes.h"

using namespace vantle_native::win::drop_files;

namespace {

using Paths = std::vector<std::string_view>;

std::vector<std::byte> header_then(std::initializer_list<int> list_bytes) {
    std::vector<std::byte> block = bytes_of({0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0});
    for (const int b : list_bytes) block.push_back(static_cast<std::byte>(b));
    return block;
}

TEST(BuildDropList, LaysOutHeaderUnitsAndTerminators) {
    EXPECT_EQ(build_drop_list(Paths{""}), header_then({0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"C:\\a"}), header_then({0x43, 0, 0x3A, 0, 0x5C, 0, 0x61, 0, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"\xF0\x9F\x98\x80"}), header_then({0x3D, 0xD8, 0x00, 0xDE, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{"a", "", "b;c"}),
              header_then({'a', 0, 0, 0, 0, 0, 'b', 0, ';', 0, 'c', 0, 0, 0, 0, 0}));
    EXPECT_EQ(build_drop_list(Paths{std::string_view("\0", 1)}), header_then({0, 0, 0, 0, 0, 0}));
}

TEST(BuildDropList, LengthIsHeaderPlusEachPathAndItsTerminatorPlusTheEnd) {
    std::vector<std::string> storage;
    for (int i = 0; i < 1000; ++i) storage.push_back("C:\\dir\\é" + std::to_string(i));
    const Paths paths(storage.begin(), storage.end());
    std::size_t expected = 20 + 2;
    for (const auto& p : storage) expected += 2 * (p.size() - 1 + 1);  // é: two bytes, one unit
    EXPECT_EQ(build_drop_list(paths).size(), expected);
}

TEST(ReadableDropBlock, AcceptsExactlyTheBlocksWhoseWalkEndsInside) {
    const struct {
        const char* what;
        std::vector<std::byte> block;
        bool readable;
    } cases[] = {
        {"empty list", with_header(20, 1, bytes_of({0, 0})), true},
        {"header only", with_header(20, 1, {}), false},
        {"shorter than a header", bytes_of({20, 0, 0, 0}), false},
        {"offset at the end", with_header(22, 1, bytes_of({0, 0})), false},
        {"huge offset", with_header(0xFFFFFFF0, 1, bytes_of({0, 0})), false},
        {"terminator is the last unit", with_header(20, 1, bytes_of({'a', 0, 0, 0, 0, 0})), true},
        {"one unit short", with_header(20, 1, bytes_of({'a', 0, 0, 0})), false},
        {"no terminator", with_header(20, 1, bytes_of({'a', 0, 'b', 0})), false},
        {"odd byte after the name", with_header(20, 1, bytes_of({'a', 0, 0, 0, 0})), false},
        {"offset inside the header", with_header(4, 1, bytes_of({0, 0})), true},
        {"narrow names", with_header(20, 0, bytes_of({'a', 0, 'b', 0, 0})), true},
        {"narrow, one byte short", with_header(20, 0, bytes_of({'a', 0, 'b', 0})), false},
        {"wide unit split at the end", with_header(20, 1, bytes_of({'a', 0, 0})), false},
    };
    for (const auto& [what, block, readable] : cases) EXPECT_EQ(is_readable_drop_block(block), readable) << what;
}

}  // namespace
