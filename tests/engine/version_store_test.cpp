// Kept versions: where they go, what a path held at a time, pruning and restoring, on real files.

#include "engine/version_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ReadFile;
using test::WriteFile;

DateTime Day(int day, int hour = 12) {
    return MakeDateTime(LocalFields{2026, 3, day, hour, 0, 0, 0});
}

TEST(VersionStore, KeepsEachPathBesideItsMirror) {
    struct Case {
        const char* source;
        const char* destination;
        bool sync;
        const char* path;
        const char* place;  // "" when the path has no place, nullptr when there is no store
    };
    const Case cases[] = {
        {"c:\\Data\\Docs", "e:\\VLMcopy_drive_c\\Data\\Docs", false,
         "e:\\VLMcopy_drive_c\\Data\\Docs\\a.txt", "e:\\VLMversions_drive_c\\R\\Data\\Docs\\a.txt"},
        {"c:\\Data", "d:\\Backup\\VLMcopy_drive_c\\Data", false,
         "d:\\Backup\\VLMcopy_drive_c\\Data", "d:\\Backup\\VLMversions_drive_c\\R\\Data"},
        {"c:\\", "e:\\VLMcopy_drive_c", false, "e:\\VLMcopy_drive_c\\x",
         "e:\\VLMversions_drive_c\\R\\x"},
        {"c:\\Data", "e:\\Mirror\\Data", true, "e:\\Mirror\\Data\\x\\y",
         "e:\\Mirror\\VLMversions_Data\\R\\Data\\x\\y"},
        // Outside the mirror nothing is kept; the per-drive folder stands for the run's folder.
        {"c:\\Data", "e:\\VLMcopy_drive_c\\Data", false, "e:\\Other\\x", ""},
        {"c:\\Data", "e:\\VLMcopy_drive_c\\Data", false, "e:\\VLMcopy_drive_c",
         "e:\\VLMversions_drive_c\\R"},
        // No store: a sync into a drive's root, a destination that is no per-drive folder.
        {"c:\\Data", "e:\\", true, "e:\\x", nullptr},
        {"c:\\Data", "e:\\Other\\Data", false, "e:\\Other\\Data\\x", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto store = VersionStore::For(DrivePath(c.source), DrivePath(c.destination), c.sync);
        ASSERT_EQ(store.has_value(), c.place != nullptr);
        if (store) {
            EXPECT_EQ(store->PlaceIn("R", DrivePath(c.path)).Text(), c.place);
        }
    }
    EXPECT_EQ(VersionRunName(MakeDateTime({2026, 12, 8, 1, 30, 5, 700})), "2026-12-08 01.30.05");
    EXPECT_EQ(ParseAsOfText("2026-12-08 01:30"), MakeDateTime({2026, 12, 8, 1, 30, 0, 0}));
    EXPECT_FALSE(ParseAsOfText("2026-13-08 01:30"));
    EXPECT_FALSE(ParseVersionRunName("2026-12-08 01:30:00"));
}

// A mirror with three runs' history: day 5 replaced a.txt and removed c.txt, day 10 replaced
// a.txt again and added b.txt and the folder new.
struct History : ::testing::Test {
    test::TempDrives drives{"ce"};
    DrivePath mirror{"e:\\VLMcopy_drive_c\\Data"};
    VersionStore store = *VersionStore::For(DrivePath("c:\\Data"), mirror, false);

    std::string Host(const std::string& below) { return drives.Host(mirror.Text() + below); }
    void SetUp() override {
        WriteFile(Host("\\a.txt"), "a1", 1000000000, 0444 | S_IWUSR);
        WriteFile(Host("\\c.txt"), "c1");
        {
            VersionKeeper day5(store, Day(5));
            ASSERT_TRUE(day5.Keep(mirror / "a.txt"));
            ASSERT_TRUE(day5.Keep(mirror / "c.txt"));
        }
        WriteFile(Host("\\a.txt"), "a2", 1100000000, 0600);
        VersionKeeper day10(store, Day(10));
        ASSERT_TRUE(day10.Keep(mirror / "a.txt"));
        WriteFile(Host("\\a.txt"), "a3");
        WriteFile(Host("\\b.txt"), "b3");
        WriteFile(Host("\\new\\n.txt"), "n3");
        for (const char* added : {"b.txt", "new", "new\\n.txt"})
            day10.NoteAdded(mirror / added);
        ASSERT_TRUE(day10.Flush());
    }
    std::string At(const DateTime time) {
        std::string seen;
        for (const ItemAsOf& item : store.ListAt(mirror, time))
            seen += item.name +
                    (item.folder ? "/ " : "=" + ReadFile(drives.Host(item.place.Text())) + " ");
        return seen;
    }
};

TEST_F(History, OverlaysTheVersionsOnTheMirrorAsOfATime) {
    EXPECT_EQ(At(Day(1)), "a.txt=a1 c.txt=c1 ");
    EXPECT_EQ(At(Day(5)), "a.txt=a1 c.txt=c1 ");  // the run had not changed anything yet
    EXPECT_EQ(At(Day(7)), "a.txt=a2 ");
    EXPECT_EQ(At(Day(12)), "a.txt=a3 b.txt=b3 new/ ");
    const std::vector<KeptVersion> versions = store.VersionsOf(mirror / "a.txt");
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].kept, Day(5));
    EXPECT_EQ(versions[1].size, 2u);
    EXPECT_EQ(versions[1].place.Text(),
              "e:\\VLMversions_drive_c\\2026-03-10 12.00.00\\Data\\a.txt");
}

TEST_F(History, PrunesTheOldestRunsFirst) {
    std::vector<std::string> told;
    EXPECT_EQ(PrunableBytes(store, 3, Day(12)), 4u);  // a1 and c1
    EXPECT_TRUE(PruneOlderThan(store, 1, Day(12), [&](const KeptRun& run, bool removed) {
        told.push_back(run.name + (removed ? " removed" : " kept"));
    }));
    EXPECT_EQ(told, (std::vector<std::string>{"2026-03-05 12.00.00 removed",
                                              "2026-03-10 12.00.00 removed"}));
    EXPECT_TRUE(store.Runs().empty());
    EXPECT_FALSE(test::Exists(drives.Host("e:\\VLMversions_drive_c\\2026-03-10 12.00.00.added")));
}

TEST_F(History, RestoresTheBytesTimesAndBitsOfThen) {
    const auto restore = [&](DateTime time, bool replace) {
        return RestoreAt(store, mirror / "a.txt", time, DrivePath("c:\\Back"),
                         [&](const std::string&) { return replace; });
    };
    EXPECT_TRUE(restore(Day(1), false).ok());
    struct stat st {};
    ASSERT_EQ(::stat(drives.Host("c:\\Back\\a.txt").c_str(), &st), 0);
    EXPECT_EQ(ReadFile(drives.Host("c:\\Back\\a.txt")), "a1");
    EXPECT_EQ(st.st_mtime, 1000000000);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    // a2 is newer than a1 there: kept unless the person says replace, then set aside.
    EXPECT_TRUE(restore(Day(7), false).ok());
    EXPECT_FALSE(restore(Day(1), false).ok());
    EXPECT_EQ(ReadFile(drives.Host("c:\\Back\\a.txt")), "a2");
    EXPECT_TRUE(restore(Day(1), true).ok());
    EXPECT_EQ(ReadFile(drives.Host("c:\\Back\\a.txt")), "a1");
    EXPECT_EQ(test::ReadTree(drives.Host("c:\\Back")).size(), 3u);  // two set aside
    // A folder as it was, and a path that was not there then.
    EXPECT_TRUE(RestoreAt(store, mirror, Day(12), DrivePath("c:\\All"), {}).ok());
    EXPECT_EQ(ReadFile(drives.Host("c:\\All\\Data\\new\\n.txt")), "n3");
    EXPECT_FALSE(RestoreAt(store, mirror / "b.txt", Day(7), DrivePath("c:\\All"), {}).ok());
}

}  // namespace
}  // namespace vlm
