// Kept versions never cost a backup its run: the estimate counts that what a run replaces is
// kept, and when the disk would run out, the oldest kept runs make room first.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/version_store.h"
#include "engine_rig.h"
#include "platform/packed_time.h"
#include "platform/volumes.h"
#include "support/media_image.h"

namespace vlm {
namespace {

using test::EngineRig;

// How many of the oldest kept runs go for the bytes a run lacks.
TEST(VersionsSpaceTest, TheOldestKeptRunsGoUntilEnoughIsFree) {
    struct Case {
        const char* name;
        std::vector<std::uint64_t> oldestFirst;
        std::uint64_t needed;
        std::size_t going;
    };
    const Case cases[] = {
        {"nothing lacking", {10, 20}, 0, 0},
        {"the oldest is enough", {10, 20}, 10, 1},
        {"the oldest falls short by a byte", {10, 20}, 11, 2},
        {"all of them are not enough", {10, 20}, 100, 2},
        {"no kept runs", {}, 5, 0},
        {"an empty run on the way", {0, 0, 7}, 7, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeptRunsToFree(c.oldestFirst, c.needed), c.going) << c.name;
}

constexpr std::uint64_t kMB = 1024 * 1024;

// A 64 MB disk holding two kept runs of 20 and 10 MB, and a new file of the free space and 8 MB
// more: the oldest run makes room (one line), the newer one stays, nothing is asked and the
// file is backed up. With the estimate on, the Preview says so first and removes nothing, and
// the run makes room before it copies; with it off, the run makes room when the disk is full.
TEST(VersionsSpaceTest, TheOldestKeptRunsMakeRoomBeforeASpaceWarning) {
    for (const bool precalc : {true, false}) {
        SCOPED_TRACE(precalc ? "estimate on" : "estimate off");
        EngineRig rig;
        test::MediaImage image(test::MediumKind::Ext4, rig.Dst());
        if (!image.Mounted())
            GTEST_SKIP() << image.Skip();
        const DateTime now = NowLocal();
        const std::string oldest = VersionRunName(now - 3);
        const std::string newer = VersionRunName(now - 1);
        test::WriteFile(rig.Dst("VLMversions_drive_c/" + oldest + "/docs/old.bin"),
                        std::string(20 * kMB, 'o'));
        test::WriteFile(rig.Dst("VLMversions_drive_c/" + newer + "/docs/new.bin"),
                        std::string(10 * kMB, 'n'));
        test::WriteFile(rig.Src("docs/keep.txt"), "kept");
        test::MakeDir(rig.Dst("VLMcopy_drive_c/docs"));
        const std::int64_t freeBytes = DiskFreeBytes('e');
        ASSERT_GT(freeBytes, 0);
        const std::string big(static_cast<std::size_t>(freeBytes) + 8 * kMB, 'b');
        test::WriteFile(rig.Src("docs/big.bin"), big);

        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.precalc = precalc;
        fields.versions = true;
        const std::string project = rig.Project(fields);
        if (precalc) {
            // The Preview names what the run would remove, and foresees no warning.
            rig.engine.DryRun(project);
            EXPECT_EQ(
                rig.ReportedStartingWith("Would remove kept versions of "),
                std::vector<std::string>{"Would remove kept versions of " + oldest +
                                         " to make room: e:\\VLMversions_drive_c\\" + oldest});
            EXPECT_TRUE(rig.ReportedStartingWith("Would ask: WARNING: not enough space").empty());
            ASSERT_TRUE(std::filesystem::exists(rig.Dst("VLMversions_drive_c/" + oldest)));
            rig.view.allReportLines.clear();
        }

        rig.engine.run(project);

        EXPECT_TRUE(rig.dialogs.Boxes().empty());
        EXPECT_EQ(rig.ReportedStartingWith("Removed kept versions of "),
                  std::vector<std::string>{"Removed kept versions of " + oldest +
                                           " to make room: e:\\VLMversions_drive_c\\" + oldest});
        EXPECT_FALSE(std::filesystem::exists(rig.Dst("VLMversions_drive_c/" + oldest)));
        EXPECT_TRUE(
            std::filesystem::exists(rig.Dst("VLMversions_drive_c/" + newer + "/docs/new.bin")));
        EXPECT_EQ(std::filesystem::file_size(rig.Dst("VLMcopy_drive_c/docs/big.bin")), big.size());
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    }
}

}  // namespace
}  // namespace vlm
