#include "file_clipboard.h"
#include "support/world_test.h"

using namespace vantle_native::clipboard;
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
    template <class T>
    static std::string error_text(const vantle_native::Result<T, vantle_native::ClipboardError>& read) {
        return std::get<Pasteboard>(read.error()).text;
    }
};

TEST_F(ReadFileList, GivesEachNameInOrderAndLeavesTheBlockAsItWas) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"C:\\a", u"\xFF9E\xD83D\xDE00"}));
    auto read = read_file_list();
    ASSERT_TRUE(read.ok());
    EXPECT_EQ(read.value(), (Paths{"C:\\a", "\xEF\xBE\x9E\xF0\x9F\x98\x80"}));
    EXPECT_EQ(platform().clipboard_bytes(CF_HDROP), fake::drop_block({u"C:\\a", u"\xFF9E\xD83D\xDE00"}));
    EXPECT_FALSE(platform().clipboard_open);

    // Without a thread for its worker, the read is done on the caller's.
    platform().fail_next("CreateThread", 8);
    EXPECT_EQ(read_file_list().value(), (Paths{"C:\\a", "\xEF\xBE\x9E\xF0\x9F\x98\x80"}));
}

TEST_F(ReadFileList, EachPlatformFailureGivesItsErrorWithoutARecord) {
    max_level = vantle_native::level_error;
    platform().fail_next("OpenClipboard", 5);
    auto not_opened = read_file_list();
    ASSERT_FALSE(not_opened.ok());
    EXPECT_EQ(error_text(not_opened), "Clipboard error: Access denied. (os error 5)");

    platform().last_error = 0;
    auto no_list = read_file_list();
    ASSERT_FALSE(no_list.ok());
    EXPECT_EQ(error_text(no_list), "Clipboard error: Success. (os error 0)");
    EXPECT_FALSE(platform().clipboard_open);

    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"a"}));
    platform().fail_next("GlobalLock", 5);
    auto not_locked = read_file_list();
    ASSERT_FALSE(not_locked.ok());
    EXPECT_EQ(error_text(not_locked), "Clipboard error: Access denied. (os error 5)");
    EXPECT_FALSE(platform().clipboard_open);
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

TEST_F(ReadFileList, AHostileBlockIsInvalidDataWithoutAskingThePlatform) {
    platform().put_on_clipboard(CF_HDROP, with_header(0xFFFFFFF0, 1, bytes_of({0, 0})));
    auto read = read_file_list();
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(error_text(read), "Clipboard error: Invalid data. (os error 13)");
    EXPECT_TRUE(platform().calls_starting("DragQueryFileW").empty());
    EXPECT_FALSE(platform().clipboard_open);
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
    EXPECT_FALSE(platform().clipboard_open);
}

TEST_F(ReadFileDrop, WideAndNarrowListsAreWalkedInOnePassWithoutQueries) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"C:\\a", units({u'x', 0xD800}), u"\xFF9E\xD83D\xDE00"}));
    auto wide = read_file_drop();
    ASSERT_TRUE(wide.ok() && wide.value());
    EXPECT_EQ(wide.value()->names, std::string("C:\\a\0\xEF\xBE\x9E\xF0\x9F\x98\x80\0", 13));

    // A narrow name goes through the code page: the stand-in's is Latin-1.
    platform().put_on_clipboard(CF_HDROP, with_header(20, 0, bytes_of({'C', ':', 0xE9, 0, 'D', 0, 0})));
    auto narrow = read_file_drop();
    ASSERT_TRUE(narrow.ok() && narrow.value());
    EXPECT_EQ(narrow.value()->names, std::string("C:\xC3\xA9\0D\0", 7));
    EXPECT_TRUE(platform().calls_starting("DragQueryFileW").empty());
    EXPECT_FALSE(platform().clipboard_open);
}

TEST_F(ReadFileDrop, OpensTheClipboardWithAWindowOfItsOwnAndWithoutOneWhenThereIsNone) {
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"a"}));
    ASSERT_TRUE(read_file_drop().ok());
    EXPECT_NE(platform().clipboard_opener, nullptr);
    EXPECT_TRUE(platform().windows.empty());

    platform().no_windows = true;
    auto read = read_file_drop();
    ASSERT_TRUE(read.ok() && read.value());
    EXPECT_EQ(platform().clipboard_opener, nullptr);
}

TEST_F(ReadFileDrop, FailuresAreErrorsAndTheClipboardIsClosed) {
    platform().put_on_clipboard(CF_HDROP, with_header(0xFFFFFFF0, 1, bytes_of({0, 0})));
    auto hostile = read_file_drop();
    ASSERT_FALSE(hostile.ok());
    EXPECT_EQ(error_text(hostile), "Clipboard error: Invalid data. (os error 13)");

    // An effect that is there but cannot be read is not taken for a copy.
    platform().put_on_clipboard(CF_HDROP, fake::drop_block({u"a"}));
    platform().put_on_clipboard(effect_format(), bytes_of({2, 0, 0, 0}));
    platform().fail_next("GlobalLock", 5);
    auto unread = read_file_drop();
    ASSERT_FALSE(unread.ok());
    EXPECT_EQ(error_text(unread), "Clipboard error: Access denied. (os error 5)");
    EXPECT_FALSE(platform().clipboard_open);
    EXPECT_TRUE(platform().windows.empty());
}

}  // namespace
