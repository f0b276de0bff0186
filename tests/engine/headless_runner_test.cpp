// velmora-run as a script starts it: the built runner over a program folder with its own
// drives.ini. What it answers when nobody is there to ask, and several runners sharing one run
// history.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "platform/system_schedule.h"
#include "support/runner_process.h"

namespace vlm {
namespace {

using test::EngineRig;

constexpr std::time_t kOld = 1600000000;
constexpr std::time_t kNew = 1600000200;

std::string Runner() {
    return test::BuiltRunner();
}

// A program folder on l: whose drives.ini gives the runner the rig's drives.
void WriteDrivesIni(const EngineRig& rig) {
    test::WriteDrivesIni(rig.drives.HostRoot('l'), rig.drives, "cel");
}

// Starts the runner on l:\<project>.vlm; standard output goes to `output`, standard error is
// dropped (it holds the questions, which the count line sums up).
pid_t StartRunner(const EngineRig& rig, const std::string& project, const std::string& output,
                  const std::vector<std::string>& extra = {},
                  const std::string& errorOutput = "/dev/null") {
    const std::string l = rig.drives.HostRoot('l');
    std::vector<std::string> args = {l + "/" + project + ".vlm", "--program-folder", l,
                                     "--log-level", "none"};
    args.insert(args.end(), extra.begin(), extra.end());
    return test::StartRunner(std::move(args), {output, errorOutput});
}

std::string LastLine(const std::string& text) {
    std::string trimmed = text;
    while (!trimmed.empty() && trimmed.back() == '\n')
        trimmed.pop_back();
    const std::size_t start = trimmed.rfind('\n');
    return start == std::string::npos ? trimmed : trimmed.substr(start + 1);
}

// A project with "confirm" on, whose source file changed since the last run: the runner must
// overwrite the copy, and may only with --yes. Answering No is no success even when the run's
// own result reads "OK".
TEST(HeadlessRunnerTest, UnansweredOverwriteIsNoSuccessAndYesAllowsIt) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        bool sourceChanged;
        int exitCode;
        std::string lastLine;  // empty: no count line
        std::string copy;
    };
    const std::vector<Case> cases = {
        {"nothing changed, nothing asked", {}, false, 0, "", "old"},
        {"overwrite answered No",
         {},
         true,
         1,
         "velmora-run answered 1 question itself: 0 Yes, 1 No",
         "old"},
        {"overwrite answered Yes by --yes",
         {"--yes"},
         true,
         0,
         "velmora-run answered 1 question itself: 1 Yes, 0 No",
         "new!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        WriteDrivesIni(rig);
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.confirm = true;
        rig.Project(fields, "confirm");
        const std::string copy = rig.Dst("VLMcopy_drive_c/docs/a.txt");
        test::WriteFile(rig.Src("docs/a.txt"), "old", kOld);
        test::WriteFile(copy, "old", kOld);
        if (c.sourceChanged)
            test::WriteFile(rig.Src("docs/a.txt"), "new!", kNew);
        const std::string output = rig.drives.Base() + "/out.txt";

        EXPECT_EQ(test::WaitForExit(StartRunner(rig, "confirm", output, c.extra)), c.exitCode);

        const std::string printed = test::ReadFile(output);
        if (c.lastLine.empty()) {
            EXPECT_EQ(printed.find("velmora-run answered"), std::string::npos) << printed;
        } else {
            EXPECT_EQ(LastLine(printed), c.lastLine) << printed;
        }
        EXPECT_EQ(test::ReadFile(copy), c.copy);
        // The history keeps the run's own result: the run itself went as far as it was allowed.
        const std::string history = test::ReadFile(rig.drives.HostRoot('l') + "/runoverview.his");
        EXPECT_EQ(history.rfind("l:\\confirm.vlm|", 0), 0u) << history;
        EXPECT_NE(history.find("|OK|\r\n"), std::string::npos) << history;
    }
}

// Several runners started at once on one program folder, over a history another window wrote
// before: every run's row is there once and complete, and the older row stays.
TEST(HeadlessRunnerTest, ConcurrentRunnersLoseNoHistoryRow) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    constexpr int kRunners = 6;
    constexpr int kRounds = 2;
    EngineRig rig;
    WriteDrivesIni(rig);
    const std::string historyHost = rig.drives.HostRoot('l') + "/runoverview.his";
    const std::string earlier = "l:\\window.vlm|07.12.2026 09:00:00|Normal|0:0:1|OK|\r\n";
    test::WriteFile(historyHost, earlier);
    for (int n = 0; n < kRunners; ++n) {
        const std::string folder = "docs" + std::to_string(n);
        for (int f = 0; f < 20; ++f)
            test::WriteFile(rig.Src(folder + "/f" + std::to_string(f) + ".txt"), "x", kOld);
        // Each into a destination of its own: two runs into one are refused (one at a time).
        auto fields = EngineRig::Fields({"c:\\" + folder});
        fields.sync = true;
        fields.syncdest = "e:\\mirror" + std::to_string(n);
        rig.Project(fields, "job" + std::to_string(n));
    }

    for (int round = 0; round < kRounds; ++round) {
        std::vector<pid_t> runners;
        for (int n = 0; n < kRunners; ++n)
            runners.push_back(StartRunner(rig, "job" + std::to_string(n),
                                          rig.drives.Base() + "/out" + std::to_string(n)));
        for (pid_t pid : runners)
            EXPECT_EQ(test::WaitForExit(pid), 0);
    }

    const std::string history = test::ReadFile(historyHost);
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < history.size();) {
        const std::size_t end = history.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << history;
        lines.push_back(history.substr(start, end - start));
        start = end + 2;
    }
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kRunners * kRounds + 1)) << history;
    EXPECT_EQ(lines.back() + "\r\n", earlier);
    for (int n = 0; n < kRunners; ++n) {
        const std::string project = "l:\\job" + std::to_string(n) + ".vlm|";
        const auto rows = std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
            return line.rfind(project, 0) == 0;
        });
        EXPECT_EQ(rows, kRounds) << project << "\n" << history;
    }
    for (const std::string& line : lines) {
        // caption | started | Normal | duration | OK |
        EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 5) << line;
        EXPECT_NE(line.find("|Normal|"), std::string::npos) << line;
        EXPECT_EQ(line.substr(line.size() - 4), "|OK|") << line;
    }
}

// A run started by a system schedule is one nobody started by hand: "Timer" in its history row.
// A schedule written before the runner knew --scheduled still runs, as "Normal".
TEST(HeadlessRunnerTest, ARunOfASystemScheduleIsRecordedAsTimer) {
    for (const char* dropped : {"", "--scheduled"}) {
        EngineRig rig;
        WriteDrivesIni(rig);
        test::WriteFile(rig.Src("docs/a.txt"), "a", kOld);
        rig.Project(EngineRig::Fields({"c:\\docs"}), "nightly");
        const std::string l = rig.drives.HostRoot('l');
        std::vector<std::string> args = ScheduledArguments({2, 0, {}, HostPath(l + "/nightly.vlm")},
                                                           {HostPath(Runner()), HostPath(l)});
        args.erase(std::remove(args.begin(), args.end(), dropped), args.end());
        EXPECT_EQ(test::WaitForExit(test::StartProgram(args, {rig.drives.Base() + "/out"})), 0);
        const std::string row = *dropped ? "|Normal|" : "|Timer|";
        EXPECT_NE(test::ReadFile(l + "/runoverview.his").find(row), std::string::npos) << row;
    }
}

// A folder item whose source is empty while its backup is not: without a person the runner keeps
// the backup (and fails), unless the command line allows emptying it; --yes does not.
TEST(HeadlessRunnerTest, EmptyingABackupNeedsAllowMassDelete) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        int exitCode;
        std::string lastLine;
        bool backupKept;
    };
    const std::vector<Case> cases = {
        {"nobody allowed it", {}, 1, "velmora-run answered 1 question itself: 0 Yes, 1 No", true},
        {"--yes is not enough",
         {"--yes"},
         1,
         "velmora-run answered 1 question itself: 0 Yes, 1 No",
         true},
        {"--allow-mass-delete",
         {"--allow-mass-delete"},
         0,
         "velmora-run answered 1 question itself: 1 Yes, 0 No",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        WriteDrivesIni(rig);
        rig.Project(EngineRig::Fields({"c:\\docs"}), "emptied");
        test::MakeDir(rig.Src("docs"));
        const std::string copy = rig.Dst("VLMcopy_drive_c/docs/a.txt");
        test::WriteFile(copy, "backed up", kOld);
        const std::string output = rig.drives.Base() + "/out.txt";

        // A dry run first: it changes nothing and foretells the answer and the exit code.
        std::vector<std::string> dry = c.extra;
        dry.push_back("--dry-run");
        EXPECT_EQ(test::WaitForExit(StartRunner(rig, "emptied", output, dry)), c.exitCode);
        std::string foretold = c.lastLine;
        foretold.replace(0, std::string("velmora-run answered").size(), "velmora-run would answer");
        EXPECT_EQ(LastLine(test::ReadFile(output)), foretold);
        EXPECT_TRUE(test::Exists(copy));

        EXPECT_EQ(test::WaitForExit(StartRunner(rig, "emptied", output, c.extra)), c.exitCode);

        const std::string printed = test::ReadFile(output);
        EXPECT_EQ(LastLine(printed), c.lastLine) << printed;
        EXPECT_EQ(test::Exists(copy), c.backupKept);
        const std::string history = test::ReadFile(rig.drives.HostRoot('l') + "/runoverview.his");
        EXPECT_NE(history.find(c.backupKept ? "|Cancelled|\r\n" : "|OK|\r\n"), std::string::npos)
            << history;
    }
}

// The summary lines are report lines; --json adds them as one object on the last line, with the
// backslashes of the project's drive path escaped.
TEST(HeadlessRunnerTest, SummaryIsPrintedAndJsonEndsTheOutput) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    EngineRig rig;
    WriteDrivesIni(rig);
    rig.Project(EngineRig::Fields({"c:\\docs"}), "json run");
    test::WriteFile(rig.Src("docs/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("docs/kept.txt"), "k", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/kept.txt"), "k", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
    const std::string output = rig.drives.Base() + "/out.txt";

    EXPECT_EQ(test::WaitForExit(
                  StartRunner(rig, "json run", output, {"--log-level", "normal", "--json"})),
              0);

    const std::string printed = test::ReadFile(output);
    EXPECT_NE(printed.find("\nSummary: files copied: 1 (new: 1, replaced: 0)\n"), std::string::npos)
        << printed;
    EXPECT_NE(printed.find("\nSummary: removed: 1 files, 0 folders\n"), std::string::npos)
        << printed;
    const std::string json = LastLine(printed);
    const std::string expectedStart =
        "{\"project\":\"l:\\\\json run.vlm\",\"result\":\"OK\","
        "\"filesCopied\":1,\"filesNew\":1,\"filesReplaced\":0,\"bytesCopied\":3,"
        "\"filesRemoved\":1,\"foldersRemoved\":0,\"entriesSkipped\":0,\"errors\":0,"
        "\"elapsedSeconds\":";
    EXPECT_EQ(json.substr(0, expectedStart.size()), expectedStart) << json;
    ASSERT_GT(json.size(), expectedStart.size() + 1);
    const std::string seconds =
        json.substr(expectedStart.size(), json.size() - expectedStart.size() - 1);
    EXPECT_EQ(seconds.find_first_not_of("0123456789."), std::string::npos) << seconds;
    EXPECT_EQ(json.back(), '}');
}

// A run that cannot begin says why on standard error and, with --json, still ends with its line.
TEST(HeadlessRunnerTest, ARunThatCannotBeginStillEndsWithItsJsonLine) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    struct Case {
        const char* name;
        std::vector<std::string> extra;
        std::string project;
        std::string said;  // on standard error
    };
    const Case cases[] = {
        {"no such program folder", {"--program-folder", "/nonexistent/x"}, "absent",
         "velmora-run: the program folder /nonexistent/x does not exist"},
        {"no such project", {}, "absent", "absent.vlm"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        WriteDrivesIni(rig);
        const std::string output = rig.drives.Base() + "/out.txt";
        const std::string errors = rig.drives.Base() + "/err.txt";
        std::vector<std::string> extra = c.extra;
        extra.push_back("--json");
        EXPECT_EQ(test::WaitForExit(StartRunner(rig, c.project, output, extra, errors)), 1);
        const std::string json = LastLine(test::ReadFile(output));
        EXPECT_NE(json.find("\"result\":null,\"filesCopied\":0,"), std::string::npos) << json;
        EXPECT_NE(test::ReadFile(errors).find(c.said), std::string::npos) << test::ReadFile(errors);
    }
}

// SIGTERM (what `systemctl stop` sends) stops a run as Cancel does: its closing lines, a completed
// history row, its JSON line and exit code 1, and no temporary file left behind.
TEST(HeadlessRunnerTest, ASignalStopsTheRunAsCancelDoes) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    EngineRig rig;
    WriteDrivesIni(rig);
    rig.Project(EngineRig::Fields({"c:\\docs"}), "signalled");
    for (int i = 0; i < 4000; ++i)
        test::WriteFile(rig.Src("docs/d" + std::to_string(i / 100) + "/f" + std::to_string(i)), "x",
                        kOld);
    const std::string output = rig.drives.Base() + "/out.txt";
    const pid_t pid =
        StartRunner(rig, "signalled", output, {"--log-level", "normal", "--json"});
    ASSERT_GT(pid, 0);
    for (int waited = 0; waited < 20000; ++waited) {
        if (test::ReadFile(output).find("Created file: ") != std::string::npos)
            break;
        ::usleep(1000);
    }
    ::kill(pid, SIGTERM);
    const int exitCode = test::WaitForExit(pid);
    const std::string printed = test::ReadFile(output);
    if (printed.find("Summary: files copied: 4.000 ") != std::string::npos)
        GTEST_SKIP() << "the run had copied everything before the signal came";

    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(printed.find("\nEnd time: "), std::string::npos);
    EXPECT_EQ(LastLine(printed).rfind("{\"project\":\"l:\\\\signalled.vlm\",\"result\":\"Cancelled\",", 0),
              0u)
        << LastLine(printed);
    const std::string history = test::ReadFile(rig.drives.HostRoot('l') + "/runoverview.his");
    EXPECT_NE(history.find("|Cancelled|\r\n"), std::string::npos) << history;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(rig.Dst()))
        EXPECT_NE(entry.path().filename().string().rfind(".~vlm", 0), 0u) << entry.path();
}

// --progress keeps one line on standard error, rewritten in place, ending with what was copied.
TEST(HeadlessRunnerTest, ProgressIsOneLineOnStandardError) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    EngineRig rig;
    WriteDrivesIni(rig);
    rig.Project(EngineRig::Fields({"c:\\docs"}), "progress");
    test::WriteFile(rig.Src("docs/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("docs/big.bin"), std::string(3u << 20, 'b'), kOld);
    const std::string output = rig.drives.Base() + "/out.txt";
    const std::string errors = rig.drives.Base() + "/err.txt";

    EXPECT_EQ(test::WaitForExit(StartRunner(rig, "progress", output, {"--progress"}, errors)), 0);

    const std::string shown = test::ReadFile(errors);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), '\r');
    EXPECT_EQ(shown.back(), '\n');
    EXPECT_EQ(std::count(shown.begin(), shown.end(), '\n'), 1) << shown;
    const std::string last = shown.substr(shown.rfind('\r') + 1);
    EXPECT_EQ(last.rfind("2 of 2 files, 3.1 MB of 3.1 MB copied", 0), 0u) << last;
}

// --dry-run prints what the run would do and leaves the backup, the history and the log alone.
TEST(HeadlessRunnerTest, DryRunChangesNothing) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    EngineRig rig;
    WriteDrivesIni(rig);
    rig.Project(EngineRig::Fields({"c:\\docs"}), "dry");
    test::WriteFile(rig.Src("docs/new.txt"), "new", kOld);
    test::WriteFile(rig.Src("docs/kept.txt"), "k", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/kept.txt"), "k", kOld);
    test::WriteFile(rig.Dst("VLMcopy_drive_c/docs/stale.txt"), "s", kOld);
    const auto before = test::ReadTree(rig.Dst(), {true, true});
    const std::string output = rig.drives.Base() + "/out.txt";

    EXPECT_EQ(test::WaitForExit(StartRunner(rig, "dry", output,
                                            {"--log-level", "normal", "--dry-run", "--json"})),
              0);

    const std::string printed = test::ReadFile(output);
    EXPECT_NE(printed.find("\nWould create file: e:\\VLMcopy_drive_c\\docs\\new.txt\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("\nWould remove file: e:\\VLMcopy_drive_c\\docs\\stale.txt\n"),
              std::string::npos)
        << printed;
    EXPECT_EQ(LastLine(printed).rfind("{\"project\":\"l:\\\\dry.vlm\",\"result\":\"OK\","
                                      "\"filesCopied\":1,\"filesNew\":1,\"filesReplaced\":0,"
                                      "\"bytesCopied\":3,\"filesRemoved\":1,",
                                      0),
              0u)
        << printed;
    EXPECT_EQ(test::ReadTree(rig.Dst(), {true, true}), before);
    const std::string l = rig.drives.HostRoot('l');
    EXPECT_FALSE(test::Exists(l + "/runoverview.his"));
    EXPECT_FALSE(test::Exists(l + "/Vlmlogtmp.txt"));
}

// A dry run writes nothing to the program folder: no history is made or rewritten (not even
// with the same rows), no lock file is left, and an open row of a run still going stays open.
TEST(HeadlessRunnerTest, DryRunWritesNothingToTheProgramFolder) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    for (const bool hadHistory : {false, true}) {
        SCOPED_TRACE(hadHistory ? "a history with an open row" : "no history yet");
        EngineRig rig;
        WriteDrivesIni(rig);
        rig.Project(EngineRig::Fields({"c:\\docs"}), "dry");
        test::WriteFile(rig.Src("docs/new.txt"), "new", kOld);
        const std::string l = rig.drives.HostRoot('l');
        if (hadHistory)
            test::WriteFile(l + "/runoverview.his", "l:\\other.vlm|07.12.2026 10:00:00|Normal|\r\n",
                            kOld);
        // Names, times and the files themselves: a file written anew has another inode.
        const auto identity = [&l] {
            std::vector<std::string> entries;
            for (const auto& entry : std::filesystem::directory_iterator(l)) {
                struct stat st {};
                ::lstat(entry.path().c_str(), &st);
                entries.push_back(entry.path().filename().string() + " " +
                                  std::to_string(st.st_ino) + " " +
                                  std::to_string(st.st_mtim.tv_nsec));
            }
            std::sort(entries.begin(), entries.end());
            return entries;
        };
        const auto before = identity();
        const std::string output = rig.drives.Base() + "/out.txt";

        EXPECT_EQ(test::WaitForExit(StartRunner(rig, "dry", output, {"--dry-run"})), 0);

        EXPECT_EQ(identity(), before);
    }
}

// SIGTERM while a large file is being copied stops it in the middle, as Cancel does: its
// temporary file goes, the old copy stays as it was, the run ends "Cancelled" with exit code 1.
TEST(HeadlessRunnerTest, ASignalStopsALargeFileInTheMiddle) {
    ASSERT_TRUE(std::filesystem::exists(Runner())) << Runner() << " is not built";
    EngineRig rig;
    WriteDrivesIni(rig);
    rig.Project(EngineRig::Fields({"c:\\big.bin"}), "large");
    {
        test::WriteFile(rig.Src("big.bin"), "");
        std::ofstream big(rig.Src("big.bin"), std::ios::binary);
        const std::string block(1u << 20, 'b');
        for (int i = 0; i < 300; ++i)
            big << block;
    }
    test::WriteFile(rig.Dst("VLMcopy_drive_c/big.bin"), "old copy", kOld);
    const std::string output = rig.drives.Base() + "/out.txt";
    const pid_t pid = StartRunner(rig, "large", output, {"--json"});
    ASSERT_GT(pid, 0);
    const auto temporaryThere = [&rig] {
        for (const auto& entry : std::filesystem::directory_iterator(rig.Dst("VLMcopy_drive_c")))
            if (entry.path().filename().string().rfind(".~vlm", 0) == 0)
                return true;
        return false;
    };
    bool copying = false;
    for (int waited = 0; waited < 100000 && !copying; ++waited) {
        copying = temporaryThere();
        if (!copying)
            ::usleep(100);
    }
    ::kill(pid, SIGTERM);
    const int exitCode = test::WaitForExit(pid);
    if (!copying)
        GTEST_SKIP() << "the copy was never seen under way";

    EXPECT_EQ(exitCode, 1);
    EXPECT_NE(LastLine(test::ReadFile(output)).find("\"result\":\"Cancelled\""), std::string::npos)
        << test::ReadFile(output);
    const std::string copy = rig.Dst("VLMcopy_drive_c/big.bin");
    ASSERT_EQ(std::filesystem::file_size(copy), 8u);
    EXPECT_EQ(test::ReadFile(copy), "old copy");
    EXPECT_FALSE(temporaryThere());
}

}  // namespace
}  // namespace vlm
