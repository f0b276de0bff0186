// The three sinks on one small tree: what each lets the passes touch, keep and count.

#include "engine/pass_sink.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/removal_pass.h"
#include "engine_rig.h"

namespace vlm {
namespace {

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1700000000;

TEST(PassSinkTest, EachSinkTouchesKeepsAndCountsWhatItShould) {
    struct Case {
        const char* name;
        SinkKind kind;
        bool touched;                       // the backup changed
        std::vector<PlannedStepKind> kept;  // the plan's steps
        std::uint64_t totalsNew, totalsReplaced, totalsRemoved, errors;
        CountedWork counted;
    };
    using K = PlannedStepKind;
    const std::vector<Case> cases = {
        {"apply", SinkKind::Apply, true, {}, 1, 1, 1, 1, {}},
        {"plan",
         SinkKind::Plan,
         false,
         {K::RemoveFile, K::ChangedFile, K::NewFile},
         1,
         1,
         1,
         1,
         {}},
        {"count", SinkKind::Count, false, {}, 0, 0, 0, 0, {2, 12, 12, 1, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::EngineRig rig;
        test::WriteFile(rig.Src("s/new.txt"), "new", kOld);
        test::WriteFile(rig.Src("s/changed.txt"), "new text!", kOld);
        test::WriteFile(rig.Dst("d/changed.txt"), "old", kNew);
        test::WriteFile(rig.Dst("d/stale.txt"), "stale", kOld);
        // A name no drive path can hold: a failure the passes go past.
        test::WriteFile(rig.Src("s/bad\xef\x80\x81.txt"), "b", kOld);
        const auto before = test::ReadTree(rig.Dst());
        RunPlan plan;
        rig.pass.sink = c.kind == SinkKind::Apply  ? PassSink::Apply()
                        : c.kind == SinkKind::Plan ? PassSink::Plan(&plan, false)
                                                   : PassSink::Count();
        rig.pass.sink.BeginItem(DrivePath("c:\\s"), DrivePath("e:\\d"));
        deletesupr(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));
        copyltor(rig.pass, DrivePath("c:\\s"), DrivePath("e:\\d"));

        EXPECT_EQ(test::ReadTree(rig.Dst()) != before, c.touched);
        std::vector<PlannedStepKind> kept;
        for (const PlannedItem& item : plan.items)
            for (const PlannedStep& step : item.steps)
                kept.push_back(step.kind);
        EXPECT_EQ(kept, c.kept);
        EXPECT_EQ(plan.items.empty() ? 0u : plan.items[0].failures.size(),
                  c.kind == SinkKind::Plan ? 1u : 0u);
        EXPECT_EQ(rig.run.Totals.filesNew, c.totalsNew);
        EXPECT_EQ(rig.run.Totals.filesReplaced, c.totalsReplaced);
        EXPECT_EQ(rig.run.Totals.filesRemoved, c.totalsRemoved);
        EXPECT_EQ(rig.run.Totals.errors, c.errors);
        EXPECT_EQ(rig.run.FilesFailed, c.errors > 0);
        const CountedWork& counted = rig.pass.sink.Counted();
        EXPECT_EQ(counted.copyFiles, c.counted.copyFiles);
        EXPECT_EQ(counted.copyBytes, c.counted.copyBytes);
        EXPECT_EQ(counted.writeBytes, c.counted.writeBytes);
        EXPECT_EQ(counted.removeFiles, c.counted.removeFiles);
        EXPECT_EQ(counted.removeBytes, c.counted.removeBytes);
        EXPECT_TRUE(rig.dialogs.Boxes().empty());
    }
}

}  // namespace
}  // namespace vlm
