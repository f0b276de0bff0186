// Against a peer: a run over a tree with every kind of change must leave exactly what
// `rsync -a --delete` leaves — the same names, contents and modification times (to the 2-second
// stamp). And the headless runner's exit code follows the run's result.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/version_store.h"
#include "engine_rig.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kT1 = 1600000000;
constexpr std::time_t kT2 = 1600000101;  // odd: the stamp keeps it to the even second below

bool HaveRsync() {
    return std::system("rsync --version >/dev/null 2>&1") == 0;
}

std::string Quoted(const std::string& path) {
    return "'" + path + "'";
}

void Rsync(const std::string& from, const std::string& to) {
    const std::string command = "rsync -a --delete " + Quoted(from + "/") + " " + Quoted(to + "/");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// The tree with file times taken to the 2-second stamp.
std::vector<test::TreeEntry> Stamped(const std::string& root) {
    auto tree = test::ReadTree(root);
    for (auto& entry : tree)
        entry.mtime -= entry.mtime % 2;
    return tree;
}

void BuildFirstState(EngineRig& rig) {
    test::WriteFile(rig.Src("src/same.txt"), "unchanged", kT1);
    test::WriteFile(rig.Src("src/grows.txt"), "short", kT1);
    test::WriteFile(rig.Src("src/touched.txt"), "same bytes", kT1);
    test::WriteFile(rig.Src("src/goes.txt"), "deleted later", kT1);
    test::WriteFile(rig.Src("src/becomes dir"), "a file first", kT1);
    test::WriteFile(rig.Src("src/becomes file/inner.txt"), "inner", kT1);
    test::WriteFile(rig.Src("src/old folder/deep/x.txt"), "x", kT1);
    test::WriteFile(rig.Src("src/.hidden"), "hidden", kT2);
    test::WriteFile(rig.Src("src/Grüße aus Köln.txt"), "non-ascii", kT1);
    test::MakeDir(rig.Src("src/empty"));
}

void ChangeEverything(EngineRig& rig) {
    test::WriteFile(rig.Src("src/new file.txt"), "brand new", kT2);
    test::WriteFile(rig.Src("src/sub/new/n.txt"), "new in new folder", kT2);
    test::WriteFile(rig.Src("src/grows.txt"), "much longer now", kT1);
    test::SetMtime(rig.Src("src/touched.txt"), kT2);
    test::RemoveTree(rig.Src("src/goes.txt"));
    test::RemoveTree(rig.Src("src/becomes dir"));
    test::WriteFile(rig.Src("src/becomes dir/now.txt"), "now a folder", kT1);
    test::RemoveTree(rig.Src("src/becomes file"));
    test::WriteFile(rig.Src("src/becomes file"), "now a file", kT2);
    test::RemoveTree(rig.Src("src/old folder"));
    test::WriteFile(rig.Src("src/.hidden"), "hidden, changed", kT2);
    test::MakeDir(rig.Src("src/another empty/inside"));
}

TEST(MirrorVsRsyncTest, ARunLeavesWhatRsyncLeaves) {
    if (!HaveRsync())
        GTEST_SKIP() << "rsync is not installed";
    EngineRig rig;
    BuildFirstState(rig);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\src"}));
    const std::string mirror = rig.Dst("VLMcopy_drive_c/src");
    const std::string peer = rig.drives.Base() + "/peer";
    test::MakeDir(peer);

    rig.engine.run(project);
    Rsync(rig.Src("src"), peer);
    ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_EQ(Stamped(mirror), Stamped(peer));

    ChangeEverything(rig);
    rig.engine.run(project);
    Rsync(rig.Src("src"), peer);
    ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    const auto ours = Stamped(mirror);
    EXPECT_EQ(ours, Stamped(peer));
    // The comparison has teeth: the changes are really there.
    EXPECT_EQ(test::ReadFile(mirror + "/becomes file"), "now a file");
    EXPECT_EQ(test::ReadFile(mirror + "/becomes dir/now.txt"), "now a folder");
    EXPECT_TRUE(test::Exists(mirror + "/another empty/inside"));
    EXPECT_FALSE(test::Exists(mirror + "/goes.txt"));
    EXPECT_FALSE(test::Exists(mirror + "/old folder"));
}

// With kept versions the mirror is still what rsync leaves, and the run's version folder holds
// exactly what the second run replaced or removed, as the first run had left it; restored as of
// that run, the backup is the first state again.
TEST(MirrorVsRsyncTest, WithKeptVersionsTheMirrorMatchesAndTheVersionsHoldWhatWent) {
    if (!HaveRsync())
        GTEST_SKIP() << "rsync is not installed";
    EngineRig rig;
    BuildFirstState(rig);
    ProjectFields fields = EngineRig::Fields({"c:\\src"});
    fields.versions = true;
    const std::string project = rig.Project(fields);
    const std::string mirror = rig.Dst("VLMcopy_drive_c/src");
    const std::string peer = rig.drives.Base() + "/peer";
    test::MakeDir(peer);
    rig.engine.run(project);
    const auto first = Stamped(mirror);

    // Versions older than the project's 30 days go at the end of the run.
    const std::string old = rig.Dst("VLMversions_drive_c/2020-01-01 00.00.00");
    test::WriteFile(old + "/src/ancient.txt", "old");
    ChangeEverything(rig);
    // A dry run names what the run would keep, and keeps nothing.
    rig.engine.DryRun(project);
    const auto& lines = rig.view.allReportLines;
    const auto said = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(said("Would remove file: e:\\VLMcopy_drive_c\\src\\goes.txt (kept as version)"));
    EXPECT_TRUE(test::Exists(old + "/src/ancient.txt"));
    rig.engine.run(project);
    Rsync(rig.Src("src"), peer);
    ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    EXPECT_EQ(Stamped(mirror), Stamped(peer));
    EXPECT_FALSE(test::Exists(old));

    const auto store =
        VersionStore::For(DrivePath("c:\\src"), DrivePath("e:\\VLMcopy_drive_c\\src"), false);
    ASSERT_TRUE(store);
    const std::vector<KeptRun> runs = store->Runs();
    ASSERT_EQ(runs.size(), 2u);  // the first run only added, the second kept
    const std::vector<std::string> went = {".hidden",   "becomes dir", "becomes file", "goes.txt",
                                           "grows.txt", "old folder",  "touched.txt"};
    std::vector<test::TreeEntry> expected;
    for (test::TreeEntry entry : first) {
        const std::string top = entry.path.substr(0, entry.path.find('/'));
        if (std::find(went.begin(), went.end(), top) != went.end())
            expected.push_back(entry);
    }
    EXPECT_EQ(Stamped(rig.drives.Host(runs[1].folder.Text()) + "/src"), expected);
    EXPECT_TRUE(said("Removed file: e:\\VLMcopy_drive_c\\src\\goes.txt (kept as version)"));

    EXPECT_TRUE(RestoreAt(*store, DrivePath("e:\\VLMcopy_drive_c\\src"), runs[1].start,
                          DrivePath("c:\\back"), {})
                    .ok());
    EXPECT_EQ(Stamped(rig.Src("back/src")), first);
}

// The runner as a script sees it: exit 0 on "OK", 1 otherwise.
TEST(HeadlessRunnerTest, ExitCodeFollowsTheResult) {
    // The build makes the runner before this test program.
    const std::string runner = test::BuiltRunner();
    ASSERT_TRUE(std::filesystem::exists(runner)) << runner << " is not built";
    EngineRig rig;
    test::WriteFile(rig.Src("docs/a.txt"), "a", kT1);
    const std::string programFolder = rig.drives.HostRoot('l');
    test::WriteDrivesIni(programFolder, rig.drives, "cel");
    rig.Project(EngineRig::Fields({"c:\\docs"}), "good");
    test::WriteFile(programFolder + "/bad.vlm",
                    "vlmproject=ok\r\ndestdrive=e:\r\nconfirm=N\r\nitem1=c:\\missing\r\n");
    auto run = [&](const std::string& projectFile) {
        return test::RunRunner({programFolder + "/" + projectFile, "--program-folder",
                                programFolder, "--log-level", "none"});
    };
    EXPECT_EQ(run("good.vlm"), 0);
    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/a.txt")), "a");
    EXPECT_EQ(run("bad.vlm"), 1);
    const std::string history = test::ReadFile(programFolder + "/runoverview.his");
    EXPECT_EQ(history.rfind("l:\\good.vlm|", 0), 0u) << history;
    EXPECT_NE(history.find("|Normal|"), std::string::npos);
    EXPECT_NE(history.find("|OK|"), std::string::npos);
}

// The runner lists a file's kept versions and restores the file as it was, from a host path.
TEST(HeadlessRunnerTest, ListsAndRestoresKeptVersions) {
    EngineRig rig;
    const std::string programFolder = rig.drives.HostRoot('l');
    test::WriteDrivesIni(programFolder, rig.drives, "cel");
    ProjectFields fields = EngineRig::Fields({"c:\\docs"});
    fields.versions = true;
    const std::string project = programFolder + "/" + rig.Project(fields, "kept").substr(3);
    const std::string out = rig.drives.Base() + "/out.txt";
    const auto runner = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {project, "--program-folder", programFolder});
        return test::RunRunner(args, {out, ""});
    };
    test::WriteFile(rig.Src("docs/a.txt"), "old bytes", kT1);
    ASSERT_EQ(runner({"--log-level", "none"}), 0);
    test::WriteFile(rig.Src("docs/a.txt"), "new", kT2);
    ASSERT_EQ(runner({"--log-level", "none"}), 0);

    ASSERT_EQ(runner({"--versions", "c:\\docs\\a.txt"}), 0);
    const std::string listed = test::ReadFile(out);
    ASSERT_EQ(std::count(listed.begin(), listed.end(), '\n'), 1) << listed;
    const std::string kept = listed.substr(0, listed.find('\t'));
    EXPECT_NE(listed.find("\t9\t" + rig.Dst("VLMversions_drive_c/")), std::string::npos) << listed;

    const std::string back = rig.Src("back");
    EXPECT_EQ(runner({"--restore", rig.Src("docs/a.txt"), "--to", back, "--as-of", kept}), 0)
        << test::ReadFile(out);
    EXPECT_EQ(test::ReadFile(back + "/a.txt"), "old bytes");
    EXPECT_EQ(runner({"--restore", rig.Src("docs/a.txt"), "--to", back}), 0);
    EXPECT_EQ(test::ReadFile(back + "/a.txt"), "new");
    EXPECT_EQ(runner({"--versions", "c:\\elsewhere"}), 2);

    // The backup's disk unplugged: each command that reads it says so instead of finding nothing.
    test::WriteDrivesIni(programFolder, rig.drives, "cl");
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"--versions", "c:\\docs\\a.txt"},
          {"--restore", rig.Src("docs/a.txt"), "--to", back},
          {"--verify"}}) {
        EXPECT_EQ(runner(command), 1) << command.front();
        EXPECT_NE(test::ReadFile(out).find("Drive e does not exist!"), std::string::npos)
            << command.front() << ": " << test::ReadFile(out);
    }
}

}  // namespace
}  // namespace vlm
