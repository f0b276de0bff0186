#include <memory>

#include "app/desktop_notice.h"
#include "app/main_window.h"
#include "app/mount_watcher.h"
#include "core/opening_rules.h"
#include "editor/project_editor.h"
#include "engine/run_driver.h"
#include "engine/run_log.h"
#include "runwindow/qt_event_pump.h"
#include "runwindow/run_window.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/guarded_handler.h"

// The main window opens a project in the project editor or in the run window.

namespace vlm {

namespace {

// Counts a modal window for as long as it is on the stack, also when its exec ends in an
// exception.
class WindowCount {
public:
    explicit WindowCount(int& count) : count_(count) { ++count_; }
    ~WindowCount() { --count_; }
    WindowCount(const WindowCount&) = delete;
    WindowCount& operator=(const WindowCount&) = delete;

private:
    int& count_;
};

}  // namespace

void TMainF::openprojedit(const std::string& path) {
    const OpenEditOutcome outcome = ReadProjectForEditor(path);
    switch (outcome.refusal) {
        case OpenEditOutcome::Refusal::NotAProject:
            ShowPlain(outcome.message);
            return;
        case OpenEditOutcome::Refusal::Unreadable:
            ShowErrorBox(outcome.message);
            return;
        case OpenEditOutcome::Refusal::None:
            break;
    }
    EditorContext context{
        settings_,
        run_,
        handOver_,
        [this](const std::string& saved) { AddToRecentLists(saved); },
        [this](const std::string& saved) { openrunform(saved); },
        [this] { Guarded([this] { Contents1Click(); }); },
        windowsInfo_.Personal,
    };
    {
        TprojecteditF editor(std::move(context), this);
        editor.LoadProject(outcome);
        connect(mountWatcher, &MountTableWatcher::drivesChanged, &editor,
                [&editor] { editor.RefreshDriveLists(); });
        if (editorHook_)
            editorHook_(editor);
        const WindowCount open(openWindows_);
        editor.exec();
    }
}

void TMainF::openrunform(const std::string& path) {
    const OpenRunOutcome outcome = CheckProjectForRun(path, settings_.BackupLocation, handOver_);
    if (!outcome.ok()) {
        ShowErrorBox(*outcome.error);
        return;
    }
    lastRunOutcome_.reset();
    bool terminateRequested = false;
    {
        TRunF window(run_, handOver_, settings_.LogLocation, this);
        const RunRequest& request = outcome.request;
        window.Fill(outcome.caption, request.items, request.destinations, request.projectPath);
        window.SetHelpHandler([this] { Guarded([this] { Contents1Click(); }); });
        window.SetViewLogHandler([this] { Guarded([this] { View1Click(); }); });
        window.SetRunFunction(
            [this, &request, &terminateRequested](TRunF& view, const std::string&, RunStart start) {
                if (RunInWindow(view, request, start))
                    terminateRequested = true;
            });
        window.SetPreviewFunction([this, &request](TRunF& view, const std::string&) {
            return PreviewInWindow(view, request);
        });
        window.SetVerifyRequest(request, ProgramOwnFiles(settings_));
        if (runWindowHook_)
            runWindowHook_(window);
        const WindowCount openRun(runWindowsOpen_);
        const WindowCount open(openWindows_);
        window.exec();
    }
    show();
    if (terminateRequested || commandLine_.CloseAfterRun()) {
        // A script that started this run learns from the exit code whether the backup is good.
        EndProgram(lastRunOutcome_ == std::optional<std::string>(kResultOk) ? 0 : 1);
    }
}

// The project the window was opened with, as its file reads now: what was changed in it since
// the window opened counts for this run. Nothing when it can no longer be run; the box said why.
std::optional<RunRequest> TMainF::RequestAtRunStart(TRunF& view, const RunRequest& opened) {
    RunRequest request = opened;
    if (const std::optional<std::string> refusal =
            RereadRunRequest(request, settings_.BackupLocation, handOver_)) {
        ShowErrorBox(*refusal);
        return std::nullopt;
    }
    view.ShowDestinations(request.destinations);
    return request;
}

// Runs the project the window was opened with. True when the run asks the program to end
// afterwards.
bool TMainF::RunInWindow(TRunF& view, const RunRequest& opened, RunStart start) {
    const std::optional<RunRequest> current = RequestAtRunStart(view, opened);
    if (!current)
        return false;
    const RunRequest& request = *current;
    QtEventPump pump;
    RunEngine engine(view, pump, run_, handOver_, view.Log(), settings_, history_,
                     RunSwitches{commandLine_.logWord, commandLine_.closeWord});
    engine.TimerRun = start.timerRun;
    engine.QuickRun = start.quickRun;
    engine.run(request);
    lastRunOutcome_ = engine.Outcome();
    if (RunNoticeDue(start.timerRun, start.quickRun, lastRunOutcome_.has_value(),
                     RunEndedOutOfView(view))) {
        if (!notice_)
            notice_ = std::make_unique<DesktopNotice>();
        RunNotice notice =
            BuildRunNotice(BaseNameNoExt(request.projectPath), *lastRunOutcome_, run_.Totals);
        // A run that did not begin has no numbers to tell, only why.
        if (!engine.RefusedAtStart().empty())
            notice.body = RefusedStartNotice(request.projectPath, engine.RefusedAtStart());
        notice_->Send(notice);
    }
    return engine.TerminateRequested();
}

std::optional<RunPlan> TMainF::PreviewInWindow(TRunF& view, const RunRequest& opened) {
    const std::optional<RunRequest> current = RequestAtRunStart(view, opened);
    if (!current)
        return std::nullopt;
    const RunRequest& request = *current;
    // A preview writes nothing: not to the memo line by line, not to the log file.
    QtEventPump pump;
    RunLog quiet(nullptr, run_, handOver_, settings_.LogLocation);
    RunEngine engine(view, pump, run_, handOver_, quiet, settings_, history_);
    RunPlan plan;
    engine.DryRun(request, &plan);
    return engine.Outcome() ? std::optional<RunPlan>(std::move(plan)) : std::nullopt;
}

}  // namespace vlm
