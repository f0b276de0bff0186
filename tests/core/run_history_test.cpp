// The run history: reading, filling, trimming and writing "runoverview.his".

#include "core/run_history.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "platform/host_calls.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr const char* kHis = "c:\\runoverview.his";

struct HistoryFolder {
    test::TempDrives drives{"c"};
    void Write(const std::string& text) const { test::WriteFile(drives.Host(kHis), text); }
    std::string Read() const { return test::ReadFile(drives.Host(kHis)); }
    bool Exists() const { return test::Exists(drives.Host(kHis)); }
};

std::string CompleteLine(int n) {
    return "c:\\p\\" + std::to_string(n) + ".vlm|07.12.2026 09:08:15|Normal|0:0:1.0|OK|\r\n";
}

std::string Lines(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += CompleteLine(n);
    return text;
}

HistoryRow Row(std::string caption, std::vector<std::string> subItems) {
    return HistoryRow{std::move(caption), std::move(subItems)};
}

TEST(RunHistoryTest, StartupKeepsTheNewestLinesUpToTheMaximumAndRewritesTheFile) {
    HistoryFolder folder;
    folder.Write(Lines(1, 300));
    RunHistory history;
    EXPECT_EQ(history.StartupLoad(DrivePath(kHis), 256), "");
    ASSERT_EQ(history.Rows().size(), 256u);
    EXPECT_EQ(history.Rows().front().caption, "c:\\p\\1.vlm");
    EXPECT_EQ(history.Rows().back().caption, "c:\\p\\256.vlm");
    EXPECT_EQ(folder.Read(), Lines(1, 256));
}

TEST(RunHistoryTest, MaximumZeroReadsNothingAndEmptiesTheFile) {
    HistoryFolder folder;
    folder.Write(Lines(1, 5));
    RunHistory history;
    EXPECT_EQ(history.StartupLoad(DrivePath(kHis), 0), "");
    EXPECT_TRUE(history.Rows().empty());
    EXPECT_EQ(folder.Read(), "");
    // Each run still adds its row and gives none up.
    for (int run = 1; run <= 3; ++run) {
        EXPECT_EQ(history.StartHistoryEntry(DrivePath(kHis), "c:\\p.vlm", "t", "Normal", 0), "");
        EXPECT_EQ(history.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK"), "");
    }
    EXPECT_EQ(history.Rows().size(), 3u);
    EXPECT_EQ(folder.Read(),
              "c:\\p.vlm|t|Normal|0:0:1.0|OK|\r\n"
              "c:\\p.vlm|t|Normal|0:0:1.0|OK|\r\n"
              "c:\\p.vlm|t|Normal|0:0:1.0|OK|\r\n");
}

TEST(RunHistoryTest, NoFileAtStartLeavesTheListEmptyAndWritesNothing) {
    HistoryFolder folder;
    RunHistory history;
    EXPECT_EQ(history.StartupLoad(DrivePath(kHis), 256), "");
    EXPECT_TRUE(history.Rows().empty());
    EXPECT_FALSE(folder.Exists());
}

TEST(RunHistoryTest, StartupFillsShortRows) {
    struct Case {
        std::string line;
        HistoryRow expected;
        std::string written;
    };
    const std::vector<Case> cases = {
        {"a|b|c", Row("a", {"b", "", "", "Error"}), "a|b|||Error|"},
        {"a|b|Normal|", Row("a", {"b", "Normal", "", "Error"}), "a|b|Normal||Error|"},
        {"a|b|c|", Row("a", {"b", "c", "", "Error"}), "a|b|c||Error|"},
        {"a|b|c|d|", Row("a", {"b", "c", "d", "Error"}), "a|b|c|d|Error|"},
        {"a|", Row("a", {}), "a|"},  // no sub-item: left as it is
        {"a|b|c|d|e|f|", Row("a", {"b", "c", "d", "e", "f"}), "a|b|c|d|e|f|"},
    };
    for (const Case& c : cases) {
        HistoryFolder folder;
        folder.Write(c.line + "\r\n");
        RunHistory history;
        EXPECT_EQ(history.StartupLoad(DrivePath(kHis), 256), "") << c.line;
        ASSERT_EQ(history.Rows().size(), 1u) << c.line;
        EXPECT_EQ(history.Rows()[0], c.expected) << c.line;
        EXPECT_EQ(folder.Read(), c.written + "\r\n") << c.line;
    }
}

TEST(RunHistoryTest, LineWithoutBarIsSkippedAndTheRowsAfterItAreKept) {
    HistoryFolder folder;
    folder.Write(Lines(1, 2) + "garbage line\r\n\r\n" + Lines(3, 4));
    RunHistory history;
    history.MaxItems = 256;
    EXPECT_FALSE(history.LoadFromFile(DrivePath(kHis)));
    ASSERT_EQ(history.Rows().size(), 4u);
    EXPECT_EQ(history.Rows()[2].caption, "c:\\p\\3.vlm");

    RunHistory atStart;
    EXPECT_EQ(atStart.StartupLoad(DrivePath(kHis), 256), "");
    EXPECT_EQ(folder.Read(), Lines(1, 4));
}

TEST(RunHistoryTest, LoadAppendsSplitsAtBarsAndReadsBareLineFeeds) {
    HistoryFolder folder;
    folder.Write("x|1|2|trailing text\ny|\n");
    RunHistory history;
    history.StartHistoryEntry(DrivePath("c:\\other.his"), "earlier", "t", "Normal", 256);
    EXPECT_TRUE(history.LoadFromFile(DrivePath(kHis)));
    ASSERT_EQ(history.Rows().size(), 3u);
    EXPECT_EQ(history.Rows()[0].caption, "earlier");
    EXPECT_EQ(history.Rows()[1], Row("x", {"1", "2"}));  // text after the last "|" is dropped
    EXPECT_EQ(history.Rows()[2], Row("y", {}));
}

TEST(RunHistoryTest, MissingFileIsNotLoaded) {
    HistoryFolder folder;
    RunHistory history;
    EXPECT_FALSE(history.LoadFromFile(DrivePath(kHis)));
    EXPECT_TRUE(history.Rows().empty());
}

TEST(RunHistoryTest, FullListGivesUpItsOldestRowAtARunStart) {
    HistoryFolder folder;
    folder.Write(Lines(1, 256));
    RunHistory history;
    ASSERT_EQ(history.StartupLoad(DrivePath(kHis), 256), "");
    EXPECT_EQ(history.StartHistoryEntry(DrivePath(kHis), "c:\\new.vlm", "07.12.2026 10:00:00",
                                        "Timer", 256),
              "");
    ASSERT_EQ(history.Rows().size(), 256u);
    EXPECT_EQ(history.Rows().front(), Row("c:\\new.vlm", {"07.12.2026 10:00:00", "Timer"}));
    EXPECT_EQ(history.Rows().back().caption, "c:\\p\\255.vlm");
    EXPECT_EQ(folder.Read(), "c:\\new.vlm|07.12.2026 10:00:00|Timer|\r\n" + Lines(1, 255));

    EXPECT_EQ(history.EndHistoryEntry(DrivePath(kHis), "0:1:5.3", "Cancelled"), "");
    EXPECT_EQ(history.Rows().front(),
              Row("c:\\new.vlm", {"07.12.2026 10:00:00", "Timer", "0:1:5.3", "Cancelled"}));
    EXPECT_EQ(folder.Read().substr(0, folder.Read().find('\n') + 1),
              "c:\\new.vlm|07.12.2026 10:00:00|Timer|0:1:5.3|Cancelled|\r\n");
}

TEST(RunHistoryTest, OpenRowOfAnUnfinishedRunReadsAsErrorAtTheNextStart) {
    HistoryFolder folder;
    {
        RunHistory running;
        running.StartHistoryEntry(DrivePath(kHis), "c:\\p.vlm", "07.12.2026", "Shortcut", 256);
    }  // the process ends here without completing its row
    RunHistory next;
    EXPECT_EQ(next.StartupLoad(DrivePath(kHis), 256), "");
    EXPECT_EQ(next.Rows()[0], Row("c:\\p.vlm", {"07.12.2026", "Shortcut", "", "Error"}));
}

// Another process's start-up load (a runner, even a dry run's) leaves the open row of a run
// that is still going as it is; the row of a run whose process is gone reads "Error".
TEST(RunHistoryTest, AnOpenRowStaysOpenWhileItsProcessRuns) {
    HistoryFolder folder;
    RunHistory running;
    ASSERT_EQ(running.StartHistoryEntry(DrivePath(kHis), "c:\\live.vlm", "t1", "Normal", 256), "");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        RunHistory killed;
        killed.StartHistoryEntry(DrivePath(kHis), "c:\\dead.vlm", "t2", "Normal", 256);
        ::pause();
    }
    // The child's row is in once the file holds two rows.
    for (int waited = 0; waited < 5000 && folder.Read().find("dead.vlm") == std::string::npos;
         ++waited)
        ::usleep(1000);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    RunHistory other;
    EXPECT_EQ(other.StartupLoad(DrivePath(kHis), 256), "");
    ASSERT_EQ(other.Rows().size(), 2u);
    EXPECT_EQ(other.Rows()[0], Row("c:\\dead.vlm", {"t2", "Normal", "", "Error"}));
    EXPECT_EQ(other.Rows()[1], Row("c:\\live.vlm", {"t1", "Normal"}));
    EXPECT_EQ(running.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK"), "");
    EXPECT_EQ(running.Rows()[1], Row("c:\\live.vlm", {"t1", "Normal", "0:0:1.0", "OK"}));
}

TEST(RunHistoryTest, LoweringTheMaximumTrimsTheListOnlyUntilTheNextRun) {
    HistoryFolder folder;
    folder.Write(Lines(1, 50));
    RunHistory history;
    ASSERT_EQ(history.StartupLoad(DrivePath(kHis), 256), "");
    int changes = 0;
    history.SetChangeListener([&] { ++changes; });
    history.TrimTo(10);
    ASSERT_EQ(history.Rows().size(), 10u);
    EXPECT_EQ(history.Rows().back().caption, "c:\\p\\10.vlm");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(folder.Read(), Lines(1, 50));
    history.TrimTo(10);  // nothing to give up: no change
    EXPECT_EQ(changes, 1);
    // A change written meanwhile keeps the list to the maximum; the next run cuts the file.
    EXPECT_EQ(history.SetCaption(DrivePath(kHis), 0, "c:\\renamed.vlm"), "");
    EXPECT_EQ(history.Rows().size(), 10u);
    EXPECT_EQ(history.StartHistoryEntry(DrivePath(kHis), "c:\\new.vlm", "t", "Normal", 10), "");
    EXPECT_EQ(history.Rows().size(), 10u);
    const std::string file = folder.Read();
    EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 10);
}

// Two processes (the program and velmora-run, say) write one history file in turns. Each
// change is made to the file as it is at that moment: no row of the other is lost, each run
// completes its own row wherever it stands by then, and each list shows what was written.
TEST(RunHistoryTest, TwoWritersInterleavedLoseNoRow) {
    enum class Op { Startup, Start, End, Clear };
    struct Step {
        int who;
        Op op;
        std::string project, started, how;  // Start; End completes with "0:0:<who>" and "OK"
    };
    struct Case {
        const char* name;
        std::string before;
        std::uint32_t max;
        std::vector<Step> steps;
        std::string after;
    };
    const std::string old = "c:\\old.vlm|t0|Normal|0:0:1|OK|\r\n";
    const std::vector<Case> cases = {
        {"ends in start order",
         old,
         256,
         {{0, Op::Start, "c:\\a.vlm", "t1", "Normal"},
          {1, Op::Start, "c:\\b.vlm", "t2", "Timer"},
          {0, Op::End, "", "", ""},
          {1, Op::End, "", "", ""}},
         "c:\\b.vlm|t2|Timer|0:0:1|OK|\r\nc:\\a.vlm|t1|Normal|0:0:0|OK|\r\n" + old},
        {"ends in reverse order, same project and time, told apart by how started",
         old,
         256,
         {{0, Op::Start, "c:\\a.vlm", "t1", "Normal"},
          {1, Op::Start, "c:\\a.vlm", "t1", "Timer"},
          {1, Op::End, "", "", ""},
          {0, Op::End, "", "", ""}},
         "c:\\a.vlm|t1|Timer|0:0:1|OK|\r\nc:\\a.vlm|t1|Normal|0:0:0|OK|\r\n" + old},
        {"a second program starting marks the running row Error; its own end still completes it",
         old,
         256,
         {{0, Op::Start, "c:\\a.vlm", "t1", "Shortcut"},
          {1, Op::Startup, "", "", ""},
          {1, Op::Start, "c:\\b.vlm", "t2", "Normal"},
          {0, Op::End, "", "", ""},
          {1, Op::End, "", "", ""}},
         "c:\\b.vlm|t2|Normal|0:0:1|OK|\r\nc:\\a.vlm|t1|Shortcut|0:0:0|OK|\r\n" + old},
        {"the maximum counts the other's rows",
         old + old,
         3,
         {{0, Op::Start, "c:\\a.vlm", "t1", "Normal"},
          {1, Op::Start, "c:\\b.vlm", "t2", "Normal"},
          {0, Op::End, "", "", ""},
          {1, Op::End, "", "", ""}},
         "c:\\b.vlm|t2|Normal|0:0:1|OK|\r\nc:\\a.vlm|t1|Normal|0:0:0|OK|\r\n" + old},
        {"a row cleared away by the other is not brought back",
         old,
         256,
         {{0, Op::Start, "c:\\a.vlm", "t1", "Normal"},
          {1, Op::Clear, "", "", ""},
          {1, Op::Start, "c:\\b.vlm", "t2", "Normal"},
          {0, Op::End, "", "", ""}},
         "c:\\b.vlm|t2|Normal|\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HistoryFolder folder;
        folder.Write(c.before);
        RunHistory writers[2];
        for (const Step& step : c.steps) {
            RunHistory& writer = writers[step.who];
            std::string error;
            switch (step.op) {
                case Op::Startup:
                    error = writer.StartupLoad(DrivePath(kHis), c.max);
                    break;
                case Op::Start:
                    error = writer.StartHistoryEntry(DrivePath(kHis), step.project, step.started,
                                                     step.how, c.max);
                    break;
                case Op::End:
                    error = writer.EndHistoryEntry(DrivePath(kHis),
                                                   "0:0:" + std::to_string(step.who), "OK");
                    break;
                case Op::Clear:
                    error = writer.Clear(DrivePath(kHis));
                    break;
            }
            ASSERT_EQ(error, "");
            // The writer's list is what it wrote, the other's rows included.
            RunHistory file;
            file.LoadFromFile(DrivePath(kHis));
            EXPECT_EQ(writer.Rows(), file.Rows());
        }
        EXPECT_EQ(folder.Read(), c.after);
        EXPECT_TRUE(test::Exists(folder.drives.Host(kHis) + ".lock"));
    }
}

TEST(RunHistoryTest, ListenerFollowsEveryChange) {
    HistoryFolder folder;
    RunHistory history;
    std::vector<std::size_t> sizes;
    history.SetChangeListener([&] { sizes.push_back(history.Rows().size()); });
    history.StartHistoryEntry(DrivePath(kHis), "c:\\p.vlm", "t", "Normal", 256);
    history.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK");
    history.Clear(DrivePath(kHis));
    EXPECT_EQ(folder.Read(), "");
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 1, 0}));
}

TEST(RunHistoryTest, EditedCaptionReplacesTheRowsPath) {
    HistoryFolder folder;
    RunHistory history;
    history.StartHistoryEntry(DrivePath(kHis), "c:\\old.vlm", "t", "Normal", 256);
    int changes = 0;
    history.SetChangeListener([&] { ++changes; });
    EXPECT_EQ(history.SetCaption(DrivePath(kHis), 0, "c:\\new.vlm"), "");
    EXPECT_EQ(history.SetCaption(DrivePath(kHis), 5, "c:\\nowhere.vlm"),
              "");  // no such row: nothing happens
    EXPECT_EQ(history.Rows(), std::vector<HistoryRow>{Row("c:\\new.vlm", {"t", "Normal"})});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(folder.Read(), "c:\\new.vlm|t|Normal|\r\n");
    // The run's end still finds its row under the new path.
    EXPECT_EQ(history.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK"), "");
    EXPECT_EQ(folder.Read(), "c:\\new.vlm|t|Normal|0:0:1.0|OK|\r\n");
}

// Values are written and read byte for byte: a percent sign and what follows it is no code.
TEST(RunHistoryTest, ValuesAreWrittenAndReadByteForByte) {
    struct Case {
        std::string project;
    };
    const std::vector<Case> cases = {
        {"c:\\a%7Cb.vlm"},    {"c:\\100%\\x.vlm"},         {"c:\\%25%0D%0A.vlm"},
        {"c:\\Grüße\\p.vlm"}, {"c:\\odd\xEF\x81\xBC.vlm"},  // a "|" of a host name, as its stand-in
    };
    for (const Case& c : cases) {
        HistoryFolder folder;
        RunHistory history;
        ASSERT_EQ(history.StartHistoryEntry(DrivePath(kHis), c.project, "t%7C", "Normal", 256), "");
        ASSERT_EQ(history.EndHistoryEntry(DrivePath(kHis), "0:0:1.0", "OK"), "");
        EXPECT_EQ(folder.Read(), c.project + "|t%7C|Normal|0:0:1.0|OK|\r\n") << c.project;
        RunHistory back;
        EXPECT_TRUE(back.LoadFromFile(DrivePath(kHis)));
        EXPECT_EQ(back.Rows(),
                  std::vector<HistoryRow>{Row(c.project, {"t%7C", "Normal", "0:0:1.0", "OK"})})
            << c.project;
    }
}

TEST(RunHistoryTest, FailedSaveIsReportedAndLeavesTheOldFile) {
    HistoryFolder folder;
    RunHistory history;
    EXPECT_EQ(history.StartHistoryEntry(DrivePath("c:\\gone\\runoverview.his"), "c:\\p.vlm", "t",
                                        "Normal", 256),
              "Unable to write to c:\\gone\\runoverview.his");
    EXPECT_EQ(history.Rows().size(), 1u);  // the row is in the list all the same

    folder.Write(Lines(1, 2));
    test::SetMode(folder.drives.Host(kHis), 0444);
    RunHistory atStart;
    EXPECT_EQ(atStart.StartupLoad(DrivePath(kHis), 1), "Unable to write to c:\\runoverview.his");
    EXPECT_EQ(folder.Read(), Lines(1, 2));
}

#ifdef VELMORA_FAULT_INJECTION
TEST(RunHistoryTest, UnreadableFileAtStartIsReportedAndNotRewritten) {
    HistoryFolder folder;
    folder.Write(Lines(1, 3));
    RunHistory history;
    faults::Arm(faults::Call::Read, 1, EIO);
    const std::string error = history.StartupLoad(DrivePath(kHis), 1);
    faults::Reset();
    EXPECT_EQ(error, "Unable to read c:\\runoverview.his");
    EXPECT_EQ(folder.Read(), Lines(1, 3));
}
#endif

}  // namespace
}  // namespace vlm
