// A dry run names what a run would do and touches nothing: on random trees its list is exactly
// what the next real run reports doing.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "platform/folder_lock.h"
#include "platform/path_translation.h"

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

// The plan's steps in the form of Actions, for the kinds the lines name.
std::vector<std::string> PlanActions(const RunPlan& plan) {
    std::vector<std::string> actions;
    for (const PlannedItem& item : plan.items) {
        for (const PlannedStep& step : item.steps) {
            if (step.kind != PlannedStepKind::Question)
                actions.push_back(std::to_string(static_cast<int>(step.kind)) + "|" + step.path);
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
        // The random trees may remove most of a backup: the question before that stays out.
        rig.settings.MassDeleteGuard = false;
        test::WriteFile(rig.Src("docs/keep.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/keep.txt"), "k", kOld);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        const test::TreeOptions exact{true, true};
        const auto sourceBefore = test::ReadTree(rig.Src(), exact);
        const auto backupBefore = test::ReadTree(rig.Dst(), exact);

        RunPlan plan;
        rig.engine.DryRun(project, &plan);

        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_FALSE(plan.incomplete);
        EXPECT_EQ(PlanActions(plan), Actions(rig.view.allReportLines, would));
        EXPECT_EQ(test::ReadTree(rig.Src(), exact), sourceBefore);
        EXPECT_EQ(test::ReadTree(rig.Dst(), exact), backupBefore);
        EXPECT_TRUE(rig.history.Rows().empty());
        EXPECT_TRUE(rig.dialogs.Boxes().empty());
        const auto planned = Actions(rig.view.allReportLines, would);
        for (const std::string& action : planned)
            ++seen[static_cast<std::size_t>(action[0] - '0')];
        const RunTotals plannedTotals = rig.run.Totals;

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

// The questions a run would ask (or the stops it would make) are named in the plan and its
// lines, and none is asked.
TEST(DryRunTest, NamesTheQuestionsARunWouldAskWithoutAskingThem) {
    const std::string backup = "e:\\VLMcopy_drive_c\\docs\\";
    struct Case {
        const char* name;
        bool confirm;
        std::function<void(EngineRig&)> arrange;
        std::vector<std::string> questions;  // each a prefix, in order
        std::uint64_t changedFiles;
    };
    const Case cases[] = {
        {"confirmations", true,
         [](EngineRig& rig) {
             test::WriteFile(rig.Src("docs/changed.txt"), "new text", kOld);
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/changed.txt"), "old", kOld);
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/gone/x.txt"), "x", kOld);
         },
         {"Do you really want to delete COMPLETE dir " + backup + "gone?",
          "Do you really want to delete superfluous file " + backup + "stale.txt?",
          "Do you really want to overwrite file " + backup + "changed.txt?"},
         1},
        {"a read-only copy to replace stops the run", false,
         [](EngineRig& rig) {
             test::WriteFile(rig.Src("docs/changed.txt"), "new text", kOld);
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/changed.txt"), "old", kOld);
             std::filesystem::permissions(rig.Dst("VLMcopy_drive_c/docs/changed.txt"),
                                          std::filesystem::perms::owner_read);
         },
         {"Fatal ERROR: " + backup + "changed.txt not overwritten as it is READONLY!"},
         0},
        {"a read-only superfluous file", false,
         [](EngineRig& rig) {
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
             std::filesystem::permissions(rig.Dst("VLMcopy_drive_c/docs/stale.txt"),
                                          std::filesystem::perms::owner_read);
         },
         {"Fatal ERROR: " + backup + "stale.txt not deleted as it is READONLY!"},
         0},
        {"a read-only file inside a folder to remove", false,
         [](EngineRig& rig) {
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/gone/x.txt"), "x", kOld);
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/gone/ro.txt"), "12345", kOld, 0444);
         },
         {"ERROR: " + backup + "gone (5 bytes) not deleted for unknown reason! Continue anyway??"},
         0},
        {"an emptied source", false,
         [](EngineRig& rig) {
             std::filesystem::remove(rig.Src("docs/keep.txt"));
             test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/old.txt"), "o", kOld);
         },
         {"WARNING: This run would remove 2 of the 2 files"},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.view.level = LogLevel::Normal;
        test::WriteFile(rig.Src("docs/keep.txt"), "k", kOld);
        test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/keep.txt"), "k", kOld);
        c.arrange(rig);
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.confirm = c.confirm;
        const std::string project = rig.Project(fields);

        RunPlan plan;
        rig.engine.DryRun(project, &plan);

        EXPECT_TRUE(rig.dialogs.Boxes().empty());
        ASSERT_EQ(plan.items.size(), 1u);
        std::vector<std::string> questions;
        for (const PlannedStep& step : plan.items[0].steps)
            if (step.kind == PlannedStepKind::Question)
                questions.push_back(step.path);
        std::sort(questions.begin(), questions.end());
        ASSERT_EQ(questions.size(), c.questions.size());
        for (std::size_t i = 0; i < questions.size(); ++i) {
            EXPECT_EQ(questions[i].rfind(c.questions[i], 0), 0u) << questions[i];
            EXPECT_EQ(rig.ReportedStartingWith("Would ask: " + questions[i]).size() +
                          rig.ReportedStartingWith("Would stop: " + questions[i]).size(),
                      1u);
        }
        EXPECT_EQ(plan.Count(PlannedStepKind::ChangedFile).steps, c.changedFiles);
        EXPECT_EQ(rig.ReportedStartingWith("Would do for c:\\docs: ").size(), 1u);
    }
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

// How a dry run or a run ended: its result, then the summary's skipped entries and errors.
std::string Ending(const EngineRig& rig) {
    return rig.engine.Outcome().value_or("<open row>") + " " +
           std::to_string(rig.run.Totals.entriesSkipped) + "/" +
           std::to_string(rig.run.Totals.errors);
}

// On trees that make a run fail, the dry run before it foresees the failure: the same result,
// skipped entries and errors. Each case runs in a child process as an ordinary user, since
// root reads every folder.
TEST(DryRunTest, EndsAsTheRunDoesOnHostileTrees) {
    const std::string standIn = "s/x" + std::string(kBackslashStandIn) + "y";
    struct Case {
        const char* name;
        std::function<void(EngineRig&)> arrange;
        bool busy = false;  // another run holds the per-drive folder
    };
    const Case cases[] = {
        {"a name that holds a stand-in",
         [&](EngineRig& rig) { test::WriteFile(rig.Src(standIn), "x", kOld); }},
        {"links and special files beside it",
         [&](EngineRig& rig) {
             test::WriteFile(rig.Src(standIn), "x", kOld);
             test::MakeSymlink(rig.Src("s/keep.txt"), rig.Src("s/link"));
             test::MakeFifo(rig.Src("s/fifo"));
         }},
        {"a folder that cannot be read",
         [](EngineRig& rig) {
             test::WriteFile(rig.Src("s/closed/a.txt"), "a", kOld);
             test::SetMode(rig.Src("s/closed"), 0);
         }},
        {"a file where the item's backup folder belongs",
         [](EngineRig& rig) { test::WriteFile(rig.Dst("VLMcopy_drive_c/s"), "f", kOld); }},
        {"a destination folder this run may not write in",
         [](EngineRig& rig) {
             test::MakeDir(rig.Dst("VLMcopy_drive_c"));
             test::SetMode(rig.Dst("VLMcopy_drive_c"), 0555);
         }},
        {"another run writing to the destination",
         [](EngineRig& rig) { test::MakeDir(rig.Dst("VLMcopy_drive_c")); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        test::WriteFile(rig.Src("s/keep.txt"), "k", kOld);
        c.arrange(rig);
        FolderLock otherRun;
        if (c.busy) {
            ASSERT_EQ(otherRun.TryLock(DrivePath("e:\\VLMcopy_drive_c")), FolderLock::Result::Locked);
        }
        const std::string project = rig.Project(EngineRig::Fields({"c:\\s"}));
        for (const std::string& folder :
             {rig.drives.Base(), rig.Src(), rig.Src("s"), rig.Dst(), rig.drives.HostRoot('l')})
            test::SetMode(folder, 0777);
        int pipe[2];
        ASSERT_EQ(::pipe(pipe), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(3);
            RunPlan plan;
            rig.engine.DryRun(project, &plan);
            const std::string dry = Ending(rig);
            // The preview is told the same ending.
            if (plan.result + " " + std::to_string(plan.skipped) + "/" +
                    std::to_string(plan.errors) !=
                dry)
                ::_exit(5);
            rig.engine.run(project);
            const std::string endings = dry + "|" + Ending(rig);
            ::_exit(::write(pipe[1], endings.data(), endings.size()) ==
                            static_cast<ssize_t>(endings.size())
                        ? 0
                        : 4);
        }
        ::close(pipe[1]);
        char buffer[256] = {};
        const ssize_t got = ::read(pipe[0], buffer, sizeof buffer - 1);
        ::close(pipe[0]);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (test::Exists(rig.Src("s/closed")))
            test::SetMode(rig.Src("s/closed"), 0755);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0 && got > 0);
        const std::string endings(buffer, static_cast<std::size_t>(got));
        const std::string dry = endings.substr(0, endings.find('|'));
        const std::string run = endings.substr(endings.find('|') + 1);
        EXPECT_EQ(dry, run);
        EXPECT_EQ(run.rfind("Error ", 0), 0u) << run;
    }
}

}  // namespace
}  // namespace vlm
