#pragma once
// TRunF: the modal window in which one project runs. It shows the source items and their
// destination paths, the growing report, the log-level and log-file controls and the Run and
// Cancel buttons, and it is where the person stops a run. The engine reaches it as a RunView.

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "engine/run_log.h"
#include "engine/run_state.h"
#include "engine/run_view.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
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

    void SetRunFunction(RunFunction runFunction) { runFunction_ = std::move(runFunction); }
    // The main window's help contents and show-log commands.
    void SetHelpHandler(std::function<void()> handler) { helpHandler_ = std::move(handler); }
    void SetViewLogHandler(std::function<void()> handler) { viewLogHandler_ = std::move(handler); }

    // What opening a project fills in: the caption, one line per source item in both lists,
    // and the project path.
    void Fill(const std::string& caption, const std::vector<std::string>& sourceItems,
              const std::vector<std::string>& destinationPaths, const std::string& projectPath);
    std::string ProjectPath() const;

    // True while the run function is executing (possibly inside a nested event loop).
    bool RunInProgress() const { return runDepth_ > 0; }
    RunLog& Log() { return log_; }

    // The window's event handlers.
    void RunBClick();
    void cancelBClick();
    void helpBClick();
    void LogCBClick();
    void FormActivate();

    // RunView
    std::vector<std::string> SourceItems() const override;
    std::vector<std::string> DestinationPaths() const override;
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
    QPushButton* cancelB;
    QPushButton* helpB;
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
    std::function<void()> helpHandler_;
    std::function<void()> viewLogHandler_;

    int runDepth_ = 0;
    bool closePending_ = false;
    int pendingResult_ = QDialog::Rejected;
    bool formClosed_ = false;
    bool activationSeen_ = false;
};

}  // namespace vlm
