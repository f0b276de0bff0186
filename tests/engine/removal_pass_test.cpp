// The removal pass on real trees: what goes, what stays, and every way it refuses.

#include "engine/removal_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_rig.h"
#include "platform/host_calls.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

std::vector<std::string> Paths(const std::string& hostRoot) {
    std::vector<std::string> paths;
    for (const auto& entry : test::ReadTree(hostRoot))
        paths.push_back(entry.path);
    return paths;
}

TEST(RemovalPassTest, RemovesWhatTheSourceNoLongerHas) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/keep.txt"), "k", kOld);
    test::WriteFile(rig.Src("s/sub/keep2.txt"), "k", kOld);
    test::WriteFile(rig.Dst("d/keep.txt"), "k", kOld);
    test::WriteFile(rig.Dst("d/gone.txt"), "g", kOld);
    test::WriteFile(rig.Dst("d/.hiddengone"), "g", kOld);
    test::WriteFile(rig.Dst("d/sub/keep2.txt"), "k", kOld);
    test::WriteFile(rig.Dst("d/sub/gone2.txt"), "g", kOld);
    test::WriteFile(rig.Dst("d/oldtree/a/b.txt"), "b", kOld);
    test::WriteFile(rig.Dst("d/oldtree/c.txt"), "c", kOld);

    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));

    EXPECT_FALSE(rig.run.StopRequested);
    EXPECT_EQ(Paths(rig.Dst("d")), (std::vector<std::string>{"keep.txt", "sub", "sub/keep2.txt"}));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\gone.txt"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\.hiddengone"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\sub\\gone2.txt"));
    EXPECT_TRUE(rig.Reported("getting into dir sub from e:\\d"));
    // A whole superfluous tree goes with one line, none for what was inside it.
    EXPECT_TRUE(rig.Reported("Removed dir: e:\\d\\oldtree"));
    EXPECT_EQ(rig.ReportedStartingWith("Removed").size(), 4u);
}

TEST(RemovalPassTest, AnEmptiedSourceEmptiesTheDestinationFolderButKeepsIt) {
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/a.txt"), "a", kOld);
    test::MakeDir(rig.Dst("d/empty"));
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(Paths(rig.Dst("d")).empty());
    EXPECT_TRUE(test::Exists(rig.Dst("d")));
}

TEST(RemovalPassTest, FileAndFolderSwapsLeaveNothingOfTheOtherKind) {
    EngineRig rig;
    // The source made a folder of what was a file, and a file of what was a folder.
    test::WriteFile(rig.Src("s/wasfile/inner.txt"), "i", kOld);
    test::WriteFile(rig.Src("s/wasdir"), "now a file", kOld);
    test::WriteFile(rig.Dst("d/wasfile"), "old file", kOld);
    test::WriteFile(rig.Dst("d/wasdir/x.txt"), "x", kOld);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\wasfile"));
    EXPECT_TRUE(rig.Reported("Removed dir: e:\\d\\wasdir"));
    EXPECT_TRUE(Paths(rig.Dst("d")).empty());
}

TEST(RemovalPassTest, ConfirmationDecidesEachFileAndEachTopFolder) {
    struct Case {
        Answer answer;
        bool removed;
    };
    for (const Case& c : {Case{Answer::Yes, true}, Case{Answer::No, false}}) {
        EngineRig rig;
        rig.run.ConfirmOn = true;
        test::MakeDir(rig.Src("s"));
        test::WriteFile(rig.Dst("d/f.txt"), "f", kOld);
        test::WriteFile(rig.Dst("d/tree/x/y.txt"), "y", kOld);
        rig.dialogs.ExpectQuestion(BoxType::Confirmation,
                                   "Do you really want to delete superfluous file e:\\d\\f.txt?",
                                   c.answer);
        rig.dialogs.ExpectQuestion(BoxType::Confirmation,
                                   "Do you really want to delete COMPLETE dir e:\\d\\tree?",
                                   c.answer);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_EQ(test::Exists(rig.Dst("d/f.txt")), !c.removed);
        EXPECT_EQ(test::Exists(rig.Dst("d/tree/x/y.txt")), !c.removed);
        EXPECT_EQ(rig.Reported("deleting e:\\d\\f.txt not allowed by user"), !c.removed);
        EXPECT_EQ(rig.Reported("deleting e:\\d\\tree not allowed by user!"), !c.removed);
        EXPECT_FALSE(rig.run.StopRequested);
    }
}

TEST(RemovalPassTest, ReadOnlySuperfluousFileAsksAndYesStillTries) {
    const std::string readOnlyQuestion =
        "Fatal ERROR: e:\\d\\ro.txt not deleted as it is READONLY! Please make every item on "
        "destination writable!! Continue??";
    {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::WriteFile(rig.Dst("d/ro.txt"), "r", kOld, 0444);
        rig.dialogs.ExpectQuestion(BoxType::Error, readOnlyQuestion, Answer::No);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.Reported("Fatal ERROR: e:\\d\\ro.txt not deleted as it is READONLY!"));
        EXPECT_TRUE(rig.Reported("User stop"));
        EXPECT_TRUE(rig.run.StopRequested);
        EXPECT_TRUE(test::Exists(rig.Dst("d/ro.txt")));
    }
    for (Answer second : {Answer::Yes, Answer::No}) {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::WriteFile(rig.Dst("d/ro.txt"), "r", kOld, 0444);
        test::WriteFile(rig.Dst("d/zz.txt"), "z", kOld);
        rig.dialogs.ExpectQuestion(BoxType::Error, readOnlyQuestion, Answer::Yes);
        // The platform refuses the deletion as Windows does: the second question follows.
        rig.dialogs.ExpectQuestion(
            BoxType::Error, "Fatal ERROR: e:\\d\\ro.txt not deleted for unknown reason! Continue??",
            second);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.Reported("Fatal ERROR: unable to delete superfluous e:\\d\\ro.txt!!"));
        EXPECT_TRUE(test::Exists(rig.Dst("d/ro.txt")));
        EXPECT_EQ(rig.run.StopRequested, second == Answer::No);
        // Yes goes on with the next entry; No ends the walk.
        EXPECT_EQ(test::Exists(rig.Dst("d/zz.txt")), second == Answer::No);
    }
}

#ifdef VELMORA_FAULT_INJECTION
TEST(RemovalPassTest, FailedDeletionOfAFileAsksWhetherToGoOn) {
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/a.txt"), "a", kOld);
    rig.dialogs.ExpectQuestion(
        BoxType::Error, "Fatal ERROR: e:\\d\\a.txt not deleted for unknown reason! Continue??",
        Answer::No);
    faults::Arm(faults::Call::Delete, 1, EBUSY);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    faults::Reset();
    EXPECT_TRUE(rig.run.StopRequested);
    EXPECT_TRUE(rig.Reported("User stop"));
}
#endif  // VELMORA_FAULT_INJECTION

TEST(RemovalPassTest, SuperfluousFolderThatCannotGoWhole) {
    // A read-only file inside keeps the folder: the question names what is left.
    for (Answer answer : {Answer::Yes, Answer::No}) {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::WriteFile(rig.Dst("d/tree/ro.txt"), "12345", kOld, 0444);
        test::WriteFile(rig.Dst("d/tree/other.txt"), "o", kOld);
        rig.dialogs.ExpectQuestion(
            BoxType::Error,
            "ERROR: e:\\d\\tree (5 bytes) not deleted for unknown reason! Continue anyway??",
            answer);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.Reported("ERROR: unable to delete superfluous dir e:\\d\\tree!!"));
        EXPECT_EQ(rig.Reported("User decides to continue"), answer == Answer::Yes);
        EXPECT_EQ(rig.run.StopRequested, answer == Answer::No);
        EXPECT_EQ(Paths(rig.Dst("d")), (std::vector<std::string>{"tree", "tree/ro.txt"}));
    }
#ifdef VELMORA_FAULT_INJECTION
    // A folder that could only be emptied is reported as empty now.
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/tree/a.txt"), "a", kOld);
    faults::Arm(faults::Call::RemoveDir, 1, EBUSY, -1);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    faults::Reset();
    EXPECT_TRUE(
        rig.Reported("Folder: e:\\d\\tree is empty now! Please remove it manually if you "
                     "should want it completely removed."));
    EXPECT_FALSE(rig.run.StopRequested);
#endif  // VELMORA_FAULT_INJECTION
}

TEST(RemovalPassTest, ReadOnlyDestinationFolderAsksAndRemovesNothingThere) {
    for (Answer answer : {Answer::Yes, Answer::No}) {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::WriteFile(rig.Dst("d/a.txt"), "a", kOld);
        test::SetMode(rig.Dst("d"), 0555);
        rig.dialogs.ExpectQuestion(
            BoxType::Error,
            "Fatal ERROR: No files deleted in directory e:\\d as it is READONLY! Please make every "
            "item on destination writable!! Continue??",
            answer);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.Reported("ERROR: No files deleted in directory e:\\d as it is READONLY!"));
        EXPECT_TRUE(test::Exists(rig.Dst("d/a.txt")));
        EXPECT_EQ(rig.run.StopRequested, answer == Answer::No);
    }
}

TEST(RemovalPassTest, MissingSourceOrDestinationStops) {
    for (const std::string& missing : {std::string("c:\\gone"), std::string("e:\\gone")}) {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::MakeDir(rig.Dst("d"));
        const bool sourceMissing = missing[0] == 'c';
        deletesupr(rig.pass, DrivePath(sourceMissing ? missing : "c:\\s"),
                   DrivePath(sourceMissing ? "e:\\d" : missing));
        EXPECT_TRUE(rig.run.StopRequested);
        EXPECT_TRUE(
            rig.dialogs.Shown(BoxType::Error, "Fatal error: Item " + missing + " does not exist!"));
        EXPECT_TRUE(rig.Reported("FATAL ERROR: Item " + missing + " does not exist!"));
    }
}

TEST(RemovalPassTest, LinksAtTheDestinationGoThemselvesNeverTheirTargets) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/samename"), "plain", kOld);
    test::WriteFile(rig.Dst("target/precious.txt"), "p", kOld);
    test::MakeDir(rig.Src("s"));
    test::MakeSymlink(rig.Dst("target"), rig.Dst("d/dirlink"));
    test::MakeSymlink(rig.Dst("target/precious.txt"), rig.Dst("d/filelink"));
    test::MakeFifo(rig.Dst("d/pipe"));
    // The source has a plain file of this name: like a file, the link stays for the copy pass.
    test::MakeSymlink(rig.Dst("target/precious.txt"), rig.Dst("d/samename"));
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\dirlink"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\filelink"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\pipe"));
    EXPECT_EQ(Paths(rig.Dst("d")), std::vector<std::string>{"samename"});
    EXPECT_EQ(test::ReadFile(rig.Dst("target/precious.txt")), "p");
}

TEST(RemovalPassTest, LeftoverTemporaryFilesGoWithoutAQuestion) {
    EngineRig rig;
    rig.run.ConfirmOn = true;  // not even a question
    test::MakeDir(rig.Src("s"));
    // The source's own file of a temporary's name is the person's: its copy stays.
    test::WriteFile(rig.Src("s/.~vlm00000000beef.tmp"), "mine", kOld);
    test::WriteFile(rig.Dst("d/.~vlm00000000beef.tmp"), "mine", kOld);
    test::WriteFile(rig.Dst("d/.~vlm0123456789ab.tmp"), "half a copy", kOld);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_EQ(Paths(rig.Dst("d")), std::vector<std::string>{".~vlm00000000beef.tmp"});
    EXPECT_EQ(rig.view.allReportLines,
              std::vector<std::string>{"Removed file: e:\\d\\.~vlm0123456789ab.tmp"});
}

TEST(RemovalPassTest, CutLongNamesStayOnlyWithNameChecksOn) {
    const std::string longName = std::string(150, 'L');
    const std::string cut = longName.substr(0, 127);
    for (bool longNames : {true, false}) {
        EngineRig rig;
        rig.run.LongNamesOn = longNames;
        test::WriteFile(rig.Src("s/" + longName), "l", kOld);
        test::WriteFile(rig.Dst("d/" + cut), "l", kOld);
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_EQ(test::Exists(rig.Dst("d/" + cut)), longNames);
        EXPECT_EQ(rig.Reported("Similar name found in source, supposing same file!"), longNames);
    }
}

// What the source "has" is decided by name and kind: an entry stays only where the source holds
// the very same kind of thing under exactly the same name. Every pairing of kinds, side by side.
TEST(RemovalPassTest, KeepsExactlyWhatTheSourceHasUnderTheSameNameAndKind) {
    enum class Kind { None, File, Folder, FileLink, FolderLink, Fifo };
    const auto make = [](Kind kind, const std::string& path, const std::string& targets) {
        switch (kind) {
            case Kind::None:
                break;
            case Kind::File:
                test::WriteFile(path, "f", kOld);
                break;
            case Kind::Folder:
                test::WriteFile(path + "/inner.txt", "i", kOld);
                break;
            case Kind::FileLink:
                test::MakeSymlink(targets + "/t.txt", path);
                break;
            case Kind::FolderLink:
                test::MakeSymlink(targets, path);
                break;
            case Kind::Fifo:
                test::MakeFifo(path);
                break;
        }
    };
    struct Case {
        Kind source;
        Kind destination;
        bool stays;
    } cases[] = {
        {Kind::File, Kind::File, true},          {Kind::Folder, Kind::Folder, true},
        {Kind::None, Kind::File, false},         {Kind::None, Kind::Folder, false},
        {Kind::Folder, Kind::File, false},       {Kind::File, Kind::Folder, false},
        {Kind::FileLink, Kind::File, false},     {Kind::FolderLink, Kind::Folder, false},
        {Kind::Fifo, Kind::File, false},         {Kind::File, Kind::FileLink, true},
        {Kind::None, Kind::FileLink, false},     {Kind::None, Kind::FolderLink, false},
        {Kind::Folder, Kind::FolderLink, false}, {Kind::None, Kind::Fifo, false},
        {Kind::File, Kind::Fifo, true},
    };
    EngineRig rig;
    test::WriteFile(rig.Src("targets/t.txt"), "t", kOld);
    test::MakeDir(rig.Src("s"));
    test::MakeDir(rig.Dst("d"));
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string name = "n" + std::to_string(10 + i);
        make(cases[i].source, rig.Src("s/" + name), rig.Src("targets"));
        make(cases[i].destination, rig.Dst("d/" + name), rig.Src("targets"));
        if (cases[i].stays) {
            expected.push_back(name);
            if (cases[i].destination == Kind::Folder)
                expected.push_back(name + "/inner.txt");
        }
    }
    // Names differ from the source's only in case, or hold a host backslash.
    test::WriteFile(rig.Src("s/Report.txt"), "r", kOld);
    test::WriteFile(rig.Dst("d/report.txt"), "r", kOld);
    test::WriteFile(rig.Src("s/a\\b.txt"), "ab", kOld);
    test::WriteFile(rig.Dst("d/a\\b.txt"), "ab", kOld);
    test::WriteFile(rig.Dst("d/a"), "not the same name", kOld);
    expected.push_back("a\\b.txt");
    std::sort(expected.begin(), expected.end());

    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));

    EXPECT_FALSE(rig.run.StopRequested);
    EXPECT_EQ(Paths(rig.Dst("d")), expected);
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\report.txt"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\a"));
    // Links were removed themselves; what they pointed at is untouched.
    EXPECT_EQ(test::ReadFile(rig.Src("targets/t.txt")), "t");
    EXPECT_TRUE(rig.dialogs.Boxes().empty());
}

#ifdef VELMORA_FAULT_INJECTION
// A source folder that cannot be listed is no empty folder: its mirror must not go.
TEST(RemovalPassTest, UnreadableSourceFolderRemovesNothing) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/keep.txt"), "k", kOld);
    test::WriteFile(rig.Dst("d/keep.txt"), "k", kOld);
    test::WriteFile(rig.Dst("d/sub/x.txt"), "x", kOld);
    faults::Reset();
    // Both folders are opened as the walk's tops, then the destination is listed, then the
    // source.
    faults::Arm(faults::Call::Open, 4, EACCES);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    faults::Reset();
    EXPECT_EQ(Paths(rig.Dst("d")), (std::vector<std::string>{"keep.txt", "sub", "sub/x.txt"}));
    EXPECT_TRUE(rig.Reported("ERROR: Unable to read directory c:\\s!"));
    EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error, "ERROR: Unable to read directory c:\\s!"));
    EXPECT_TRUE(rig.run.FilesFailed);
}
#endif

// The read-only bit of a superfluous entry is read when it is about to go, not from the listing.
TEST(RemovalPassTest, ReadOnlySuperfluousEntriesAreRecognised) {
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/locked.txt"), "l", kOld, 0444);
    test::WriteFile(rig.Dst("d/lockeddir/x.txt"), "x", kOld);
    test::SetMode(rig.Dst("d/lockeddir"), 0555);
    rig.dialogs.ExpectQuestion("Fatal ERROR: e:\\d\\locked.txt not deleted as it is READONLY! " +
                                   std::string(kMakeWritable) + " Continue??",
                               Answer::Yes);
    rig.dialogs.ExpectQuestion(
        "Fatal ERROR: e:\\d\\locked.txt not deleted for unknown reason! "
        "Continue??",
        Answer::Yes);
    rig.dialogs.ExpectQuestion("Fatal ERROR: e:\\d\\lockeddir not deleted as it is READONLY! " +
                                   std::string(kMakeWritable) + " Continue??",
                               Answer::No);
    deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported("Fatal ERROR: e:\\d\\locked.txt not deleted as it is READONLY!"));
    EXPECT_TRUE(rig.Reported("Fatal ERROR: e:\\d\\lockeddir not deleted as it is READONLY!"));
    EXPECT_TRUE(rig.run.StopRequested);
    test::SetMode(rig.Dst("d/lockeddir"), 0755);
}

}  // namespace
}  // namespace vlm
