#include "errors.h"
#include "win/wide_text.h"
#include "unicode/utf16_strict.h"

#include "support/world_test.h"

using vantle_native::ClipboardError;
using vantle_native::clipboard_error;
using vantle_native::debug_form;
using vantle_native::unicode::decode_utf16_strict;
using vantle_native::OsError;
using vantle_native::os_error_text;
using vantle_native::Pasteboard;
using vantle_native::quoted_form;
using vantle_native::to_text;

namespace {

class OsErrorText : public WorldTest {};

TEST_F(OsErrorText, AsksTheSystemWithFixedFlagsLanguageAndBuffer) {
    platform().system_messages[5] = u"Access denied.\r\n";
    EXPECT_EQ(os_error_text(5), "Access denied.");
    ASSERT_EQ(platform().format_calls.size(), 1u);
    const auto& call = platform().format_calls[0];
    EXPECT_EQ(call.flags, 0x1200u);
    EXPECT_EQ(call.source, nullptr);
    EXPECT_EQ(call.message_id, 5u);
    EXPECT_EQ(call.language, 0x0800u);
    EXPECT_EQ(call.size, 2048u);
    EXPECT_TRUE(call.buffer_zeroed);
}

TEST_F(OsErrorText, NtStatusCodesAreLookedUpInNtdllWithTheFacilityBitCleared) {
    platform().ntdll_messages[0xC0000005u & ~0x10000000u] = u"Access violation.";
    // 0xD0000005: an NT status with the facility bit set.
    const std::int32_t code = static_cast<std::int32_t>(0xD0000005u);
    EXPECT_EQ(os_error_text(code), "Access violation.");
    EXPECT_EQ(platform().format_calls[0].flags, 0x1A00u);
    EXPECT_EQ(platform().format_calls[0].source, fake::ntdll_module);
    EXPECT_EQ(platform().format_calls[0].message_id, 0xC0000005u);
}

TEST_F(OsErrorText, WithoutNtdllTheCodeIsAskedUnchangedOfTheSystem) {
    platform().ntdll_loaded = false;
    platform().fail_next("FormatMessageW", 317);
    const std::int32_t code = static_cast<std::int32_t>(0xD0000005u);
    EXPECT_EQ(os_error_text(code), "OS Error -805306363 (FormatMessageW() returned error 317)");
    EXPECT_EQ(platform().format_calls[0].flags, 0x1200u);
    EXPECT_EQ(platform().format_calls[0].message_id, 0xD0000005u);
}

TEST_F(OsErrorText, FallbackShowsTheClearedNumberWhileTheSuffixKeepsTheCapturedCode) {
    platform().fail_next("FormatMessageW", static_cast<DWORD>(-7));
    const std::int32_t code = static_cast<std::int32_t>(0xD0000005u);
    EXPECT_EQ(to_text(OsError{code}),
              "OS Error -1073741819 (FormatMessageW() returned error -7) (os error -805306363)");
}

TEST_F(OsErrorText, InvalidUtf16MessageGivesItsOwnFallback) {
    platform().system_messages[0x80000002u] = units({u'x', 0xD800});
    EXPECT_EQ(os_error_text(static_cast<std::int32_t>(0x80000002u)),
              "OS Error -2147483646 (FormatMessageW() returned invalid UTF-16)");
}

TEST_F(OsErrorText, OnlyTrailingWhiteSpaceIsTrimmed) {
    platform().system_messages[1] = u"  first line\r\nsecond\u00A0\u3000 \t\r\n";
    EXPECT_EQ(os_error_text(1), "  first line\r\nsecond");
    EXPECT_EQ(debug_form(clipboard_error(OsError{1})),
              "Pasteboard(\"Clipboard error:   first line\\r\\nsecond (os error 1)\")");
}

TEST(DecodeUtf16Strict, DecodesPairsAndKeepsNul) {
    auto decoded = decode_utf16_strict(units({u'a', 0, 0xD83D, 0xDE00, 0x00E9}));
    ASSERT_TRUE(decoded.ok());
    EXPECT_EQ(decoded.value(), std::string("a\0\xF0\x9F\x98\x80\xC3\xA9", 8));
    auto empty = decode_utf16_strict(std::u16string_view(u""));
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty.value(), "");
}

TEST(DecodeUtf16Strict, AnyUnpairedSurrogateFailsTheWholeRun) {
    for (const auto& run : {units({0xDC00}), units({u'a', 0xD800}), units({0xD800, u'b'}), units({0xDC00, 0xD800}),
                            units({0xD83D, 0xDE00, 0xDE00})}) {
        EXPECT_FALSE(decode_utf16_strict(run).ok());
    }
}

TEST(QuotedForm, EscapesByTheFirstMatchingRule) {
    EXPECT_EQ(quoted_form(std::string_view("tab\t lf\n cr\r \\ \" '")), R"("tab\t lf\n cr\r \\ \" \'")");
    // Grapheme_Extend (U+0301), Zs other than space (U+00A0), Cf (U+200B),
    // unassigned (U+0378), Cc (U+0000, U+007F), Zl (U+2028), private use (U+E000).
    EXPECT_EQ(quoted_form(std::string_view("e\xCC\x81|\xC2\xA0|\xE2\x80\x8B|\xCD\xB8|\0|\x7F|\xE2\x80\xA8|\xEE\x80\x80", 25)),
              R"("e\u{301}|\u{a0}|\u{200b}|\u{378}|\u{0}|\u{7f}|\u{2028}|\u{e000}")");
    EXPECT_EQ(quoted_form(std::string_view("plain é 😀 ü")), "\"plain é 😀 ü\"");
}

TEST(QuotedForm, RawUnitsShowUnpairedSurrogatesEscaped) {
    EXPECT_EQ(quoted_form(units({u'a', 0xD800, u'b', 0xD83D, 0xDE00, 0xDFFF})), "\"a\\u{d800}b😀\\u{dfff}\"");
}

TEST(DebugForm, WrapsTheQuotedTextInTheVariantName) {
    const ClipboardError error = Pasteboard{"Clipboard error: \"x\" C:\\y", std::nullopt};
    EXPECT_EQ(debug_form(error), R"(Pasteboard("Clipboard error: \"x\" C:\\y"))");
}

}  // namespace
