// velmora-run --verify over a backup that was made and then damaged: each damage is named, the
// exit code says whether the backup is whole, and nothing is written.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kTime = 1600000000;

TEST(VerifyTest, RunnerNamesEachDamagedCopyAndChangesNothing) {
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner()));
    struct Case {
        const char* name;
        const char* copy;     // the damaged copy, below the item's backup folder
        std::string content;  // what it holds then; "" removes it
        int exitCode;
        const char* line;  // the line expected before the last
    };
    const std::string original = "0123456789abcdef";
    std::string flipped = original;
    flipped[7] ^= 0x01;
    const std::vector<Case> cases = {
        {"whole backup", nullptr, "", 0, "2 files the same, 0 differences"},
        {"a flipped byte", "a.txt", flipped, 1, "differs: c:\\docs\\a.txt"},
        {"a truncated copy", "sub/b.txt", original.substr(0, 5), 1,
         "differs: c:\\docs\\sub\\b.txt"},
        {"a missing copy", "a.txt", "", 1, "missing in backup: c:\\docs\\a.txt"},
        // A left-out file has no copy, and is no difference.
        {"an excluded file", "x.tmp", "", 0, "2 files the same, 0 differences"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteDrivesIni(rig.drives.HostRoot('l'), rig.drives, "cel");
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.exclusions = {"*.tmp"};
        rig.Project(fields, "v");
        for (const char* name : {"a.txt", "sub/b.txt"}) {
            test::WriteFile(rig.Src(std::string("docs/") + name), original, kTime);
            test::WriteFile(rig.Dst(std::string("VLMcopy_drive_c/docs/") + name), original, kTime);
        }
        test::WriteFile(rig.Src("docs/x.tmp"), "scratch", kTime);
        const std::string damaged =
            c.copy ? rig.Dst(std::string("VLMcopy_drive_c/docs/") + c.copy) : "";
        if (c.copy && c.content.empty())
            std::filesystem::remove(damaged);
        else if (c.copy)
            test::WriteFile(damaged, c.content, kTime);
        const std::string output = rig.drives.Base() + "/out.txt";
        const std::string l = rig.drives.HostRoot('l');

        EXPECT_EQ(test::RunRunner({l + "/v.vlm", "--verify", "--program-folder", l}, {output}),
                  c.exitCode);

        const std::string printed = test::ReadFile(output);
        EXPECT_NE(printed.find(std::string(c.line) + "\n"), std::string::npos) << printed;
        EXPECT_EQ(printed.substr(printed.rfind('\n', printed.size() - 2) + 1),
                  c.exitCode == 0 ? "OK\n" : "Error\n")
            << printed;
        // Not even a history row or a log line.
        EXPECT_FALSE(std::filesystem::exists(l + "/runoverview.his"));
        EXPECT_FALSE(std::filesystem::exists(l + "/Vlmlogtmp.txt"));
        if (c.copy && !c.content.empty()) {
            EXPECT_EQ(test::ReadFile(damaged), c.content);
        }
    }
}

}  // namespace
}  // namespace vlm
