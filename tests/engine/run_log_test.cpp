// The run's report: which lines reach the memo and the log file, and what the person is asked
// when the log file fails.

#include "engine/run_log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "engine/pass_context.h"
#include "platform/host_calls.h"
#include "support/fake_run_view.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// Drive t: over a fresh temporary folder, for the life of one test.
class LogDrive {
public:
    std::string Host(const std::string& name) const { return drives_.HostRoot('t') + "/" + name; }
    std::string ReadLog() const {
        return LogExists() ? test::ReadFile(Host("Vlmlogtmp.txt")) : std::string();
    }
    bool LogExists() const { return test::Exists(Host("Vlmlogtmp.txt")); }
    // An existing log that the platform refuses to write to, as it refuses every read-only file.
    void MakeReadOnlyLog() const { test::WriteFile(Host("Vlmlogtmp.txt"), "", std::nullopt, 0444); }

private:
    test::TempDrives drives_{"t"};
};

struct LogSetup {
    LogDrive drive;
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log{&view, run, handOver, "t:"};
};

TEST(RunLogTest, LogFilePathIsLocationPlusFileName) {
    struct Case {
        std::string location, expected;
    };
    const std::vector<Case> cases = {
        {"t:\\Logs", "t:\\Logs\\Vlmlogtmp.txt"},
        {"t:", "t:\\Vlmlogtmp.txt"},
        // A drive root keeps its one separator: a doubled one is a path no drive can hold.
        {"t:\\", "t:\\Vlmlogtmp.txt"},
        // An empty location names the file in the root of the current drive.
        {"", "\\Vlmlogtmp.txt"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunLog::LogFilePathFor(c.location), c.expected) << c.location;
    }
}

TEST(RunLogTest, LogCheckBoxStatusNamesTheFileWhenChecked) {
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log(&view, run, handOver, "e:\\Logs");
    EXPECT_EQ(log.LogCheckBoxStatusText(true), "Logfile: e:\\Logs\\Vlmlogtmp.txt");
    EXPECT_EQ(log.LogCheckBoxStatusText(false), "");
}

// A line of the passes, reporting to a run or (`counting`) to a count beside it.
void PassReport(LogSetup& s, bool counting, const std::string& line, bool important) {
    NoEventPump pump;
    PassContext pass{s.run, s.log, pump};
    if (counting)
        pass.sink = PassSink::Count();
    pass.report(line, important);
}

// Every combination of level, LogCB, counting and EditorOpen, for an important and a detail
// line: where each one ends up.
TEST(RunLogTest, LevelLogCheckBoxCountingAndEditorDecideWhereALineGoes) {
    struct Case {
        LogLevel level;
        bool logCB, virtualCopy, editorOpen, important;
        bool inMemo, inFile;
    };
    std::vector<Case> cases;
    for (LogLevel level : {LogLevel::None, LogLevel::Normal, LogLevel::Extended}) {
        for (bool logCB : {false, true}) {
            for (bool virtualCopy : {false, true}) {
                for (bool editorOpen : {false, true}) {
                    for (bool important : {false, true}) {
                        // While counting virtually an important line is only a detail, and a
                        // detail line is gone.
                        const bool detail = virtualCopy ? true : !important;
                        const bool dropped = virtualCopy && !important;
                        bool kept = !editorOpen && level != LogLevel::None && !dropped &&
                                    (!detail || level == LogLevel::Extended);
                        cases.push_back({level, logCB, virtualCopy, editorOpen, important, kept,
                                         kept && logCB});
                    }
                }
            }
        }
    }
    ASSERT_EQ(cases.size(), 48u);  // KnownCombinations below pins single cases by hand

    for (const Case& c : cases) {
        LogSetup s;
        ScriptedDialogs dialogs;
        s.view.level = c.level;
        s.view.logToFile = c.logCB;
        s.handOver.EditorOpen = c.editorOpen;
        PassReport(s, c.virtualCopy, "a line", c.important);
        const std::string label =
            "level " + std::to_string(static_cast<int>(c.level)) + " logCB " +
            std::to_string(c.logCB) + " virtual " + std::to_string(c.virtualCopy) + " editor " +
            std::to_string(c.editorOpen) + " important " + std::to_string(c.important);
        EXPECT_EQ(s.view.MemoLines(),
                  c.inMemo ? std::vector<std::string>{"a line"} : std::vector<std::string>{})
            << label;
        EXPECT_EQ(s.drive.ReadLog(), c.inFile ? "a line\r\n" : "") << label;
        EXPECT_TRUE(dialogs.Boxes().empty()) << label;
    }
}

TEST(RunLogTest, KnownCombinations) {
    struct Case {
        const char* name;
        LogLevel level;
        bool virtualCopy, editorOpen, important, shown;
    };
    const std::vector<Case> cases = {
        {"important at Normal", LogLevel::Normal, false, false, true, true},
        {"detail at Normal", LogLevel::Normal, false, false, false, false},
        {"detail at Extended", LogLevel::Extended, false, false, false, true},
        {"important at None", LogLevel::None, false, false, true, false},
        {"important while counting, Normal", LogLevel::Normal, true, false, true, false},
        {"important while counting, Extended", LogLevel::Extended, true, false, true, true},
        {"detail while counting, Extended", LogLevel::Extended, true, false, false, false},
        {"important with the editor open", LogLevel::Extended, false, true, true, false},
    };
    for (const Case& c : cases) {
        LogSetup s;
        s.view.level = c.level;
        s.handOver.EditorOpen = c.editorOpen;
        PassReport(s, c.virtualCopy, "x", c.important);
        EXPECT_EQ(s.view.memo.size(), c.shown ? 1u : 0u) << c.name;
    }
}

TEST(RunLogTest, NoWindowDropsTheLine) {
    LogDrive drive;
    RunState run;
    HandOverState handOver;
    RunLog log(nullptr, run, handOver, "t:");
    log.report("nobody sees this", true);
    EXPECT_FALSE(drive.LogExists());
}

TEST(RunLogTest, FileGetsEveryLineWithCrLfAndAppendsToAnExistingLog) {
    LogSetup s;
    test::WriteFile(s.drive.Host("Vlmlogtmp.txt"), "from an earlier run\r\n");
    s.log.report("first", true);
    s.log.report("", true);
    s.log.report(
        "gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC",
        true);
    EXPECT_EQ(s.drive.ReadLog(),
              "from an earlier run\r\nfirst\r\n\r\ngr\xC3\xBC\xC3\x9F"
              "e \xE2\x82\xAC\r\n");
}

TEST(RunLogTest, HundredAndFirstLineDropsTheFirstFromTheMemoButNotFromTheFile) {
    LogSetup s;
    for (int i = 1; i <= 101; ++i)
        s.log.report("line " + std::to_string(i), true);
    ASSERT_EQ(s.view.memo.size(), 100u);
    EXPECT_EQ(s.view.memo.front(), "line 2");
    EXPECT_EQ(s.view.memo.back(), "line 101");
    const std::string file = s.drive.ReadLog();
    EXPECT_EQ(file.rfind("line 1\r\nline 2\r\n", 0), 0u);
    EXPECT_NE(file.find("line 101\r\n"), std::string::npos);
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 101);
}

TEST(RunLogTest, LevelChangedDuringARunJudgesLaterLines) {
    LogSetup s;
    s.log.report("detail at Normal", false);
    s.view.level = LogLevel::Extended;
    s.log.report("detail at Extended", false);
    s.view.level = LogLevel::None;
    s.log.report("important at None", true);
    EXPECT_EQ(s.view.MemoLines(), std::vector<std::string>{"detail at Extended"});
}

// The log folder does not exist, so the file cannot be created.
TEST(RunLogTest, CreateFailureYesGoesOnWithoutTheFile) {
    LogDrive drive;
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log(&view, run, handOver, "t:\\missing");
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error,
                           "Unable to create log-file t:\\missing\\Vlmlogtmp.txt!!! Continue "
                           "without log?",
                           Answer::Yes);
    log.report("one", true);
    log.report("two", true);  // LogCB is off now: no second question
    EXPECT_FALSE(view.logToFile);
    EXPECT_FALSE(run.StopRequested);
    EXPECT_EQ(view.MemoLines(), (std::vector<std::string>{"one", "two"}));
    ASSERT_EQ(dialogs.Boxes().size(), 1u);
    EXPECT_EQ(dialogs.Boxes()[0].text,
              "Unable to create log-file t:\\missing\\Vlmlogtmp.txt!!! Continue without log?");
    EXPECT_EQ(dialogs.Boxes()[0].buttons, Buttons::YesNo);
}

TEST(RunLogTest, CreateFailureNoStopsTheRunAndStillShowsTheLine) {
    LogDrive drive;
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log(&view, run, handOver, "t:\\missing");
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error, "Unable to create log-file ", Answer::No);
    log.report("one", true);
    EXPECT_TRUE(run.StopRequested);
    EXPECT_TRUE(view.logToFile);
    EXPECT_EQ(view.MemoLines(), std::vector<std::string>{"one"});
}

TEST(RunLogTest, EmptyLocationAsksTheCreateQuestion) {
    LogDrive drive;
    FakeRunView view;
    RunState run;
    HandOverState handOver;
    RunLog log(&view, run, handOver, "");
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error,
                           "Unable to create log-file \\Vlmlogtmp.txt!!! Continue without log?",
                           Answer::Yes);
    log.report("one", true);
    EXPECT_FALSE(view.logToFile);
}

// The log exists but refuses the line: a read-only file, which the platform never writes.
TEST(RunLogTest, WriteFailureYesReportsItAndGoesOnWithTheMemoOnly) {
    LogSetup s;
    s.drive.MakeReadOnlyLog();
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error,
                           "Unable to write to log-file t:\\Vlmlogtmp.txt. Probably disk full. "
                           "Continue without log?",
                           Answer::Yes);
    s.log.report("the line", true);
    s.log.report("the next line", true);
    EXPECT_FALSE(s.view.logToFile);
    EXPECT_FALSE(s.run.StopRequested);
    EXPECT_EQ(s.view.MemoLines(),
              (std::vector<std::string>{"Unable to write to log-file. Continue without log.",
                                        "the line", "the next line"}));
    EXPECT_EQ(dialogs.Boxes().size(), 1u);
    EXPECT_EQ(s.drive.ReadLog(), "");
}

TEST(RunLogTest, WriteFailureNoHaltsAfterOneQuestion) {
    LogSetup s;
    s.drive.MakeReadOnlyLog();
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error, "Unable to write to log-file ", Answer::No);
    s.log.report("the line", true);
    EXPECT_TRUE(s.run.StopRequested);
    EXPECT_EQ(s.view.MemoLines(),
              (std::vector<std::string>{"Unable to write to log-file. User decides to halt",
                                        "the line"}));
    EXPECT_EQ(dialogs.Boxes().size(), 1u);
}

// The lines that follow a No (the stop, the closing lines) never ask again in that run; the next
// run may.
TEST(RunLogTest, AfterANoNoLaterLineOfTheRunAsks) {
    LogSetup s;
    s.drive.MakeReadOnlyLog();
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error, "Unable to write to log-file ", Answer::No);
    s.log.BeginRun();
    for (int i = 0; i < 14; ++i)
        s.log.report("line " + std::to_string(i), true);
    EXPECT_EQ(dialogs.Boxes().size(), 1u);
    dialogs.ExpectQuestion(BoxType::Error, "Unable to write to log-file ", Answer::No);
    s.log.BeginRun();
    s.log.report("the next run", true);
    EXPECT_EQ(dialogs.Boxes().size(), 2u);
}

TEST(RunLogTest, HaltLineFollowsTheLevelRules) {
    LogSetup s;
    // A count's important lines count as details...
    s.view.level = LogLevel::Extended;  // ...and show at Extended
    s.drive.MakeReadOnlyLog();
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error, "Unable to write to log-file ", Answer::No);
    PassReport(s, true, "the line", true);
    EXPECT_EQ(s.view.MemoLines().front(), "Unable to write to log-file. User decides to halt");
}

#ifdef VELMORA_FAULT_INJECTION
// A disk that fills up in the middle of a run: the lines before stay in the file.
TEST(RunLogTest, DiskFullMidRunKeepsEarlierLines) {
    LogSetup s;
    s.log.report("before", true);
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Error, "Unable to write to log-file ", Answer::Yes);
    faults::Arm(faults::Call::Write, 1, ENOSPC);
    s.log.report("during", true);
    faults::Reset();
    s.log.report("after", true);  // LogCB is off now
    EXPECT_EQ(s.drive.ReadLog(), "before\r\n");
    EXPECT_EQ(
        s.view.MemoLines(),
        (std::vector<std::string>{"before", "Unable to write to log-file. Continue without log.",
                                  "during", "after"}));
}
#endif

}  // namespace
}  // namespace vlm
