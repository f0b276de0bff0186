#pragma once
// TRunF: the modal window in which one project runs. It shows the source items and their
// destination paths, the growing report, the log-level and log-file controls and the Run and
// Cancel buttons, and it is where the person stops a run. The engine reaches it as a RunView.

#include <QDialog>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/run_request.h"
#include "engine/own_files.h"
#include "engine/run_log.h"
#include "engine/run_plan.h"
#include "engine/run_state.h"
#include "engine/run_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QRadioButton;
class QStatusBar;

namespace vlm {

// How a run was started: by the Run button, by the scheduler or by a quick run.
struct RunStart {
    bool timerRun = false;
    bool quickRun = false;
};

class TRunF : public QDialog, public RunView {
    Q_OBJECT

public:
    // Executes the project at `projectPath` on `window` (the run driver).
    using RunFunction =
        std::function<void(TRunF& window, const std::string& projectPath, RunStart start)>;

    // `mainWindow` is hidden while this window is on the screen and shown again when it is
    // minimized or closed; it may be null.
    TRunF(RunState& run, HandOverState& handOver, std::string logLocation, QWidget* mainWindow,
          QWidget* parent = nullptr);
    ~TRunF() override;

    // Shows what running the project at `projectPath` would do, touching nothing (a dry run);
    // nothing when it could not begin.
    using PreviewFunction =
        std::function<std::optional<RunPlan>(TRunF& window, const std::string& projectPath)>;

    void SetRunFunction(RunFunction runFunction) { runFunction_ = std::move(runFunction); }
    void SetPreviewFunction(PreviewFunction previewFunction) {
        previewFunction_ = std::move(previewFunction);
    }
    // The request that Verify compares with its backup, and the program's own files it leaves
    // out; Verify stays disabled without one.
    void SetVerifyRequest(RunRequest request, ProgramOwnFiles ownFiles = {});
    // The preview window, once its plan is in: tests look at it and close it from here.
    void SetPreviewHook(std::function<void(QDialog&)> hook) { previewHook_ = std::move(hook); }
    // The main window's help contents and show-log commands.
    void SetHelpHandler(std::function<void()> handler) { helpHandler_ = std::move(handler); }
    void SetViewLogHandler(std::function<void()> handler) { viewLogHandler_ = std::move(handler); }

    // What opening a project fills in: the caption, one line per source item in both lists,
    // and the project path.
    void Fill(const std::string& caption, const std::vector<std::string>& sourceItems,
              const std::vector<std::string>& destinationPaths, const std::string& projectPath);
    std::string ProjectPath() const;
    // The destination paths anew, one per source item, as a run read them from the project.
    void ShowDestinations(const std::vector<std::string>& destinationPaths);

    // True while the run function is executing (possibly inside a nested event loop).
    bool RunInProgress() const { return runDepth_ > 0; }
    RunLog& Log() { return log_; }

    // The window's event handlers.
    void RunBClick();
    void PreviewBClick();
    // Reads the sources and the backup and names in the report what differs; changes nothing.
    void VerifyBClick();
    void ShowPlan(const RunPlan& plan, bool runAllowed);
    // A look that changes nothing (a preview, a verification): Run and Preview wait for it, and a
    // close asked for meanwhile comes after it. Begin gives whether Run was allowed before; End
    // gives it back and is false when the window has closed.
    bool BeginLook(const std::string& status);
    bool EndLook(bool runAllowed);
    void cancelBClick();
    void helpBClick();
    void LogCBClick();
    void FormActivate();

    // RunView
    // What the two lists show, as stored.
    std::vector<std::string> SourceItems() const;
    std::vector<std::string> DestinationPaths() const;
    void SelectItem(int index) override;
    LogLevel Level() const override;
    void SetLevel(LogLevel level) override;
    bool LogToFile() const override;
    void SetLogToFile(bool on) override;
    void AppendReportLine(const std::string& line) override;
    void SetStatusText(const std::string& text) override;
    void SetRunEnabled(bool enabled) override;
    void SetCancelButton(bool enabled, const std::string& caption, bool focus) override;
    void CloseWindow(WindowResult result) override;
    bool WantsProgress() const override { return true; }
    void ShowProgress(const ProgressSnapshot& progress) override;
    // The run's end: its result above the report, and the report at its summary.
    void ShowResult(const std::string& result, std::uint64_t errors) override;
    // Puts the first error line of the run in view in the report (FirstErrorB).
    void FirstErrorBClick();

    // Puts the report lines that are waiting into the memo now.
    void FlushReport();

    // Components, top to bottom.
    QLabel* sourceL;
    QListWidget* srcLB;
    QLabel* destL;
    QListWidget* destLB;
    QLabel* destdriveL;
    QComboBox* DriveCBhulp;
    QLabel* repL;
    QLabel* vlmfnL;
    QRadioButton* RadioB1;
    QRadioButton* RadioB2;
    QRadioButton* RadioB3;
    QCheckBox* LogCB;
    QPushButton* RunB;
    QPushButton* PreviewB;
    QPushButton* VerifyB;
    QPushButton* cancelB;
    QPushButton* helpB;
    QProgressBar* ProgressPB;  // what the run has copied of what it has to copy
    QLabel* FileL;             // the file being copied
    QLabel* ProgressL;         // files and bytes done, rate, time left
    QLabel* ResultL;           // the result of the run that ended, above the report
    QPushButton* FirstErrorB;  // "Go to the first error"
    QPlainTextEdit* RunM;
    QStatusBar* StatusBar1;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void BuildComponents();
    void BuildLists();
    void BuildLogControls();
    void BuildButtons();
    void BuildReport();
    void LayOut();
    void StartRequestedRun(RunStart start);
    void CallRun(RunStart start);
    // What closing does once, whichever way the window closes.
    void FormClose();
    void FollowMainWindow();

    RunState& run_;
    HandOverState& handOver_;
    RunLog log_;
    QWidget* mainWindow_;
    RunFunction runFunction_;
    PreviewFunction previewFunction_;
    std::optional<RunRequest> verifyRequest_;
    ProgramOwnFiles verifyOwnFiles_;
    std::function<void(QDialog&)> previewHook_;
    // Report lines not yet in the memo: during a run they go in together a few times a second,
    // not one repaint per line.
    QStringList pendingLines_;
    QTimer* flushTimer_ = nullptr;
    bool previewing_ = false;
    // The project's path as the run was opened with it; vlmfnL shows it.
    std::string projectPath_;
    std::function<void()> helpHandler_;
    std::function<void()> viewLogHandler_;

    // The error lines of the run under way or last ended, and the first of them.
    int errorLines_ = 0;
    QString firstError_;

    int runDepth_ = 0;
    bool closePending_ = false;
    int pendingResult_ = QDialog::Rejected;
    bool formClosed_ = false;
    bool activationSeen_ = false;
};

}  // namespace vlm
