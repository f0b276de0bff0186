#include "app/log_commands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "platform/host_calls.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::Exists;
using test::ReadFile;
using test::TempDrives;
using test::WriteFile;

constexpr const char* kLogLocation = "c:\\logs";

class LogCommandsTest : public ::testing::Test {
protected:
    LogCommandsTest() { test::MakeDir(drives.Host(kLogLocation)); }

    std::string LogHost() const { return drives.Host("c:\\logs\\Vlmlogtmp.txt"); }
    std::string CropHost() const { return drives.Host("c:\\logs\\croplog.tmp"); }

    TempDrives drives{"c"};
    ScriptedDialogs dialogs;
};

struct CropCase {
    const char* name;
    std::string log;
    std::string expected;  // the log afterwards
    std::vector<std::string> boxes;
};

TEST_F(LogCommandsTest, CropKeepsTheLastRunOrRefusesALogWithoutOne) {
    const std::string twoRuns =
        "Start time: 06.12.2026 15:45:15\r\nCopy c:\\a\r\nEnd time: 06.12.2026 15:45:16\r\n"
        "Start time: 07.12.2026 09:00:00\r\nCopy c:\\b\r\nEnd time: 07.12.2026 09:00:02\r\n";
    const std::vector<CropCase> cases = {
        {"two runs",
         twoRuns,
         "Start time: 07.12.2026 09:00:00\r\nCopy c:\\b\r\nEnd time: 07.12.2026 09:00:02\r\n",
         {}},
        {"last line is the header, without a line end",
         "Start time: 1\r\nx\r\nStart time: 2",
         "Start time: 2\r\n",
         {}},
        {"lines ended by LF alone", "old\nStart time: 3\nnew\n", "Start time: 3\r\nnew\r\n", {}},
        {"header found anywhere in a line",
         "a\r\n>> Start time: 4 <<\r\nb\r\n",
         ">> Start time: 4 <<\r\nb\r\n",
         {}},
        {"empty log", "", "", {"Error: invalid log file! Exit..."}},
        {"no header", "one\r\ntwo\r\n", "one\r\ntwo\r\n", {"Error: invalid log file! Exit..."}},
        {"header in other letter case",
         "start time: 5\r\nSTART TIME: 6\r\n",
         "start time: 5\r\nSTART TIME: 6\r\n",
         {"Error: invalid log file! Exit..."}},
    };
    for (const CropCase& c : cases) {
        SCOPED_TRACE(c.name);
        dialogs.ClearRecord();
        WriteFile(LogHost(), c.log);

        CropLog(kLogLocation);

        EXPECT_EQ(ReadFile(LogHost()), c.expected);
        EXPECT_EQ(dialogs.Texts(), c.boxes);
        EXPECT_EQ(dialogs.Count(BoxType::Error), static_cast<int>(c.boxes.size()));
        EXPECT_FALSE(Exists(CropHost()));
    }
}

TEST_F(LogCommandsTest, CropWithoutALogSaysSoAndCreatesNothing) {
    CropLog(kLogLocation);

    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"There is no log-file yet."}));
    EXPECT_EQ(dialogs.Count(BoxType::Plain), 1);
    EXPECT_FALSE(Exists(LogHost()));
    EXPECT_FALSE(Exists(CropHost()));
}

TEST_F(LogCommandsTest, CropOnADriveRootPutsTheTemporaryFileBesideTheLog) {
    WriteFile(drives.Host("c:\\Vlmlogtmp.txt"), "x\r\nStart time: 9\r\ny\r\n");

    CropLog("c:\\");

    EXPECT_EQ(ReadFile(drives.Host("c:\\Vlmlogtmp.txt")), "Start time: 9\r\ny\r\n");
    EXPECT_FALSE(Exists(drives.Host("c:\\croplog.tmp")));
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(LogCommandsTest, CropOfAReadOnlyLogLeavesItWholeAndNoTemporaryFile) {
    const std::string log = "a\r\nStart time: 1\r\nb\r\n";
    WriteFile(LogHost(), log, std::nullopt, 0444);

    CropLog(kLogLocation);

    EXPECT_EQ(ReadFile(LogHost()), log);
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_FALSE(Exists(CropHost()));
}

#ifdef VELMORA_FAULT_INJECTION
// The copy's own notice comes first, then the failure; the log stays whole either way.
TEST_F(LogCommandsTest, CropThatCannotReplaceTheLogShowsTheNoticeThenTheFailure) {
    const std::string log = "a\r\nStart time: 1\r\nb\r\n";
    WriteFile(LogHost(), log);
    faults::Reset();
    CropLog(kLogLocation);
    // The last open of a crop is the one of the log's new copy.
    const int opens = faults::Count(faults::Call::Open);
    WriteFile(LogHost(), log);
    dialogs.ClearRecord();

    faults::Reset();
    faults::Arm(faults::Call::Open, opens, EIO);
    CropLog(kLogLocation);
    faults::Reset();

    const std::vector<std::string> errors = dialogs.TextsOf(BoxType::Error);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0],
              "Fatal error! Could not open file for writing: c:\\logs\\Vlmlogtmp.txt. Possibly bad "
              "section on destination. Try renaming, moving or removing the source or change "
              "destination media. Exiting procedure!");
    EXPECT_EQ(
        errors[1].rfind("Could not copy c:\\logs\\croplog.tmp to c:\\logs\\Vlmlogtmp.txt: ", 0), 0u)
        << errors[1];
    EXPECT_EQ(ReadFile(LogHost()), log);
    EXPECT_FALSE(Exists(CropHost()));
}
#endif

TEST_F(LogCommandsTest, EmptyCutsAnExistingLogAndCreatesAMissingOne) {
    WriteFile(LogHost(), "Start time: 1\r\nsomething\r\n");
    EmptyLog(kLogLocation);
    EXPECT_EQ(ReadFile(LogHost()), "");

    test::RemoveTree(LogHost());
    EmptyLog(kLogLocation);
    ASSERT_TRUE(Exists(LogHost()));
    EXPECT_EQ(ReadFile(LogHost()), "");

    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Log file emptied", "Log file emptied"}));
}

TEST_F(LogCommandsTest, EmptyOfAReadOnlyLogReportsTheFailureAndKeepsTheLog) {
    WriteFile(LogHost(), "keep\r\n", std::nullopt, 0444);

    EmptyLog(kLogLocation);

    EXPECT_EQ(ReadFile(LogHost()), "keep\r\n");
    ASSERT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_EQ((dialogs.TextsOf(BoxType::Error)[0])
                  .rfind("Cannot create file \"c:\\logs\\Vlmlogtmp.txt\".", 0),
              0u)
        << dialogs.TextsOf(BoxType::Error)[0];
    EXPECT_EQ(dialogs.Count(BoxType::Plain), 0);
}

TEST(ParseRunHistoryMaxTest, ReadsTheAnswerOrNamesTheMistake) {
    const std::string notANumber = "Must be a valid number...\nPlease try again.";
    const std::string negative = "Must be a positive number...\nPlease try again.";
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"256", 256u, ""},
        {"0", 0u, ""},
        {" 12 ", 12u, ""},
        {"+7", 7u, ""},
        {"abc", {}, notANumber},
        {"", {}, notANumber},
        {"12abc", {}, notANumber},
        {"1.5", {}, notANumber},
        {"99999999999", {}, notANumber},
        {"-1", {}, negative},
        {"-2147483648", {}, negative},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const RunHistoryMaxOutcome outcome = ParseRunHistoryMax(c.text);
        EXPECT_EQ(outcome.value, c.value);
        EXPECT_EQ(outcome.error, c.error);
    }
}

// A history file of `count` rows, newest first: "p<count-1>" ... "p0".
void WriteHistory(const std::string& hostPath, int count) {
    std::string text;
    for (int i = count - 1; i >= 0; --i)
        text += "p" + std::to_string(i) + "|when|Normal|0:0:1|OK|\r\n";
    WriteFile(hostPath, text);
}

TEST(RunHistoryMaxCommandTest, SetsValidAnswersAndAlwaysTrimsTheList) {
    TempDrives drives{"c"};
    struct Case {
        const char* name;
        std::uint32_t before;
        std::optional<std::string> answer;
        std::uint32_t after;
        std::size_t rows;  // of 50
        int errors;
    };
    const std::vector<Case> cases = {
        {"lowered to 10", 256, "10", 10, 10, 0},
        {"raised", 256, "300", 300, 50, 0},
        {"zero empties the list", 256, "0", 0, 0, 0},
        {"not a number keeps the maximum", 256, "abc", 256, 50, 1},
        {"negative keeps the maximum", 256, "-1", 256, 50, 1},
        {"cancel keeps the maximum", 256, std::nullopt, 256, 50, 0},
        {"an invalid answer still trims to the maximum in force", 20, "x", 20, 20, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs dialogs;
        dialogs.ExpectInput(c.answer);
        WriteHistory(drives.Host("c:\\runoverview.his"), 50);
        RunHistory history;
        ASSERT_TRUE(history.LoadFromFile(DrivePath("c:\\runoverview.his")));
        std::uint32_t max = c.before;

        RunHistoryMaxCommand(max, history);

        EXPECT_EQ(max, c.after);
        ASSERT_EQ(history.Rows().size(), c.rows);
        if (c.rows > 0) {
            EXPECT_EQ(history.Rows().front().caption, "p49");  // the newest stay
        }
        EXPECT_EQ(dialogs.Count(BoxType::Error), c.errors);
        // The file keeps its rows until the next run start or program start.
        const std::string file = ReadFile(drives.Host("c:\\runoverview.his"));
        EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 50L);
        ASSERT_EQ(dialogs.Inputs().size(), 1u);
        EXPECT_EQ(dialogs.Inputs()[0].caption, "Run history");
        EXPECT_EQ(dialogs.Inputs()[0].prompt, "Give maximum items:");
        EXPECT_EQ(dialogs.Inputs()[0].value, std::to_string(c.before));
    }
}

}  // namespace
}  // namespace vlm
