// A run history maximum of 0: the start-up load reads no line, but every run since adds its row
// and gives none up, in the list and in the file, also when the list is read again from the file
// (another process wrote it) and when the maximum was set to 0 while the program ran.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr const char* kHis = "c:\\runoverview.his";

std::string Lines(int count) {
    std::string text;
    for (int n = 1; n <= count; ++n)
        text += "c:\\old" + std::to_string(n) + ".vlm|t|Normal|0:0:1.0|OK|\r\n";
    return text;
}

void AddRun(RunHistory& history, std::uint32_t max, const std::string& project = "c:\\p.vlm") {
    EXPECT_EQ(history.StartHistoryEntry(DrivePath(kHis), project, "t", "Normal", max), "");
    EXPECT_EQ(history.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK"), "");
}

TEST(RunHistoryMaxZeroTest, EveryRunAddsItsRowToListAndFile) {
    struct Case {
        const char* name;
        std::string file;        // before the start
        std::uint32_t startMax;  // the maximum at the start-up load
        std::function<void(RunHistory& mine, RunHistory& other)> events;
        std::size_t rows;  // in this process's list afterwards
        int fileLines;     // in the file afterwards
    };
    const std::vector<Case> cases = {
        {"two runs, then the file read again", Lines(4), 0,
         [](RunHistory& mine, RunHistory&) {
             AddRun(mine, 0);
             AddRun(mine, 0);
             EXPECT_TRUE(mine.Reread(DrivePath(kHis)));
         },
         2, 2},
        {"a row another process added, read again", "", 0,
         [](RunHistory& mine, RunHistory& other) {
             AddRun(mine, 0);
             AddRun(other, 0, "c:\\other.vlm");
             EXPECT_TRUE(mine.Reread(DrivePath(kHis)));
         },
         2, 2},
        {"the maximum set to 0 while the program runs", Lines(3), 5,
         [](RunHistory& mine, RunHistory&) {
             mine.TrimTo(0);  // the command empties the list at once
             EXPECT_TRUE(mine.Rows().empty());
             AddRun(mine, 0);
             EXPECT_EQ(mine.Rows().size(), 1u);
             AddRun(mine, 0);
         },
         2, 2},
        {"the maximum set to 0, then the file read again", Lines(3), 5,
         [](RunHistory& mine, RunHistory&) {
             mine.TrimTo(0);
             AddRun(mine, 0);
             AddRun(mine, 0);
             AddRun(mine, 0);
             EXPECT_TRUE(mine.Reread(DrivePath(kHis)));
         },
         3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDrives drives{"c"};
        if (!c.file.empty())
            test::WriteFile(drives.Host(kHis), c.file);
        RunHistory mine;
        mine.MaxItems = c.startMax;
        ASSERT_EQ(mine.StartupLoad(DrivePath(kHis), c.startMax), "");
        RunHistory other;
        other.MaxItems = 0;
        c.events(mine, other);
        EXPECT_EQ(mine.Rows().size(), c.rows);
        const std::string file = test::ReadFile(drives.Host(kHis));
        EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), c.fileLines) << file;
        ASSERT_FALSE(mine.Rows().empty());
        EXPECT_EQ(mine.Rows().front().subItems.size(), 4u);  // the newest row is complete
    }
}

}  // namespace
}  // namespace vlm
