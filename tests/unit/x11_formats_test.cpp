// The X11 clipboard's formats on their own: no X server.
#include "x11/formats.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace vantle_native::x11;
using vantle_native::clipboard::DropEffect;

namespace {

using namespace std::string_literals;

TEST(FileUri, KeepsUnreservedAndSlashAndEncodesEveryOtherByteInUpperCase) {
    const struct {
        std::string path;
        std::string uri;
    } cases[] = {
        {"/tmp/a-b_c.d~e/Z9", "file:///tmp/a-b_c.d~e/Z9"},
        {"/a b%c#d?e", "file:///a%20b%25c%23d%3Fe"},
        {"/é😀", "file:///%C3%A9%F0%9F%98%80"},
        {"/;,=+&@:!$'()*[]\\\x7F\x01", "file:///%3B%2C%3D%2B%26%40%3A%21%24%27%28%29%2A%5B%5D%5C%7F%01"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(file_uri(c.path), c.uri) << c.path;
        EXPECT_EQ(local_path(c.uri), c.path) << c.uri;
    }
}

TEST(LocalPath, TakesLocalFileUrisAndRefusesEverythingElse) {
    const struct {
        std::string uri;
        std::optional<std::string> path;
    } cases[] = {
        {"file:///tmp/x", "/tmp/x"},
        {"FILE://LocalHost/tmp/%c3%a9", "/tmp/é"},
        {"file:///tmp/x#part?q", "/tmp/x"},
        {"file://other/tmp/x", std::nullopt},
        {"file:/tmp/x", std::nullopt},
        {"http://localhost/tmp/x", std::nullopt},
        {"file://", std::nullopt},
        {"file:///tmp/%", std::nullopt},
        {"file:///tmp/%4", std::nullopt},
        {"file:///tmp/%zz", std::nullopt},
        {"file:///tmp/%FF", std::nullopt},
        {"file:///tmp/%C3", std::nullopt},
        {"file:///tmp/a%00b", std::nullopt},
        {"file:///tmp/\xFF", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(local_path(c.uri), c.path) << c.uri;
}

TEST(SelectionContent, GivesEachTargetsBytes) {
    const SelectionContent copy = selection_content("/a b\0/c\0"s, DropEffect::copy);
    EXPECT_EQ(copy.uri_list, "file:///a%20b\r\nfile:///c\r\n");
    EXPECT_EQ(copy.gnome_copied_files, "copy\nfile:///a%20b\nfile:///c");
    EXPECT_EQ(copy.kde_cut_selection, "0");
    EXPECT_EQ(copy.text, "/a b\n/c");
    const SelectionContent cut = selection_content("/x\0"s, DropEffect::move);
    EXPECT_EQ(cut.gnome_copied_files, "cut\nfile:///x");
    EXPECT_EQ(cut.kde_cut_selection, "1");
    EXPECT_EQ(selection_content("", DropEffect::move).gnome_copied_files, "cut");
}

TEST(ReadLists, TakeLocalPathsFromEitherLineEndAndLeaveTheRestOut) {
    const std::string list = "# a comment\r\nfile:///a\r\nhttp://x/y\nfile:///b%20c\n\nfile://h/z\r\nfile:///%FF\nfile:///d";
    EXPECT_EQ(paths_of_uri_list(list), "/a\0/b c\0/d\0"s);
    const auto cut = drop_of_gnome_copied_files("cut\r\n" + list);
    EXPECT_EQ(cut.effect, DropEffect::move);
    EXPECT_EQ(cut.names, "/a\0/b c\0/d\0"s);
    for (const std::string first : {"copy", "link", ""}) {
        EXPECT_EQ(drop_of_gnome_copied_files(first + "\nfile:///a").effect, DropEffect::copy) << first;
    }
    EXPECT_EQ(effect_of_kde_cut_selection("1"), DropEffect::move);
    EXPECT_EQ(effect_of_kde_cut_selection("0"), DropEffect::copy);
    EXPECT_EQ(effect_of_kde_cut_selection(""), DropEffect::copy);
}

}  // namespace
