// Cleaning and cutting destination file names, and recognising a cut name at the source.

#include "engine/name_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_run_view.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// Drive s: over a fresh temporary folder, for the life of one test.
class SourceDrive {
public:
    void MakeFile(const std::string& name) const {
        test::WriteFile(drives_.HostRoot('s') + "/" + name, "x");
    }
    void MakeFolder(const std::string& name) const {
        test::MakeDir(drives_.HostRoot('s') + "/" + name);
    }

private:
    test::TempDrives drives_{"s"};
};

// A report that shows every line at once, so the tests can read what was said.
struct Reporter {
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log{&view, run, handOver, "s:"};
    Reporter() {
        view.logToFile = false;
        view.level = LogLevel::Extended;
    }
    std::vector<std::string> Lines() const { return view.MemoLines(); }
};

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

const std::string kE = "\xC3\xA9";             // é, two bytes
const std::string kEuro = "\xE2\x82\xAC";      // €, three bytes
const std::string kClef = "\xF0\x9D\x84\x9E";  // 𝄞, four bytes

TEST(NameChecksTest, CleanedAndCutNames) {
    struct Case {
        const char* what;
        std::string path, expected;
        std::vector<std::string> lines;
    };
    const std::string a127 = Repeat("a", 127);
    const std::string a128 = Repeat("a", 128);
    const std::vector<Case> cases = {
        {"127 characters pass", "e:\\d\\" + a127, "e:\\d\\" + a127, {}},
        {"128 characters are cut",
         "e:\\d\\" + a128,
         "e:\\d\\" + a127,
         {"File name longer than 127 characters detected in source and will be cut in "
          "destination...!",
          "It is better you cut file name \"" + a128 + "\" in directory \"e:\\d\\\" manually!"}},
        {"leading blank and period",
         "e:\\d\\ .profile",
         "e:\\d\\profile",
         {"Ignoring forbidden character in \"e:\\d\\ .profile\"...!",
          "Ignoring forbidden character in \"e:\\d\\.profile\"...!"}},
        {"trailing and inner blanks and periods stay", "e:\\d\\a. b .", "e:\\d\\a. b .", {}},
        {"forbidden characters in their order",
         "e:\\d\\a|b*c|",
         "e:\\d\\abc",
         {"Ignoring absolutely forbidden character in \"e:\\d\\a|b*c|\"...!",
          "Ignoring absolutely forbidden character in \"e:\\d\\a|bc|\"...!",
          "Ignoring absolutely forbidden character in \"e:\\d\\abc|\"...!"}},
        {"only blanks and periods clean to nothing",
         "e:\\d\\ . .",
         "e:\\d\\",
         {"Ignoring forbidden character in \"e:\\d\\ . .\"...!",
          "Ignoring forbidden character in \"e:\\d\\. .\"...!",
          "Ignoring forbidden character in \"e:\\d\\ .\"...!",
          "Ignoring forbidden character in \"e:\\d\\.\"...!"}},
        {"name after a drive colon",
         "e:.x",
         "e:x",
         {"Ignoring forbidden character in \"e:.x\"...!"}},
        {"forbidden characters removed before the length is judged",
         "e:\\" + Repeat("a", 126) + "??",
         "e:\\" + Repeat("a", 126),
         {"Ignoring absolutely forbidden character in \"e:\\" + Repeat("a", 126) + "??\"...!",
          "Ignoring absolutely forbidden character in \"e:\\" + Repeat("a", 126) + "?\"...!"}},
    };
    for (const Case& c : cases) {
        Reporter r;
        EXPECT_EQ(fnamecutto127(c.path, r.log), c.expected) << c.what;
        EXPECT_EQ(r.Lines(), c.lines) << c.what;
    }
}

TEST(NameChecksTest, AllNineForbiddenCharactersAreEachReported) {
    Reporter r;
    EXPECT_EQ(fnamecutto127("e:\\d\\x/*?\"<>|y", r.log), "e:\\d\\xy");
    // The backslash and colon cannot be in a name: they end the folder part.
    EXPECT_EQ(r.Lines().size(), 7u);
    EXPECT_EQ(r.Lines().front(),
              "Ignoring absolutely forbidden character in \"e:\\d\\x/*?\"<>|y\"...!");
    EXPECT_EQ(r.Lines().back(), "Ignoring absolutely forbidden character in \"e:\\d\\x|y\"...!");
}

TEST(NameChecksTest, CutCountsCharactersAndNeverSplitsOne) {
    struct Case {
        const char* what;
        std::string name, expectedName;
        bool cut;
    };
    const std::vector<Case> cases = {
        {"127 two-byte letters pass", Repeat(kE, 127), Repeat(kE, 127), false},
        {"130 two-byte letters keep 127", Repeat(kE, 130), Repeat(kE, 127), true},
        {"three-byte character at the cut", Repeat("a", 126) + kEuro + kEuro,
         Repeat("a", 126) + kEuro, true},
        {"four-byte character at the cut", Repeat("b", 126) + kClef + "z", Repeat("b", 126) + kClef,
         true},
        {"mixed widths", Repeat(kE + kEuro + kClef + "x", 40),
         Repeat(kE + kEuro + kClef + "x", 31) + kE + kEuro + kClef, true},
    };
    for (const Case& c : cases) {
        Reporter r;
        EXPECT_EQ(fnamecutto127("e:\\d\\" + c.name, r.log), "e:\\d\\" + c.expectedName) << c.what;
        EXPECT_EQ(r.Lines().size(), c.cut ? 2u : 0u) << c.what;
    }
}

TEST(NameChecksTest, StrayBytesCountAsCharactersOfTheirOwn) {
    // A host name that is not valid UTF-8: each stray byte is one character.
    Reporter r;
    const std::string name = Repeat("\xE9", 128);  // Latin-1 é, no continuation
    EXPECT_EQ(fnamecutto127("e:\\" + name, r.log), "e:\\" + Repeat("\xE9", 127));
    Reporter r2;
    const std::string truncated = Repeat("a", 126) + "\xE2\x82";  // a sequence cut short
    EXPECT_EQ(fnamecutto127("e:\\" + truncated, r2.log), "e:\\" + Repeat("a", 126) + "\xE2");
}

TEST(NameChecksTest, NameIsEmpty) {
    struct Case {
        std::string path;
        bool empty;
    };
    const std::vector<Case> cases = {
        {"e:\\d\\", true}, {"e:", true}, {"", true}, {"e:\\d\\x", false}, {"e:x", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameIsEmpty(c.path), c.empty) << c.path;
    Reporter r;
    EXPECT_TRUE(NameIsEmpty(fnamecutto127("e:\\d\\..", r.log)));
}

TEST(NameChecksTest, File127ExistsFindsTheLongSourceName) {
    SourceDrive drive;
    const std::string longName = Repeat("n", 127) + Repeat("m", 73);  // 200 characters
    drive.MakeFile("other.txt");
    drive.MakeFile(longName);
    Reporter r;
    EXPECT_TRUE(file127exists(DrivePath("s:"), Repeat("n", 127), r.log));
    EXPECT_EQ(r.Lines(),
              (std::vector<std::string>{
                  "File name \"" + Repeat("n", 127) + "\" with 127 characters detected in backup!",
                  "Similar name found in source, supposing same file!"}));
}

TEST(NameChecksTest, File127ExistsCases) {
    struct Case {
        const char* what;
        std::vector<std::string> sourceFiles, sourceFolders;
        std::string name;
        bool found;
        std::size_t lines;
    };
    const std::string n127 = Repeat("n", 127);
    const std::string e127 = Repeat(kE, 127);
    const std::vector<Case> cases = {
        {"no source name starts with it", {"short", Repeat("q", 200)}, {}, n127, false, 1},
        {"126 characters are never asked", {Repeat("n", 200)}, {}, Repeat("n", 126), false, 0},
        {"128 characters are never asked", {Repeat("n", 200)}, {}, Repeat("n", 128), false, 0},
        {"exactly equal name", {n127}, {}, n127, true, 2},
        {"case matters", {Repeat("N", 130)}, {}, n127, false, 1},
        {"folders are not listed", {}, {n127 + "dir"}, n127, false, 1},
        {"multi-byte name counted in characters", {e127 + "x"}, {}, e127, true, 2},
        {"a shorter source name in bytes is no match", {Repeat(kE, 100)}, {}, e127, false, 1},
    };
    for (const Case& c : cases) {
        SourceDrive drive;
        for (const auto& f : c.sourceFiles)
            drive.MakeFile(f);
        for (const auto& d : c.sourceFolders)
            drive.MakeFolder(d);
        Reporter r;
        EXPECT_EQ(file127exists(DrivePath("s:"), c.name, r.log), c.found) << c.what;
        EXPECT_EQ(r.Lines().size(), c.lines) << c.what;
    }
}

TEST(NameChecksTest, File127ExistsInAMissingFolderIsFalse) {
    SourceDrive drive;
    Reporter r;
    EXPECT_FALSE(file127exists(DrivePath("s:\\gone"), Repeat("n", 127), r.log));
}

}  // namespace
}  // namespace vlm
