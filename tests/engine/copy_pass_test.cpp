// The copy pass on real trees: what it copies, what it leaves, and every way it refuses.

#include "engine/copy_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_rig.h"
#include "platform/host_calls.h"
#include "util/file_helpers.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;  // even seconds: exact in the 2-second stamp
constexpr std::time_t kNew = 1700000000;

TEST(CopyPassTest, CopiesNewAndChangedFilesAndLeavesUnchangedOnes) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("s/size.txt"), "longer now", kOld);
    test::WriteFile(rig.Src("s/age.txt"), "same", kOld);
    test::WriteFile(rig.Src("s/same.txt"), "same", kOld);
    test::WriteFile(rig.Dst("d/size.txt"), "short", kOld);
    // A copy newer than its source is replaced too: any difference counts.
    test::WriteFile(rig.Dst("d/age.txt"), "SAME", kNew);
    test::WriteFile(rig.Dst("d/same.txt"), "same", kOld);

    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));

    EXPECT_FALSE(rig.run.StopRequested);
    EXPECT_EQ(test::ReadFile(rig.Dst("d/new.txt")), "new");
    EXPECT_EQ(test::ReadFile(rig.Dst("d/size.txt")), "longer now");
    EXPECT_EQ(test::ReadFile(rig.Dst("d/age.txt")), "same");
    EXPECT_TRUE(rig.Reported("Created file: e:\\d\\new.txt"));
    EXPECT_TRUE(rig.Reported("Overwritten file: e:\\d\\size.txt"));
    EXPECT_TRUE(rig.Reported("Overwritten file: e:\\d\\age.txt"));
    EXPECT_TRUE(rig.Reported("updating (new size)..."));
    EXPECT_TRUE(rig.Reported("updating (new age)..."));
    EXPECT_TRUE(rig.Reported("c:\\s\\same.txt not changed since last backup"));
    for (const auto& entry : test::ReadTree(rig.Dst("d")))
        EXPECT_EQ(entry.mtime, kOld) << entry.path;

    // The copies carry their source's stamp: a second pass finds nothing to do.
    rig.view.allReportLines.clear();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_EQ(rig.ReportedStartingWith("Created file: ").size(), 0u);
    EXPECT_EQ(rig.ReportedStartingWith("Overwritten file: ").size(), 0u);
    EXPECT_EQ(rig.ReportedStartingWith("c:\\s\\").size(), 4u);
}

TEST(CopyPassTest, DetailLinesStayOutOfTheNormalReport) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_EQ(rig.view.allReportLines, std::vector<std::string>{"Created file: e:\\d\\a.txt"});
}

TEST(CopyPassTest, ConfirmationDecidesEachOverwrite) {
    struct Case {
        Answer answer;
        std::string expectedContent;
        std::string expectedLine;
    };
    const std::vector<Case> cases = {
        {Answer::Yes, "new", "Overwritten file: e:\\d\\a.txt"},
        {Answer::No, "old", "overwriting: e:\\d\\a.txt not allowed by user"},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        rig.run.ConfirmOn = true;
        test::WriteFile(rig.Src("s/a.txt"), "new", kOld);
        test::WriteFile(rig.Src("s/b.txt"), "b", kOld);
        test::WriteFile(rig.Dst("d/a.txt"), "old", kNew);
        rig.dialogs.ExpectQuestion(BoxType::Confirmation,
                                   "Do you really want to overwrite file e:\\d\\a.txt?", c.answer);
        copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_EQ(test::ReadFile(rig.Dst("d/a.txt")), c.expectedContent);
        EXPECT_TRUE(rig.Reported(c.expectedLine));
        // Either way the pass goes on with the next file; new files are never asked about.
        EXPECT_EQ(test::ReadFile(rig.Dst("d/b.txt")), "b");
        EXPECT_FALSE(rig.run.StopRequested);
    }
}

TEST(CopyPassTest, ConfirmationNoForASingleFileItemNamesTheItem) {
    EngineRig rig;
    rig.run.ConfirmOn = true;
    test::WriteFile(rig.Src("a.txt"), "new", kOld);
    test::WriteFile(rig.Dst("a.txt"), "old", kNew);
    rig.dialogs.ExpectQuestion("Do you really want to overwrite file e:\\a.txt?", Answer::No);
    copyltor(rig.pass, DrivePath("c:\\a.txt"), DrivePath("e:\\a.txt"));
    EXPECT_TRUE(rig.Reported("overwriting file item e:\\a.txt not allowed by user"));
    EXPECT_EQ(test::ReadFile(rig.Dst("a.txt")), "old");
}

TEST(CopyPassTest, ReadOnlyDestinationFileStopsTheRun) {
    struct Case {
        std::string source, destination, box;
    };
    const std::string message =
        "Fatal ERROR: e:\\d\\a.txt not overwritten as it is READONLY! Please make every item on "
        "destination writable!!";
    const std::vector<Case> cases = {
        {"c:\\s", "e:\\d", message + " Continue??"},  // met inside a folder walk
        {"c:\\s\\a.txt", "e:\\d\\a.txt", message},    // a single file item
    };
    for (const Case& c : cases) {
        EngineRig rig;
        test::WriteFile(rig.Src("s/a.txt"), "new", kOld);
        test::WriteFile(rig.Src("s/b.txt"), "b", kOld);
        test::WriteFile(rig.Dst("d/a.txt"), "old", kNew, 0444);
        copyltor(rig.pass, DrivePath(c.source), DrivePath(c.destination));
        EXPECT_TRUE(rig.run.StopRequested);
        EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error, c.box)) << c.source;
        EXPECT_TRUE(rig.Reported("Fatal ERROR: e:\\d\\a.txt not overwritten as it is READONLY!"));
        EXPECT_TRUE(rig.Reported("Please make every item on destination writable!!"));
        EXPECT_EQ(test::ReadFile(rig.Dst("d/a.txt")), "old");
        // The walk ends there: the next file is not copied.
        EXPECT_FALSE(test::Exists(rig.Dst("d/b.txt")));
    }
}

TEST(CopyPassTest, ReadOnlyDestinationFolderAsksWhetherToGoOn) {
    struct Case {
        Answer answer;
        bool stops;
    };
    for (const Case& c : {Case{Answer::Yes, false}, Case{Answer::No, true}}) {
        EngineRig rig;
        test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
        test::MakeDir(rig.Dst("d"));
        test::SetMode(rig.Dst("d"), 0555);
        rig.dialogs.ExpectQuestion(
            BoxType::Error,
            "Fatal ERROR: No files overwritten in directory e:\\d as it is READONLY! Please make "
            "every item on destination writable!! Continue??",
            c.answer);
        copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.Reported("ERROR: No files changed in directory e:\\d as it is READONLY!"));
        EXPECT_FALSE(test::Exists(rig.Dst("d/a.txt")));
        EXPECT_EQ(rig.run.StopRequested, c.stops);
        EXPECT_EQ(rig.Reported("User stop"), c.stops);
    }
}

TEST(CopyPassTest, MissingSourceOrDestinationFolderStops) {
    struct Case {
        std::string source, destination, named;
    };
    const std::vector<Case> cases = {
        {"c:\\gone", "e:\\d", "c:\\gone"},
        {"c:\\s", "e:\\nothing", "e:\\nothing"},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        test::MakeDir(rig.Src("s"));
        test::MakeDir(rig.Dst("d"));
        copyltor(rig.pass, DrivePath(c.source), DrivePath(c.destination));
        EXPECT_TRUE(rig.run.StopRequested);
        EXPECT_TRUE(
            rig.dialogs.Shown(BoxType::Error, "Fatal error: Item " + c.named + " does not exist!"));
        EXPECT_TRUE(rig.Reported("FATAL ERROR: Item " + c.named + " does not exist!"));
    }
}

TEST(CopyPassTest, SubFolderThatCannotBeCreatedStopsTheRun) {
    // In the destination a file holds the name the new folder needs (a link there is replaced:
    // see the destination-link tests).
    {
        EngineRig rig;
        test::WriteFile(rig.Src("s/sub/a.txt"), "a", kOld);
        test::WriteFile(rig.Src("s/z.txt"), "z", kOld);
        test::WriteFile(rig.Dst("elsewhere/keep.txt"), "keep", kOld);
        test::WriteFile(rig.Dst("d/sub"), "a file", kOld);
        copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        EXPECT_TRUE(rig.run.StopRequested);
        EXPECT_TRUE(rig.Reported("ERROR: dir creationsub in e:\\d failed!"));
        EXPECT_TRUE(rig.Reported("Abnormal termination!"));
        EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error,
                                      "FATAL ERROR: directory creationsub in e:\\d failed!"));
        EXPECT_EQ(rig.dialogs.Beeps(), 2);
        // Nothing was written through the link, and the walk ended before z.txt.
        EXPECT_FALSE(test::Exists(rig.Dst("elsewhere/a.txt")));
        EXPECT_FALSE(test::Exists(rig.Dst("d/z.txt")));
    }
}

#ifdef VELMORA_FAULT_INJECTION
TEST(CopyPassTest, FailedCopyInsideAWalkIsReportedAndTheWalkGoesOn) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "new a", kOld);
    test::WriteFile(rig.Src("s/b.txt"), "new b", kOld);
    test::WriteFile(rig.Dst("d/a.txt"), "old a", kNew);
    // The first data read fails: a source that cannot be read.
    faults::Arm(faults::Call::Read, 1, EIO);
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    faults::Reset();

    EXPECT_FALSE(rig.run.StopRequested);
    const auto plain = rig.dialogs.TextsOf(BoxType::Plain);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0].rfind("CopyError error raised, with message : ", 0), 0u) << plain[0];
    EXPECT_TRUE(rig.Reported("ERROR: Could not copy file c:\\s\\a.txt to e:\\d\\a.txt"));
    EXPECT_TRUE(rig.Reported("Probably source file corrupt..."));
    EXPECT_FALSE(rig.Reported("Overwritten file: e:\\d\\a.txt"));
    // The old copy survives whole, no temporary file is left, and the next file is copied.
    EXPECT_EQ(test::ReadFile(rig.Dst("d/a.txt")), "old a");
    EXPECT_EQ(test::ReadFile(rig.Dst("d/b.txt")), "new b");
    EXPECT_EQ(test::ReadTree(rig.Dst("d")).size(), 2u);
}

TEST(CopyPassTest, SourceThatCannotBeOpenedShowsTheCopyBoxThenTheExceptionBox) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "new a", kOld);
    test::WriteFile(rig.Src("s/b.txt"), "new b", kOld);
    test::WriteFile(rig.Dst("d/a.txt"), "old a", kNew);
    // The walk opens both folders as its tops, then for listing; the fifth open is a.txt's.
    faults::Arm(faults::Call::Open, 5, EACCES);
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    faults::Reset();

    const auto& boxes = rig.dialogs.Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].type, BoxType::Error);
    EXPECT_EQ(boxes[0].text,
              "Fatal error! Could not open file for reading: c:\\s\\a.txt. Please close the "
              "program causing this or check network settings with your system administrator!");
    EXPECT_EQ(boxes[1].type, BoxType::Plain);
    EXPECT_EQ(boxes[1].text.rfind("CopyError error raised, with message : ", 0), 0u)
        << boxes[1].text;
    EXPECT_TRUE(rig.Reported("ERROR: Could not copy file c:\\s\\a.txt to e:\\d\\a.txt"));
    EXPECT_TRUE(rig.Reported("Probably source file corrupt..."));
    EXPECT_EQ(test::ReadFile(rig.Dst("d/a.txt")), "old a");
    EXPECT_EQ(test::ReadFile(rig.Dst("d/b.txt")), "new b");
}

TEST(CopyPassTest, FailedCopyOfASingleFileItemReachesTheCaller) {
    EngineRig rig;
    test::WriteFile(rig.Src("a.txt"), "new", kOld);
    faults::Arm(faults::Call::Rename, 1, EIO);
    EXPECT_THROW(copyltor(rig.pass, DrivePath("c:\\a.txt"), DrivePath("e:\\a.txt")), CopyError);
    faults::Reset();
    EXPECT_TRUE(test::ReadTree(rig.Dst()).empty());
}
#endif  // VELMORA_FAULT_INJECTION

TEST(CopyPassTest, LinksAndSpecialFilesAreSkippedWithALine) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/real.txt"), "r", kOld);
    test::WriteFile(rig.Src("outside/secret.txt"), "s", kOld);
    test::MakeSymlink(rig.Src("outside"), rig.Src("s/dirlink"));
    test::MakeSymlink(rig.Src("outside/secret.txt"), rig.Src("s/filelink"));
    test::MakeFifo(rig.Src("s/pipe"));
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_FALSE(rig.run.StopRequested);
    EXPECT_TRUE(rig.Reported("Skipped link or special file: c:\\s\\dirlink"));
    EXPECT_TRUE(rig.Reported("Skipped link or special file: c:\\s\\filelink"));
    EXPECT_TRUE(rig.Reported("Skipped link or special file: c:\\s\\pipe"));
    const auto tree = test::ReadTree(rig.Dst("d"));
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].path, "real.txt");
}

TEST(CopyPassTest, HiddenFilesAndEmptyFoldersAreCopied) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/.hidden"), "h", kOld);
    test::MakeDir(rig.Src("s/empty/deeper"));
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_EQ(test::ReadFile(rig.Dst("d/.hidden")), "h");
    EXPECT_TRUE(test::Exists(rig.Dst("d/empty/deeper")));
    EXPECT_TRUE(rig.Reported("Created dir: empty in e:\\d"));
    EXPECT_TRUE(rig.Reported("Created dir: deeper in e:\\d\\empty"));
    EXPECT_TRUE(rig.Reported("getting into dir empty from e:\\d"));
}

TEST(CopyPassTest, FilesNamedLikeTemporariesAreCopied) {
    // A source file is the person's whatever its name.
    EngineRig rig;
    test::WriteFile(rig.Src("s/.~vlmnotes.tmp"), "notes", kOld);
    test::WriteFile(rig.Src("s/.~vlm0123456789ab.tmp"), "odd", kOld);
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_EQ(test::ReadFile(rig.Dst("d/.~vlmnotes.tmp")), "notes");
    EXPECT_EQ(test::ReadFile(rig.Dst("d/.~vlm0123456789ab.tmp")), "odd");
}

TEST(CopyPassTest, LongNamesAreCutOnceAndFoundUnchangedNextTime) {
    EngineRig rig;
    rig.run.LongNamesOn = true;
    const std::string longName = std::string(126, 'x') + "abcd";  // 130 characters
    test::WriteFile(rig.Src("s/" + longName), "long", kOld);
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    const std::string cut = longName.substr(0, 127);
    EXPECT_EQ(test::ReadFile(rig.Dst("d/" + cut)), "long");
    EXPECT_TRUE(rig.Reported("Created file: e:\\d\\" + cut));

    rig.view.allReportLines.clear();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.ReportedStartingWith("Created file: ").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("Overwritten file: ").empty());
    EXPECT_TRUE(rig.Reported("c:\\s\\" + longName + " not changed since last backup"));
}

TEST(CopyPassTest, ANameThatCleansToNothingIsSkippedWithAnError) {
    EngineRig rig;
    rig.run.LongNamesOn = true;
    test::WriteFile(rig.Src("s/. ."), "dots", kOld);
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    test::MakeDir(rig.Dst("d"));
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    EXPECT_TRUE(rig.Reported(
        "ERROR: No name left for c:\\s\\. . after removing forbidden characters, file not "
        "copied!"));
    EXPECT_FALSE(rig.run.StopRequested);
    const auto tree = test::ReadTree(rig.Dst("d"));
    ASSERT_EQ(tree.size(), 1u);
    EXPECT_EQ(tree[0].path, "a.txt");
}

TEST(CopyPassTest, VirtualPassCountsWhatItWouldWriteAndTouchesNothing) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/new.txt"), std::string(1000, 'n'), kOld);
    test::WriteFile(rig.Src("s/changed.txt"), std::string(300, 'c'), kOld);
    test::WriteFile(rig.Src("s/same.txt"), "same", kOld);
    test::WriteFile(rig.Src("s/sub/deep.txt"), std::string(20, 'd'), kOld);
    test::WriteFile(rig.Dst("d/changed.txt"), std::string(300, 'C'), kNew);
    test::WriteFile(rig.Dst("d/same.txt"), "same", kOld);
    test::WriteFile(rig.Dst("d/extra.txt"), "extra", kOld);
    const auto before = test::ReadTree(rig.Dst(), {.withFolderTimes = true});
    rig.pass.sink = PassSink::Count();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
    // A replaced copy frees nothing on a write-once medium: the whole source size counts.
    EXPECT_EQ(rig.pass.sink.Counted().writeBytes, 1000u + 300 + 20);
    EXPECT_EQ(test::ReadTree(rig.Dst(), {.withFolderTimes = true}), before);
    // A destination that does not exist yet is no error in a virtual pass.
    rig.pass.sink = PassSink::Count();
    copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\nowhere"));
    EXPECT_FALSE(rig.run.StopRequested);
    EXPECT_EQ(rig.pass.sink.Counted().writeBytes, 1324u);
    EXPECT_EQ(test::ReadTree(rig.Dst(), {.withFolderTimes = true}), before);
}

}  // namespace
}  // namespace vlm
