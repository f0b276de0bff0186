// The run driver from start to end: each way a run can end, with its report, its history row
// and the window it leaves.

#include "engine/run_driver.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "engine/free_space.h"
#include "engine_rig.h"
#include "platform/host_calls.h"
#include "platform/volumes.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

// The sub-items of the newest history row.
std::vector<std::string> NewestRow(const EngineRig& rig) {
    return rig.history.Rows().empty() ? std::vector<std::string>{}
                                      : rig.history.Rows().front().subItems;
}

TEST(RunDriverTest, ACompleteRunMirrorsEveryItemAndEndsOk) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Src("single.txt"), "s", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "old", kOld);
    // A copy that stays: a removal that takes only part of a backup is asked about by nobody.
    test::WriteFile(rig.Src("docs/kept.txt"), "k", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/kept.txt"), "k", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs", "c:\\single.txt"}));
    rig.engine.run(project);

    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "a");
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/single.txt")), "s");
    EXPECT_FALSE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/stale.txt")));
    const auto& lines = rig.view.allReportLines;
    ASSERT_GE(lines.size(), 10u);
    EXPECT_EQ(lines[0].rfind("Start time: ", 0), 0u);
    EXPECT_EQ(lines[1], "Project: " + project);
    EXPECT_EQ(lines[2], "Synchronize: OFF");
    EXPECT_EQ(lines[3], "Confirm: OFF");
    EXPECT_EQ(lines[4], "Precalculation: OFF");
    EXPECT_EQ(lines[5], "Long names checking: OFF");
    EXPECT_EQ(lines[6], "WORKING ON ITEM c:\\docs FROM VLM-PROJECT...");
    EXPECT_TRUE(rig.Reported("WORKING ON ITEM c:\\single.txt FROM VLM-PROJECT..."));
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[lines.size() - 2].rfind("Elapsed time: 0 hours, 0 minutes and ", 0), 0u);
    EXPECT_EQ(rig.view.selectedItems, (std::vector<int>{0, 1}));
    EXPECT_EQ(rig.view.StatusText(), "Project run end");
    EXPECT_EQ(rig.view.cancelButton.caption, "&Close");
    EXPECT_FALSE(rig.view.runEnabled);
    EXPECT_FALSE(rig.run.RunActive);
    EXPECT_FALSE(rig.view.closedWith.has_value());
    const auto row = NewestRow(rig);
    ASSERT_EQ(row.size(), 4u);
    EXPECT_EQ(row[1], "Normal");
    EXPECT_EQ(row[3], "OK");
    EXPECT_EQ(rig.history.Rows().front().caption, project);
}

// A default backup location that is a drive root, such as the program folder "z:\\" when c: is
// pinned elsewhere, or "e:\\" typed in: the run creates its folders there and ends OK.
TEST(RunDriverTest, TheRunIsTheOneItsWindowWasOpenedWith) {
    EngineRig rig;
    test::WriteFile(rig.Src("s/a.txt"), "a", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\s"}));
    // The file changes after the window opened: the run does what the window shows, and reads
    // no other options.
    ProjectFields changed = EngineRig::Fields({"c:\\other"});
    changed.confirm = true;
    changed.precalc = true;
    ASSERT_TRUE(WriteProjectFile(DrivePath(project), changed));
    rig.engine.run(project);
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_TRUE(rig.Reported("Confirm: OFF"));
    EXPECT_TRUE(rig.Reported("Precalculation: OFF"));
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/s/a.txt")), "a");
    EXPECT_TRUE(rig.dialogs.Boxes().empty());
}

TEST(RunDriverTest, DefaultDestinationOnADriveRootRunsThrough) {
    struct Case {
        const char* location;
        char letter;
        const char* folder;  // below the drive's root
    };
    // A location typed with a trailing backslash runs like one without.
    for (const Case& c :
         {Case{"e:\\", 'e', ""}, Case{"l:\\", 'l', ""}, Case{"e:\\Backup\\", 'e', "Backup/"}}) {
        SCOPED_TRACE(c.location);
        EngineRig rig;
        rig.settings.BackupLocation = c.location;
        test::WriteFile(rig.Src("data/a.txt"), "a", kOld);
        ProjectFields fields = EngineRig::Fields({"c:\\data"});
        fields.destdrive = "<default>";
        const std::string project = rig.Project(fields);
        ASSERT_EQ(rig.opened.at(project).destinations,
                  (std::vector<std::string>{c.location + std::string("VLMcopy_drive_c\\data")}));
        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_TRUE(rig.dialogs.Boxes().empty());
        EXPECT_EQ(test::ReadFile(rig.drives.HostRoot(c.letter) + "/" + c.folder +
                                 "VLMcopy_drive_c/data/a.txt"),
                  "a");
    }
}

TEST(RunDriverTest, HeaderTellsTheRunKindAndTheSwitches) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::MakeDir(rig.Src("docs"));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    rig.engine.TimerRun = true;
    rig.engine.QuickRun = true;
    rig.engine.SetSwitches({"-extlog", "-close"});
    rig.engine.run(project);
    EXPECT_TRUE(rig.Reported("Run executed by timer!"));
    EXPECT_TRUE(rig.Reported("QUICK Run executed by user!!"));
    EXPECT_TRUE(rig.Reported("User set extended log externally."));
    EXPECT_EQ(rig.view.level, LogLevel::Extended);
    EXPECT_EQ(NewestRow(rig)[1], "Timer");
    EXPECT_TRUE(rig.Reported("Auto-closing"));
    EXPECT_EQ(rig.view.closedWith, WindowResult::Cancel);
    EXPECT_TRUE(rig.engine.TerminateRequested());
}

TEST(RunDriverTest, SwitchesCountOnlyInTheirOwnPlaces) {
    EngineRig rig;
    test::MakeDir(rig.Src("docs"));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    rig.engine.QuickRun = true;
    rig.engine.SetSwitches({"-close", "-extlog"});
    rig.engine.run(project);
    EXPECT_FALSE(rig.Reported("User set extended log externally."));
    EXPECT_FALSE(rig.Reported("Auto-closing"));
    EXPECT_FALSE(rig.engine.TerminateRequested());
    EXPECT_EQ(NewestRow(rig)[1], "Shortcut");
}

TEST(RunDriverTest, MissingSourceStopsBeforeAnyTrace) {
    EngineRig rig;
    test::MakeDir(rig.Src("docs"));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    test::RemoveTree(rig.Src("docs"));
    rig.engine.run(project);
    EXPECT_TRUE(rig.Reported("ERROR: c:\\docs does not exist! Re-edit project file"));
    EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error,
                                  "ERROR: c:\\docs does not exist! Check path of source items and "
                                  "eventually re-edit project file."));
    EXPECT_TRUE(rig.history.Rows().empty());
    EXPECT_FALSE(rig.engine.Outcome().has_value());
    EXPECT_TRUE(rig.view.runEnabled);
    EXPECT_FALSE(rig.view.closedWith.has_value());
}

TEST(RunDriverTest, ForbiddenOrAbsentDriveClosesTheWindowWithoutARow) {
    struct Case {
        std::string allowed;
        bool unplugE;
        std::string box;
    };
    const std::vector<Case> cases = {
        {"f", false,
         "Forbidden to write to drive e ! Please check options - limitation of backup drives."},
        {"ALL", true, "Drive e does not exist! Please check project or hardware."},
        {"E", true, "Drive e does not exist! Please check project or hardware."},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        rig.settings.AllowedDrive = c.allowed;
        test::MakeDir(rig.Src("docs"));
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        if (c.unplugE)
            test::RemoveTree(rig.Dst());
        rig.engine.run(project);
        EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error, c.box)) << c.allowed;
        EXPECT_EQ(rig.view.closedWith, WindowResult::Cancel);
        EXPECT_TRUE(rig.history.Rows().empty());
        EXPECT_TRUE(rig.view.allReportLines.empty());
        EXPECT_FALSE(rig.engine.Outcome().has_value());
    }
}

TEST(RunDriverTest, EstimateErrorEndsWithClosingLinesAndAnErrorRow) {
    EngineRig rig;
    test::MakeDir(rig.Src("docs"));
    auto fields = EngineRig::Fields({"c:\\docs"});
    fields.precalc = true;
    const std::string project = rig.Project(fields);
    // The source vanishes once the run has started (its history row is written).
    rig.history.SetChangeListener([&] {
        if (rig.history.Rows().front().subItems.size() == 2)
            test::RemoveTree(rig.Src("docs"));
    });
    rig.engine.run(project);
    EXPECT_TRUE(rig.Reported("Checking future free size..."));
    EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error, "Item c:\\docs does not exist!"));
    EXPECT_FALSE(rig.ReportedStartingWith("End time: ").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("WORKING ON ITEM").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("... that is ").empty());  // no free-space lines
    EXPECT_EQ(NewestRow(rig).back(), "Error");
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
    // As after every fatal ending: the run still counts as active, Cancel keeps its caption.
    EXPECT_TRUE(rig.run.RunActive);
    EXPECT_EQ(rig.view.cancelButton.caption, "&Cancel");
}

TEST(RunDriverTest, EstimateOfAnExactCopyIsTheFreeSpace) {
    EngineRig rig;
    test::WriteFile(rig.Src("docs/a.txt"), std::string(5000, 'a'), kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/a.txt"), std::string(5000, 'a'), kOld);
    const std::int64_t estimate =
        checkfutfreesize("e", {"c:\\docs"}, {"e:\\VLMcopy_drive_c\\docs"}, {});
    const std::int64_t freeNow = DiskFreeBytes('e');
    // Other processes write to the same disk: allow a little drift.
    EXPECT_NEAR(static_cast<double>(estimate), static_cast<double>(freeNow), 64.0 * 1024 * 1024);
    const std::int64_t withNew = checkfutfreesize("e", {"c:\\docs"}, {"e:\\nothing"}, {});
    EXPECT_NEAR(static_cast<double>(freeNow - withNew), 5000.0, 64.0 * 1024 * 1024);
    EXPECT_EQ(checkfutfreesize("x", {"c:\\docs"}, {}, {}), -1);
    EXPECT_TRUE(
        rig.dialogs.Shown(BoxType::Error, "Chosen destination drive invalid or not ready!"));
}

TEST(RunDriverTest, SpaceWarningAnsweredNoEndsWithNotEnoughSpace) {
    for (const std::string destkind : {"HD", "CDR"}) {
        EngineRig rig;
        // Far more than any test disk holds, and sparse, so it costs nothing.
        test::MakeSizedFile(rig.Src("docs/huge.bin"), std::uint64_t{1} << 43);
        auto fields = EngineRig::Fields({"c:\\docs"}, destkind);
        fields.precalc = true;
        fields.confirm = true;
        const std::string project = rig.Project(fields);
        rig.dialogs.ExpectQuestion(BoxType::Error,
                                   "WARNING: not enough space left on destination. "
                                   "Project/program will probably not end in a normal way! "
                                   "Proceed anyway??",
                                   Answer::No);
        rig.engine.run(project);
        EXPECT_TRUE(rig.Reported("Exit by user (not enough space on destination)")) << destkind;
        EXPECT_EQ(NewestRow(rig).back(), "Not enough space");
        EXPECT_FALSE(rig.ReportedStartingWith("... that is ").empty());
        EXPECT_EQ(rig.view.cancelButton.caption, "&Close");
        EXPECT_FALSE(rig.run.RunActive);
        // The project's confirm value is in force after the estimate.
        EXPECT_TRUE(rig.run.ConfirmOn);
        EXPECT_FALSE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/huge.bin")));
    }
}

TEST(RunDriverTest, CdrEstimateLeavesTheDiskUntouchedThenCopiesForReal) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::WriteFile(rig.Src("docs/new.txt"), std::string(1000, 'n'), kOld);
    test::WriteFile(rig.Src("docs/sub/x.txt"), "x", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "stale", kOld);
    auto fields = EngineRig::Fields({"c:\\docs"}, "CDR");
    fields.precalc = true;
    const std::string project = rig.Project(fields);
    // Nothing is written during the estimate: the history row is the moment to look.
    std::vector<test::TreeEntry> duringEstimate;
    const auto before = test::ReadTree(rig.Dst(), {.withFolderTimes = true});
    rig.view.onReportLine = [&](const std::string& line) {
        if (line == "Precalculation finished")
            duringEstimate = test::ReadTree(rig.Dst(), {.withFolderTimes = true});
    };
    rig.engine.run(project);
    EXPECT_EQ(duringEstimate, before);
    EXPECT_TRUE(rig.Reported("Checking future free size on CDR-like disk..."));
    EXPECT_TRUE(rig.Reported("Please be patient, this can take some time!"));
    // The estimate is a virtual line: not shown at the Normal level.
    EXPECT_TRUE(rig.ReportedStartingWith("Estimated future free size on CD: ").empty());
    // Then the real pass: copied, and on CDR never cleaned.
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/sub/x.txt")), "x");
    EXPECT_TRUE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/stale.txt")));
    EXPECT_EQ(NewestRow(rig).back(), "OK");
}

TEST(RunDriverTest, OnlyTheExactKindCdrSkipsTheCleaning) {
    struct Case {
        std::string destkind;
        bool cleaned;
    };
    for (const Case& c : {Case{"CDR", false}, Case{"DVDR", true}, Case{"cdr", true}}) {
        EngineRig rig;
        test::WriteFile(rig.Src("docs/kept.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/kept.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "stale", kOld);
        rig.engine.run(rig.Project(EngineRig::Fields({"c:\\docs"}, c.destkind)));
        EXPECT_EQ(test::Exists(rig.Dst("VLMcopy_drive_c/docs/stale.txt")), !c.cleaned)
            << c.destkind;
        EXPECT_EQ(
            rig.Reported("No cleaning on CDR as no space savings anyway (on the contrary...)."),
            !c.cleaned);
    }
}

TEST(RunDriverTest, DirectoryThatCannotBeCreatedEndsWithAnErrorRow) {
    struct Case {
        std::string item, line;
    };
    const std::vector<Case> cases = {
        {"c:\\docs", "FATAL ERROR: Unable to create directory e:\\VLMcopy_drive_c\\docs"},
        {"c:\\docs\\a.txt",
         "FATAL ERROR: Unable to create directory for e:\\VLMcopy_drive_c\\docs\\a.txt"},
    };
    for (const Case& c : cases) {
        EngineRig rig;
        test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
        // A file stands where the per-drive folder belongs.
        test::WriteFile(rig.Dst("VLMcopy_drive_c"), "in the way", kOld);
        rig.engine.run(rig.Project(EngineRig::Fields({c.item})));
        EXPECT_TRUE(rig.Reported(c.line)) << c.item;
        EXPECT_FALSE(rig.ReportedStartingWith("End time: ").empty());
        EXPECT_EQ(NewestRow(rig).back(), "Error");
        EXPECT_TRUE(rig.run.RunActive);
    }
}

TEST(RunDriverTest, CancelInTheMiddleOfAPassEndsCancelled) {
    EngineRig rig;
    for (int i = 0; i < 20; ++i)
        test::WriteFile(rig.Src("docs/f" + std::to_string(100 + i)), "x", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs", "c:\\other"}));
    test::MakeDir(rig.Src("other"));
    // The person presses Cancel and answers Yes while the copy pass is under way.
    rig.pump.hook = [&](int) {
        if (rig.ReportedStartingWith("Created file: ").size() == 5 && !rig.run.StopRequested) {
            rig.run.StopRequested = true;
            rig.run.RunActive = false;
        }
    };
    rig.engine.run(project);
    EXPECT_EQ(rig.ReportedStartingWith("Created file: ").size(), 5u);
    EXPECT_FALSE(rig.Reported("WORKING ON ITEM c:\\other FROM VLM-PROJECT..."));
    EXPECT_EQ(NewestRow(rig).back(), "Cancelled");
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Cancelled"));
    EXPECT_FALSE(rig.ReportedStartingWith("... that is ").empty());
    EXPECT_EQ(rig.view.cancelButton.caption, "&Close");
}

TEST(RunDriverTest, SourceVanishedDuringTheRunEndsWithAnErrorRow) {
    EngineRig rig;
    test::WriteFile(rig.Src("first/a.txt"), "a", kOld);
    test::MakeDir(rig.Src("second"));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\first", "c:\\second"}));
    // Gone between the start checks and its turn.
    rig.view.onReportLine = [&](const std::string& line) {
        if (line == "WORKING ON ITEM c:\\second FROM VLM-PROJECT...")
            test::RemoveTree(rig.Src("second"));
    };
    rig.engine.run(project);
    const std::string line = "FATAL ERROR: c:\\second does not exist! Re-edit project file";
    EXPECT_TRUE(rig.Reported(line));
    EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error, line));
    EXPECT_FALSE(rig.ReportedStartingWith("... that is ").empty());
    EXPECT_EQ(NewestRow(rig).back(), "Error");
    EXPECT_FALSE(rig.run.RunActive);
}

#ifdef VELMORA_FAULT_INJECTION
TEST(RunDriverTest, FailedCopyOfASingleFileItemEndsTheRunWithError) {
    EngineRig rig;
    test::WriteFile(rig.Src("a.txt"), "new", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/a.txt"), "old", kOld + 2);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\a.txt"}));
    // The first rename saves the history row; the second puts the copy in place.
    faults::Arm(faults::Call::Rename, 2, EIO);
    rig.engine.run(project);
    faults::Reset();
    EXPECT_EQ(rig.dialogs.Count(BoxType::Error), 1);
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/a.txt")), "old");
    EXPECT_EQ(test::ReadTree(rig.Dst("VLMcopy_drive_c")).size(), 1u);  // no temporary file
    // The run ends with its lines and a completed row, never an open one.
    EXPECT_FALSE(rig.ReportedStartingWith("FATAL ERROR: Could not copy c:\\a.txt").empty());
    EXPECT_EQ(NewestRow(rig).back(), "Error");
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
    EXPECT_FALSE(rig.run.RunActive);
}

// A run's copies are not flushed one by one: whatever a run wrote, copied or removed reaches
// the medium in one flush per destination before its free-space and closing lines; a run that
// wrote nothing flushes nothing, and a flush that fails is no success.
TEST(RunDriverTest, WhatARunWroteIsFlushedOnceBeforeItsClosingLines) {
    const std::string flushError =
        "ERROR: Unable to flush the files written to drive E: to the medium!";
    struct Step {
        const char* what;
        std::function<void(EngineRig&)> change;
        bool failFlush;
        int flushes;
        const char* result;
    };
    const std::vector<Step> steps = {
        {"first copy", [](EngineRig&) {}, false, 2, "OK"},
        {"nothing changed", [](EngineRig&) {}, false, 0, "OK"},
        {"a file removed at the source",
         [](EngineRig& rig) { std::remove(rig.Src("docs/b.txt").c_str()); }, false, 2, "OK"},
        {"a changed file, and the flush fails",
         [](EngineRig& rig) { test::WriteFile(rig.Src("docs/a.txt"), "changed", kOld); }, true, 2,
         "Error"},
        {"the next run finds the copy in place", [](EngineRig&) {}, false, 0, "OK"},
    };
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Src("docs/b.txt"), "b", kOld);
    test::WriteFile(rig.Src("single.txt"), "s", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs", "c:\\single.txt"}));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.change(rig);
        rig.view.allReportLines.clear();
        rig.dialogs.ClearRecord();
        faults::Reset();
        if (step.failFlush)
            faults::Arm(faults::Call::SyncFileSystem, 1, EIO);
        rig.engine.run(project);
        EXPECT_EQ(faults::Count(faults::Call::SyncFileSystem), step.flushes);
        faults::Reset();
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>(step.result));
        EXPECT_EQ(NewestRow(rig).back(), step.result);
        EXPECT_EQ(rig.Reported(flushError), step.failFlush);
        EXPECT_EQ(rig.dialogs.Shown(BoxType::Error, flushError), step.failFlush);
        if (step.failFlush) {
            // Told before the free-space and closing lines, which still follow.
            const auto& lines = rig.view.allReportLines;
            const auto error = std::find(lines.begin(), lines.end(), flushError);
            const auto freeSpace =
                std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
                    return line.find(" percent of the space on drive E") != std::string::npos;
                });
            EXPECT_LT(error - lines.begin(), freeSpace - lines.begin());
            EXPECT_FALSE(rig.ReportedStartingWith("End time: ").empty());
        }
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")),
                  test::ReadFile(rig.Src("docs/a.txt")));
    }
}

// A run stopped half-way has written files too: they are flushed before it ends as Cancelled.
TEST(RunDriverTest, AStoppedRunFlushesWhatItWrote) {
    EngineRig rig;
    for (int i = 0; i < 6; ++i)
        test::WriteFile(rig.Src("docs/f" + std::to_string(10 + i)), "x", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    rig.pump.hook = [&](int) {
        if (rig.ReportedStartingWith("Created file: ").size() == 3)
            rig.run.StopRequested = true;
    };
    faults::Reset();
    rig.engine.run(project);
    EXPECT_EQ(faults::Count(faults::Call::SyncFileSystem), 1);
    faults::Reset();
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Cancelled"));
}
#endif  // VELMORA_FAULT_INJECTION

TEST(RunDriverTest, AnEmptyProjectEndsOk) {
    EngineRig rig;
    rig.engine.run(rig.Project(EngineRig::Fields({})));
    EXPECT_EQ(NewestRow(rig).back(), "OK");
    EXPECT_FALSE(rig.ReportedStartingWith("... that is ").empty());
}

TEST(RunDriverTest, FreeSpaceLinesNeverDivideByAnUnknownTotal) {
    test::TempDrives drives("e");
    const auto lines = FreeSpaceLines("e");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(" percent of the space on drive E is still free... "),
              std::string::npos);
    EXPECT_EQ(lines[1].rfind("... that is ", 0), 0u);
    EXPECT_EQ(lines[1].substr(lines[1].size() - 14), " Kbytes free. ");
    for (const std::string letter : {"q", "", "\\"}) {
        const auto unknown = FreeSpaceLines(letter);
        ASSERT_EQ(unknown.size(), 1u);
        EXPECT_NE(unknown[0].find("could not be determined"), std::string::npos);
    }
}

// An unplugged disk leaves its empty mount folder behind. As a destination it is no drive; as a
// source item it is not there: read as an empty folder, its whole backup would be removed.
TEST(RunDriverTest, AnUnmountedDiskIsNeitherDestinationNorSource) {
    {
        SCOPED_TRACE("destination");
        EngineRig rig;
        test::MakeDir(rig.Src("docs"));
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        rig.drives.SetFstabMountPoints({rig.Dst()});
        rig.engine.run(project);
        EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error,
                                      "Drive e does not exist! Please check project or hardware."));
        EXPECT_TRUE(rig.history.Rows().empty());
        EXPECT_TRUE(test::ReadTree(rig.Dst()).empty());
    }
    {
        SCOPED_TRACE("source");
        EngineRig rig;
        test::MakeDir(rig.Src("disk"));
        test::WriteFile(rig.Dst("VLMcopy_drive_c/disk/a.txt"), "kept", kOld);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\disk"}));
        rig.drives.SetFstabMountPoints({rig.Src("disk")});
        rig.engine.run(project);
        EXPECT_TRUE(rig.dialogs.Shown(BoxType::Error,
                                      "ERROR: c:\\disk does not exist! Check path of source items "
                                      "and eventually re-edit project file."));
        EXPECT_TRUE(rig.history.Rows().empty());
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/disk/a.txt")), "kept");

        // With the disk in, the same project runs.
        test::TmpfsMount mount(rig.Src("disk"));
        if (!mount.Mounted())
            GTEST_SKIP() << mount.Error();
        test::WriteFile(rig.Src("disk/a.txt"), "from the disk", kOld + 60);
        test::WriteFile(rig.Src("disk/b.txt"), "b", kOld);
        rig.dialogs.ClearRecord();
        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/disk/a.txt")), "from the disk");
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/disk/b.txt")), "b");
    }
    {
        SCOPED_TRACE("a mount folder inside the source item");
        EngineRig rig;
        test::WriteFile(rig.Src("media/notes.txt"), "n", kOld);
        test::MakeDir(rig.Src("media/usb"));
        const std::string project = rig.Project(EngineRig::Fields({"c:\\media"}));
        rig.drives.SetFstabMountPoints({rig.Src("media/usb")});
        {
            test::TmpfsMount mount(rig.Src("media/usb"));
            if (!mount.Mounted())
                GTEST_SKIP() << mount.Error();
            test::WriteFile(rig.Src("media/usb/photos/p1.jpg"), "picture", kOld);
            rig.engine.run(project);
            ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        }
        // The disk is unplugged: its folder is empty, and its backup is all there is of it.
        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/media/usb/photos/p1.jpg")), "picture");
        EXPECT_EQ(
            rig.ReportedStartingWith("ERROR: c:\\media\\usb is where a disk is mounted").size(),
            1u);
    }
}

// Every run ends with its numbers, counted as the passes worked, just before its closing lines,
// in the report and in the log.
TEST(RunDriverTest, ARunEndsWithASummaryOfWhatItDid) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    rig.view.logToFile = true;
    test::WriteFile(rig.Src("docs/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("docs/changed.txt"), "changed!", kOld + 100);
    test::WriteFile(rig.Src("docs/same.txt"), "s", kOld);
    test::MakeSymlink("same.txt", rig.Src("docs/link"));
    test::MakeFifo(rig.Src("docs/fifo"));
    const std::string backup = "VLMcopy_drive_c/docs/";
    test::WriteFile(rig.Dst(backup + "changed.txt"), "old", kOld);
    test::WriteFile(rig.Dst(backup + "same.txt"), "s", kOld);
    test::WriteFile(rig.Dst(backup + "stale.txt"), "x", kOld);
    test::WriteFile(rig.Dst(backup + "staledir/x.txt"), "x", kOld);
    test::WriteFile(rig.Dst(backup + "zz-readonly.txt"), "r", kOld, 0444);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    // A read-only copy is not removed: it is refused, and then fails to go, two errors.
    for (int run = 0; run < 2; ++run) {
        rig.dialogs.ExpectQuestion(BoxType::Error, "Fatal ERROR: e:\\VLMcopy_drive_c\\docs\\zz",
                                   Answer::Yes);
    }
    rig.engine.run(project);

    const std::vector<std::string> expected = {
        "Summary: files copied: 2 (new: 1, replaced: 1)",
        "Summary: bytes copied: 11",
        "Summary: removed: 1 files, 1 folders",
        "Summary: entries skipped: 2",
        "Summary: errors: 2",
    };
    const auto& lines = rig.view.allReportLines;
    const auto first = std::find(lines.begin(), lines.end(), expected.front());
    ASSERT_NE(first, lines.end());
    ASSERT_GE(lines.end() - first, 9);
    EXPECT_EQ(std::vector<std::string>(first, first + 5), expected);
    EXPECT_EQ(first[5].rfind("Summary: elapsed time: 0:0:", 0), 0u) << first[5];
    EXPECT_EQ(first[6].rfind("End time: ", 0), 0u) << first[6];
    const std::string log = test::ReadFile(rig.drives.HostRoot('l') + "/Vlmlogtmp.txt");
    for (const std::string& line : expected)
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_EQ(rig.run.Totals.filesNew, 1u);
    EXPECT_EQ(rig.run.Totals.bytesCopied, 11u);

    // The next run starts counting afresh.
    rig.dialogs.ExpectQuestion(BoxType::Error, "Fatal ERROR: ", Answer::Yes);
    rig.dialogs.ExpectQuestion(BoxType::Error, "Fatal ERROR: ", Answer::Yes);
    rig.engine.run(project);
    EXPECT_EQ(rig.run.Totals.filesNew + rig.run.Totals.filesReplaced, 0u);
    EXPECT_EQ(rig.run.Totals.errors, 2u);
    EXPECT_EQ(rig.run.Totals.entriesSkipped, 2u);
    EXPECT_EQ(rig.CountReported("Summary: files copied: 0 (new: 0, replaced: 0)"), 1);
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// A synchronised item is made at its target and then kept up to date, run after run: a file to
// a target that does not exist yet (the run makes nothing at the target's path before the copy),
// a folder to a target written with or without its trailing backslash.
TEST(RunDriverTest, ASynchronisedItemIsKeptUpToDateRunAfterRun) {
    struct Case {
        const char* item;
        const char* sourceFile;  // below c:
        const char* target;
        const char* copy;  // below e:
    };
    const Case cases[] = {
        {"c:\\one.txt", "one.txt", "e:\\copy.txt", "copy.txt"},
        {"c:\\one.txt", "one.txt", "e:\\new\\copy.txt", "new/copy.txt"},
        {"c:\\docs", "docs/a.txt", "e:\\mirror", "mirror/a.txt"},
        {"c:\\docs", "docs/a.txt", "e:\\mirror\\", "mirror/a.txt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EngineRig rig;
        test::WriteFile(rig.Src(c.sourceFile), "content", kOld);
        auto fields = EngineRig::Fields({c.item});
        fields.sync = true;
        fields.syncdest = c.target;
        const std::string project = rig.Project(fields);
        for (int run = 1; run <= 2; ++run) {
            rig.engine.run(project);
            EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK")) << "run " << run;
            EXPECT_EQ(test::ReadFile(rig.Dst(c.copy)), "content") << "run " << run;
        }
    }
}

// "No" at the space warning: the destination is as it was, with no per-drive folder made and no
// link at the synchronisation target replaced.
TEST(RunDriverTest, NothingIsMadeAtTheDestinationBeforeTheSpaceWarningIsAnswered) {
    for (const bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "synchronisation onto a link" : "mirror");
        EngineRig rig;
        test::MakeSizedFile(rig.Src("docs/huge.bin"), std::uint64_t{1} << 43);
        test::MakeDir(rig.Dst("elsewhere"));
        auto fields = EngineRig::Fields({"c:\\docs"});
        fields.precalc = true;
        if (sync) {
            test::MakeSymlink(rig.Dst("elsewhere"), rig.Dst("linked"));
            fields.sync = true;
            fields.syncdest = "e:\\linked";
        }
        const std::string project = rig.Project(fields);
        const auto before = test::ReadTree(rig.Dst(), {true, true});
        rig.dialogs.ExpectQuestion(BoxType::Error,
                                   "WARNING: not enough space left on destination. "
                                   "Project/program will probably not end in a normal way! "
                                   "Proceed anyway??",
                                   Answer::No);
        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Not enough space"));
        EXPECT_EQ(test::ReadTree(rig.Dst(), {true, true}), before);
    }
}

}  // namespace
}  // namespace vlm
