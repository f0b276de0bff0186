// The settings file: defaults, the value types, the keys written at close, and a failed write.

#include "core/app_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile_file.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr const char* kIni = "c:\\prog\\velmora.ini";

struct SettingsFolder {
    test::TempDrives drives{"c"};
    SettingsFolder() { test::MakeDir(drives.Host("c:\\prog")); }
    void Write(const std::string& text) const { test::WriteFile(drives.Host(kIni), text); }
    std::string Read() const { return test::ReadFile(drives.Host(kIni)); }
    AppSettings Load() const { return LoadSettings(DrivePath(kIni), DrivePath("c:\\prog")); }
};

TEST(AppSettingsTest, NoFileGivesTheDefaults) {
    SettingsFolder folder;
    const AppSettings s = folder.Load();
    EXPECT_EQ(s.AllowedDrive, "All");
    EXPECT_EQ(s.BackupLocation, "c:\\prog");
    EXPECT_EQ(s.ProjectsLocation, "c:\\prog");
    EXPECT_EQ(s.LogLocation, "c:\\prog");
    EXPECT_EQ(s.RunHistoryMax, 256u);
    EXPECT_EQ(s.BackgroundPicture, "");
    EXPECT_EQ(s.TimerProject, "");
    EXPECT_EQ(s.TimerHour, 0);
    EXPECT_EQ(s.TimerMinute, 0);
    EXPECT_FALSE(s.TimerActivate);
    EXPECT_FALSE(s.TimerShow);
    EXPECT_EQ(s.TimerPanelX, 8);
    EXPECT_EQ(s.TimerPanelY, 8);
    EXPECT_FALSE(s.LaunchRun);
    EXPECT_FALSE(s.ShowSyncOption);
    EXPECT_FALSE(s.ShowDirSizes);
    EXPECT_TRUE(s.MassDeleteGuard);
    EXPECT_EQ(s.MassDeletePercent, 50u);
    EXPECT_EQ(s.MassDeleteLeastFiles, 20u);
    EXPECT_FALSE(test::Exists(folder.drives.Host(kIni)));  // loading never creates the file
}

TEST(AppSettingsTest, SaveOfTheDefaultsWritesEveryKeyInOrder) {
    SettingsFolder folder;
    ASSERT_TRUE(SaveSettings(folder.Load(), DrivePath(kIni)).ok);
    EXPECT_EQ(folder.Read(),
              "[Destination]\r\n"
              "Allowed drive=All\r\n"
              "Backup location=c:\\prog\r\n"
              "[Projects]\r\n"
              "Location=c:\\prog\r\n"
              "[Log]\r\n"
              "Location=c:\\prog\r\n"
              "Run history max items=256\r\n"
              "[Timer]\r\n"
              "Timer-vlm=\r\n"
              "Hour=0\r\n"
              "Minutes=0\r\n"
              "X=8\r\n"
              "Y=8\r\n"
              "Show=0\r\n"
              "Activate=0\r\n"
              "Launch run=0\r\n"
              "[Project editor]\r\n"
              "Show sync option=0\r\n"
              "Show dir sizes=0\r\n"
              "[Environment]\r\n"
              "Picture big background=\r\n"
              "[Safety]\r\n"
              "Mass deletion guard=1\r\n"
              "Mass deletion percentage=50\r\n"
              "Mass deletion least files=20\r\n");
}

TEST(AppSettingsTest, EveryFieldSurvivesASaveAndALoad) {
    SettingsFolder folder;
    AppSettings s = folder.Load();
    s.AllowedDrive = "e";
    s.BackupLocation = "e:\\Backups";
    s.ProjectsLocation = "c:\\Projects";
    s.LogLocation = "c:\\Logs";
    s.RunHistoryMax = 10;
    s.BackgroundPicture = "c:\\pics\\sea.jpg";
    s.TimerProject = "c:\\Projects\\daily.vlm";
    s.TimerHour = 23;
    s.TimerMinute = 59;
    s.TimerActivate = true;
    s.TimerShow = true;
    s.TimerPanelX = 640;
    s.TimerPanelY = 12;
    s.LaunchRun = true;
    s.ShowSyncOption = true;
    s.ShowDirSizes = true;
    s.MassDeleteGuard = false;
    s.MassDeletePercent = 75;
    s.MassDeleteLeastFiles = 100;
    ASSERT_TRUE(SaveSettings(s, DrivePath(kIni)).ok);
    const AppSettings back = folder.Load();
    EXPECT_EQ(back.AllowedDrive, "e");
    EXPECT_EQ(back.BackupLocation, "e:\\Backups");
    EXPECT_EQ(back.ProjectsLocation, "c:\\Projects");
    EXPECT_EQ(back.LogLocation, "c:\\Logs");
    EXPECT_EQ(back.RunHistoryMax, 10u);
    EXPECT_EQ(back.BackgroundPicture, "c:\\pics\\sea.jpg");
    EXPECT_EQ(back.TimerProject, "c:\\Projects\\daily.vlm");
    EXPECT_EQ(back.TimerHour, 23);
    EXPECT_EQ(back.TimerMinute, 59);
    EXPECT_TRUE(back.TimerActivate);
    EXPECT_TRUE(back.TimerShow);
    EXPECT_EQ(back.TimerPanelX, 640);
    EXPECT_EQ(back.TimerPanelY, 12);
    EXPECT_TRUE(back.LaunchRun);
    EXPECT_TRUE(back.ShowSyncOption);
    EXPECT_TRUE(back.ShowDirSizes);
    EXPECT_FALSE(back.MassDeleteGuard);
    EXPECT_EQ(back.MassDeletePercent, 75u);
    EXPECT_EQ(back.MassDeleteLeastFiles, 100u);
}

// A share outside 0 to 100 or a count below zero is no setting: the default stands.
TEST(AppSettingsTest, MassDeletionLimitsOutsideTheirRangeGiveTheDefaults) {
    struct Case {
        std::string percent, leastFiles;
        std::uint32_t expectedPercent, expectedLeastFiles;
    };
    const std::vector<Case> cases = {
        {"0", "0", 0, 0},       {"100", "5", 100, 5},     {"101", "-1", 50, 20},
        {"-5", "lots", 50, 20}, {"0x20", "0x10", 32, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent + " " + c.leastFiles);
        SettingsFolder folder;
        folder.Write("[Safety]\r\nMass deletion percentage=" + c.percent +
                     "\r\nMass deletion least files=" + c.leastFiles + "\r\n");
        const AppSettings s = folder.Load();
        EXPECT_EQ(s.MassDeletePercent, c.expectedPercent);
        EXPECT_EQ(s.MassDeleteLeastFiles, c.expectedLeastFiles);
    }
}

TEST(AppSettingsTest, NumbersAndSwitchesAsTheyAreRead) {
    struct Case {
        std::string line;  // in section [Timer]
        int hour;
        bool show;
        int x;
    };
    const std::vector<Case> cases = {
        {"Hour=0x0A", 10, false, 8},
        {"Hour=0X0a", 10, false, 8},
        {"Hour=ten", 0, false, 8},
        {"Hour=", 0, false, 8},
        {"Hour=0x", 0, false, 8},
        {"Hour=12abc", 0, false, 8},
        {"Hour=+7", 7, false, 8},
        {"Hour=99999999999", 0, false, 8},  // beyond 32 bits: no integer
        {"Hour=-1", 65535, false, 8},       // the low 16 bits, unsigned
        {"Show=2", 0, true, 8},
        {"Show=-1", 0, true, 8},
        {"Show=0", 0, false, 8},
        {"Show=yes", 0, false, 8},
        {"X=65541", 0, false, 5},  // 65536 + 5
        {"X=0x10005", 0, false, 5},
        {"X=", 0, false, 8},
    };
    for (const Case& c : cases) {
        SettingsFolder folder;
        folder.Write("[Timer]\r\n" + c.line + "\r\n");
        const AppSettings s = folder.Load();
        EXPECT_EQ(s.TimerHour, c.hour) << c.line;
        EXPECT_EQ(s.TimerShow, c.show) << c.line;
        EXPECT_EQ(s.TimerPanelX, c.x) << c.line;
    }
}

TEST(AppSettingsTest, RunHistoryMaxReadsAnUnsignedCount) {
    struct Case {
        std::string value;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"0", 0},
        {"10", 10},
        {"0x100", 256},
        {"2147483647", 2147483647u},
        // Below zero: the same 32 bits read unsigned, a very large maximum.
        {"-1", 4294967295u},
        {"-2", 4294967294u},
        {"-2147483648", 2147483648u},
        {"0xFFFFFFFF", 4294967295u},
        {"lots", 256},
        {"-4294967296", 256},  // outside 32 bits: no integer at all
    };
    for (const Case& c : cases) {
        SettingsFolder folder;
        folder.Write("[Log]\r\nRun history max items=" + c.value + "\r\n");
        EXPECT_EQ(folder.Load().RunHistoryMax, c.expected) << c.value;
    }
}

TEST(AppSettingsTest, SwitchReadAsTwoIsWrittenBackAsOne) {
    SettingsFolder folder;
    folder.Write("[Timer]\r\nShow=2\r\n");
    ASSERT_TRUE(SaveSettings(folder.Load(), DrivePath(kIni)).ok);
    EXPECT_EQ(ProfileFile::Load(DrivePath(kIni)).Get("Timer", "Show"), "1");
}

TEST(AppSettingsTest, StringsKeysAndSectionsAsTheyAreRead) {
    SettingsFolder folder;
    folder.Write(
        "[projects]\r\n"
        "LOCATION=c:\\Mine\r\n"
        "[Destination]\r\n"
        "Allowed drive=\r\n"
        "Backup location=\r\n");
    const AppSettings s = folder.Load();
    EXPECT_EQ(s.ProjectsLocation, "c:\\Mine");  // names match without case
    EXPECT_EQ(s.AllowedDrive, "");              // present but empty: not "All"
    EXPECT_EQ(s.BackupLocation, "c:\\prog");    // an empty location is the program folder
}

TEST(AppSettingsTest, LongValueIsReadAsItsFirst2047Characters) {
    SettingsFolder folder;
    const std::string value(3000, 'p');
    folder.Write("[Environment]\r\nPicture big background=" + value + "\r\n");
    EXPECT_EQ(folder.Load().BackgroundPicture, std::string(2047, 'p'));
}

TEST(AppSettingsTest, UnknownSectionsAndKeysSurviveASave) {
    SettingsFolder folder;
    folder.Write(
        "; a note someone wrote\r\n"
        "[Drives]\r\n"
        "e=/media/backup\r\n"
        "[Timer]\r\n"
        "Colour=blue\r\n"
        "Hour=5\r\n");
    AppSettings s = folder.Load();
    s.TimerHour = 6;
    ASSERT_TRUE(SaveSettings(s, DrivePath(kIni)).ok);
    const ProfileFile back = ProfileFile::Load(DrivePath(kIni));
    EXPECT_EQ(back.Get("Drives", "e"), "/media/backup");
    EXPECT_EQ(back.Get("Timer", "Colour"), "blue");
    EXPECT_EQ(back.Get("Timer", "Hour"), "6");
    EXPECT_NE(folder.Read().find("; a note someone wrote"), std::string::npos);
}

TEST(AppSettingsTest, FailedWriteNamesTheFileAndKeepsTheOldOne) {
    struct Case {
        const char* what;
        std::string path;
        bool existingReadOnly;
    };
    const std::vector<Case> cases = {
        {"missing folder", "c:\\gone\\velmora.ini", false},
        {"read-only file", kIni, true},
    };
    for (const Case& c : cases) {
        SettingsFolder folder;
        if (c.existingReadOnly) {
            test::WriteFile(folder.drives.Host(kIni), "[Timer]\r\nHour=3\r\n", std::nullopt, 0444);
        }
        AppSettings s = folder.Load();
        s.TimerHour = 9;
        const SaveResult result = SaveSettings(s, DrivePath(c.path));
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(result.message, "Unable to write to " + c.path) << c.what;
        if (c.existingReadOnly) {
            EXPECT_EQ(folder.Read(), "[Timer]\r\nHour=3\r\n") << c.what;
        }
    }
}

TEST(AppSettingsTest, DerivedPaths) {
    struct Case {
        std::string programFolder, history;
    };
    const std::vector<Case> cases = {
        {"c:\\prog", "c:\\prog\\runoverview.his"},
        {"c:\\", "c:\\runoverview.his"},  // a drive root keeps its one backslash
    };
    for (const Case& c : cases) {
        AppSettings s;
        s.ProgramFolder = DrivePath(c.programFolder);
        EXPECT_EQ(s.RunHistoryPath().Text(), c.history) << c.programFolder;
    }
    EXPECT_EQ(SettingsFilePath(DrivePath("c:\\prog\\velmora.exe")).Text(), "c:\\prog\\velmora.ini");
    EXPECT_EQ(SettingsFilePath(DrivePath("c:\\prog\\velmora")).Text(), "c:\\prog\\velmora.ini");
    EXPECT_EQ(SettingsFilePath(DrivePath("c:\\my.progs\\velmora")).Text(),
              "c:\\my.progs\\velmora.ini");
}

}  // namespace
}  // namespace vlm
