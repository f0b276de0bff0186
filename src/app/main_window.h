#pragma once
// TMainF: the main window. It owns the process-wide state (settings, run state, hand-over state,
// run history), carries the menus, and opens projects for editing or running.

#include <QKeySequence>
#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/timer_panel.h"
#include "core/app_settings.h"
#include "core/program_start.h"
#include "core/run_history.h"
#include "core/run_request.h"
#include "engine/run_plan.h"
#include "engine/run_state.h"
#include "platform/windows_info.h"

class QAction;
class QFileDialog;
class QKeyEvent;
class QLabel;
class QMenu;
class QMenuBar;

namespace vlm {

class DesktopNotice;
class MountTableWatcher;
class Scheduler;
class TMYcustomhistory;
class TRunF;
struct RunStart;
class TTimerF;
class TVlmLocxxxF;
class TalloweddestdriveF;
class TprojecteditF;
class TrunhisoverviewF;
class TvlmdesktopF;

class TMainF : public QMainWindow {
    Q_OBJECT

public:
    struct StartOptions {
        ProgramStart start;  // the program folder and its settings file
        CommandLine commandLine;
    };

    // FormCreate: reads the settings and sets up every component.
    explicit TMainF(StartOptions options, QWidget* parent = nullptr);
    ~TMainF() override;

    // The entry's steps after creating the window.
    void CreateHiddenDialogs();
    // Shows the overview; the first time, placed beside the main window (RunHistoryPlacement).
    void ShowRunHistory();
    void ActOnCommandLine();
    // The window system's message loop, until the program is told to end; returns the exit code.
    int RunMessageLoop();

    // True once the program has been told to end, and the exit code it ends with.
    bool EndRequested() const { return endRequested_; }
    int ExitCode() const { return exitCode_; }

    // The two ways of opening a project. Both return when their window has closed.
    void openprojedit(const std::string& path);
    void openrunform(const std::string& path);

    AppSettings& Settings() { return settings_; }
    RunState& Run() { return run_; }
    HandOverState& HandOver() { return handOver_; }
    RunHistory& History() { return history_; }
    const CommandLine& Arguments() const { return commandLine_; }
    std::string LogFilePath() const;
    std::string StatusText() const;

    // Called with each run window before it is shown (tests use it to act on the window).
    void SetRunWindowHook(std::function<void(TRunF&)> hook) { runWindowHook_ = std::move(hook); }
    // The same for each project editor.
    void SetEditorHook(std::function<void(TprojecteditF&)> hook) { editorHook_ = std::move(hook); }

    // Menu commands.
    void New1Click();
    void editbrowseClick();
    void runbrowseClick();
    // "Restore...": a project chosen in the file dialog, its backup in the restore window.
    void restoreMIClick();
    void OpenRestoreWindow(const std::string& path);
    void Exit2Click();
    void Defdest1Click();
    void LocationProjects1Click();
    void Locationofreportfile1Click();
    void defdestdriveMClick();
    void massdeleteMIClick();
    // "Drives…": the drive table, and the letters pinned in drives.ini.
    void drivesMIClick();
    // "Schedule with the system...": repeating runs by velmora-run, kept by the system.
    void ScheduleMIClick();
    // Starts the runs at connection kept in the program folder (where systemd cannot start them)
    // of each drive that has just appeared.
    void StartRunsAtConnection();
    void launchrunMIClick();
    void ChooseImageClick();
    void RemoveImageClick();
    void ShowdirsizesMIClick();
    void syncMIClick();
    void RunhismaxMIClick();
    void View1Click();
    void EmptyMIClick();
    void CropMIClick();
    void ShowrunhistoryMIClick();
    void BackIClick();
    void Contents1Click();
    void textversionClick();
    void Website1Click();
    void About1Click();
    void Exit1Click();
    void MYeditHitemclicked(const std::string& path);
    void MYrunHitemclicked(const std::string& path);

    // Components.
    QLabel* BackI;
    TimerPanel* timerGB;
    QLabel* timesetL;
    QLabel* timervlmL;
    QLabel* cdP;
    QMenu* Project1;
    QMenu* Edit1;
    QMenu* RunMI;
    QMenu* Options1;
    QMenu* Logfile1;
    QMenu* Extra1;
    QMenu* Help1;
    QMenu* PopupMenu1;
    QMenu* timerPM;
    QAction* New1;
    QAction* editbrowse;
    QAction* runbrowse;
    QAction* restoreMI;
    QAction* Exit2;
    QAction* Defdest1;
    QAction* LocationProjects1;
    QAction* Locationofreportfile1;
    QAction* defdestdriveM;
    QAction* massdeleteMI;
    QAction* drivesMI;
    QAction* TimerMI;
    QAction* ScheduleMI;
    QAction* launchrunMI;
    QAction* ChooseImage1;
    QAction* Reset1;
    QAction* ShowdirsizesMI;
    QAction* syncMI;
    QAction* RunhismaxMI;
    QAction* View1;
    QAction* EmptyMI;
    QAction* CropMI;
    QAction* ShowrunhistoryMI;
    QAction* Createdesktopshortcut1;
    QAction* Contents1;
    QAction* textversion;
    QAction* Website1;
    QAction* About1;
    QAction* Exit1;
    QAction* Chooseimage2;
    QAction* Removeimage1;
    QAction* Showhidetimerpanel1;
    QAction* Hide1;
    QAction* enabledisabletimerddr;
    QAction* Default1;
    TMYcustomhistory* MYeditH = nullptr;
    TMYcustomhistory* MYrunH = nullptr;
    TrunhisoverviewF* runhisoverviewF = nullptr;
    // Timer1 and Timer2 with the handlers of the timer panel; made with the window.
    Scheduler* scheduler = nullptr;
    // The small dialogs, made hidden at start by CreateHiddenDialogs and reused.
    TTimerF* TimerF = nullptr;
    TalloweddestdriveF* alloweddestdriveF = nullptr;
    TVlmLocxxxF* VlmLocxxxF = nullptr;
    TvlmdesktopF* vlmdesktopF = nullptr;
    // Reads the drive table again when a disk is plugged in or unplugged; made with the window.
    MountTableWatcher* mountWatcher = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The menus (main_window_menus.cpp).
    void BuildMenus();
    // An item of `menu` whose handler runs guarded: a failure shows in a box.
    QAction* MenuItem(QMenu* menu, const char* caption, void (TMainF::*handler)(),
                      const QKeySequence& shortcut = {});
    // The status bar says `text` while `menu` is open.
    void StatusOnOpen(QMenu* menu, std::function<std::string()> text);
    void BuildProjectMenu(QMenuBar* bar);
    void BuildOptionsMenu(QMenuBar* bar);
    void BuildOptionsSubmenus();
    void BuildLogMenu(QMenuBar* bar);
    void BuildExtraAndHelpMenus(QMenuBar* bar);
    void BuildPopupMenu();

    // The project windows (main_window_runs.cpp). RunInWindow is true when the run asks the
    // program to end afterwards.
    std::optional<RunRequest> RequestAtRunStart(TRunF& view, const RunRequest& opened);
    bool RunInWindow(TRunF& view, const RunRequest& request, RunStart start);
    std::optional<RunPlan> PreviewInWindow(TRunF& view, const RunRequest& request);

    void BuildClientArea();
    void FormCreate();
    void LoadBackgroundOnStart();
    void ShowTimerPanelFromSettings();
    void CreateScheduler();
    void LoadRecentLists();
    // Every place that opens or picks a project records it in both recent lists.
    void AddToRecentLists(const std::string& path);

    // Ends the program without FormClose: the settings are not written.
    void EndProgram(int exitCode);
    // ESC in this window ends the program; the repeats of an ESC that closed another window
    // do not.
    bool EscapeEndsProgram(QObject* watched, const QKeyEvent& key);
    void EscapeReleased(const QKeyEvent& key);
    void SetStatus(const std::string& text);

    void BrowseAndOpen(const char* title, bool forRun);
    std::optional<std::string> ChooseProjectFile(const char* title);
    // A location command: asks for a folder starting at `current`; the new drive path, or
    // nothing when the person cancelled.
    std::optional<std::string> ChooseLocation(const char* caption, const std::string& current);
    bool ShowPicture(const std::string& path);
    // Puts the overview where RunHistoryPlacement says for the main window as it stands.
    void PlaceRunHistory();

    StartOptions options_;
    CommandLine commandLine_;
    AppSettings settings_;
    RunState run_;
    HandOverState handOver_;
    RunHistory history_;

    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* OpenImDialog = nullptr;

    std::function<void(TRunF&)> runWindowHook_;
    std::function<void(TprojecteditF&)> editorHook_;
    std::optional<std::string> lastRunOutcome_;
    // The drives present when the drive table was last read: a drive not among them is new.
    std::string connectedLetters_;
    // Tells the desktop how a timed or quick run ended out of view; made on the first such run.
    std::unique_ptr<DesktopNotice> notice_;
    TWindowsInfo windowsInfo_;
    int openWindows_ = 0;     // editor or run windows on the stack
    int runWindowsOpen_ = 0;  // run windows on the stack; a timed run waits for them
    // The last ESC press went to another window, and when ESC was last released.
    bool escapeDownElsewhere_ = false;
    bool backgroundRequested_ = false;  // the start's picture load is queued once
    bool escapeReleaseSeen_ = false;
    quint64 lastEscapeRelease_ = 0;
    bool endRequested_ = false;
    int exitCode_ = 0;
    bool inMessageLoop_ = false;
    // The window system places and maximises the main window after it was asked to: until the
    // person first clicks or types, the overview follows the main window to its final place.
    bool overviewPlaced_ = false;
    bool overviewFollows_ = false;
};

}  // namespace vlm
