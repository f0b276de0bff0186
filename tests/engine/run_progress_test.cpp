// The progress a window shows: counted beside the run, never past its totals, moving inside a
// large file, and a stop in the middle of a large file leaves the old copy as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;
using test::RigEngine;

constexpr std::time_t kOld = 1600000000;
constexpr std::uint64_t kBig = 20u << 20;  // several pieces of a copy

// Keeps every picture of the progress; may stop the run when a picture shows a large file
// half copied.
class ProgressView : public FakeRunView {
public:
    bool WantsProgress() const override { return true; }
    void ShowProgress(const ProgressSnapshot& p) override { shown.push_back(p); }
    std::vector<ProgressSnapshot> shown;
};

struct ProgressRig : EngineRig {
    ProgressView progressView;
    RunLog progressLog{&progressView, run, handOver, "l:"};
    RigEngine progressEngine{opened,      progressView, pump,    run,     handOver,
                             progressLog, settings,     history, switches};

    ProgressRig() {
        progressView.level = LogLevel::Normal;
        progressView.logToFile = false;
        progressEngine.ProgressInterval = std::chrono::milliseconds(0);
        // Two new files (one large), one changed, one unchanged: three to copy.
        test::WriteFile(Src("docs/big.bin"), std::string(kBig, 'b'), kOld);
        test::WriteFile(Src("docs/new.txt"), "new", kOld);
        test::WriteFile(Src("docs/changed.txt"), "changed", kOld);
        test::WriteFile(Dst("VLMcopy_drive_c/docs/changed.txt"), "old", kOld);
        test::WriteFile(Src("docs/same.txt"), "same", kOld);
        test::WriteFile(Dst("VLMcopy_drive_c/docs/same.txt"), "same", kOld);
    }
    std::string ProjectForProgress() {
        return Project(Fields({"c:\\docs"}));
    }
    bool SawPartOfBig() const {
        for (const ProgressSnapshot& p : progressView.shown) {
            if (p.currentFile.find("big.bin") != std::string::npos && p.bytesDone > 0 &&
                p.bytesDone % kBig != 0)
                return true;
        }
        return false;
    }
};

TEST(RunProgressTest, CountsWhatIsToCopyAndNeverRunsBackwardsOrPastIt) {
    ProgressRig rig;
    const std::string project = rig.ProjectForProgress();
    // However the threads are scheduled, the count ends before the run has copied anything
    // here, so the totals must be shown while the run is still copying.
    rig.pump.hook = [&rig](int) {
        const ProgressMeter* meter = rig.progressEngine.Progress();
        for (int waited = 0; meter != nullptr && !meter->TotalsKnown() && waited < 10000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    rig.progressEngine.run(project);

    ASSERT_EQ(rig.progressEngine.Outcome(), std::optional<std::string>("OK"));
    const auto& shown = rig.progressView.shown;
    ASSERT_FALSE(shown.empty());
    const std::uint64_t bytesToCopy = kBig + 3 + 7;
    const ProgressSnapshot& last = shown.back();
    EXPECT_TRUE(last.finished);
    EXPECT_TRUE(last.totalsKnown);
    EXPECT_EQ(last.filesTotal, 3u);
    EXPECT_EQ(last.bytesTotal, bytesToCopy);
    EXPECT_EQ(last.filesDone, 3u);
    EXPECT_EQ(last.bytesDone, bytesToCopy);
    std::uint64_t before = 0;
    for (const ProgressSnapshot& p : shown) {
        EXPECT_GE(p.bytesDone, before);
        before = p.bytesDone;
        if (p.totalsKnown) {
            EXPECT_LE(p.filesDone, p.filesTotal);
            EXPECT_LE(p.bytesDone, p.bytesTotal);
        }
        EXPECT_TRUE(p.currentFile.empty() || p.currentFile.rfind("c:\\docs\\", 0) == 0)
            << p.currentFile;
    }
    EXPECT_TRUE(rig.SawPartOfBig());
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](const ProgressSnapshot& p) {
        return p.totalsKnown && !p.finished && p.filesDone < p.filesTotal;
    }));
}

TEST(RunProgressTest, AStopInsideALargeFileKeepsTheOldCopyAndLeavesNoTemporaryFile) {
    ProgressRig rig;
    const std::string oldCopy = "the copy of last week";
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/big.bin"), oldCopy, kOld - 100);
    const std::string project = rig.ProjectForProgress();
    // The person stops the run (and says Yes to the stop question) while big.bin is half in.
    rig.pump.hook = [&rig](int) {
        if (rig.SawPartOfBig())
            rig.run.StopRequested = true;
    };
    rig.progressEngine.run(project);

    EXPECT_EQ(rig.progressEngine.Outcome(), std::optional<std::string>("Cancelled"));
    const auto& lines = rig.progressView.allReportLines;
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("Copy of c:\\docs\\big.bin stopped", 0) == 0;
    }));
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/big.bin")), oldCopy);
    for (const auto& entry :
         std::filesystem::directory_iterator(rig.Dst("VLMcopy_drive_c/docs")))
        EXPECT_EQ(entry.path().filename().string().rfind(".~vlm", 0), std::string::npos)
            << entry.path();
    EXPECT_TRUE(rig.progressView.shown.back().finished);
}

}  // namespace
}  // namespace vlm
