#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::MakeDir;
using test::SetMode;
using test::TempDrives;

struct FolderCase {
    const char* what;
    ProgramFolderFacts facts;
    const char* expected;
};

TEST(ProgramFolderTest, TheDecisionFollowsTheExecutablesFolderThenTheXdgRules) {
    const FolderCase cases[] = {
        {"a build folder keeps its files beside the program",
         {HostPath("/home/ann/velmora/build"), true, "/home/ann/data", "/home/ann"},
         "/home/ann/velmora/build"},
        {"a writable folder wins even without HOME",
         {HostPath("/opt/velmora"), true, "", ""},
         "/opt/velmora"},
        {"an installed program uses XDG_DATA_HOME",
         {HostPath("/usr/bin"), false, "/home/ann/data", "/home/ann"},
         "/home/ann/data/velmora"},
        {"a trailing slash of XDG_DATA_HOME is not doubled",
         {HostPath("/usr/bin"), false, "/home/ann/data/", "/home/ann"},
         "/home/ann/data/velmora"},
        {"without XDG_DATA_HOME the default below HOME",
         {HostPath("/usr/bin"), false, "", "/home/ann"},
         "/home/ann/.local/share/velmora"},
        {"a relative XDG_DATA_HOME is ignored, as the XDG rules say",
         {HostPath("/usr/bin"), false, "data", "/home/ann"},
         "/home/ann/.local/share/velmora"},
        {"root's home is the root folder",
         {HostPath("/usr/bin"), false, "", "/"},
         "/.local/share/velmora"},
        {"nothing to decide from", {HostPath("/usr/bin"), false, "", ""}, ""},
        {"a relative HOME is no home", {HostPath("/usr/bin"), false, "", "ann"}, ""},
    };
    for (const FolderCase& c : cases)
        EXPECT_EQ(ChooseProgramFolder(c.facts).Text(), c.expected) << c.what;
}

// Real folders: the permission bits count also for root (the tests run as root in CI), and /usr
// is never a program folder, whatever its bits.
TEST(ProgramFolderTest, OnlyAFolderWithItsWriteBitOutsideUsrMayHoldTheProgramsFiles) {
    TempDrives drives("c");
    const std::string writable = drives.Base() + "/build";
    const std::string readOnly = drives.Base() + "/installed/bin";
    MakeDir(writable);
    MakeDir(readOnly);
    SetMode(readOnly, 0555);

    struct WriteCase {
        std::string folder;
        bool expected;
    };
    const WriteCase cases[] = {
        {writable, true},           {writable + "/", true},
        {readOnly, false},          {drives.Base() + "/missing", false},
        {"/usr/bin", false},        {"/usr", false},
        {"relative/folder", false}, {"", false},
    };
    for (const WriteCase& c : cases)
        EXPECT_EQ(ProgramMayWriteFolder(HostPath(c.folder)), c.expected) << "'" << c.folder << "'";
    SetMode(readOnly, 0755);
}

TEST(ProgramFolderTest, TheInstalledDocFolderIsBesideTheBinFolder) {
    EXPECT_EQ(InstalledDocFolder(HostPath("/usr/bin")).Text(), "/usr/share/doc/velmora");
    EXPECT_EQ(InstalledDocFolder(HostPath("/opt/v/bin/")).Text(), "/opt/v/share/doc/velmora");
}

}  // namespace
}  // namespace vlm
