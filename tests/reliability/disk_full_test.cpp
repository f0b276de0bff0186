// A destination that really fills up: drive e: is a tmpfs of 8 MB and the project's sources are
// larger. The precalculation warns first; whoever goes on anyway gets a run that reports the
// failure, and no destination file is left truncated. Skipped where mounting is not permitted.

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "../engine/engine_rig.h"
#include "reliability_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kT = 1600000000;

// A small tmpfs, unmounted again whatever the test does.
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : folder_(folder) {
        test::MakeDir(folder_);
        if (::mount("tmpfs", folder_.c_str(), "tmpfs", 0, "size=8m") == 0)
            mounted_ = true;
        else
            error_ = std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(folder_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string error_;
};

TEST(DiskFullTest, ARunOntoAFullDiskWarnsReportsAndTruncatesNothing) {
    const struct {
        Answer goOn;
        const char* result;
    } cases[] = {
        // Going on after the warning: the disk fills, the files that did not fit are reported.
        {Answer::Yes, "Error"},
        // Stopping at the warning: nothing is written.
        {Answer::No, "Not enough space"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        EngineRig rig;
        SmallDisk disk(rig.drives.Base() + "/small");
        if (!disk.Mounted())
            GTEST_SKIP() << "mounting a tmpfs is not permitted here (" << disk.Error()
                         << "): the disk-full test is skipped";
        rig.drives.PinTo('e', rig.drives.Base() + "/small");
        test::AnsweringDialogs dialogs(c.goOn);
        // 5 x 2.5 MB and some small files: about 13 MB for 8 MB.
        for (int i = 0; i < 5; ++i)
            test::WriteFile(rig.Src("big/part" + std::to_string(i) + ".bin"),
                            std::string(2500 * 1024, static_cast<char>('0' + i)), kT);
        for (int i = 0; i < 20; ++i)
            test::WriteFile(rig.Src("big/small/s" + std::to_string(i)), std::string(3000, 's'), kT);
        auto fields = EngineRig::Fields({"c:\\big"});
        fields.precalc = true;
        const std::string project = rig.Project(fields);

        rig.engine.run(project);

        ASSERT_FALSE(dialogs.texts.empty());
        EXPECT_EQ(dialogs.texts.front(),
                  "WARNING: not enough space left on destination. Project/program will probably "
                  "not end in a normal way! Proceed anyway??");
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>(c.result));
        const std::string mirror = rig.Dst("VLMcopy_drive_c/big");
        const auto written = test::Snapshot(mirror);
        const auto source = test::Snapshot(rig.Src("big"));
        const auto bad = test::FileNeitherOldNorNew(written, {}, source);
        EXPECT_FALSE(bad.has_value()) << "truncated: " << bad.value_or("");
        EXPECT_EQ(test::TemporaryFilesBelow(rig.Dst()), std::vector<std::string>{});
        if (c.goOn == Answer::Yes) {
            // The first file that did not fit ended the run, with one box after the warning.
            EXPECT_EQ(rig.ReportedStartingWith("FATAL ERROR: Could not copy").size(), 1u);
            EXPECT_EQ(dialogs.texts.size(), 2u);
            // The disk took what fitted.
            EXPECT_GE(written.size(), 2u);
        } else {
            EXPECT_TRUE(rig.Reported("Exit by user (not enough space on destination)"));
            EXPECT_FALSE(test::Exists(mirror + "/part0.bin"));
        }
    }
}

}  // namespace
}  // namespace vlm
