#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "platform/shell.h"
#include "platform/volumes.h"
#include "support/scoped_env.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ScopedEnv;

TEST(Volumes, PresentLettersAreMappedExistingFolders) {
    test::TempDrives drives("ce");
    drives.Pin('t', /*create=*/false);
    EXPECT_EQ(PresentDriveLetters(), "ce");
    test::MakeDir(drives.Base() + "/t");
    EXPECT_EQ(PresentDriveLetters(), "cet");
}

TEST(Volumes, SpaceOfPresentAndMissingDrives) {
    test::TempDrives drives("c");
    drives.Pin('t', /*create=*/false);
    const std::int64_t free = DiskFreeBytes('c');
    const std::int64_t total = DiskTotalBytes('C');
    EXPECT_GT(total, 0);
    EXPECT_GE(free, 0);
    EXPECT_LE(free, total);
    EXPECT_EQ(DiskFreeBytes('t'), -1);
    EXPECT_EQ(DiskTotalBytes('t'), -1);
    EXPECT_EQ(DiskFreeBytes('q'), -1);
}

TEST(Volumes, DriveTypeFollowsTheMountKind) {
    test::TempDrives drives("c");
    drives.Pin('t', /*create=*/false);
    EXPECT_EQ(GetDriveTypeCode('t'), kDriveNoRootDir);
    EXPECT_EQ(GetDriveTypeCode('q'), kDriveNoRootDir);
    const int tempType = GetDriveTypeCode('c');
    EXPECT_TRUE(tempType == kDriveFixed || tempType == kDriveRamDisk ||
                tempType == kDriveRemovable || tempType == kDriveRemote)
        << tempType;

    const std::vector<MountEntry> mounts = ReadMountTable();
    const MountEntry* shm = MountContaining(mounts, HostPath("/dev/shm"));
    if (shm == nullptr || shm->mountPoint.Text() != "/dev/shm" || shm->fsType != "tmpfs") {
        GTEST_SKIP() << "no tmpfs on /dev/shm here";
    }
    drives.PinTo('r', "/dev/shm");
    EXPECT_EQ(GetDriveTypeCode('r'), kDriveRamDisk);
}

TEST(Shell, SpecialFoldersComeFromTheUserDirectories) {
    test::TempDrives drives("h");
    const std::string home = drives.HostRoot('h') + "/alice";
    ScopedEnv homeEnv("HOME", home);
    ScopedEnv configEnv("XDG_CONFIG_HOME", home + "/.config");
    test::MakeDir(home + "/Dokumente");
    test::MakeDir(home + "/My Desk");
    test::WriteFile(home + "/.config/user-dirs.dirs",
                    "# written by xdg-user-dirs-update\n"
                    "XDG_DESKTOP_DIR=\"$HOME/My Desk\"\n"
                    "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n");
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::Personal).Text(), "h:\\alice\\Dokumente");
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::Desktop).Text(), "h:\\alice\\My Desk");
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::Home).Text(), "h:\\alice");
}

TEST(Shell, SpecialFoldersFallBackToHomeFolders) {
    test::TempDrives drives("h");
    const std::string home = drives.HostRoot('h') + "/bob";
    ScopedEnv homeEnv("HOME", home);
    ScopedEnv configEnv("XDG_CONFIG_HOME", home + "/.config");
    test::MakeDir(home + "/Documents");
    // Named in the file but missing: the fallback applies.
    test::WriteFile(home + "/.config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"/nonexistent\"\n");
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::Personal).Text(), "h:\\bob\\Documents");
    EXPECT_EQ(SpecialFolderPath(SpecialFolder::Desktop).Text(), "");
}

TEST(Shell, ProgramFileIsTheRunningExecutable) {
    const std::string host = ProgramFileHostPath().Text();
    ASSERT_FALSE(host.empty());
    EXPECT_EQ(host[0], '/');
    struct stat st {};
    EXPECT_EQ(::stat(host.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
}

// xdg-open is replaced by a script that records its arguments, one per line.
class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin_ = drives_.Base() + "/bin";
        record_ = drives_.Base() + "/record.txt";
        test::WriteFile(bin_ + "/xdg-open",
                        "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > " + record_ +
                            ".part\nmv " + record_ + ".part " + record_ + "\n",
                        std::nullopt, 0755);
        path_.emplace("PATH", bin_ + ":" + std::string(std::getenv("PATH")));
    }

    std::string WaitForRecord() {
        for (int i = 0; i < 500 && !test::Exists(record_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return test::Exists(record_) ? test::ReadFile(record_) : "(xdg-open never ran)";
    }

    test::TempDrives drives_{"c"};
    std::string bin_, record_;
    std::optional<ScopedEnv> path_;
};

TEST_F(ShellOpenTest, OpensADrivePathAsItsHostPath) {
    test::WriteFile(drives_.HostRoot('c') + "/help file; rm -rf x.chm", "");
    ASSERT_TRUE(ShellOpen("c:\\help file; rm -rf x.chm"));
    EXPECT_EQ(WaitForRecord(), drives_.HostRoot('c') + "/help file; rm -rf x.chm\n");
}

TEST_F(ShellOpenTest, PassesAWebAddressAsItIs) {
    ASSERT_TRUE(ShellOpen("https://example.org/a b?x=$(id)"));
    EXPECT_EQ(WaitForRecord(), "https://example.org/a b?x=$(id)\n");
}

TEST_F(ShellOpenTest, RefusesPathsOutsideTheDrives) {
    EXPECT_FALSE(ShellOpen("q:\\nothing"));
    EXPECT_FALSE(ShellOpen("c:\\..\\etc\\passwd"));
    EXPECT_FALSE(ShellOpen("-n"));
    EXPECT_EQ(ShellOpenFailureText(ShellOpen("q:\\nothing")), "it is not on any drive");
}

// What xdg-open says decides the message: the file is never blamed for a missing opener.
TEST_F(ShellOpenTest, AFailingOpenerIsReportedWithItsCause) {
    struct Case {
        const char* script;  // the fake xdg-open's body; nullptr: there is none on the PATH
        int startError, exitStatus;
        const char* text;
    };
    const Case cases[] = {
        {nullptr, ENOENT, 0, "there is no program to open it with (xdg-open is not installed)"},
        {"exit 3", 0, 3,
         "there is no program to open it with (exit status 3 of xdg-open: a tool it needs is "
         "not installed)"},
        {"exit 2", 0, 2, "xdg-open did not find it (exit status 2)"},
        {"exit 4", 0, 4, "the program that should open it failed (exit status 4 of xdg-open)"},
        {"exit 9", 0, 9, "xdg-open failed with exit status 9"},
        {"exit 0", 0, 0, ""},
    };
    test::WriteFile(drives_.Host("c:\\Vlmlogtmp.txt"), "log");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script ? c.script : "no xdg-open");
        const std::string bin = drives_.Base() + "/only";
        test::RemoveTree(bin);
        test::MakeDir(bin);
        if (c.script)
            test::WriteFile(bin + "/xdg-open", std::string("#!/bin/sh\n") + c.script + "\n",
                            std::nullopt, 0755);
        ScopedEnv onlyThere("PATH", bin);
        const ShellOpenResult result = ShellOpen("c:\\Vlmlogtmp.txt");
        EXPECT_EQ(result.Succeeded(), c.text[0] == '\0');
        EXPECT_EQ(result.startError, c.startError);
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_EQ(ShellOpenFailureText(result), c.text);
    }
}

// Some desktops keep xdg-open running for as long as the program it started: that is success.
TEST_F(ShellOpenTest, AnOpenerStillRunningHasHandedTheTargetOver) {
    test::WriteFile(bin_ + "/xdg-open", "#!/bin/sh\nsleep 3\nexit 4\n", std::nullopt, 0755);
    const ShellOpenResult result = ShellOpen("https://example.org/");
    EXPECT_TRUE(result.Succeeded());
    EXPECT_EQ(ShellOpenFailureText(result), "");
}

}  // namespace
}  // namespace vlm
