// The question before a removal pass empties a folder item's backup: when it is asked, what each
// answer leaves behind, and how the run ends.

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/removal_pass.h"
#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;

// Relative path → content; a path ending in '/' is an empty folder.
using Tree = std::map<std::string, std::string>;

void Build(const std::string& root, const Tree& tree) {
    test::MakeDir(root);
    for (const auto& [path, content] : tree) {
        if (!path.empty() && path.back() == '/')
            test::MakeDir(root + "/" + path.substr(0, path.size() - 1));
        else
            test::WriteFile(root + "/" + path, content, kOld);
    }
}

// The files below `root`, relative path → content.
Tree Files(const std::string& root) {
    Tree files;
    for (const test::TreeEntry& entry : test::ReadTree(root))
        if (entry.kind == 'f')
            files[entry.path] = test::ReadFile(root + "/" + entry.path);
    return files;
}

TEST(WholeRemovalGuardTest, AskedOnlyWhenEveryEntryWouldGoAndEachAnswerIsHonoured) {
    const std::string backup = "VLMcopy_drive_c/docs";
    const Tree oldBackup = {{"a.txt", "aaa"}, {"sub/b.txt", "bbbb"}};
    struct Case {
        const char* name;
        Tree source;
        Tree destination;
        bool guardOn;
        std::optional<Answer> answer;  // nothing: no question may be asked
        Tree after;
        std::string outcome;
    };
    const std::vector<Case> cases = {
        {"empty source, backup there, Yes", {}, oldBackup, true, Answer::Yes, {}, "OK"},
        {"empty source, backup there, No", {}, oldBackup, true, Answer::No, oldBackup, "Cancelled"},
        {"source has none of the entries, No: the copy still runs",
         {{"new.txt", "n"}},
         oldBackup,
         true,
         Answer::No,
         {{"a.txt", "aaa"}, {"sub/b.txt", "bbbb"}, {"new.txt", "n"}},
         "Cancelled"},
        {"a file where the backup has a folder of that name",
         {{"sub", "file now"}},
         oldBackup,
         true,
         Answer::Yes,
         {{"sub", "file now"}},
         "OK"},
        {"some entries stay",
         {{"a.txt", "aaa"}},
         oldBackup,
         true,
         std::nullopt,
         {{"a.txt", "aaa"}},
         "OK"},
        {"a folder stays, even emptied", {{"sub/", ""}}, oldBackup, true, std::nullopt, {}, "OK"},
        {"guard switched off", {}, oldBackup, false, std::nullopt, {}, "OK"},
        {"nothing to remove", {}, {}, true, std::nullopt, {}, "OK"},
        {"only empty folders would go",
         {},
         {{"empty/", ""}, {"empty/too/", ""}},
         true,
         std::nullopt,
         {},
         "OK"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.settings.MassDeleteGuard = c.guardOn;
        Build(rig.Src("docs"), c.source);
        Build(rig.Dst(backup), c.destination);
        const std::string project = rig.Project(EngineRig::Fields({"c:\\docs"}));
        if (c.answer)
            rig.dialogs.ExpectQuestion(BoxType::Warning,
                                       "WARNING: Every entry of e:\\VLMcopy_drive_c\\docs would "
                                       "be removed (2 files, 7 bytes), as the source item c:\\docs",
                                       *c.answer);
        rig.engine.run(project);

        EXPECT_EQ(Files(rig.Dst(backup)), c.after);
        EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>(c.outcome));
        const bool refused = c.answer == Answer::No;
        EXPECT_EQ(rig.Reported("Nothing removed from e:\\VLMcopy_drive_c\\docs: removing every "
                               "entry was not allowed by user!"),
                  refused);
        if (c.answer) {
            ASSERT_FALSE(rig.dialogs.Boxes().empty());
            EXPECT_EQ(rig.dialogs.Boxes().front().buttons, Buttons::YesNoDefaultNo);
        }
    }
}

// A refused item does not stop the run: the next item is mirrored as always.
TEST(WholeRemovalGuardTest, ARefusedItemLeavesTheNextItemsToTheirPasses) {
    EngineRig rig;
    test::MakeDir(rig.Src("gone"));
    test::WriteFile(rig.Dst("VLMcopy_drive_c/gone/kept.txt"), "k", kOld);
    test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/a.txt"), "a", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
    const std::string project = rig.Project(EngineRig::Fields({"c:\\gone", "c:\\docs"}));
    rig.dialogs.ExpectQuestion(BoxType::Warning, "WARNING: Every entry of ", Answer::No);
    rig.engine.run(project);

    EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/gone/kept.txt")), "k");
    EXPECT_FALSE(test::Exists(rig.Dst("VLMcopy_drive_c/docs/stale.txt")));
    EXPECT_TRUE(rig.Reported("Removed file: e:\\VLMcopy_drive_c\\docs\\stale.txt"));
    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Cancelled"));
}

TEST(WholeRemovalGuardTest, RemovalWouldEmptyJudgesLikeThePass) {
    const std::string cut(127, 'L');
    struct Case {
        const char* name;
        Tree source;
        Tree destination;
        bool longNames;
        bool empties;
    };
    const std::vector<Case> cases = {
        {"empty destination", {}, {}, false, false},
        {"empty source", {}, {{"a", "1"}}, false, true},
        {"same names", {{"a", "1"}}, {{"a", "2"}}, false, false},
        {"name differs only in case", {{"A", "1"}}, {{"a", "1"}}, false, true},
        {"folder for folder", {{"d/", ""}}, {{"d/x", "1"}}, false, false},
        {"file for folder", {{"d", "1"}}, {{"d/x", "1"}}, false, true},
        {"one of many stays", {{"z", "1"}}, {{"a", "1"}, {"b", "1"}, {"z", "1"}}, false, false},
        {"copy under its cut name, cut names on", {{cut + "xyz", "1"}}, {{cut, "1"}}, true, false},
        {"copy under its cut name, cut names off", {{cut + "xyz", "1"}}, {{cut, "1"}}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        Build(rig.Src("s"), c.source);
        Build(rig.Dst("d"), c.destination);
        EXPECT_EQ(RemovalWouldEmpty("c:\\s", "e:\\d", c.longNames), c.empties);
    }
}

}  // namespace
}  // namespace vlm
