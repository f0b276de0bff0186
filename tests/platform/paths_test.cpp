#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/path_translation.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::TempDrives;

// Parse keeps the letter as written, makes every root "x:\" and drops one trailing backslash;
// refused texts give nothing, and the constructor makes them the empty path.
TEST(DrivePath, ParsesWhatTheTranslationTakesAndRefusesTheRest) {
    const std::string ghost = "c:\\a\xEF\x81\x81";  // U+F041 stands for 'A', which needs none
    struct Case {
        std::string text;
        std::string parsed;  // "" when refused
        char letter;
        bool root;
        std::string parent;
        std::string name;
    } cases[] = {
        {"c:", "c:\\", 'c', true, "c:\\", ""},
        {"C:\\", "C:\\", 'c', true, "C:\\", ""},
        {"e:\\a", "e:\\a", 'e', false, "e:\\", "a"},
        {"e:\\a\\b c\\", "e:\\a\\b c", 'e', false, "e:\\a", "b c"},
        {"e:\\...\\.x", "e:\\...\\.x", 'e', false, "e:\\...", ".x"},
        {"", "", 0, false, "", ""},
        {"/tmp/x", "", 0, false, "", ""},
        {"1:\\a", "", 0, false, "", ""},
        {"c:a", "", 0, false, "", ""},
        {"c:\\\\", "", 0, false, "", ""},
        {"c:\\a\\\\b", "", 0, false, "", ""},
        {"c:\\a\\..\\b", "", 0, false, "", ""},
        {"c:\\.", "", 0, false, "", ""},
        {"c:\\a/b", "", 0, false, "", ""},
        {"c:\\a\nb", "", 0, false, "", ""},
        {ghost, "", 0, false, "", ""},
    };
    for (const Case& k : cases) {
        const std::optional<DrivePath> parsed = DrivePath::Parse(k.text);
        EXPECT_EQ(parsed.has_value(), !k.parsed.empty()) << k.text;
        const DrivePath path(k.text);
        EXPECT_EQ(path.Text(), k.parsed) << k.text;
        EXPECT_EQ(path.Letter(), k.letter) << k.text;
        EXPECT_EQ(path.IsRoot(), k.root) << k.text;
        EXPECT_EQ(path.Parent().Text(), k.parent) << k.text;
        EXPECT_EQ(path.Name(), k.name) << k.text;
    }
}

TEST(HostPath, ParsesAbsolutePathsWithoutDotsOrEmptyComponents) {
    struct Case {
        std::string text;
        std::string parsed;
        std::string parent;
    } cases[] = {
        {"/", "/", "/"},     {"/a", "/a", "/"},  {"/a/b//", "/a/b", "/a"}, {"a/b", "", ""},
        {"/a/../b", "", ""}, {"/a/./b", "", ""}, {"/a//b", "", ""},        {"", "", ""},
    };
    for (const Case& k : cases) {
        const HostPath path(k.text);
        EXPECT_EQ(path.Text(), k.parsed) << k.text;
        EXPECT_EQ(path.Parent().Text(), k.parent) << k.text;
    }
}

TEST(DrivePath, AppendsNamesAndRefusesComponentsThatWouldLeaveTheFolder) {
    struct Case {
        std::string folder;
        std::string relative;
        std::string joined;  // "" when the result is the empty path
    } cases[] = {
        {"c:\\", "a", "c:\\a"}, {"c:", "a\\b", "c:\\a\\b"}, {"c:\\x", "a", "c:\\x\\a"},
        {"c:\\x", "", "c:\\x"}, {"c:\\x", "..", ""},        {"c:\\x", "a\\..\\b", ""},
        {"c:\\x", "a/b", ""},   {"c:\\x", "a\\", ""},       {"", "a", ""},
    };
    for (const Case& k : cases) {
        EXPECT_EQ((DrivePath(k.folder) / k.relative).Text(), k.joined)
            << k.folder << " / " << k.relative;
    }
    EXPECT_EQ((HostPath("/") / "a/b").Text(), "/a/b");
    EXPECT_EQ((HostPath("/x") / "a").Text(), "/x/a");
    EXPECT_TRUE((HostPath("/x") / "../y").empty());
}

// One rule for "is at or below": whole components, the letter without case, the rest with it.
TEST(DrivePath, IsAtOrBelowComparesWholeComponentsAndTheLetterWithoutCase) {
    struct Case {
        std::string path;
        std::string folder;
        bool below;
    } cases[] = {
        {"c:\\data", "c:\\data", true},
        {"c:\\data\\sub", "c:\\data", true},
        {"C:\\data\\sub", "c:\\data\\", true},
        {"c:\\data\\sub", "c:\\", true},
        {"c:\\", "c:", true},
        {"c:\\data2", "c:\\data", false},
        {"c:\\data", "c:\\data\\sub", false},
        {"c:\\Data\\sub", "c:\\data", false},
        {"d:\\data", "c:\\data", false},
        {"", "c:\\", false},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(DrivePath(k.path).IsAtOrBelow(DrivePath(k.folder)), k.below)
            << k.path << " in " << k.folder;
    }
    EXPECT_TRUE(HostPath("/a/b").IsAtOrBelow(HostPath("/a")));
    EXPECT_TRUE(HostPath("/a").IsAtOrBelow(HostPath("/")));
    EXPECT_FALSE(HostPath("/ab").IsAtOrBelow(HostPath("/a")));
    EXPECT_FALSE(HostPath("/A/b").IsAtOrBelow(HostPath("/a")));
}

// Taking a path from below one folder to below another: the mirror of a source, a version's place.
TEST(DrivePath, RebasedKeepsThePartBelowAndRefusesWhatIsNotBelow) {
    struct Case {
        const char* path;
        const char* from;
        const char* to;
        const char* expected;
    } cases[] = {
        {"c:\\a\\b\\x", "c:\\a", "e:\\m", "e:\\m\\b\\x"},
        {"c:\\a", "c:\\a", "e:\\m", "e:\\m"},
        {"c:\\a\\x", "c:\\", "e:\\m", "e:\\m\\a\\x"},
        {"c:\\a\\x", "c:\\a", "e:\\", "e:\\x"},
        {"c:\\ab", "c:\\a", "e:\\m", ""},
        {"", "c:\\a", "e:\\m", ""},
    };
    for (const Case& k : cases)
        EXPECT_EQ(DrivePath(k.path).Rebased(DrivePath(k.from), DrivePath(k.to)).Text(), k.expected)
            << k.path;
    EXPECT_EQ(DrivePath("c:\\p\\x.vlm").WithSuffix(".lock").Text(), "c:\\p\\x.vlm.lock");
    EXPECT_TRUE(DrivePath().WithSuffix(".lock").empty());
}

// A command-line or dialog argument: a drive path as it is, a host path (absolute or relative to
// the current folder) through the drive table, anything else nothing.
TEST(DrivePathFromArgument, TakesDrivePathsAndTranslatesHostPaths) {
    TempDrives drives("ce");
    const std::string c = drives.HostRoot('c');
    const std::string e = drives.HostRoot('e');
    const HostPath inE(e + "/work");
    struct Case {
        std::string text;
        HostPath current;
        std::string expected;  // "" for nullopt
    } cases[] = {
        {"e:\\p.vlm", inE, "e:\\p.vlm"},
        {"E:\\p.vlm", HostPath(), "E:\\p.vlm"},
        {"e:\\a: b?.txt", HostPath(), "e:\\a\xEF\x80\xBA b\xEF\x80\xBF.txt"},
        {"e:\\..\\p.vlm", inE, ""},
        {e + "/p.vlm", HostPath(), "e:\\p.vlm"},
        {e + "//a/./b/../p.vlm", HostPath(), "e:\\a\\p.vlm"},
        {"p.vlm", inE, "e:\\work\\p.vlm"},
        {"../p.vlm", inE, "e:\\p.vlm"},
        {"./sub/", inE, "e:\\work\\sub"},
        {c + "/x.vlm", inE, "c:\\x.vlm"},
        {"p.vlm", HostPath(), ""},
        {"/nowhere/p.vlm", inE, ""},
        {"", inE, ""},
    };
    for (const Case& k : cases) {
        const std::optional<DrivePath> path = DrivePathFromArgument(k.text, k.current);
        EXPECT_EQ(path ? path->Text() : std::string(), k.expected) << k.text;
    }
}

}  // namespace
}  // namespace vlm
