// Whole runs over trees built to hurt a backup: links where the mirror's folders belong, names
// the drive-path model cannot hold as they are, times outside the packed range, private files,
// folders that cannot be entered, a second run on the same destination. Each case states what
// the backup must look like afterwards and what the run must have said.

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "engine/copy_pass.h"
#include "engine_rig.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/folder_lock.h"
#include "platform/path_translation.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1500000000;

mode_t ModeOf(const std::string& hostPath) {
    struct stat st {};
    EXPECT_EQ(::lstat(hostPath.c_str(), &st), 0) << hostPath;
    return st.st_mode & 07777;
}

struct timespec MtimeOf(const std::string& hostPath) {
    struct stat st {};
    EXPECT_EQ(::lstat(hostPath.c_str(), &st), 0) << hostPath;
    return st.st_mtim;
}

std::string RunProject(EngineRig& rig, const std::vector<std::string>& items,
                       bool longnames = false) {
    auto fields = EngineRig::Fields(items);
    fields.longnames = longnames;
    const std::string project = rig.Project(fields);
    rig.view.allReportLines.clear();
    rig.engine.run(project);
    return rig.engine.Outcome().value_or("<open row>");
}

// ---- Nothing below the destination's chosen folder is ever followed ----

TEST(DestinationLinks, ALinkWhereAMirrorFolderBelongsIsReplacedNeverWrittenThrough) {
    struct Case {
        const char* name;
        const char* link;  // below e:, where the run will find a link to elsewhere/
        const char* line;  // the line that names the link removed
    } cases[] = {
        {"per-drive folder", "VLMcopy_drive_c",
         "Removed link in place of a folder: e:\\VLMcopy_drive_c"},
        {"item folder", "VLMcopy_drive_c/s",
         "Removed link in place of a folder: e:\\VLMcopy_drive_c\\s"},
        // Inside the item the removal pass meets it first: a link is no folder of the source's.
        {"folder inside the item", "VLMcopy_drive_c/s/sub",
         "Removed file: e:\\VLMcopy_drive_c\\s\\sub"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteFile(rig.Src("s/sub/a.txt"), "a", kOld);
        test::WriteFile(rig.Src("s/b.txt"), "b", kOld);
        // What the link points at: a folder of the person's that no run may touch.
        test::WriteFile(rig.Dst("elsewhere/precious.txt"), "keep me", kOld);
        test::MakeDir(rig.Dst(std::string(c.link).substr(0, std::string(c.link).rfind('/') + 1)));
        test::MakeSymlink(rig.Dst("elsewhere"), rig.Dst(c.link));

        EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
        EXPECT_TRUE(rig.Reported(c.line));
        EXPECT_EQ(test::ReadTree(rig.Dst("elsewhere")).size(), 1u);
        EXPECT_EQ(test::ReadFile(rig.Dst("elsewhere/precious.txt")), "keep me");
        EXPECT_EQ(test::ReadTree(rig.Dst("VLMcopy_drive_c/s")), test::ReadTree(rig.Src("s")));
    }
}

TEST(DestinationLinks, ASynchronisationDestinationThatIsALinkIsReplaced) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    test::WriteFile(rig.Dst("elsewhere/precious.txt"), "keep me", kOld);
    test::MakeSymlink(rig.Dst("elsewhere"), rig.Dst("mirror"));
    auto fields = EngineRig::Fields({"c:\\s"});
    fields.sync = true;
    fields.syncdest = "e:\\mirror";
    const std::string project = rig.Project(fields);
    rig.engine.run(project);
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_TRUE(rig.Reported("Removed link in place of a folder: e:\\mirror"));
    EXPECT_EQ(test::ReadFile(rig.Dst("elsewhere/precious.txt")), "keep me");
    EXPECT_EQ(test::ReadFile(rig.Dst("mirror/a.txt")), "a");
}

TEST(DestinationLinks, ADestinationOnABindMountOfTheSourceIsNesting) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    const std::string bound = rig.drives.Base() + "/bound";
    test::MakeDir(bound);
    if (::mount(rig.Src("s").c_str(), bound.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts are not permitted here";
    rig.drives.PinTo('e', bound);
    const std::string path = "l:\\p.vlm";
    ASSERT_TRUE(WriteProjectFile(DrivePath(path), EngineRig::Fields({"c:\\s"})));
    const OpenRunOutcome opened =
        CheckProjectForRun(path, rig.settings.BackupLocation, rig.handOver);
    ::umount2(bound.c_str(), MNT_DETACH);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(*opened.error, NestingForbiddenText("c:\\s", "e:\\VLMcopy_drive_c\\s"));
}

TEST(DamagedPins, APinHoldingAControlCharacterIsNoDrive) {
    for (const std::string& damage : {std::string("\0\0\0", 3), std::string("\x1b"),
                                      std::string("\x01"), std::string("\x1f")}) {
        const std::string ini = "[Drives]\ns=/data/photos" + damage + "\nt=/data/ok\n";
        const DriveTable table = DriveTable::Build(ini, {HostPath("/media/usb")});
        EXPECT_FALSE(table.RootOf('s').has_value());
        EXPECT_EQ(table.RootOf('t'), std::optional<std::string>("/data/ok"));
        // No volume takes the damaged letter's place: it reads as a drive not present.
        EXPECT_EQ(table.RootOf('d'), std::optional<std::string>("/media/usb"));
        for (char letter = 'e'; letter <= 'z'; ++letter) {
            if (letter != 's' && letter != 't') {
                EXPECT_FALSE(table.RootOf(letter).has_value()) << letter;
            }
        }
        EXPECT_FALSE(IsSoundSourcePath("c:\\data\\photos" + damage));
    }
}

// ---- No file left out while the run says "OK" ----

TEST(SilentLoss, NamesTheDrivePathModelMapsAreAllBackedUp) {
    EngineRig rig;
    const std::vector<std::string> names = {
        "back\\slash", "co:lon", "st*r",        "qu?",       "quo\"te",
        "<angle>",     "pi|pe",  "line\nbreak", "tab\there", ".~vlmnotes.tmp",
    };
    for (const std::string& name : names)
        test::WriteFile(rig.Src("s/" + name), name, kOld);
    // A host name that already holds a stand-in would meet "back\slash" at one drive name.
    test::WriteFile(rig.Src("s/back" + std::string(kBackslashStandIn) + "slash"), "x", kOld);

    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "Error");
    for (const std::string& name : names)
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/" + name)), name);
    EXPECT_FALSE(
        test::Exists(rig.Dst("VLMcopy_drive_c/s/back" + std::string(kBackslashStandIn) + "slash")));
    EXPECT_EQ(rig.ReportedStartingWith("ERROR: c:\\s\\back").size(), 1u);

    // The next run finds every copy unchanged and keeps it.
    test::RemoveTree(rig.Src("s/back" + std::string(kBackslashStandIn) + "slash"));
    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    EXPECT_TRUE(rig.ReportedStartingWith("Removed").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("Overwritten").empty());
}

TEST(SilentLoss, TwoSourceNamesNeverBecomeOneDestinationName) {
    const std::string longA = std::string(127, 'L') + "aaa";
    const std::string longB = std::string(127, 'L') + "bbb";
    struct Case {
        const char* name;
        std::vector<std::string> files;
        std::string kept;     // the destination name and the source whose content it holds
        std::string refused;  // the source name that is not copied
    } cases[] = {
        {"cleaned name meets a plain one", {"a*b", "ab"}, "ab", "a*b"},
        {"two cut names", {longA, longB}, std::string(127, 'L'), longB},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        for (const std::string& file : c.files)
            test::WriteFile(rig.Src("s/" + file), file, kOld);
        EXPECT_EQ(RunProject(rig, {"c:\\s"}, true), "Error");
        const std::string keptContent = c.kept == "ab" ? "ab" : longA;
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/" + c.kept)), keptContent);
        const auto refusals = rig.ReportedStartingWith("ERROR: c:\\s\\");
        ASSERT_EQ(refusals.size(), 1u);
        EXPECT_NE(refusals[0].find(" not copied!"), std::string::npos) << refusals[0];
        // Run after run the same file is refused: the kept copy is never overwritten.
        EXPECT_EQ(RunProject(rig, {"c:\\s"}, true), "Error");
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/" + c.kept)), keptContent);
    }
}

// With the name checks on, the copy under the cleaned name is that file's: the next run
// neither removes nor copies it again.
TEST(SilentLoss, ACopyUnderItsCleanedNameStays) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/in:folder.txt"), "x", kOld);
    EXPECT_EQ(RunProject(rig, {"c:\\s"}, true), "OK");
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/infolder.txt")), "x");
    EXPECT_EQ(RunProject(rig, {"c:\\s"}, true), "OK");
    EXPECT_TRUE(rig.ReportedStartingWith("Removed file: ").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("Created file: ").empty());
}

TEST(SilentLoss, ChangesOfFilesDatedOutsideThePackedRangeAreSeen) {
    for (const std::time_t when :
         {std::time_t(1), std::time_t(-86400 * 400), std::time_t(4200000000)}) {
        SCOPED_TRACE(when);
        EngineRig rig;
        test::WriteFile(rig.Src("s/build.o"), "first", when);
        EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
        EXPECT_EQ(MtimeOf(rig.Dst("VLMcopy_drive_c/s/build.o")).tv_sec, when);
        // Same size, another time still outside the range: a change all the same.
        test::WriteFile(rig.Src("s/build.o"), "again", when + 4);
        EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/build.o")), "again");
    }
}

TEST(SilentLoss, CopiesCarryExactTimesAndPermissionBits) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/id_rsa"), "secret", kOld, 0600);
    test::WriteFile(rig.Src("s/script.sh"), "#!/bin/sh", kOld, 0755);
    test::WriteFile(rig.Src("s/frozen.txt"), "ro", kOld, 0444);
    test::WriteFile(rig.Src("s/private/inner.txt"), "in", kOld, 0640);
    test::SetMode(rig.Src("s/private"), 0700);
    struct timespec exact[2] = {{0, UTIME_OMIT}, {kOld + 1, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, rig.Src("s/id_rsa").c_str(), exact, 0), 0);

    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    const std::string d = rig.Dst("VLMcopy_drive_c/s/");
    EXPECT_EQ(ModeOf(d + "id_rsa"), 0600u);
    EXPECT_EQ(ModeOf(d + "script.sh"), 0755u);
    EXPECT_EQ(ModeOf(d + "private"), 0700u);
    EXPECT_EQ(ModeOf(d + "private/inner.txt"), 0640u);
    // A read-only original gives a copy its owner can still replace at the next change.
    EXPECT_EQ(ModeOf(d + "frozen.txt"), 0644u);
    EXPECT_EQ(MtimeOf(d + "id_rsa").tv_nsec, 123456789);
    test::WriteFile(rig.Src("s/frozen.txt"), "RO!", kOld + 10, 0444);
    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    EXPECT_EQ(test::ReadFile(d + "frozen.txt"), "RO!");
}

// Bits the backup's owner cannot use still reach the copy: a file nobody may read keeps its copy
// as closed as the owner-write rule allows, and a folder its owner may not list gets a copy its
// owner can list, so that later runs can still mirror and remove what is inside.
TEST(SilentLoss, ClosedFilesAndUnlistableFoldersKeepAUsableBackup) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/key"), "secret", kOld, 0644);
    test::WriteFile(rig.Src("s/box/inner.txt"), "in", kOld, 0644);
    ASSERT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    test::SetMode(rig.Src("s/key"), 0);
    test::SetMode(rig.Src("s/box"), 0300);

    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    const std::string d = rig.Dst("VLMcopy_drive_c/s/");
    EXPECT_EQ(ModeOf(d + "key"), 0200u);
    EXPECT_EQ(ModeOf(d + "box"), 0700u);
}

// A run that a failure stops ends "Error", not "Cancelled" (nobody cancelled), and a run whose
// result is "Error" counts at least one error in its summary.
TEST(WrongResults, FailuresMakeAnErrorResultAndAreCounted) {
    struct Case {
        const char* name;
        std::function<void(EngineRig&)> arrange;
    };
    const Case cases[] = {
        {"a read-only copy to replace stops the run",
         [](EngineRig& rig) {
             test::WriteFile(rig.Dst("VLMcopy_drive_c/s/a.txt"), "old", kOld, 0444);
             test::WriteFile(rig.Src("s/a.txt"), "new text", kOld + 10);
         }},
        {"a name no drive path can hold",
         [](EngineRig& rig) {
             test::WriteFile(rig.Src("s/x" + std::string(kBackslashStandIn) + "y"), "x", kOld);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.view.level = LogLevel::Normal;
        test::WriteFile(rig.Src("s/keep.txt"), "k", kOld);
        c.arrange(rig);
        EXPECT_EQ(RunProject(rig, {"c:\\s"}), "Error");
        EXPECT_TRUE(rig.ReportedStartingWith("Summary: errors: 0").empty());
        EXPECT_EQ(rig.ReportedStartingWith("Summary: errors: ").size(), 1u);
    }
}

TEST(SilentLoss, EntriesThatCannotBeExaminedAreReported) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/closed/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("s/open.txt"), "open", kOld);
    // Listed but not entered: the names can be read, their attributes cannot.
    test::SetMode(rig.Src("s/closed"), 0744);
    const auto project = rig.Project(EngineRig::Fields({"c:\\s"}));
    // Root reads every folder: the walk then runs as another user.
    for (const std::string& folder : {rig.drives.Base(), rig.Src(), rig.Src("s"), rig.Dst(),
                                      rig.drives.HostRoot('l'), rig.drives.Host("l:\\p.vlm")})
        test::SetMode(folder, 0777);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        rig.engine.run(project);
        const bool reported =
            !rig.ReportedStartingWith(
                    "ERROR: Unable to read the attributes of c:\\s\\closed\\new.txt")
                 .empty();
        ::_exit(rig.engine.Outcome() == std::optional<std::string>("Error") && reported ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    test::SetMode(rig.Src("s/closed"), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unreadable entry passed without an error";
}

TEST(SilentLoss, TemporariesOfAKilledRunGoButThePersonsFilesStay) {
    EngineRig rig;
    test::WriteFile(rig.Src("one.txt"), "one", kOld);
    // What a run killed while copying the single file item left beside its copy.
    test::WriteFile(rig.Dst("VLMcopy_drive_c/.~vlm0123456789ab.tmp"), "half", kOld);
    EXPECT_EQ(RunProject(rig, {"c:\\one.txt"}), "OK");
    EXPECT_TRUE(rig.Reported("Removed file: e:\\VLMcopy_drive_c\\.~vlm0123456789ab.tmp"));
    EXPECT_EQ(test::ReadTree(rig.Dst("VLMcopy_drive_c")).size(), 1u);
}

TEST(SilentLoss, AnItemThatChangedKindEndsWithACompletedErrorRow) {
    for (const bool becameFile : {true, false}) {
        SCOPED_TRACE(becameFile ? "folder became a file" : "file became a folder");
        EngineRig rig;
        if (becameFile) {
            test::WriteFile(rig.Src("item"), "now a file", kOld);
            test::WriteFile(rig.Dst("VLMcopy_drive_c/item/old.txt"), "old", kOld);
        } else {
            test::WriteFile(rig.Src("item/inner.txt"), "now a folder", kOld);
            test::WriteFile(rig.Dst("VLMcopy_drive_c/item"), "old file", kOld);
        }
        EXPECT_EQ(RunProject(rig, {"c:\\item"}), "Error");
        EXPECT_FALSE(rig.ReportedStartingWith("FATAL ERROR: ").empty());
        ASSERT_FALSE(rig.history.Rows().empty());
        EXPECT_EQ(rig.history.Rows().front().subItems.back(), "Error");
    }
}

TEST(SilentLoss, AFileGoneDuringTheRunIsReportedNotFailed) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    test::WriteFile(rig.Src("s/b.txt"), "b", kOld);
    const auto project = rig.Project(EngineRig::Fields({"c:\\s"}));
    rig.view.onReportLine = [&](const std::string& line) {
        if (line == "Created file: e:\\VLMcopy_drive_c\\s\\a.txt")
            ::unlink(rig.Src("s/b.txt").c_str());
    };
    rig.engine.run(project);
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_TRUE(rig.Reported("File vanished before it could be copied: c:\\s\\b.txt"));
    EXPECT_TRUE(rig.dialogs.Texts().empty());
}

TEST(SilentLoss, AFolderKeptByAReadOnlyFolderInsideIsNoSuccess) {
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("VLMcopy_drive_c/s/old/locked/x.txt"), "x", kOld);
    test::SetMode(rig.Dst("VLMcopy_drive_c/s/old/locked"), 0555);
    // The source is empty: emptying the backup is asked first.
    rig.dialogs.ExpectQuestion(BoxType::Warning, "WARNING: This run would remove 1 of the 1 files",
                               Answer::Yes);
    rig.dialogs.ExpectQuestion(BoxType::Error, "Fatal ERROR: e:\\VLMcopy_drive_c\\s\\old\\locked",
                               Answer::Yes);
    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "Error");
    EXPECT_TRUE(
        rig.Reported("Fatal ERROR: e:\\VLMcopy_drive_c\\s\\old\\locked not deleted as it "
                     "is READONLY!"));
    rig.dialogs.ExpectQuestion(BoxType::Error, "Fatal ERROR: e:\\VLMcopy_drive_c\\s\\old\\locked",
                               Answer::Yes);
    EXPECT_EQ(RunProject(rig, {"c:\\s"}),
              "Error");  // and so on, until the person makes it writable
    test::SetMode(rig.Dst("VLMcopy_drive_c/s/old/locked"), 0755);
    EXPECT_EQ(RunProject(rig, {"c:\\s"}), "OK");
    EXPECT_TRUE(test::ReadTree(rig.Dst("VLMcopy_drive_c/s")).empty());
}

// ---- One run per destination ----

TEST(ConcurrentRuns, ASecondRunIntoTheSameDestinationIsRefusedAtOnce) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    const auto project = rig.Project(EngineRig::Fields({"c:\\s"}));
    // A second window of the same program, with its own report and history.
    FakeRunView otherView;
    RunState otherRun;
    RunHistory otherHistory;
    RunLog otherLog{&otherView, otherRun, rig.handOver, "l:"};
    RunEngine other{otherView, rig.pump,     otherRun,    rig.handOver,
                    otherLog,  rig.settings, otherHistory};
    const RunRequest& request = rig.opened.at(project);
    bool started = false;
    rig.view.onReportLine = [&](const std::string& line) {
        if (!started && line.rfind("WORKING ON ITEM", 0) == 0) {
            started = true;
            other.run(request);
        }
    };
    rig.engine.run(project);
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_EQ(other.Outcome(), std::optional<std::string>("Error"));
    const std::string refusal =
        "ERROR: Another run is writing to e:\\VLMcopy_drive_c now! This run does not start; "
        "please run it again when the other one has ended.";
    const auto& lines = otherView.allReportLines;
    EXPECT_NE(std::find(lines.begin(), lines.end(), refusal), lines.end());
    // Once the first run has ended, the destination is free again.
    other.run(request);
    EXPECT_EQ(other.Outcome(), std::optional<std::string>("OK"));
}

TEST(ConcurrentRuns, AKilledHolderLeavesNoLockBehind) {
    EngineRig rig;
    test::MakeDir(rig.Dst("VLMcopy_drive_c"));
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        FolderLock lock;
        const bool locked =
            lock.TryLock(DrivePath("e:\\VLMcopy_drive_c")) == FolderLock::Result::Locked;
        (void)!::write(ready[1], locked ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    FolderLock mine;
    EXPECT_EQ(mine.TryLock(DrivePath("e:\\VLMcopy_drive_c")), FolderLock::Result::HeldElsewhere);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(mine.TryLock(DrivePath("e:\\VLMcopy_drive_c")), FolderLock::Result::Locked);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
}  // namespace vlm
