// The Linux clipboards' formats on their own: no X server, no compositor.
#include "selection/formats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace vantle_native::selection;
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
    const SelectionContent copy{DropEffect::copy, "/a b\0/c\0"s};
    EXPECT_EQ(copy.bytes(Target::uri_list), "file:///a%20b\r\nfile:///c\r\n");
    EXPECT_EQ(copy.bytes(Target::gnome_copied_files), "copy\nfile:///a%20b\nfile:///c");
    EXPECT_EQ(copy.bytes(Target::kde_cut_selection), "0");
    EXPECT_EQ(copy.bytes(Target::utf8_string), "/a b\n/c");
    const SelectionContent cut{DropEffect::move, "/x\0"s};
    EXPECT_EQ(cut.bytes(Target::gnome_copied_files), "cut\nfile:///x");
    EXPECT_EQ(cut.bytes(Target::kde_cut_selection), "1");
    EXPECT_EQ((SelectionContent{DropEffect::move, ""}.bytes(Target::gnome_copied_files)), "cut");
}

TEST(ReadLists, TakeLocalPathsFromEitherLineEndAndLeaveTheRestOut) {
    const std::string list = "# a comment\r\nfile:///a\r\nhttp://x/y\nfile:///b%20c\n\nfile://h/z\r\nfile:///%FF\nfile:///d";
    EXPECT_EQ(paths_of_uri_list(list), "/a\0/b c\0/d\0"s);
    const auto cut = drop_of_copied_files("cut\r\n" + list);
    EXPECT_EQ(cut.effect, DropEffect::move);
    EXPECT_EQ(cut.names, "/a\0/b c\0/d\0"s);
    for (const std::string first : {"copy", "link", ""}) {
        EXPECT_EQ(drop_of_copied_files(first + "\nfile:///a").effect, DropEffect::copy) << first;
    }
    EXPECT_EQ(effect_of_kde_cut_selection("1"), DropEffect::move);
    EXPECT_EQ(effect_of_kde_cut_selection("0"), DropEffect::copy);
    EXPECT_EQ(effect_of_kde_cut_selection(""), DropEffect::copy);
    // Some file managers end every target's data with NULs; one inside a
    // line still makes that name no path.
    EXPECT_EQ(paths_of_uri_list("file:///a\r\nfile:///b\0\0"s), "/a\0/b\0"s);
    EXPECT_EQ(paths_of_uri_list("file:///a\0b\nfile:///c"s), "/c\0"s);
    EXPECT_EQ(drop_of_copied_files("cut\nfile:///a\nfile:///b\0"s).names, "/a\0/b\0"s);
    EXPECT_EQ(drop_of_copied_files("cut\0"s).effect, DropEffect::move);
    EXPECT_EQ(effect_of_kde_cut_selection("1\0"s), DropEffect::move);
}

TEST(ReadPlan, PrefersGnomeThenMateThenTheUriListWithKdesMarker) {
    using T = Target;
    const struct {
        std::vector<T> offered;
        std::optional<T> list;
        bool kde_marker;
    } cases[] = {
        {{T::uri_list, T::mate_copied_files, T::gnome_copied_files}, T::gnome_copied_files, false},
        {{T::uri_list, T::mate_copied_files, T::kde_cut_selection}, T::mate_copied_files, false},
        {{T::uri_list, T::kde_cut_selection}, T::uri_list, true},
        {{T::uri_list}, T::uri_list, false},
        {{T::kde_cut_selection, T::utf8_string, T::plain_text}, std::nullopt, false},
    };
    for (const auto& c : cases) {
        const auto plan = read_plan([&](T target) { return std::ranges::count(c.offered, target) > 0; });
        ASSERT_EQ(plan.has_value(), c.list.has_value()) << c.offered.size();
        if (plan) {
            EXPECT_EQ(plan->list, *c.list);
            EXPECT_EQ(plan->kde_marker, c.kde_marker);
        }
    }
    for (const T target : served_targets) EXPECT_EQ(target_named(name_of(target)), target);
    EXPECT_EQ(target_named("text/plain"), std::nullopt);
}

}  // namespace
