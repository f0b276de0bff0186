// The question before a removal pass takes most of a folder item's backup: when it is asked,
// what it says, what each answer leaves behind, and that a dry run names it.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/removal_guard.h"
#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

// Relative path → content; a path ending in '/' is an empty folder, one ending in '@' a link to
// the content.
using Tree = std::map<std::string, std::string>;

void Build(const std::string& root, const Tree& tree) {
    test::MakeDir(root);
    for (const auto& [path, content] : tree) {
        const std::string bare = path.empty() ? path : path.substr(0, path.size() - 1);
        if (!path.empty() && path.back() == '/')
            test::MakeDir(root + "/" + bare);
        else if (!path.empty() && path.back() == '@')
            test::MakeSymlink(content, root + "/" + bare);
        else
            test::WriteFile(root + "/" + path, content, kOld);
    }
}

// `count` files `<prefix>NN<suffix>` from number `first` on, each holding `content`.
Tree Many(const std::string& prefix, int count, const std::string& content = "x", int first = 0,
          const std::string& suffix = "") {
    Tree files;
    for (int i = first; i < first + count; ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d", i);
        files[prefix + number + suffix] = content;
    }
    return files;
}

Tree operator+(Tree a, const Tree& b) {
    for (const auto& [path, content] : b)
        a[path] = content;
    return a;
}

// The plain files below `root`, relative path → content.
Tree Files(const std::string& root) {
    Tree files;
    for (const test::TreeEntry& entry : test::ReadTree(root))
        if (entry.kind == 'f')
            files[entry.path] = test::ReadFile(root + "/" + entry.path);
    return files;
}

Tree PlainFiles(const Tree& tree) {
    Tree files;
    for (const auto& [path, content] : tree)
        if (!path.empty() && path.back() != '/' && path.back() != '@')
            files[path] = content;
    return files;
}

// One temporary file of the program, by number.
std::string Temporary(int n) {
    char name[32];
    std::snprintf(name, sizeof name, ".~vlm%012x.tmp", n);
    return name;
}

TEST(MassRemovalGuardTest, AskedWhenMostOfABackupWouldGoAndEachAnswerIsHonoured) {
    struct Case {
        const char* name;
        Tree source;
        Tree backup;
        // What the question says between its start and "backed up from"; empty: not asked.
        std::string counts;
        Answer answer = Answer::No;
        AppSettings limits = {};
    };
    AppSettings off;
    off.MassDeleteGuard = false;
    AppSettings lower;
    lower.MassDeletePercent = 10;
    lower.MassDeleteLeastFiles = 3;
    Tree tempsAndLostFiles = Many("lost+found/#", 25);
    for (int i = 0; i < 25; ++i)
        tempsAndLostFiles[Temporary(i)] = "half";
    const std::vector<Case> cases = {
        {"source cut down to one empty Documents folder",
         {{"Documents/", ""}},
         Many("Documents/d", 10, "ab") + Many("Pictures/p", 5, "abc") + Many("notes", 3, "a"),
         "18 of the 18 files (38 of 38 bytes)"},
        {"a freshly formatted disk: only an empty lost+found",
         {{"lost+found/", ""}},
         Many("f", 30),
         "30 of the 30 files (30 of 30 bytes)",
         Answer::Yes},
        {"one file of 40 left", Many("f", 1), Many("f", 40, "xy"),
         "39 of the 40 files (78 of 80 bytes)"},
        {"another card with the same DCIM folder", Many("DCIM/100CARD/IMG_90", 2, "new", 0, ".JPG"),
         Many("DCIM/100CARD/IMG_00", 25, "photo", 0, ".JPG"),
         "25 of the 25 files (125 of 125 bytes)"},
        {"the only sub-folder emptied: every file of a small backup",
         {{"docs/", ""}},
         Many("docs/d", 5),
         "5 of the 5 files (5 of 5 bytes)",
         Answer::Yes},
        {"exactly half, and exactly the least number", Many("f", 20), Many("f", 40),
         "20 of the 40 files (20 of 40 bytes)"},
        {"the settings' own share and least number", Many("f", 27), Many("f", 30),
         "3 of the 30 files (3 of 30 bytes)", Answer::No, lower},
        {"a few files deleted", Many("f", 27), Many("f", 30), ""},
        {"19 of 30 removed: fewer than the least number", Many("f", 11), Many("f", 30), ""},
        {"20 of 41 removed: less than half", Many("f", 21), Many("f", 41), ""},
        {"a backup of empty folders and links only",
         {},
         {{"a/", ""}, {"a/b/", ""}, {"link@", "/nowhere"}},
         ""},
        {"a backup holding only a temporary of a killed run", {}, {{Temporary(7), "half"}}, ""},
        {"temporaries and lost+found are no backup", Many("f", 5) + Tree{{"lost+found/", ""}},
         Many("f", 5) + tempsAndLostFiles, ""},
        {"a lost+found the source no longer has", Many("f", 5),
         Many("f", 5) + Many("lost+found/#", 25), ""},
        {"guard switched off", {}, Many("f", 30), "", Answer::No, off},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.settings.MassDeleteGuard = c.limits.MassDeleteGuard;
        rig.settings.MassDeletePercent = c.limits.MassDeletePercent;
        rig.settings.MassDeleteLeastFiles = c.limits.MassDeleteLeastFiles;
        Build(rig.Src("docs"), c.source);
        Build(rig.Dst("VLMcopy_drive_c/docs"), c.backup);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        const bool asked = !c.counts.empty();
        const std::string question = kMassRemovalQuestionStart + c.counts +
                                     " backed up from c:\\docs in e:\\VLMcopy_drive_c\\docs";

        // The dry run names the question it would ask, and asks nothing.
        rig.engine.DryRun(project);
        EXPECT_EQ(rig.ReportedStartingWith("Would ask: " + question).size(), asked ? 1u : 0u);
        EXPECT_TRUE(rig.dialogs.Boxes().empty());

        if (asked)
            rig.dialogs.ExpectQuestion(BoxType::Warning, question, c.answer);
        rig.engine.run(project);

        const bool refused = asked && c.answer == Answer::No;
        // A refusal keeps the backup as it was, and the copy still runs.
        const Tree after =
            refused ? PlainFiles(c.backup) + PlainFiles(c.source) : PlainFiles(c.source);
        EXPECT_EQ(Files(rig.Dst("VLMcopy_drive_c/docs")), after);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>(refused ? "Cancelled" : "OK"));
        EXPECT_EQ(rig.Reported("Nothing removed from e:\\VLMcopy_drive_c\\docs: removing most of "
                               "the backup was not allowed by user!"),
                  refused);
        if (asked) {
            ASSERT_FALSE(rig.dialogs.Boxes().empty());
            EXPECT_EQ(rig.dialogs.Boxes().front().buttons, Buttons::YesNoDefaultNo);
        }
    }
}

// The backup is counted only until it holds more files than would make a removal a mass one:
// whatever the settings, the count's lower bound decides as the whole count would.
TEST(MassRemovalGuardTest, CountingTheBackupOnlyAsFarAsNeededDecidesAlike) {
    for (const std::uint32_t least : {0u, 1u, 20u}) {
        for (const std::uint32_t percent : {0u, 1u, 33u, 50u, 100u}) {
            AppSettings settings;
            settings.MassDeleteLeastFiles = least;
            settings.MassDeletePercent = percent;
            for (std::uint64_t remove = 1; remove <= 60; ++remove) {
                const std::uint64_t enough = BackupFilesEnough(remove, settings);
                for (std::uint64_t backup = remove; backup <= 250; ++backup) {
                    // The least a count that ends beyond `enough` has seen.
                    const std::uint64_t seen = backup <= enough ? backup : enough + 1;
                    const bool whole =
                        RemovalNeedsAsking({remove, 0, backup - remove, 0}, settings);
                    const bool bounded =
                        RemovalNeedsAsking({remove, 0, seen - remove, 0}, settings);
                    ASSERT_EQ(whole, bounded) << "least " << least << ", percent " << percent
                                              << ", " << remove << " of " << backup;
                }
            }
        }
    }
}

TEST(MassRemovalGuardTest, TheQuestionNamesWhatGoesAndWhatStays) {
    EngineRig rig;
    Build(rig.Src("docs"), Many("f", 1));
    Build(rig.Dst("VLMcopy_drive_c/docs"), Many("f", 1, "kept") + Many("f", 1999, "gone!", 1));
    const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
    rig.dialogs.ExpectQuestion(BoxType::Warning, kMassRemovalQuestionStart, Answer::No);
    rig.engine.run(project);
    ASSERT_EQ(rig.dialogs.Boxes().size(), 1u);
    EXPECT_EQ(rig.dialogs.Boxes().front().text,
              "WARNING: This run would remove 1.999 of the 2.000 files (9.995 of 9.999 bytes) "
              "backed up from c:\\docs in e:\\VLMcopy_drive_c\\docs and keep 1 files (4 bytes). "
              "A source that lost most of its files is often an unplugged disk, a new disk or a "
              "wrong path. Remove them?");
}

// Copies the project's exclusions leave out are neither removed nor kept by a run: the guard
// counts neither, so the share and the "every file" rule are judged on what the run keeps.
TEST(MassRemovalGuardTest, CopiesLeftOutByExclusionsCountOnNeitherSide) {
    struct Case {
        const char* name;
        std::vector<std::string> exclusions;
        Tree source;
        Tree backup;
        std::string counts;  // empty: not asked
        Tree after;          // the backup's files after a No (or the run when not asked)
    };
    const Tree cache = Many("cache/c", 60);
    const Tree bak = Many("old", 5, "x", 0, ".bak");
    const std::vector<Case> cases = {
        {"30 of 40 documents gone beside 60 left-out cache files",
         {"cache/"},
         Many("d", 10),
         Many("d", 40) + cache,
         "30 of the 40 files (30 of 40 bytes)",
         Many("d", 40) + cache},
        {"a folder item emptied but for left-out files: every counted file",
         {"*.bak"},
         {{"docs/", ""}},
         Many("docs/d", 5) + bak,
         "5 of the 5 files (5 of 5 bytes)",
         Many("docs/d", 5) + bak},
        {"a left-out top folder holds most of the backup",
         {"/build/"},
         Many("d", 15),
         Many("d", 40) + Many("build/b", 100),
         "25 of the 40 files (25 of 40 bytes)",
         Many("d", 40) + Many("build/b", 100)},
        {"left-out copies are not counted as removed either",
         {"*.bak"},
         Many("d", 3),
         Many("d", 3) + Many("old", 30, "x", 0, ".bak"),
         "",
         Many("d", 3) + Many("old", 30, "x", 0, ".bak")},
        {"a few of many counted files gone: no question",
         {"cache/"},
         Many("d", 38),
         Many("d", 40) + cache,
         "",
         Many("d", 38) + cache},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        Build(rig.Src("docs"), c.source);
        Build(rig.Dst("VLMcopy_drive_c/docs"), c.backup);
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.exclusions = c.exclusions;
        const std::string project = rig.Project(fields);
        const std::string question = kMassRemovalQuestionStart + c.counts +
                                     " backed up from c:\\docs in e:\\VLMcopy_drive_c\\docs";
        if (!c.counts.empty())
            rig.dialogs.ExpectQuestion(BoxType::Warning, question, Answer::No);
        rig.engine.run(project);
        EXPECT_EQ(rig.dialogs.Boxes().size(), c.counts.empty() ? 0u : 1u);
        EXPECT_EQ(Files(rig.Dst("VLMcopy_drive_c/docs")), PlainFiles(c.after));
    }
}

// A refused item does not stop the run: the next item is mirrored as always.
TEST(MassRemovalGuardTest, ARefusedItemLeavesTheNextItemsToTheirPasses) {
    EngineRig rig;
    test::MakeDir(rig.Src("gone"));
    test::WriteFile(rig.Dst("VLMcopy_drive_c/gone/kept.txt"), "k", kOld);
    test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\gone", "c:\\docs"}));
    rig.dialogs.ExpectQuestion(BoxType::Warning, kMassRemovalQuestionStart, Answer::No);
    rig.engine.run(project);

    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/gone/kept.txt")), "k");
    EXPECT_FALSE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/stale.txt")));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\VLMcopy_drive_c\\docs\\stale.txt"));
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Cancelled"));
}

}  // namespace
}  // namespace vlm
