#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "platform/file_system.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

TEST(ProfileFile, LooksUpSectionsAndKeysWithoutCase) {
    const ProfileFile ini = ProfileFile::Parse(
        "top=ignored\r\n"
        "[Destination]\r\n"
        "Allowed drive = e \r\n"
        "Backup location=\r\n"
        "; comment=not a key\r\n"
        "[projects]\n"
        "  Location\t=\tc:\\Projects\\My Stuff  \n"
        "Formula=a=b==c\r"
        "Location=second one loses\r"
        "[ Timer ]\r\n"
        "Hour=0x0A");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"Destination", "Allowed drive", "e"},
        {"DESTINATION", "allowed DRIVE", "e"},
        {"Destination", "Backup location", ""},
        {"Projects", "Location", "c:\\Projects\\My Stuff"},
        {"Projects", "formula", "a=b==c"},
        {"Timer", "Hour", "0x0A"},
        {"Destination", "Location", std::nullopt},
        {"Destination", "; comment", std::nullopt},
        {"Missing", "Hour", std::nullopt},
        {"", "top", std::nullopt},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(ini.Get(k.section, k.key), k.value) << k.section << "/" << k.key;
    }
}

// Characters are UTF-8 code points, not bytes: a value of two-byte or four-byte letters keeps
// 2047 of them, and a cut never splits one.
TEST(ProfileFile, ReadsAtMost2047Characters) {
    auto times = [](std::string_view piece, std::size_t n) {
        std::string text;
        for (std::size_t i = 0; i < n; ++i)
            text += piece;
        return text;
    };
    struct Case {
        const char* what;
        std::string value, expected;
    };
    const Case cases[] = {
        {"ASCII", times("v", 3000), times("v", 2047)},
        {"exactly 2047", times("v", 2047), times("v", 2047)},
        {"the 2047th is two bytes", times("a", 2046) + "é" + "z", times("a", 2046) + "é"},
        {"two-byte letters", times("é", 3000), times("é", 2047)},
        {"four-byte emoji", times("🐱", 2100), times("🐱", 2047)},
        {"a stray byte is one character", "\xff" + times("ü", 2100), "\xff" + times("ü", 2046)},
    };
    for (const Case& c : cases) {
        const ProfileFile ini = ProfileFile::Parse("[S]\nk=" + c.value + "\n");
        EXPECT_EQ(ini.Get("S", "k"), std::optional<std::string>(c.expected)) << c.what;
    }
}

TEST(ProfileFile, SetReplacesAppendsAndKeepsUnknownLines) {
    ProfileFile ini = ProfileFile::Parse(
        "; settings\r\n"
        "[Timer]\r\n"
        "HOUR=1\r\n"
        "Unknown=keep me\r\n"
        "\r\n"
        "[Other]\r\n"
        "x=y\r\n");
    ini.Set("timer", "Hour", "10");
    ini.Set("Timer", "Minutes", "5");
    ini.Set("Log", "Location", "");
    ini.Set("Log", "Run history max items", "256");
    EXPECT_EQ(ini.Text(),
              "; settings\r\n"
              "[Timer]\r\n"
              "Hour=10\r\n"
              "Unknown=keep me\r\n"
              "Minutes=5\r\n"
              "\r\n"
              "[Other]\r\n"
              "x=y\r\n"
              "[Log]\r\n"
              "Location=\r\n"
              "Run history max items=256\r\n");
    EXPECT_EQ(ini.Get("Log", "Location"), std::optional<std::string>(""));
}

TEST(ProfileFile, ALineBreakInAValueCannotMakeNewKeys) {
    ProfileFile ini;
    ini.Set("S", "path", "a\r\n[Evil]\nk=v");
    EXPECT_EQ(ini.Get("Evil", "k"), std::nullopt);
    EXPECT_EQ(ini.Get("S", "path"), std::optional<std::string>("a  [Evil] k=v"));
}

TEST(ProfileFile, SaveAndLoadKeepEverything) {
    test::TempDrives drives("c");
    test::WriteFile(drives.HostRoot('c') + "/velmora.ini",
                    "[Destination]\nAllowed drive=All\n[Plugins]\nfoo=bar\n");
    ProfileFile ini = ProfileFile::Load(DrivePath("c:\\velmora.ini"));
    ini.Set("Destination", "Allowed drive", "e");
    ini.Set("Timer", "X", "8");
    ASSERT_TRUE(ini.Save(DrivePath("c:\\velmora.ini")));

    const ProfileFile again = ProfileFile::Load(DrivePath("c:\\velmora.ini"));
    EXPECT_EQ(again.Get("destination", "allowed drive"), std::optional<std::string>("e"));
    EXPECT_EQ(again.Get("Plugins", "foo"), std::optional<std::string>("bar"));
    EXPECT_EQ(again.Get("Timer", "X"), std::optional<std::string>("8"));
    EXPECT_EQ(test::ReadTree(drives.HostRoot('c')).size(), 1u);
}

TEST(ProfileFile, MissingFileIsEmptyAndFailedSaveKeepsTheOld) {
    test::TempDrives drives("c");
    EXPECT_EQ(ProfileFile::Load(DrivePath("c:\\missing.ini")).Text(), "");
    test::WriteFile(drives.HostRoot('c') + "/locked.ini", "[A]\nk=1\n", std::nullopt, 0444);
    ProfileFile ini = ProfileFile::Load(DrivePath("c:\\locked.ini"));
    ini.Set("A", "k", "2");
    EXPECT_FALSE(ini.Save(DrivePath("c:\\locked.ini")));
    EXPECT_EQ(test::ReadFile(drives.HostRoot('c') + "/locked.ini"), "[A]\nk=1\n");
    EXPECT_FALSE(ini.Save(DrivePath("c:\\no\\such\\folder.ini")));
}

}  // namespace
}  // namespace vlm
