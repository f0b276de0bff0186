// Each run's report is kept for its history row, goes with its row, and ends with a summary that
// counts what was done; the errors a person must act on say what to do.

#include "core/run_reports.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::WriteFile;

std::string ReportOf(test::EngineRig& rig, std::size_t row) {
    return ReadRunReport(rig.settings.RunHistoryPath(), rig.history.Rows().at(row))
        .value_or("<none>");
}

std::size_t ReportsKept(test::EngineRig& rig) {
    return test::ReadTree(rig.drives.HostRoot('l') + "/Reports").size();
}

TEST(RunReports, EachRowKeepsItsReportAndOnlyRowsThatAreThereDo) {
    test::EngineRig rig;
    rig.settings.RunHistoryMax = 2;
    rig.view.level = LogLevel::None;  // the report is kept whatever the window shows
    const std::string project = rig.Project(test::EngineRig::Fields({"c:\\docs"}));
    for (int runNumber = 1; runNumber <= 3; ++runNumber) {
        WriteFile(rig.Src("docs/file" + std::to_string(runNumber) + ".txt"), "x");
        rig.engine.run(project);
        // Two runs in one second would share a row's start time.
        if (runNumber < 3)
            ::sleep(1);
    }
    ASSERT_EQ(rig.history.Rows().size(), 2u);
    EXPECT_EQ(ReportsKept(rig), 2u);
    const std::string newest = ReportOf(rig, 0);
    EXPECT_NE(newest.find("Project: " + project), std::string::npos) << newest;
    EXPECT_NE(newest.find("Summary: files copied: 1 (new: 1, replaced: 0)"), std::string::npos)
        << newest;
    EXPECT_NE(newest.find("Start time: " + rig.history.Rows()[0].subItems[0]), std::string::npos);
    EXPECT_EQ(newest.substr(newest.rfind("Result: ")), "Result: OK\n");
    EXPECT_NE(ReportOf(rig, 1).find("Start time: " + rig.history.Rows()[1].subItems[0]),
              std::string::npos);
}

// An error that comes back at every run until the person acts says what to do.
TEST(RunReports, ARecurringErrorSaysWhatToDo) {
    test::EngineRig rig;
    ProjectFields fields = test::EngineRig::Fields({"c:\\docs"});
    fields.longnames = true;  // "a*b" is written as "ab", which "ab" is too
    const std::string project = rig.Project(fields);
    WriteFile(rig.Src("docs/a*b"), "a");
    WriteFile(rig.Src("docs/ab"), "b");
    rig.engine.run(project);
    const auto lines = rig.ReportedStartingWith("ERROR: ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Rename one of the two, or leave one out with an exclusion."),
              std::string::npos)
        << lines[0];
}

// A run stopped in the middle counts in its summary (and its kept report) what it did: the copies
// there are, no more and no fewer.
TEST(RunReports, ACancelledRunsSummaryCountsWhatWasDone) {
    for (const int stopAt : {40, 120, 250}) {
        SCOPED_TRACE(stopAt);
        test::EngineRig rig;
        const std::string project = rig.Project(test::EngineRig::Fields({"c:\\docs"}));
        for (int i = 0; i < 300; ++i)
            WriteFile(rig.Src("docs/f" + std::to_string(i) + ".txt"), "x");
        rig.pump.hook = [&](int call) {
            if (call == stopAt)
                rig.run.StopRequested = true;
        };
        rig.engine.run(project);
        const std::size_t copies = test::ReadTree(rig.Dst("VLMcopy_drive_c/docs")).size();
        // The stop came in the middle of the copying, not before or after it.
        EXPECT_GT(copies, 0u);
        EXPECT_LT(copies, 300u);
        const std::string count = std::to_string(copies);
        EXPECT_TRUE(
            rig.Reported("Summary: files copied: " + count + " (new: " + count + ", replaced: 0)"))
            << copies;
        EXPECT_NE(ReportOf(rig, 0).find("Summary: files copied: " + count + " "),
                  std::string::npos);
    }
}

}  // namespace
}  // namespace vlm
