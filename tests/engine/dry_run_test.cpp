// A dry run names what a run would do and touches nothing: on random trees its list is exactly
// what the next real run reports doing.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

// A source folder and its backup, differing in every way a run mends: new files, files changed in
// size or in time only, unchanged files, stale files and folders, a folder where a file belongs.
void Populate(std::mt19937& rng, const std::string& src, const std::string& dst, int depth) {
    test::MakeDir(src);
    const auto pick = [&rng](unsigned n) { return static_cast<unsigned>(rng() % n); };
    const unsigned files = pick(4);
    for (unsigned i = 0; i < files; ++i) {
        const std::string name = "/f" + std::to_string(i) + ".txt";
        const std::string content(pick(20), static_cast<char>('a' + pick(26)));
        const std::time_t mtime = kOld + 2 * static_cast<std::time_t>(pick(1000));
        test::WriteFile(src + name, content, mtime);
        switch (pick(4)) {
            case 0:
                break;  // new
            case 1:
                test::WriteFile(dst + name, content, mtime);  // unchanged
                break;
            case 2:
                test::WriteFile(dst + name, content + "old", mtime);  // another size
                break;
            default:
                test::WriteFile(dst + name, content, mtime - 10);  // another time
                break;
        }
    }
    for (unsigned i = pick(3); i > 0; --i)
        test::WriteFile(dst + "/stale" + std::to_string(i) + ".txt", "stale", kOld);
    if (pick(4) == 0)
        test::WriteFile(dst + "/gone/deeper/x.txt", "x", kOld);
    if (pick(6) == 0) {
        test::WriteFile(src + "/was-a-folder", "now a file", kOld);
        test::WriteFile(dst + "/was-a-folder/inner.txt", "i", kOld);
    }
    if (depth < 3) {
        for (unsigned k = pick(3); k > 0; --k) {
            const std::string name = "/d" + std::to_string(k);
            Populate(rng, src + name, dst + name, depth + 1);
        }
    }
}

// The lines of `lines` that start with one of the `prefixes`, as "<index of prefix>|<rest>",
// sorted.
std::vector<std::string> Actions(const std::vector<std::string>& lines,
                                 const std::vector<std::string>& prefixes) {
    std::vector<std::string> actions;
    for (const std::string& line : lines) {
        for (std::size_t p = 0; p < prefixes.size(); ++p) {
            if (line.rfind(prefixes[p], 0) == 0)
                actions.push_back(std::to_string(p) + "|" + line.substr(prefixes[p].size()));
        }
    }
    std::sort(actions.begin(), actions.end());
    return actions;
}

TEST(DryRunTest, ListsExactlyWhatTheNextRunDoesAndTouchesNothing) {
    const std::vector<std::string> would = {"Would create file: ", "Would overwrite file: ",
                                            "Would remove file: ", "Would remove dir: "};
    const std::vector<std::string> did = {
        "Created file: ", "Overwritten file: ", "Removed file: ", "Removed dir: "};
    std::vector<int> seen(would.size(), 0);  // the trees must show every kind of action
    for (unsigned seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 rng(seed);
        EngineRig rig;
        rig.view.level = LogLevel::Normal;
        Populate(rng, rig.Src("docs"), rig.Dst("VLMcopy_drive_c/docs"), 0);
        // One copy in common: the whole-backup question stays out of it.
        test::WriteFile(rig.Src("docs/keep.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/keep.txt"), "k", kOld);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        const test::TreeOptions exact{true, true};
        const auto sourceBefore = test::ReadTree(rig.Src(), exact);
        const auto backupBefore = test::ReadTree(rig.Dst(), exact);

        rig.engine.DryRun(project);

        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(test::ReadTree(rig.Src(), exact), sourceBefore);
        EXPECT_EQ(test::ReadTree(rig.Dst(), exact), backupBefore);
        EXPECT_TRUE(rig.history.Rows().empty());
        EXPECT_TRUE(rig.dialogs.Boxes().empty());
        const auto planned = Actions(rig.view.allReportLines, would);
        for (const std::string& action : planned)
            ++seen[static_cast<std::size_t>(action[0] - '0')];
        const RunTotals plannedTotals = rig.run.Totals;
        EXPECT_FALSE(rig.run.VirtualCopy);
        EXPECT_FALSE(rig.run.DryRun);

        rig.view.allReportLines.clear();
        rig.engine.run(project);

        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(planned, Actions(rig.view.allReportLines, did));
        EXPECT_EQ(plannedTotals.filesNew, rig.run.Totals.filesNew);
        EXPECT_EQ(plannedTotals.filesReplaced, rig.run.Totals.filesReplaced);
        EXPECT_EQ(plannedTotals.bytesCopied, rig.run.Totals.bytesCopied);
        EXPECT_EQ(plannedTotals.filesRemoved, rig.run.Totals.filesRemoved);
        EXPECT_EQ(plannedTotals.foldersRemoved, rig.run.Totals.foldersRemoved);
    }
    for (std::size_t kind = 0; kind < seen.size(); ++kind)
        EXPECT_GT(seen[kind], 0) << would[kind];
}

// A source folder whose backup does not exist yet: everything would be new, and the dry run makes
// no folder for it.
TEST(DryRunTest, ABackupNotMadeYetStaysUnmade) {
    EngineRig rig;
    rig.view.level = LogLevel::Normal;
    test::WriteFile(rig.Src("docs/sub/a.txt"), "abc", kOld);
    test::WriteFile(rig.Src("single.txt"), "s", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs", "c:\\single.txt"}));
    rig.engine.DryRun(project);
    EXPECT_TRUE(test::ReadTree(rig.Dst()).empty());
    EXPECT_TRUE(rig.Reported("Would create file: e:\\VLMcopy_drive_c\\docs\\sub\\a.txt"));
    EXPECT_TRUE(rig.Reported("Would create file: e:\\VLMcopy_drive_c\\single.txt"));
    EXPECT_TRUE(rig.Reported("Summary: files copied: 2 (new: 2, replaced: 0)"));
    EXPECT_TRUE(rig.Reported("Summary: bytes copied: 4"));
}

// A folder made private since its backup: the dry run leaves the backup's bits as they are,
// also in a folder below the top one, and the real run then makes the copies private.
TEST(DryRunTest, FolderBitsChangedSinceTheBackupAreLeftAlone) {
    EngineRig rig;
    for (const char* folder : {"docs/private", "docs/private/deeper"}) {
        test::WriteFile(rig.Src(std::string(folder) + "/a.txt"), "a", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/" + std::string(folder) + "/a.txt"), "a", kOld);
        test::SetMode(rig.Dst("VLMcopy_drive_c/" + std::string(folder)), 0755);
        test::SetMode(rig.Src(folder), 0700);
    }
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    };
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    rig.engine.DryRun(project);
    for (const char* folder : {"docs/private", "docs/private/deeper"})
        EXPECT_EQ(modeOf(rig.Dst("VLMcopy_drive_c/" + std::string(folder))), 0755u) << folder;
    rig.engine.run(project);
    for (const char* folder : {"docs/private", "docs/private/deeper"})
        EXPECT_EQ(modeOf(rig.Dst("VLMcopy_drive_c/" + std::string(folder))), 0700u) << folder;
}

}  // namespace
}  // namespace vlm
