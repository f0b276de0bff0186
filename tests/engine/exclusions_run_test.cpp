// A project's exclusions in a run and in a dry run: what they match is neither copied nor removed
// from the backup, is counted and named; and the read-back of what a run copied.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_rig.h"
#include "platform/volumes.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

TEST(ExclusionsRunTest, LeftOutEntriesAreNeitherCopiedNorRemoved) {
    struct Case {
        const char* name;
        bool dryRun;
    };
    for (const Case& c : {Case{"run", false}, Case{"dry run", true}}) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        // A name the program cannot hold (U+F001) is no failure when it is left out.
        for (const char* file : {"a.txt", "x.tmp", ".cache/c.bin", "sub/.cache/d", "build/o.o",
                                 "sub/build/keep.txt", "odd\xef\x80\x81.tmp"})
            test::WriteFile(rig.Src(std::string("docs/") + file), "s", kOld);
        // Backed up before the exclusions were added: they stay.
        for (const char* file : {"old.tmp", ".cache/stale", "build/old.o"})
            test::WriteFile(rig.Dst(std::string("VLMcopy_drive_c/docs/") + file), "b", kOld);
        // Left by an interrupted run: no backed-up file, so "*.tmp" does not keep it.
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/.~vlm0123456789ab.tmp"), "half", kOld);
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.exclusions = {"*.tmp", ".cache/", "/build/"};
        fields.versions = true;
        const std::string project = rig.Project(fields);
        RunPlan plan;
        if (c.dryRun)
            rig.engine.DryRun(project, &plan);
        else
            rig.engine.run(project);

        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        const auto copied = [&](const std::string& file) {
            return test::Exists(rig.Dst("VLMcopy_drive_c/docs/" + file));
        };
        EXPECT_EQ(copied("a.txt"), !c.dryRun);
        // "/build/" is the item's own folder build only.
        EXPECT_EQ(copied("sub/build/keep.txt"), !c.dryRun);
        for (const char* file : {"x.tmp", ".cache/c.bin", "sub/.cache", "build/o.o"})
            EXPECT_FALSE(copied(file)) << file;
        for (const char* file : {"old.tmp", ".cache/stale", "build/old.o"})
            EXPECT_TRUE(copied(file)) << file;
        EXPECT_EQ(copied(".~vlm0123456789ab.tmp"), c.dryRun);
        // (and no version is kept of it, nor foreseen)
        EXPECT_TRUE(rig.Reported(std::string(c.dryRun ? "Would remove" : "Removed") +
                                 " file: e:\\VLMcopy_drive_c\\docs\\.~vlm0123456789ab.tmp"));
        // x.tmp, .cache, build and sub/.cache: a left-out folder counts once.
        EXPECT_TRUE(rig.Reported("Summary: excluded: 4"));
        EXPECT_TRUE(rig.Reported("Excluded: c:\\docs\\sub\\.cache"));
        EXPECT_TRUE(rig.Reported("Summary: removed: 1 files, 0 folders"));
        EXPECT_TRUE(rig.Reported("Summary: errors: 0"));
        if (c.dryRun) {
            EXPECT_EQ(plan.excluded, 4u);
            EXPECT_EQ(plan.Count(PlannedStepKind::RemoveFile).steps, 1u);
            EXPECT_EQ(plan.Count(PlannedStepKind::NewFile).steps, 2u);
        }
    }
}

// What is left out needs no room and frees none: far more than any disk holds (sparse), on
// both sides, makes no space warning and an estimate of about the free space.
TEST(ExclusionsRunTest, TheSpaceEstimateCountsOnlyWhatTheRunMirrors) {
    EngineRig rig;
    test::WriteFile(rig.Src("docs/a.txt"), "s", kOld);
    test::MakeSizedFile(rig.Src("docs/vm/disk.img"), std::uint64_t{1} << 43);
    test::MakeSizedFile(rig.Src("docs/sub/huge.tmp"), std::uint64_t{1} << 43);
    test::MakeSizedFile(rig.Dst("VLMcopy_drive_c/docs/old.tmp"), std::uint64_t{1} << 43);
    ProjectFields fields = EngineRig::Fields({"c:\\docs"});
    fields.exclusions = {"*.tmp", "/vm/"};
    fields.precalc = true;
    rig.engine.run(rig.Project(fields));
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    const auto estimate = rig.ReportedStartingWith("Estimated future free size: ");
    ASSERT_EQ(estimate.size(), 1u);
    std::string digits = estimate.front();
    std::erase_if(digits, [](char c) { return c < '0' || c > '9'; });
    EXPECT_NEAR(std::stod(digits), static_cast<double>(DiskFreeBytes('e')), 1e9);
}

TEST(ExclusionsRunTest, AProjectWithoutExclusionsSaysNothingOfThem) {
    EngineRig rig;
    test::WriteFile(rig.Src("docs/x.tmp"), "s", kOld);
    rig.engine.run(rig.Project(EngineRig::Fields({"c:\\docs"})));
    EXPECT_TRUE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/x.tmp")));
    EXPECT_TRUE(rig.ReportedStartingWith("Summary: excluded").empty());
    EXPECT_TRUE(rig.ReportedStartingWith("Reading back").empty());
}

TEST(ExclusionsRunTest, ReadBackComparesEveryCopyAfterTheFlush) {
    EngineRig rig;
    for (const char* file : {"a.txt", "sub/b.txt"})
        test::WriteFile(rig.Src(std::string("docs/") + file), "content", kOld);
    ProjectFields fields = EngineRig::Fields({"c:\\docs"});
    fields.verify = true;
    rig.engine.run(rig.Project(fields));
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_TRUE(rig.Reported("Reading back the 2 files copied..."));
    EXPECT_TRUE(rig.Reported("Read back: the 2 files copied are the same as their originals"));
}

}  // namespace
}  // namespace vlm
