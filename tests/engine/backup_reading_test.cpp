// A backup is one place: its versions are reached from the folder that holds the mirror, never
// through a link, and a restore never writes into what it reads nor passes over what it cannot
// bring back.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/verify_backup.h"
#include "engine/version_store.h"
#include "engine_rig.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::Exists;
using test::ReadFile;
using test::ReadTree;
using test::WriteFile;

DateTime Day(int day) {
    return MakeDateTime(LocalFields{2026, 3, day, 12, 0, 0, 0});
}
constexpr const char* kRun10 = "2026-03-10 12.00.00";

// c:\Data backed up to e:\VLMcopy_drive_c\Data, with a.txt in the mirror and an outside folder
// o:\ that a planted link points to.
struct Backup : ::testing::Test {
    test::TempDrives drives{"ceo"};
    DrivePath mirror{"e:\\VLMcopy_drive_c\\Data"};
    VersionStore store = *VersionStore::For(DrivePath("c:\\Data"), mirror, false);

    std::string Host(const std::string& drivePath) { return drives.Host(drivePath); }
    std::string Outside() { return drives.HostRoot('o'); }
    void SetUp() override { WriteFile(Host("e:\\VLMcopy_drive_c\\Data\\a.txt"), "a1"); }
    void Link(const std::string& drivePath, const std::string& target) {
        test::MakeDir(Host(DrivePath(drivePath).Parent().Text()));
        test::MakeSymlink(target, Host(drivePath));
    }
};

// Each folder of the versions on the way to a kept copy: a link there is refused, named, and the
// copy stays in the mirror; nothing lands outside.
TEST_F(Backup, KeepingRefusesALinkInThePlaceOfAVersionsFolder) {
    const std::vector<std::string> links = {
        "e:\\VLMversions_drive_c",
        std::string("e:\\VLMversions_drive_c\\") + kRun10,
        std::string("e:\\VLMversions_drive_c\\") + kRun10 + "\\Data",
    };
    for (const std::string& link : links) {
        SCOPED_TRACE(link);
        test::RemoveTree(Host("e:\\VLMversions_drive_c"));
        Link(link, Outside());
        VersionKeeper keeper(store, Day(10));
        EXPECT_FALSE(keeper.Keep(mirror / "a.txt"));
        EXPECT_NE(keeper.Refusal().find("ERROR: " + link + " is a link"), std::string::npos)
            << keeper.Refusal();
        EXPECT_EQ(ReadFile(Host("e:\\VLMcopy_drive_c\\Data\\a.txt")), "a1");
        EXPECT_TRUE(ReadTree(Outside()).empty());
    }
}

// What reads a backup sees nothing a link inside it points to.
TEST_F(Backup, ReadingNeverFollowsALinkOutOfTheBackup) {
    WriteFile(Outside() + "/" + kRun10 + "/Data/a.txt", "planted");
    WriteFile(Outside() + "/" + kRun10 + "/Data/gone.txt", "planted");
    WriteFile(Outside() + "/inner/secret.txt", "planted");
    Link("e:\\VLMversions_drive_c", Outside());
    Link("e:\\VLMcopy_drive_c\\Data\\sub", Outside() + "/inner");
    struct Case {
        const char* what;
        std::function<std::size_t()> found;
    };
    const Case cases[] = {
        {"runs", [&] { return store.Runs().size(); }},
        {"versions of a file", [&] { return store.VersionsOf(mirror / "a.txt").size(); }},
        {"a deleted file", [&] { return store.ItemAt(mirror / "gone.txt", Day(1)) ? 1u : 0u; }},
        {"a folder as of then", [&] { return store.ListAt(mirror / "sub", Day(1)).size(); }},
        {"deleted files", [&] { return store.DeletedIn(mirror).size(); }},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.found(), 0u) << c.what;
    // A restore of the folder brings a.txt and names the link it could not bring.
    const RestoreOutcome outcome = RestoreAt(store, mirror, Day(1), DrivePath("c:\\Back"),
                                             [](const std::string&) { return false; });
    EXPECT_EQ(outcome.filesRestored, 1u);
    EXPECT_EQ(outcome.filesFailed, 1u);
    EXPECT_FALSE(Exists(Host("c:\\Back\\Data\\sub\\secret.txt")));
}

// A target in what the restore reads is refused before anything is written.
TEST_F(Backup, RestoreRefusesATargetInsideTheBackup) {
    WriteFile(Host("e:\\VLMcopy_drive_c\\Data\\sub\\b.txt"), "b1");
    struct Case {
        const char* path;
        const char* target;
        const char* says;
    };
    const Case cases[] = {
        {"e:\\VLMcopy_drive_c\\Data", "e:\\VLMcopy_drive_c\\Data\\sub\\deep", "which is restored"},
        {"e:\\VLMcopy_drive_c\\Data\\a.txt", "e:\\VLMcopy_drive_c\\Other", "inside the backup"},
        {"e:\\VLMcopy_drive_c\\Data\\a.txt", "e:\\VLMcopy_drive_c", "inside the backup"},
        {"e:\\VLMcopy_drive_c\\Data", "e:\\VLMversions_drive_c\\x", "inside the kept versions"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        const auto before = ReadTree(drives.HostRoot('e'));
        const RestoreOutcome outcome =
            RestoreAt(store, DrivePath(c.path), Day(1), DrivePath(c.target),
                      [](const std::string&) { return true; });
        EXPECT_FALSE(outcome.ok());
        EXPECT_EQ(outcome.filesRestored, 0u);
        ASSERT_EQ(outcome.lines.size(), 1u);
        EXPECT_NE(outcome.lines[0].find(c.says), std::string::npos) << outcome.lines[0];
        EXPECT_EQ(ReadTree(drives.HostRoot('e')), before);
    }
}

// What is neither file nor folder in the backup is named and counted, never passed over.
TEST_F(Backup, RestoreCountsWhatItCannotBringBack) {
    struct Case {
        const char* name;
        std::function<void(const std::string& host)> plant;
    };
    const Case cases[] = {
        {"fifo", [](const std::string& host) { test::MakeFifo(host); }},
        {"link.txt", [](const std::string& host) { test::MakeSymlink("a.txt", host); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string planted = Host("e:\\VLMcopy_drive_c\\Data\\" + std::string(c.name));
        c.plant(planted);
        test::RemoveTree(Host("c:\\Back"));
        const RestoreOutcome folder =
            RestoreAt(store, mirror, Day(1), DrivePath("c:\\Back"), nullptr);
        EXPECT_EQ(folder.filesRestored, 1u);
        EXPECT_EQ(folder.filesFailed, 1u);
        const RestoreOutcome alone =
            RestoreAt(store, mirror / c.name, Day(1), DrivePath("c:\\Back"), nullptr);
        EXPECT_EQ(alone.filesFailed, 1u);
        for (const RestoreOutcome* outcome : {&folder, &alone}) {
            ASSERT_FALSE(outcome->lines.empty());
            EXPECT_NE(outcome->lines.back().find("Not restored: " + mirror.Text() + "\\" + c.name),
                      std::string::npos)
                << outcome->lines.back();
        }
        EXPECT_FALSE(Exists(Host("c:\\Back\\Data\\" + std::string(c.name))));
        ::unlink(planted.c_str());
    }
}

// A run whose versions folder has become a link keeps nothing through it: the copy it would
// have replaced or removed stays, and the run ends "Error".
TEST(BackupLinks, ARunRefusesALinkInThePlaceOfTheVersionsFolder) {
    test::EngineRig rig;
    ProjectFields fields = test::EngineRig::Fields({"c:\\docs"});
    fields.versions = true;
    const std::string project = rig.Project(fields);
    WriteFile(rig.Src("docs/changed.txt"), "old", 1000000000);
    WriteFile(rig.Src("docs/goes.txt"), "stays in the backup");
    rig.engine.run(project);
    ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));

    const std::string outside = rig.drives.Base() + "/outside";
    test::MakeDir(outside);
    test::RemoveTree(rig.Dst("VLMversions_drive_c"));
    test::MakeSymlink(outside, rig.Dst("VLMversions_drive_c"));
    WriteFile(rig.Src("docs/changed.txt"), "new", 1100000000);
    ::unlink(rig.Src("docs/goes.txt").c_str());
    rig.engine.run(project);

    EXPECT_EQ(rig.engine.Outcome(), std::optional<std::string>("Error"));
    EXPECT_EQ(ReadFile(rig.Dst("VLMcopy_drive_c/docs/changed.txt")), "old");
    EXPECT_EQ(ReadFile(rig.Dst("VLMcopy_drive_c/docs/goes.txt")), "stays in the backup");
    EXPECT_TRUE(ReadTree(outside).empty());
    EXPECT_EQ(rig.ReportedStartingWith("ERROR: e:\\VLMversions_drive_c is a link").size(), 2u);
}

// Verify reads the copies from the backup's folder down: a copy reached only through a link is
// not there.
TEST(BackupLinks, VerifyDoesNotFollowALinkInTheBackup) {
    test::EngineRig rig;
    const std::string project = rig.Project(test::EngineRig::Fields({"c:\\docs"}));
    WriteFile(rig.Src("docs/sub/a.txt"), "same");
    rig.engine.run(project);
    ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
    const std::string outside = rig.drives.Base() + "/outside";
    WriteFile(outside + "/a.txt", "same");
    test::RemoveTree(rig.Dst("VLMcopy_drive_c/docs/sub"));
    test::MakeSymlink(outside, rig.Dst("VLMcopy_drive_c/docs/sub"));
    std::vector<std::string> lines;
    const VerifyTotals totals = VerifyBackup(
        rig.opened.at(project), [&](const std::string& line) { lines.push_back(line); },
        [] { return true; });
    EXPECT_FALSE(totals.ok());
    EXPECT_EQ(lines.back(), "Error");
}

}  // namespace
}  // namespace vlm
