// velmora-run as a person or a schedule uses it: a restore that puts a file back where it came
// from, and a scheduled run that cannot begin leaving its row, its report and its notice.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "core/run_reports.h"
#include "engine_rig.h"
#include "support/runner_process.h"
#include "support/scoped_env.h"

namespace vlm {
namespace {

using test::EngineRig;
using test::ReadFile;
using test::WriteFile;

constexpr std::time_t kT1 = 1600000000;
constexpr std::time_t kT2 = 1600000200;

struct RunnerRig {
    EngineRig rig;
    std::string programFolder = rig.drives.HostRoot('l');
    std::string out = rig.drives.Base() + "/out.txt";
    std::string project;

    explicit RunnerRig(bool versions = true) {
        test::WriteDrivesIni(programFolder, rig.drives, "cel");
        ProjectFields fields = EngineRig::Fields({"c:\\docs"});
        fields.versions = versions;
        project = programFolder + "/" + rig.Project(fields, "Home").substr(3);
    }
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), {project, "--program-folder", programFolder});
        return test::RunRunner(args, {out, ""});
    }
    std::string Output() const { return ReadFile(out); }
};

// --restore without --to puts the path back where it came from, by the window's rules; a file
// gone from the backup comes from its newest kept version, and the output says so.
TEST(RunnerRestore, PutsAPathBackWhereItCameFrom) {
    RunnerRig r;
    WriteFile(r.rig.Src("docs/a.txt"), "first", kT1);
    WriteFile(r.rig.Src("docs/gone.txt"), "kept bytes", kT1);
    ASSERT_EQ(r.Run({"--log-level", "none"}), 0);
    ::unlink(r.rig.Src("docs/gone.txt").c_str());
    ASSERT_EQ(r.Run({"--log-level", "none"}), 0);

    struct Case {
        const char* what;
        std::function<void()> before;
        std::vector<std::string> extra;
        int exit;
        const char* content;  // of docs/<file> after the restore
        const char* file;
        const char* says;
    };
    const Case cases[] = {
        {"deleted file, from its newest version",
         [] {},
         {},
         0,
         "kept bytes",
         "gone.txt",
         "Not in the backup now: restoring the version kept by the run of "},
        {"the same file is left alone", [] {}, {}, 0, "first", "a.txt", "Already there: "},
        {"a different older file is set aside",
         [&] { WriteFile(r.rig.Src("docs/a.txt"), "older", kT1 - 100); },
         {},
         0,
         "first",
         "a.txt",
         "Set aside: "},
        {"a newer file is kept",
         [&] { WriteFile(r.rig.Src("docs/a.txt"), "newer", kT2); },
         {},
         1,
         "newer",
         "a.txt",
         "Newer file kept: "},
        {"a newer file is replaced with --yes",
         [] {},
         {"--yes"},
         0,
         "first",
         "a.txt",
         "Set aside: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.before();
        std::vector<std::string> args = {"--restore", "c:\\docs\\" + std::string(c.file)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        EXPECT_EQ(r.Run(args), c.exit) << r.Output();
        EXPECT_EQ(ReadFile(r.rig.Src("docs/" + std::string(c.file))), c.content);
        EXPECT_NE(r.Output().find(c.says), std::string::npos) << r.Output();
    }
}

// A scheduled run that cannot begin leaves a row, a kept report naming the reason, and a notice
// in one line; the schedule's own notice is left to it (exit 3).
TEST(RunnerTrace, AScheduledRunThatCannotBeginLeavesATrace) {
    struct Case {
        const char* what;
        std::function<void(RunnerRig&)> spoil;
        const char* notice;
    };
    const Case cases[] = {
        {"disk not connected",
         [](RunnerRig& r) {
             // Pinned to a folder that is not there, as an unplugged disk's empty mount point is
             // gone: no disk mounted on this machine can take the letter meanwhile.
             test::WriteDrivesIni(r.programFolder, r.rig.drives, "cl",
                                  {{'e', r.rig.drives.Base() + "/unplugged"}});
         },
         "Backup Home did not run: drive e: is not connected."},
        {"project unreadable", [](RunnerRig& r) { ::unlink(r.project.c_str()); },
         "Backup Home did not run: the project "},
        {"source missing", [](RunnerRig& r) { test::RemoveTree(r.rig.Src("docs")); },
         "Backup Home did not run: the source c:\\docs does not exist."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunnerRig r(false);
        WriteFile(r.rig.Src("docs/a.txt"), "a", kT1);
        c.spoil(r);
        // notify-send, as the desktop has it: here it writes down what it was given.
        const std::string bin = r.rig.drives.Base() + "/bin";
        const std::string told = r.rig.drives.Base() + "/told.txt";
        WriteFile(bin + "/notify-send",
                  "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > " + told + "\n");
        ::chmod((bin + "/notify-send").c_str(), 0755);
        test::ScopedEnv path("PATH", bin + ":" + std::string(std::getenv("PATH")));
        EXPECT_EQ(r.Run({"--scheduled", "--log-level", "none"}), 3) << r.Output();

        RunHistory history;
        const DrivePath historyPath("l:\\runoverview.his");
        history.StartupLoad(historyPath, 256);
        ASSERT_EQ(history.Rows().size(), 1u);
        const HistoryRow& row = history.Rows()[0];
        ASSERT_EQ(row.subItems.size(), 4u);
        EXPECT_EQ(row.subItems[1], "Timer");
        EXPECT_EQ(row.subItems[3], "Error");
        const std::string report = ReadRunReport(historyPath, row).value_or("<none>");
        EXPECT_NE(report.find("The run did not start: "), std::string::npos) << report;
        const std::string notice = ReadFile(told);
        EXPECT_NE(notice.find(c.notice), std::string::npos) << notice;
        // One line: the reason never breaks the notice in two.
        const std::string last = notice.substr(notice.find("Backup Home"));
        EXPECT_EQ(last.find('\n'), last.size() - 1) << last;
    }
}

}  // namespace
}  // namespace vlm
