#include "support/world_test.h"
#include "win/clipboard.h"

using namespace vantle_native::win::clipboard;
using vantle_native::max_level;
using vantle_native::Pasteboard;

namespace {

using Paths = std::vector<std::string>;

class ReadFileList : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        platform().system_messages[0] = u"Success.\r\n";
        platform().system_messages[5] = u"Access denied.\r\n";
        platform().system_messages[13] = u"Invalid data.\r\n";
    }
    static std::string error_text(const vantle_native::Result<Paths, vantle_native::ClipboardError>& read) {
        return std::get<Pasteboard>(read.error()).text;
    }
};

TEST_F(ReadFileList, QueriesCountThenLengthAndCopyForEachNameInOrder) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"C:\\a", u"\xFF9E\xD83D\xDE00"}));
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), (Paths{"C:\\a", "\xEF\xBE\x9E\xF0\x9F\x98\x80"}));
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"OpenClipboard", "GetClipboardData(15)", "GlobalLock", "DragQueryFileW(-1,0)",
                                        "DragQueryFileW(0,0)", "DragQueryFileW(0,5)", "DragQueryFileW(1,0)",
                                        "DragQueryFileW(1,4)", "GlobalUnlock", "CloseClipboard"}));
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), fake::drop_block({u"C:\\a", u"\xFF9E\xD83D\xDE00"}));
}

TEST_F(ReadFileList, EachPlatformFailureGivesItsErrorWithoutARecord) {
    max_level = vantle_native::level_error;
    platform().fail_next("OpenClipboard", 5);
    auto not_opened = read_file_list();
    ASSERT_FALSE(not_opened.ok());
    EXPECT_EQ(error_text(not_opened), "Clipboard error: Access denied. (os error 5)");
    EXPECT_EQ(platform().calls, std::vector<std::string>{"OpenClipboard"});

    fake::reset();
    platform().system_messages[0] = u"Success.\r\n";
    auto no_list = read_file_list();
    ASSERT_FALSE(no_list.ok());
    EXPECT_EQ(error_text(no_list), "Clipboard error: Success. (os error 0)");
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"OpenClipboard", "GetClipboardData(15)", "CloseClipboard"}));

    fake::reset();
    platform().system_messages[5] = u"Access denied.\r\n";
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"a"}));
    platform().fail_next("GlobalLock", 5);
    auto not_locked = read_file_list();
    ASSERT_FALSE(not_locked.ok());
    EXPECT_EQ(error_text(not_locked), "Clipboard error: Access denied. (os error 5)");
    EXPECT_EQ(platform().calls,
              (std::vector<std::string>{"OpenClipboard", "GetClipboardData(15)", "GlobalLock", "CloseClipboard"}));
    EXPECT_TRUE(received_records().empty());
}

TEST_F(ReadFileList, NamesWithUnpairedSurrogatesAreLeftOut) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"first", units({u'x', 0xD800}), u"third"}));
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), (Paths{"first", "third"}));
    EXPECT_TRUE(received_records().empty());
}

TEST_F(ReadFileList, AnAdmittedRecordNamesNeitherIndexNorName) {
    max_level = vantle_native::level_error;
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({units({0xDC00}), units({0xD800})}));
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_TRUE(read.value().empty());
    ASSERT_EQ(received_records().size(), 2u);
    EXPECT_EQ(received_records()[0].message, "Error read file list: invalid utf-16: lone surrogate found");
    EXPECT_EQ(received_records()[0].line, 140u);
    EXPECT_EQ(received_records()[0].file, "src\\win\\clipboard");
}

TEST_F(ReadFileList, AnEmptyListIsAnEmptySuccess) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({}));
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_TRUE(read.value().empty());
}

TEST_F(ReadFileList, UnitsTheCopyDidNotWriteDecodeAsNul) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"abcd"}));
    platform().drag_query = [](HDROP, UINT index, LPWSTR file, UINT) -> UINT {
        if (index == 0xFFFFFFFF) return 1;
        if (file == nullptr) return 4;
        file[0] = u'a';
        file[1] = u'b';
        return 2;
    };
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), Paths{std::string("ab\0\0", 4)});
}

struct BlockCase {
    const char* what;
    std::vector<std::byte> block;
    bool readable;
};

std::vector<std::byte> with_header(std::uint32_t offset, std::uint32_t wide, std::vector<std::byte> list) {
    std::vector<std::byte> block(20);
    for (int i = 0; i < 4; ++i) block[i] = static_cast<std::byte>(offset >> (8 * i));
    block[16] = static_cast<std::byte>(wide);
    block.insert(block.end(), list.begin(), list.end());
    return block;
}

TEST(ReadableDropBlock, AcceptsExactlyTheBlocksWhoseWalkEndsInside) {
    const BlockCase cases[] = {
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

TEST_F(ReadFileList, AHostileBlockIsInvalidDataWithoutAskingThePlatform) {
    platform().put_on_clipboard(CF_HDROP, with_header(0xFFFFFFF0, 1, bytes_of({0, 0})));
    auto read = read_file_list();
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(error_text(read), "Clipboard error: Invalid data. (os error 13)");
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"OpenClipboard", "GetClipboardData(15)", "GlobalLock",
                                                          "GlobalUnlock", "CloseClipboard"}));
}

class ReadFileDrop : public ReadFileList {
protected:
    UINT effect_format() { return platform().format_named(u"Preferred DropEffect"); }
};

TEST_F(ReadFileDrop, NoFileListIsNothingInsteadOfAnError) {
    platform().put_on_clipboard(CF_UNICODETEXT, bytes_of({'h', 0, 0, 0}));
    auto read = read_file_drop();
    ASSERT_TRUE(read.ok());
    EXPECT_FALSE(read.value());
    EXPECT_EQ(platform().calls, (std::vector<std::string>{"RegisterClipboardFormatW", "OpenClipboard",
                                                          "IsClipboardFormatAvailable(15)", "CloseClipboard"}));
}

TEST_F(ReadFileDrop, AWideListIsWalkedOnceAndANarrowOneQueried) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"C:\\a", units({u'x', 0xD800}), u"\xFF9E\xD83D\xDE00"}));
    auto wide = read_file_drop();
    ASSERT_TRUE(wide.ok() && wide.value());
    EXPECT_EQ(wide.value()->paths, (Paths{"C:\\a", "\xEF\xBE\x9E\xF0\x9F\x98\x80"}));
    EXPECT_TRUE(platform().calls_starting("DragQueryFileW").empty());
    EXPECT_FALSE(platform().clipboard_open);

    fake::reset();
    std::vector<std::byte> narrow = fake::drop_block({});
    narrow[16] = std::byte{0};
    narrow.resize(20);
    for (const char c : std::string("C:\\n\0D:\\m\0\0", 11)) narrow.push_back(static_cast<std::byte>(c));
    platform().put_on_clipboard(CF_HDROP, narrow);
    auto read = read_file_drop();
    ASSERT_TRUE(read.ok() && read.value());
    EXPECT_EQ(read.value()->paths, (Paths{"C:\\n", "D:\\m"}));
    EXPECT_EQ(platform().calls_starting("DragQueryFileW").size(), 5u);
}

TEST_F(ReadFileDrop, FailuresAreErrorsAndTheClipboardIsClosed) {
    platform().put_on_clipboard(CF_HDROP, with_header(0xFFFFFFF0, 1, bytes_of({0, 0})));
    auto hostile = read_file_drop();
    ASSERT_FALSE(hostile.ok());
    EXPECT_EQ(std::get<Pasteboard>(hostile.error()).text, "Clipboard error: Invalid data. (os error 13)");

    // An effect that is there but cannot be read is not taken for a copy.
    fake::reset();
    platform().system_messages[5] = u"Access denied.\r\n";
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"a"}));
    platform().put_on_clipboard(effect_format(), bytes_of({2, 0, 0, 0}));
    platform().fail_next("GlobalLock", 5);
    auto unread = read_file_drop();
    ASSERT_FALSE(unread.ok());
    EXPECT_EQ(std::get<Pasteboard>(unread.error()).text, "Clipboard error: Access denied. (os error 5)");
    EXPECT_FALSE(platform().clipboard_open);
}

}  // namespace
