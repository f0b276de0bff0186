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

    deletesupr(rig.pass, "c:\\s", "e:\\d");

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
    deletesupr(rig.pass, "c:\\s", "e:\\d");
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
    deletesupr(rig.pass, "c:\\s", "e:\\d");
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
        deletesupr(rig.pass, "c:\\s", "e:\\d");
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
        deletesupr(rig.pass, "c:\\s", "e:\\d");
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
        deletesupr(rig.pass, "c:\\s", "e:\\d");
        EXPECT_TRUE(rig.Reported("Fatal ERROR: unable to delete superfluous e:\\d\\ro.txt!!"));
        EXPECT_TRUE(test::Exists(rig.Dst("d/ro.txt")));
        EXPECT_EQ(rig.run.StopRequested, second == Answer::No);
        // Yes goes on with the next entry; No ends the walk.
        EXPECT_EQ(test::Exists(rig.Dst("d/zz.txt")), second == Answer::No);
    }
}

TEST(RemovalPassTest, FailedDeletionOfAFileAsksWhetherToGoOn) {
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/a.txt"), "a", kOld);
    rig.dialogs.ExpectQuestion(
        BoxType::Error, "Fatal ERROR: e:\\d\\a.txt not deleted for unknown reason! Continue??",
        Answer::No);
    faults::Arm(faults::Call::Delete, 1, EBUSY);
    deletesupr(rig.pass, "c:\\s", "e:\\d");
    faults::Reset();
    EXPECT_TRUE(rig.run.StopRequested);
    EXPECT_TRUE(rig.Reported("User stop"));
}

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
        deletesupr(rig.pass, "c:\\s", "e:\\d");
        EXPECT_TRUE(rig.Reported("ERROR: unable to delete superfluous dir e:\\d\\tree!!"));
        EXPECT_EQ(rig.Reported("User decides to continue"), answer == Answer::Yes);
        EXPECT_EQ(rig.run.StopRequested, answer == Answer::No);
        EXPECT_EQ(Paths(rig.Dst("d")), (std::vector<std::string>{"tree", "tree/ro.txt"}));
    }
    // A folder that could only be emptied is reported as empty now.
    EngineRig rig;
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/tree/a.txt"), "a", kOld);
    faults::Arm(faults::Call::RemoveDir, 1, EBUSY, -1);
    deletesupr(rig.pass, "c:\\s", "e:\\d");
    faults::Reset();
    EXPECT_TRUE(
        rig.Reported("Folder: e:\\d\\tree is empty now! Please remove it manually if you "
                     "should want it completely removed."));
    EXPECT_FALSE(rig.run.StopRequested);
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
        deletesupr(rig.pass, "c:\\s", "e:\\d");
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
        deletesupr(rig.pass, sourceMissing ? missing : "c:\\s", sourceMissing ? "e:\\d" : missing);
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
    deletesupr(rig.pass, "c:\\s", "e:\\d");
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\dirlink"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\filelink"));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\d\\pipe"));
    EXPECT_EQ(Paths(rig.Dst("d")), std::vector<std::string>{"samename"});
    EXPECT_EQ(test::ReadFile(rig.Dst("target/precious.txt")), "p");
}

TEST(RemovalPassTest, LeftoverTemporaryFilesGoWithoutAWord) {
    EngineRig rig;
    rig.run.ConfirmOn = true;  // not even a question
    test::MakeDir(rig.Src("s"));
    test::WriteFile(rig.Dst("d/.~vlmq1w2e3.tmp"), "half a copy", kOld);
    deletesupr(rig.pass, "c:\\s", "e:\\d");
    EXPECT_TRUE(Paths(rig.Dst("d")).empty());
    EXPECT_TRUE(rig.view.allReportLines.empty());
}

TEST(RemovalPassTest, CutLongNamesStayOnlyWithNameChecksOn) {
    const std::string longName = std::string(150, 'L');
    const std::string cut = longName.substr(0, 127);
    for (bool longNames : {true, false}) {
        EngineRig rig;
        rig.run.LongNamesOn = longNames;
        test::WriteFile(rig.Src("s/" + longName), "l", kOld);
        test::WriteFile(rig.Dst("d/" + cut), "l", kOld);
        deletesupr(rig.pass, "c:\\s", "e:\\d");
        EXPECT_EQ(test::Exists(rig.Dst("d/" + cut)), longNames);
        EXPECT_EQ(rig.Reported("Similar name found in source, supposing same file!"), longNames);
    }
}

}  // namespace
}  // namespace vlm
