#pragma once
// A run engine over real folders: c: holds the sources, e: is the destination, l: is the
// program folder (settings, history, log). Questions go to scripted dialogs, the report to a
// recording view.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/opening_rules.h"
#include "core/project_file.h"
#include "core/run_history.h"
#include "engine/pass_context.h"
#include "engine/run_driver.h"
#include "engine/run_log.h"
#include "support/fake_run_view.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm::test {

// The engine, started on a project path the rig opened: the run request the opening built for it.
class RigEngine : public RunEngine {
public:
    RigEngine(std::map<std::string, RunRequest>& opened, RunView& view, EventPump& pump,
              RunState& run, HandOverState& handOver, RunLog& log, const AppSettings& settings,
              RunHistory& history, RunSwitches switches)
        : RunEngine(view, pump, run, handOver, log, settings, history, std::move(switches)),
          opened_(opened) {}
    using RunEngine::DryRun;
    using RunEngine::run;
    void run(const std::string& path) { RunEngine::run(opened_.at(path)); }
    void DryRun(const std::string& path, RunPlan* plan = nullptr) {
        RunEngine::DryRun(opened_.at(path), plan);
    }

private:
    std::map<std::string, RunRequest>& opened_;
};

struct EngineRig {
    TempDrives drives{"cel"};
    ScriptedDialogs dialogs;
    FakeRunView view;
    FakeEventPump pump;
    RunState run;
    HandOverState handOver;
    AppSettings settings = MakeSettings();
    RunHistory history;
    RunLog log{&view, run, handOver, "l:"};
    PassContext pass{run, log, pump};
    RunSwitches switches;
    // Each project the rig opened, by its path.
    std::map<std::string, RunRequest> opened;
    RigEngine engine{opened, view, pump, run, handOver, log, settings, history, switches};

    EngineRig() {
        view.level = LogLevel::Extended;
        view.logToFile = false;
        // A pass run on its own works with confirmation and name cleaning off unless a test
        // switches them on.
        run.ConfirmOn = false;
        run.LongNamesOn = false;
    }

    static AppSettings MakeSettings() {
        AppSettings s;
        s.ProgramFolder = DrivePath("l:");
        s.LogLocation = "l:";
        s.ProjectsLocation = "l:";
        s.BackupLocation = "l:\\backup";
        return s;
    }

    // c:\<relative> on the host, and the same for e:.
    std::string Src(const std::string& relative = "") const {
        return drives.HostRoot('c') + (relative.empty() ? "" : "/" + relative);
    }
    std::string Dst(const std::string& relative = "") const {
        return drives.HostRoot('e') + (relative.empty() ? "" : "/" + relative);
    }

    // Writes l:\<name>.vlm and opens it for a run the way the window is opened. Returns the
    // project path.
    std::string Project(const ProjectFields& fields, const std::string& name = "p") {
        const std::string path = "l:\\" + name + ".vlm";
        EXPECT_TRUE(WriteProjectFile(DrivePath(path), fields));
        const OpenRunOutcome opened = CheckProjectForRun(path, settings.BackupLocation, handOver);
        EXPECT_TRUE(opened.ok()) << opened.error.value_or("");
        this->opened[path] = opened.request;
        return path;
    }

    static ProjectFields Fields(std::vector<std::string> items, std::string destkind = "HD") {
        ProjectFields f;
        f.destdrive = "e: <Fixed>";
        f.destkind = std::move(destkind);
        f.confirm = false;
        f.precalc = false;
        f.longnames = false;
        f.items = std::move(items);
        return f;
    }

    bool Reported(const std::string& line) const {
        const auto& lines = view.allReportLines;
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    int CountReported(const std::string& line) const {
        const auto& lines = view.allReportLines;
        return static_cast<int>(std::count(lines.begin(), lines.end(), line));
    }
    // Lines that start with `prefix`.
    std::vector<std::string> ReportedStartingWith(const std::string& prefix) const {
        std::vector<std::string> found;
        for (const auto& line : view.allReportLines)
            if (line.rfind(prefix, 0) == 0)
                found.push_back(line);
        return found;
    }
};

}  // namespace vlm::test
