// Every host call of a run can fail, and no failure may cost a file. For each kind of call and
// each error a failing disk gives, the sweep makes the 1st, 2nd, ... call of that kind fail in
// turn, over a run that creates, overwrites and removes files and folders, and after each
// faulted run checks:
//   - every destination file is the old complete copy or the new complete copy, never a part;
//   - no temporary file is left anywhere;
//   - the source and everything beside the destination folder are as they were;
//   - the failure was reported (a box, and a report line unless the run was cut off), and the
//     run's history row does not say "OK";
//   - a following run without faults makes the destination an exact mirror.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "../engine/engine_rig.h"
#include "platform/host_calls.h"
#include "reliability_rig.h"

// Every test here makes host calls fail: the file is empty where the fault seam is off.
#ifdef VELMORA_FAULT_INJECTION

namespace vlm {
namespace {

using faults::Call;
using test::EngineRig;

constexpr std::time_t kOld = 1500000000;
constexpr std::time_t kNew = 1600000000;

struct Kind {
    Call call;
    const char* name;
};
const Kind kKinds[] = {
    {Call::Open, "open"},     {Call::Read, "read"},       {Call::Write, "write"},
    {Call::Close, "close"},   {Call::Rename, "rename"},   {Call::Delete, "delete"},
    {Call::MakeDir, "mkdir"}, {Call::RemoveDir, "rmdir"}, {Call::SetTime, "set-time"},
    {Call::Sync, "sync"},
};
const int kErrors[] = {ENOSPC, EIO, EACCES, EROFS, ENOENT};

// Readable test names in the listings of ctest.
void PrintTo(const Kind& kind, std::ostream* out) {
    *out << kind.name;
}

// The figures the sweep reaches, printed at the end for the reliability notes.
struct SweepFigures {
    int faultedRuns = 0;
    int notReached = 0;
};

// One sweep case: the source, the destination from the run before, and a bystander beside the
// destination folder, all on fresh drives.
struct SweepScene {
    EngineRig rig;
    test::AnsweringDialogs dialogs;
    std::string project;
    std::string mirror;

    // `answer` is what every question the failure brings gets: No stops the run, Yes goes on.
    // With `everyOption` the project estimates the space of a write-once medium ("DVDR", a
    // virtual pass first, then cleaning) and cuts long names.
    explicit SweepScene(Answer answer = Answer::No, bool everyOption = false)
        : dialogs(answer), everyOption_(everyOption) {
        // The previous state of the source, as the destination holds it.
        const std::string m = "VLMcopy_drive_c/src/";
        test::WriteFile(rig.Dst(m + "same.txt"), "unchanged", kOld);
        test::WriteFile(rig.Dst(m + "grows.txt"), "short", kOld);
        test::WriteFile(rig.Dst(m + "touched.txt"), "same bytes", kOld);
        test::WriteFile(rig.Dst(m + "gone.txt"), "the source lost me", kOld);
        test::WriteFile(rig.Dst(m + "old dir/deep/x.txt"), "old folder", kOld);
        test::WriteFile(rig.Dst(m + "sub/keep.txt"), "kept", kOld);
        test::WriteFile(rig.Dst(m + "sub/replaced.bin"), std::string(70000, 'o'), kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/one.txt"), "single old", kOld);
        // Beside the mirror: must never change.
        test::WriteFile(rig.Dst("other/bystander.txt"), "not mine", kOld);

        // The source now.
        test::WriteFile(rig.Src("src/same.txt"), "unchanged", kOld);
        test::WriteFile(rig.Src("src/grows.txt"), "much longer now", kOld);
        test::WriteFile(rig.Src("src/touched.txt"), "same bytes", kNew);
        test::WriteFile(rig.Src("src/new.txt"), "brand new", kNew);
        test::WriteFile(rig.Src("src/locked.txt"), "read-only source", kNew, 0444);
        if (everyOption) {
            // The cut copy of the run before, and its source with a longer name, changed since.
            test::WriteFile(rig.Dst(m + std::string(127, 'L')), "cut old", kOld);
            test::WriteFile(rig.Src("src/" + std::string(130, 'L')), "long name, new", kNew);
        } else {
            // (With long names on, a leading period is cut off, and the copy flaps every run.)
            test::WriteFile(rig.Src("src/.hidden"), "hidden", kNew);
        }
        test::WriteFile(rig.Src("src/sub/keep.txt"), "kept", kOld);
        test::WriteFile(rig.Src("src/sub/replaced.bin"), std::string(90000, 'n'), kNew);
        test::WriteFile(rig.Src("src/new dir/inner/y.txt"), "in a new folder", kNew);
        test::MakeDir(rig.Src("src/empty"));
        test::WriteFile(rig.Src("one.txt"), "single new", kNew);

        auto fields = EngineRig::Fields({"c:\\src", "c:\\one.txt"});
        if (everyOption) {
            fields.destkind = "DVDR";
            fields.precalc = true;
            fields.longnames = true;
        }
        project = rig.Project(fields);
        mirror = rig.Dst("VLMcopy_drive_c");
        // The log file is part of what a run writes.
        rig.view.level = LogLevel::Normal;
        rig.view.logToFile = true;
    }

    // The expected mirror: the source's files at their places under the destination.
    std::map<std::string, std::string> SourceAsMirror() const {
        std::map<std::string, std::string> expected;
        for (const auto& [path, bytes] : test::Snapshot(rig.Src("src"))) {
            // Long names are cut to 127 characters at the destination.
            const bool cut =
                everyOption_ && path.size() > 127 && path.find('/') == std::string::npos;
            expected["src/" + (cut ? path.substr(0, 127) : path)] = bytes;
        }
        expected["src"] = "<dir>";
        expected["one.txt"] = test::Fingerprint(test::ReadFile(rig.Src("one.txt")));
        return expected;
    }

    // Empty when the history file could not be written at all.
    std::string TopHistoryRow() const {
        const std::string path = rig.drives.HostRoot('l') + "/runoverview.his";
        if (!test::Exists(path))
            return {};
        const std::string text = test::ReadFile(path);
        return text.substr(0, text.find("\r\n"));
    }

    bool everyOption_;
};

// A report line that tells of an error or a stop.
bool ReportsAFailure(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        for (const char* word : {"ERROR", "Error", "error", "Unable", "User stop", "Exit by user"})
            if (line.find(word) != std::string::npos)
                return true;
    }
    return false;
}

// Removes from `tree` the folders that hold no file and are not expected.
void DropEmptyFolders(std::map<std::string, std::string>& tree,
                      const std::map<std::string, std::string>& expected) {
    for (auto it = tree.begin(); it != tree.end();) {
        const bool folder = it->second == "<dir>";
        bool holdsFile = false;
        for (const auto& [path, bytes] : tree)
            if (bytes != "<dir>" && path.rfind(it->first + "/", 0) == 0)
                holdsFile = true;
        if (folder && !holdsFile && expected.find(it->first) == expected.end())
            it = tree.erase(it);
        else
            ++it;
    }
}

// Runs one faulted run and checks it; the failure message names the case.
void FaultedRun(const Kind& kind, int nth, int error, Answer answer, bool everyOption,
                SweepFigures& figures) {
    const std::string label = std::string(kind.name) + " #" + std::to_string(nth) + " fails with " +
                              std::strerror(error) + ", questions answered " +
                              (answer == Answer::Yes ? "Yes" : "No") +
                              (everyOption ? ", every project option on" : "");
    SCOPED_TRACE(label);
    SweepScene scene(answer, everyOption);
    const auto destinationBefore = test::Snapshot(scene.mirror);
    const auto sourceBefore = test::ReadTree(scene.rig.Src());
    const auto bystanderBefore = test::ReadTree(scene.rig.Dst("other"));
    const auto expected = scene.SourceAsMirror();

    faults::Reset();
    faults::Arm(kind.call, nth, error);
    scene.rig.engine.run(scene.project);
    const bool reached = faults::Count(kind.call) >= nth;
    faults::Reset();
    if (!reached) {
        ++figures.notReached;
        return;
    }
    ++figures.faultedRuns;

    // Nothing half-written, nothing left over, nothing else touched.
    const auto destinationAfter = test::Snapshot(scene.mirror);
    const auto bad = test::FileNeitherOldNorNew(destinationAfter, destinationBefore, expected);
    EXPECT_FALSE(bad.has_value()) << "truncated or foreign copy: " << bad.value_or("");
    EXPECT_EQ(test::TemporaryFilesBelow(scene.rig.drives.Base()), std::vector<std::string>{});
    EXPECT_EQ(test::ReadTree(scene.rig.Src()), sourceBefore) << "the source changed";
    EXPECT_EQ(test::ReadTree(scene.rig.Dst("other")), bystanderBefore) << "a bystander changed";

    // Whatever the run did with the failure, it did not end as if all had gone well, unless
    // the failed call changed nothing that a run promises (then the mirror is exact anyway).
    const bool saysOk = scene.rig.engine.Outcome() == std::optional<std::string>("OK");
    if (saysOk) {
        // An "OK" run must have left the exact mirror: nothing may have been skipped silently.
        // Only a superfluous folder that could be emptied but not removed may stay; the run
        // says so in its report, and the next run removes it.
        auto now = test::Snapshot(scene.mirror);
        DropEmptyFolders(now, expected);
        EXPECT_TRUE(now == expected)
            << "an OK run left no mirror:" << test::Differences(now, expected);
        EXPECT_EQ(test::TemporaryFilesBelow(scene.rig.drives.Base()), std::vector<std::string>{});
    } else {
        EXPECT_FALSE(scene.dialogs.texts.empty())
            << "a failed run showed no box; report: "
            << ::testing::PrintToString(scene.rig.view.allReportLines);
        // A run that came to its closing lines says in its report what went wrong, unless it
        // asked the person and stopped at the answer (the question was the report then).
        if (scene.rig.engine.Outcome().has_value() &&
            scene.rig.engine.Outcome() != std::optional<std::string>("Cancelled")) {
            EXPECT_TRUE(ReportsAFailure(scene.rig.view.allReportLines))
                << "no report line about the failure; boxes: "
                << ::testing::PrintToString(scene.dialogs.texts)
                << "; report: " << ::testing::PrintToString(scene.rig.view.allReportLines);
        }
        EXPECT_EQ(scene.TopHistoryRow().find("|OK|"), std::string::npos) << scene.TopHistoryRow();
    }

    // The next run, without faults, brings everything back.
    scene.rig.view.allReportLines.clear();
    scene.rig.engine.run(scene.project);
    EXPECT_EQ(scene.rig.engine.Outcome(), std::optional<std::string>("OK"));
    const auto repaired = test::Snapshot(scene.mirror);
    EXPECT_TRUE(repaired == expected)
        << "the repair run left no mirror:" << test::Differences(repaired, expected);
    // File times too (the snapshots hold contents only); cut names have no namesake to compare.
    if (!everyOption) {
        EXPECT_EQ(test::MirrorView(scene.mirror + "/src"), test::MirrorView(scene.rig.Src("src")));
    }
    EXPECT_EQ(test::TemporaryFilesBelow(scene.rig.drives.Base()), std::vector<std::string>{});
}

// How many calls of each kind a clean run makes on the scene.
int CallsOfCleanRun(Call call, bool everyOption) {
    SweepScene scene(Answer::No, everyOption);
    faults::Reset();
    scene.rig.engine.run(scene.project);
    const int calls = faults::Count(call);
    faults::Reset();
    EXPECT_EQ(scene.rig.engine.Outcome(), std::optional<std::string>("OK"));
    const auto mirror = test::Snapshot(scene.mirror);
    EXPECT_TRUE(mirror == scene.SourceAsMirror())
        << test::Differences(mirror, scene.SourceAsMirror());
    return calls;
}

class FaultSweepTest : public ::testing::TestWithParam<std::tuple<Kind, Answer, bool>> {};

TEST_P(FaultSweepTest, NoFailingCallLosesAFile) {
    const Kind kind = std::get<0>(GetParam());
    const Answer answer = std::get<1>(GetParam());
    const bool everyOption = std::get<2>(GetParam());
    const int calls = CallsOfCleanRun(kind.call, everyOption);
    // With every option on, one error stands for all: the paths it opens are what is new.
    const std::vector<int> errors = everyOption
                                        ? std::vector<int>{EIO}
                                        : std::vector<int>(std::begin(kErrors), std::end(kErrors));
    SweepFigures figures;
    for (int nth = 1; nth <= calls; ++nth) {
        for (int error : errors) {
            FaultedRun(kind, nth, error, answer, everyOption, figures);
            if (HasFailure())
                return;  // one case at a time is enough to read
        }
    }
    // The figures for docs/reliability.md.
    std::printf(
        "[ sweep    ] %-8s answered %-3s%s %4d calls per clean run, %5d faulted runs survived\n",
        kind.name, answer == Answer::Yes ? "Yes" : "No", everyOption ? " every option" : "", calls,
        figures.faultedRuns);
    // Every kind but the drive sync (which a run may leave to its end) is met by this scene.
    if (kind.call != Call::Sync) {
        EXPECT_GT(calls, 0) << "the scene makes no " << kind.name
                            << " call: the sweep has no teeth";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryHostCall, FaultSweepTest,
                         ::testing::Combine(::testing::ValuesIn(kKinds),
                                            ::testing::Values(Answer::No, Answer::Yes),
                                            ::testing::Bool()),
                         [](const auto& info) {
                             std::string name = std::get<0>(info.param).name;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             name += std::get<1>(info.param) == Answer::Yes ? "_answered_yes"
                                                                            : "_answered_no";
                             return name + (std::get<2>(info.param) ? "_every_option" : "");
                         });

// A failure that persists (a medium that went read-only) stops the run with a clear report
// and still loses nothing; the sweep above fails one call at a time.
TEST(FaultSweepTest, AMediumThatStaysFailingLosesNothing) {
    const struct {
        Call call;
        int error;
    } cases[] = {
        {Call::Write, ENOSPC},
        {Call::Open, EROFS},
        {Call::Rename, EIO},
        {Call::MakeDir, EACCES},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.call)) + "/" + std::strerror(c.error));
        SweepScene scene;
        const auto before = test::Snapshot(scene.mirror);
        const auto expected = scene.SourceAsMirror();
        faults::Reset();
        faults::Arm(c.call, 1, c.error, -1);
        scene.rig.engine.run(scene.project);
        faults::Reset();
        EXPECT_NE(scene.rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_FALSE(scene.dialogs.texts.empty());
        const auto bad = test::FileNeitherOldNorNew(test::Snapshot(scene.mirror), before, expected);
        EXPECT_FALSE(bad.has_value()) << bad.value_or("");
        EXPECT_EQ(test::TemporaryFilesBelow(scene.rig.drives.Base()), std::vector<std::string>{});
        scene.rig.engine.run(scene.project);
        EXPECT_EQ(scene.rig.engine.Outcome(), std::optional<std::string>("OK"));
        const auto now = test::Snapshot(scene.mirror);
        EXPECT_TRUE(now == expected) << test::Differences(now, expected);
    }
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// A copy that could not be replaced is not backed up: the walk goes on, but the run's row and its
// result must not say "OK" (it used to, and the runner then exited with 0).
TEST(FaultSweepTest, ACopyThatFailsInsideAFolderEndsTheRunAsError) {
    // The history row is written first (one write, one rename); then a.txt is copied.
    const struct {
        Call call;
        int nth;
        int error;
    } cases[] = {{Call::SetTime, 1, EIO}, {Call::Rename, 2, ENOSPC}, {Call::Write, 2, ENOSPC}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::strerror(c.error));
        EngineRig rig;
        test::AnsweringDialogs dialogs;
        test::WriteFile(rig.Src("docs/a.txt"), "a", kNew);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/a.txt"), "old", kNew - 10);
        test::WriteFile(rig.Src("docs/b.txt"), "b", kNew);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        faults::Reset();
        faults::Arm(c.call, c.nth, c.error);
        rig.engine.run(project);
        faults::Reset();
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
        EXPECT_FALSE(
            rig.ReportedStartingWith("ERROR: Could not copy file c:\\docs\\a.txt").empty());
        // The walk went on with the next file.
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/b.txt")), "b");
        ASSERT_FALSE(rig.history.Rows().empty());
        EXPECT_EQ(rig.history.Rows()[0].subItems.back(), "Error");

        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "a");
    }
}

// A new file that cannot be created (the disk is full, the medium gone) ends the run at once with
// one box, instead of one box for every file still to come; the next run completes the mirror.
TEST(FaultSweepTest, ANewFileThatCannotBeCreatedEndsTheRunAtOnce) {
    EngineRig rig;
    test::AnsweringDialogs dialogs;
    for (const char* name : {"a.txt", "b.txt", "c.txt"})
        test::WriteFile(rig.Src(std::string("docs/") + name), name, kNew);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    faults::Reset();
    faults::Arm(Call::Write, 2, ENOSPC);  // the history row is written first
    rig.engine.run(project);
    faults::Reset();
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
    EXPECT_EQ(dialogs.texts.size(), 1u) << ::testing::PrintToString(dialogs.texts);
    EXPECT_EQ(rig.ReportedStartingWith("FATAL ERROR: Could not copy c:\\docs\\a.txt").size(), 1u);
    EXPECT_FALSE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/b.txt")));
    rig.engine.run(project);
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/c.txt")), "c.txt");
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// A superfluous file or folder that cannot be removed stays at the destination even when the
// person goes on: the run is no mirror and its row must not say "OK" (it used to).
TEST(FaultSweepTest, ARemovalThatFailsAndIsPassedOverEndsTheRunAsError) {
    const struct {
        Call call;
        const char* superfluous;
    } cases[] = {{Call::Delete, "gone.txt"}, {Call::Delete, "old/inner.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.superfluous);
        EngineRig rig;
        test::AnsweringDialogs dialogs(Answer::Yes);
        test::WriteFile(rig.Src("docs/a.txt"), "a", kNew);
        test::WriteFile(rig.Dst(std::string("VLMcopy_drive_c/docs/") + c.superfluous), "old", kOld);
        // A copy in common: the backup is not emptied, so no question comes before the failure.
        test::WriteFile(rig.Src("docs/kept.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/kept.txt"), "k", kOld);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        faults::Reset();
        faults::Arm(c.call, 1, EIO);
        rig.engine.run(project);
        faults::Reset();
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
        EXPECT_EQ(dialogs.texts.size(), 1u);
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "a");

        rig.engine.run(project);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_FALSE(test::Exists(rig.Dst(std::string("VLMcopy_drive_c/docs/") + c.superfluous)));
    }
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// The write-once estimate only counts: a folder it cannot read is shown, but when the real
// pass then reads it and copies everything, the run is complete and ends "OK" (it used to end
// as "Error").
TEST(FaultSweepTest, AFolderTheEstimateCouldNotReadDoesNotFailACompleteRun) {
    int estimateFaults = 0;
    for (int nth = 1; nth <= 12; ++nth) {
        SCOPED_TRACE("open #" + std::to_string(nth));
        EngineRig rig;
        test::AnsweringDialogs dialogs;
        test::WriteFile(rig.Src("docs/a.txt"), "a", kNew);
        auto fields = EngineRig::Fields({"c:\\docs"}, "DVDR");
        fields.precalc = true;
        const std::string project = rig.Project(fields);
        // At Normal the estimate's lines stay silent: a report line of the failure means that
        // the real pass met it.
        rig.view.level = LogLevel::Normal;
        faults::Reset();
        faults::Arm(Call::Open, nth, EIO);
        rig.engine.run(project);
        faults::Reset();
        const bool failedInTheEstimate =
            dialogs.texts ==
                std::vector<std::string>{"ERROR: Unable to read directory c:\\docs!"} &&
            !rig.ReportedStartingWith("Precalculation finished").empty() &&
            rig.ReportedStartingWith("ERROR: Unable to read directory").empty() &&
            !rig.ReportedStartingWith("Created file: ").empty();
        if (!failedInTheEstimate)
            continue;
        ++estimateFaults;
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "a");
    }
    EXPECT_EQ(estimateFaults, 1) << "no open call failed inside the estimate alone";
}

}  // namespace
}  // namespace vlm

#endif  // VELMORA_FAULT_INJECTION
