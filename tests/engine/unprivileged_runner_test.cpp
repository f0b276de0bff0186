// velmora-run started by an ordinary user, as a script or a system schedule starts it: root
// writes everywhere and so hides what a person meets, a disk mounted under a folder of root's, a
// backup folder made read-only above the folders the run writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/media_image.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

// Root's folders as a person finds them: each may be entered by anyone; only `open` folders may
// be written by anyone.
void Permit(const std::vector<std::string>& folders, const std::vector<std::string>& open) {
    for (const std::string& folder : folders)
        test::SetMode(folder, 0755);
    for (const std::string& folder : open)
        test::SetMode(folder, 0777);
}

struct Ended {
    int exitCode = -1;
    std::string printed;  // standard output and standard error
};

// velmora-run on l:\p.vlm as the user nobody, with a program folder nobody may write in.
Ended RunAsNobody(EngineRig& rig, const std::string& drives) {
    const std::string l = rig.drives.HostRoot('l');
    test::WriteDrivesIni(l, rig.drives, drives);
    Permit({rig.drives.Base(), rig.Src(), rig.Src("src")}, {l});
    test::SetMode(l + "/p.vlm", 0644);
    test::SetMode(l + "/drives.ini", 0644);
    const std::string output = rig.drives.Base() + "/printed.txt";
    const pid_t pid = test::StartProgram(
        {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", test::BuiltRunner(),
         l + "/p.vlm", "--program-folder", l, "--log-level", "normal"},
        {output, ""});
    Ended ended;
    ended.exitCode = test::WaitForExit(pid, 120);
    ended.printed = test::ReadFile(output);
    return ended;
}

// The folder a run writes decides, not the folders above it: a run into a writable folder under
// one of root's runs; a run that must make its folder where it may not is refused at the start.
TEST(UnprivilegedRunnerTest, TheFolderTheRunWritesIsJudgedNotTheOnesAboveIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start the runner as another user";
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner()));
    struct Case {
        const char* name;
        std::function<void(EngineRig&, ProjectFields&)> arrange;
        std::string copy;  // host path below Base() where a.txt must be; empty: refused
    };
    const std::vector<Case> cases = {
        {"synchronised into a writable folder on a drive of root's",
         [](EngineRig& rig, ProjectFields& fields) {
             rig.drives.Pin('m');
             test::MakeDir(rig.drives.HostRoot('m') + "/usb");
             Permit({rig.drives.HostRoot('m')}, {rig.drives.HostRoot('m') + "/usb"});
             fields.sync = true;
             fields.syncdest = "m:\\usb";
         },
         "m/usb/a.txt"},
        {"the item's folder writable below a read-only per-drive folder",
         [](EngineRig& rig, ProjectFields&) {
             test::MakeDir(rig.Dst("VLMcopy_drive_c/src"));
             Permit({rig.Dst()}, {rig.Dst("VLMcopy_drive_c/src")});
             test::SetMode(rig.Dst("VLMcopy_drive_c"), 0555);
         },
         "e/VLMcopy_drive_c/src/a.txt"},
        {"the item's folder still to be made in a read-only per-drive folder",
         [](EngineRig& rig, ProjectFields&) {
             test::MakeDir(rig.Dst("VLMcopy_drive_c"));
             Permit({rig.Dst()}, {});
             test::SetMode(rig.Dst("VLMcopy_drive_c"), 0555);
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteFile(rig.Src("src/a.txt"), "alpha", kOld);
        ProjectFields fields = EngineRig::Fields({"c:\\src"});
        c.arrange(rig, fields);
        rig.Project(fields);

        const Ended ended = RunAsNobody(rig, fields.sync ? "celm" : "cel");

        const bool refused =
            ended.printed.find("FATAL ERROR: Nothing can be written to ") != std::string::npos;
        EXPECT_EQ(refused, c.copy.empty()) << ended.printed;
        EXPECT_EQ(ended.exitCode, c.copy.empty() ? 1 : 0) << ended.printed;
        if (!c.copy.empty()) {
            EXPECT_EQ(test::ReadFile(rig.drives.Base() + "/" + c.copy), "alpha");
        }
    }
}

// A destination whose file system is mounted read-only is refused with its one line, for an
// ordinary user as for root.
TEST(UnprivilegedRunnerTest, AReadOnlyFileSystemIsStillTheOneFatalLine) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start the runner as another user";
    EngineRig rig;
    test::MediaImage image(test::MediumKind::Ext4, rig.Dst(), "VLMTEST", true);
    if (!image.Mounted())
        GTEST_SKIP() << image.Skip();
    test::WriteFile(rig.Src("src/a.txt"), "alpha", kOld);
    rig.Project(EngineRig::Fields({"c:\\src"}));

    const Ended ended = RunAsNobody(rig, "cel");

    EXPECT_EQ(ended.exitCode, 1);
    const std::string fatal =
        "FATAL ERROR: Nothing can be written to e:\\VLMcopy_drive_c\\src: the ext4 file system at ";
    const std::size_t at = ended.printed.find(fatal);
    ASSERT_NE(at, std::string::npos) << ended.printed;
    EXPECT_NE(ended.printed.find("(Read-only file system)!", at), std::string::npos)
        << ended.printed;
    // Its one line (and its box); no other fatal line, no question about any file.
    EXPECT_EQ(ended.printed.find("\nFATAL ERROR", at + fatal.size()), std::string::npos)
        << "more than the one fatal line: " << ended.printed;
}

// A destination that is no drive path (a drive box left holding "e", without its colon) is
// named in every line as the project gave it, never as nothing.
TEST(UnprivilegedRunnerTest, ADestinationThatIsNoDrivePathIsQuotedAsGiven) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to start the runner as another user";
    struct Case {
        const char* name;
        std::string item;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"a folder item", "c:\\src",
         "FATAL ERROR: Unable to create directory e\\VLMcopy_drive_c\\src"},
        {"a file item", "c:\\src\\a.txt",
         "FATAL ERROR: Unable to create directory for e\\VLMcopy_drive_c\\src\\a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteFile(rig.Src("src/a.txt"), "alpha", kOld);
        ProjectFields fields = EngineRig::Fields({c.item});
        fields.destdrive = "e";
        rig.Project(fields);
        Permit({rig.Dst()}, {rig.Dst()});

        const Ended ended = RunAsNobody(rig, "cel");

        EXPECT_EQ(ended.exitCode, 1);
        EXPECT_NE(ended.printed.find(c.line + "\n"), std::string::npos) << ended.printed;
        EXPECT_EQ(ended.printed.find("directory \n"), std::string::npos) << ended.printed;
        EXPECT_EQ(ended.printed.find("directory for \n"), std::string::npos) << ended.printed;
        EXPECT_TRUE(test::ReadTree(rig.Dst()).empty()) << "something was written";
    }
}

}  // namespace
}  // namespace vlm
