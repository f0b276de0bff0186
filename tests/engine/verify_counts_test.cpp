// What a verification counts as damage of the backup and what as work saved since it: only
// damage makes it end "Error".

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kBackedUp = 1600000000;
constexpr std::time_t kLater = kBackedUp + 3600;

TEST(VerifyCountsTest, ChangesSinceTheBackupAreListedApartAndOnlyDamageIsAnError) {
    ASSERT_TRUE(std::filesystem::exists(test::BuiltRunner()));
    const std::string original = "0123456789abcdef";
    std::string flipped = original;
    flipped[3] ^= 0x20;
    struct Case {
        const char* name;
        // Applied to the source folder and the item's backup folder (host paths).
        std::function<void(const std::string& source, const std::string& backup)> change;
        int exitCode;
        std::vector<std::string> lines;  // each printed, in this order
    };
    const std::vector<Case> cases = {
        {"a document saved again since the backup",
         [&](const std::string& src, const std::string&) {
             test::WriteFile(src + "/a.txt", "a longer text than before", kLater);
         },
         0,
         {"changed since the backup: c:\\docs\\a.txt",
          "1 files the same, 0 differences, 1 changed since the backup", "OK"}},
        {"saved again at the same size",
         [&](const std::string& src, const std::string&) {
             test::WriteFile(src + "/sub/b.txt", flipped, kLater);
         },
         0,
         {"changed since the backup: c:\\docs\\sub\\b.txt", "OK"}},
        {"a copy with its source's size and time but other bytes",
         [&](const std::string&, const std::string& dst) {
             test::WriteFile(dst + "/a.txt", flipped, kBackedUp);
         },
         1,
         {"differs: c:\\docs\\a.txt", "1 files the same, 1 differences", "Error"}},
        {"a copy cut short that keeps its source's time",
         [&](const std::string&, const std::string& dst) {
             test::WriteFile(dst + "/sub/b.txt", original.substr(0, 4), kBackedUp);
         },
         1,
         {"differs: c:\\docs\\sub\\b.txt", "Error"}},
        {"a missing copy",
         [&](const std::string&, const std::string& dst) {
             std::filesystem::remove(dst + "/a.txt");
         },
         1,
         {"missing in backup: c:\\docs\\a.txt", "Error"}},
        {"a copy that cannot be read as a file",
         [&](const std::string&, const std::string& dst) {
             std::filesystem::remove(dst + "/a.txt");
             test::MakeDir(dst + "/a.txt");
         },
         1,
         {"unreadable: e:\\VLMcopy_drive_c\\docs\\a.txt (", "Error"}},
        {"a change beside damage: the damage decides",
         [&](const std::string& src, const std::string& dst) {
             test::WriteFile(src + "/a.txt", "new", kLater);
             test::WriteFile(dst + "/sub/b.txt", flipped, kBackedUp);
         },
         1,
         {"differs: c:\\docs\\sub\\b.txt", "changed since the backup: c:\\docs\\a.txt",
          "0 files the same, 1 differences, 1 changed since the backup", "Error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        const std::string l = rig.drives.HostRoot('l');
        test::WriteDrivesIni(l, rig.drives, "cel");
        rig.Project(EngineRig::Fields({"c:\\docs"}), "v");
        for (const char* name : {"a.txt", "sub/b.txt"}) {
            test::WriteFile(rig.Src(std::string("docs/") + name), original, kBackedUp);
            test::WriteFile(rig.Dst(std::string("VLMcopy_drive_c/docs/") + name), original,
                            kBackedUp);
        }
        c.change(rig.Src("docs"), rig.Dst("VLMcopy_drive_c/docs"));
        const std::string output = rig.drives.Base() + "/out.txt";

        EXPECT_EQ(test::RunRunner({l + "/v.vlm", "--verify", "--program-folder", l}, {output}),
                  c.exitCode);

        const std::string printed = test::ReadFile(output);
        std::size_t at = 0;
        for (const std::string& line : c.lines) {
            const std::size_t found = printed.find("\n" + line, at);
            ASSERT_NE(found, std::string::npos) << line << " in\n" << printed;
            at = found + 1;
        }
    }
}

}  // namespace
}  // namespace vlm
