// velmora-run as a connected disk starts it: once per connection, and not again within the
// hours the person chose.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

TEST(ConnectRunTest, ARunAtConnectionRunsOnceWithinItsHours) {
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner())) << test::BuiltRunner();
    EngineRig rig;
    const std::string l = rig.drives.HostRoot('l');
    test::WriteDrivesIni(l, rig.drives, "cel");
    rig.Project(EngineRig::Fields({"c:\\docs"}), "photos");
    test::WriteFile(rig.Src("docs/a.txt"), "first", kOld);
    const std::string output = rig.drives.Base() + "/out.txt";
    const std::string copy = rig.Dst("VLMcopy_drive_c/docs/a.txt");
    const auto run = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = {
            l + "/photos.vlm", "--program-folder", l, "--log-level", "none", "--scheduled"};
        args.insert(args.end(), extra.begin(), extra.end());
        return test::RunRunner(std::move(args), {output});
    };
    struct Step {
        const char* name;
        std::vector<std::string> extra;
        int exitCode;
        std::string copy;     // a.txt in the backup afterwards
        std::string printed;  // a text the output holds; "" for none
    };
    const std::vector<Step> steps = {
        {"the first connection runs",
         {"--when-connected", "e:", "--at-most-every", "12"},
         0,
         "first",
         ""},
        {"a second one within the hours does not",
         {"--when-connected", "E:", "--at-most-every", "12"},
         0,
         "first",
         "less than 12 hours ago: no run now"},
        {"without a limit every connection runs", {"--when-connected", "e:"}, 0, "second", ""},
        {"a letter that is no disk is refused", {"--when-connected", "q:"}, 1, "second", ""},
        {"a limit without a connection is a wrong command line",
         {"--at-most-every", "3"},
         2,
         "second",
         ""},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        test::WriteFile(rig.Src("docs/a.txt"), step.copy == "first" ? "first" : "second",
                        step.copy == "first" ? kOld : kOld + 60);
        EXPECT_EQ(run(step.extra), step.exitCode);
        EXPECT_EQ(test::ReadFile(copy), step.copy);
        if (!step.printed.empty()) {
            EXPECT_NE(test::ReadFile(output).find(step.printed), std::string::npos)
                << test::ReadFile(output);
        }
    }
    EXPECT_TRUE(test::Exists(l + "/connect-runs.txt"));
}

}  // namespace
}  // namespace vlm
