#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QTreeView>

#include "app/app_text.h"
#include "app/desktop_notice.h"
#include "app/help_links.h"
#include "app/log_commands.h"
#include "app/mount_watcher.h"
#include "app/recent_projects.h"
#include "app/scheduler.h"
#include "core/opening_rules.h"
#include "core/project_file.h"
#include "dialogs/allowed_drive_dialog.h"
#include "dialogs/desktop_shortcut_dialog.h"
#include "dialogs/drives_dialog.h"
#include "dialogs/location_chooser.h"
#include "dialogs/project_browse.h"
#include "dialogs/run_history_overview.h"
#include "dialogs/system_schedule_dialog.h"
#include "dialogs/timer_dialog.h"
#include "editor/project_editor.h"
#include "engine/run_driver.h"
#include "engine/run_log.h"
#include "platform/path_translation.h"
#include "platform/program_folder.h"
#include "platform/shell.h"
#include "platform/system_schedule.h"
#include "runwindow/qt_event_pump.h"
#include "runwindow/run_window.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/drive_box.h"
#include "widgets/guarded_handler.h"
#include "widgets/picture_loader.h"

namespace vlm {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The host folder a file dialog starts in for a drive path; the home folder when the path
// names no drive.
QString HostFolderFor(const std::string& drivePath) {
    if (auto host = ToHostPath(drivePath))
        return Q(*host);
    return QDir::homePath();
}

// A file dialog of the program: the detail view, its size, type and date columns as wide as
// what they show and the name taking the rest. Qt's default widths are too narrow for the main
// window's font ("122…tes").
void ShowColumnsWhole(QFileDialog& dialog) {
    dialog.setViewMode(QFileDialog::Detail);
    dialog.resize(dialog.sizeHint().expandedTo(QSize(760, 440)));
    for (QTreeView* view : dialog.findChildren<QTreeView*>()) {
        QHeaderView* header = view->header();
        header->setStretchLastSection(false);
        for (int column = 0; column < header->count(); ++column)
            header->setSectionResizeMode(
                column, column == 0 ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    }
}

// Nobody releases a key and presses it again this fast; the window system's repeat does.
constexpr quint64 kRepeatPressWithinMs = 10;

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

TMainF::TMainF(StartOptions options, QWidget* parent)
    : QMainWindow(parent), options_(std::move(options)), commandLine_(options_.commandLine) {
    setObjectName(QStringLiteral("TMainF"));
    setWindowTitle(QStringLiteral("Velmora"));
    setGeometry(130, 130, 1032, 742);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);
    BuildClientArea();
    BuildMenus();
    FormCreate();
    // Key preview: ESC anywhere in this window, whichever control has the focus.
    qApp->installEventFilter(this);
}

TMainF::~TMainF() {
    qApp->removeEventFilter(this);
}

// --- Layout -----------------------------------------------------------------------------------

void TMainF::BuildClientArea() {
    BackI = new QLabel(this);
    BackI->setObjectName(QStringLiteral("BackI"));
    BackI->setAlignment(Qt::AlignCenter);
    BackI->setToolTip(QStringLiteral(
        "You can set or change the image for this background with the right mouse button."));
    BackI->setContextMenuPolicy(Qt::CustomContextMenu);
    BackI->setMinimumSize(1, 1);
    setCentralWidget(BackI);

    timerGB = new TimerPanel(settings_, BackI);
    timerGB->SetStatusHandler([this](const std::string& text) { SetStatus(text); });
    timervlmL = timerGB->timervlmL;
    timesetL = timerGB->timesetL;
    cdP = timerGB->cdP;

    statusBar()->setSizeGripEnabled(true);
}

void TMainF::BuildMenus() {
    QMenuBar* MainMenu1 = menuBar();
    const auto item = [this](QMenu* menu, const char* caption, void (TMainF::*handler)(),
                             const QKeySequence& shortcut = {}) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        if (!shortcut.isEmpty())
            action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
        return action;
    };
    const auto statusOnOpen = [this](QMenu* menu, std::function<std::string()> text) {
        connect(menu, &QMenu::aboutToShow, this, [this, text] { SetStatus(text()); });
    };

    Project1 = MainMenu1->addMenu(QStringLiteral("&Project"));
    statusOnOpen(Project1, [] { return std::string("Project..."); });
    New1 = item(Project1, "&New", &TMainF::New1Click, QKeySequence(QStringLiteral("Ctrl+N")));
    Edit1 = Project1->addMenu(QStringLiteral("&Edit/view"));
    editbrowse =
        item(Edit1, "&Browse...", &TMainF::editbrowseClick, QKeySequence(QStringLiteral("Ctrl+B")));
    Edit1->addSeparator();
    RunMI = Project1->addMenu(QStringLiteral("&Run"));
    runbrowse = item(RunMI, "&Browse...", &TMainF::runbrowseClick,
                     QKeySequence(QStringLiteral("Ctrl+Alt+B")));
    RunMI->addSeparator();
    Exit2 = item(Project1, "E&xit", &TMainF::Exit2Click);

    Options1 = MainMenu1->addMenu(QStringLiteral("&Options"));
    statusOnOpen(Options1, [] { return std::string("Options..."); });
    Defdest1 = item(Options1, "Default location &backup (destination)", &TMainF::Defdest1Click);
    LocationProjects1 =
        item(Options1, "Location of VLM-&projects", &TMainF::LocationProjects1Click);
    Locationofreportfile1 =
        item(Options1, "Location of &Log file", &TMainF::Locationofreportfile1Click);
    defdestdriveM =
        item(Options1, "Safety - Limitation of backup &drives", &TMainF::defdestdriveMClick);
    massdeleteMI =
        item(Options1, "Ask before a run removes most of a backup", &TMainF::massdeleteMIClick);
    massdeleteMI->setCheckable(true);
    drivesMI = item(Options1, "Dri&ves\u2026", &TMainF::drivesMIClick);
    TimerMI = Options1->addAction(QStringLiteral("&Timer..."));
    TimerMI->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+T")));
    connect(TimerMI, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (scheduler != nullptr)
                scheduler->TimerMIClick();
        });
    });
    ScheduleMI = item(Options1, "Sc&hedule with the system...", &TMainF::ScheduleMIClick);
    launchrunMI = item(Options1, "External &launch in run form", &TMainF::launchrunMIClick,
                       QKeySequence(QStringLiteral("Ctrl+Alt+L")));
    launchrunMI->setCheckable(true);
    QMenu* Bigbackground1 = Options1->addMenu(QStringLiteral("Bac&kground..."));
    ChooseImage1 = item(Bigbackground1, "Choose &image...", &TMainF::ChooseImageClick);
    Reset1 = item(Bigbackground1, "R&eset", &TMainF::RemoveImageClick);
    QMenu* N5 = Options1->addMenu(QStringLiteral("Project Editor"));
    ShowdirsizesMI = item(N5, "Show/hide dir &sizes", &TMainF::ShowdirsizesMIClick);
    ShowdirsizesMI->setCheckable(true);
    syncMI = item(N5, "Show/hide syn&chronize option", &TMainF::syncMIClick);
    syncMI->setCheckable(true);
    RunhismaxMI = item(Options1, "Run history - Maximum items", &TMainF::RunhismaxMIClick);

    Logfile1 = MainMenu1->addMenu(QStringLiteral("&Log file"));
    statusOnOpen(Logfile1, [this] { return "Log file: " + LogFilePath() + "..."; });
    View1 =
        item(Logfile1, "&View", &TMainF::View1Click, QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    EmptyMI =
        item(Logfile1, "&Empty", &TMainF::EmptyMIClick, QKeySequence(QStringLiteral("Ctrl+Alt+E")));
    CropMI = item(Logfile1, "&Crop last run", &TMainF::CropMIClick,
                  QKeySequence(QStringLiteral("Ctrl+Alt+C")));
    ShowrunhistoryMI = item(Logfile1, "Show run &history", &TMainF::ShowrunhistoryMIClick,
                            QKeySequence(QStringLiteral("Ctrl+Alt+H")));

    Extra1 = MainMenu1->addMenu(QStringLiteral("&Extra"));
    statusOnOpen(Extra1, [] { return std::string("Extra..."); });
    Createdesktopshortcut1 = Extra1->addAction(QStringLiteral("Create &desktop shortcut"));
    connect(Createdesktopshortcut1, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (vlmdesktopF != nullptr)
                vlmdesktopF->Open();
        });
    });

    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    statusOnOpen(Help1, [] { return std::string("Help..."); });
    Contents1 = item(Help1, "&Contents", &TMainF::Contents1Click, QKeySequence(Qt::Key_F1));
    textversion = item(Help1, "&Text Help", &TMainF::textversionClick);
    Website1 = item(Help1, "Go to &website", &TMainF::Website1Click);

    About1 = MainMenu1->addAction(QStringLiteral("&About"));
    connect(About1, &QAction::triggered, this, [this] { Guarded([this] { About1Click(); }); });
    Exit1 = MainMenu1->addAction(QStringLiteral("E&xit"));
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

    PopupMenu1 = new QMenu(this);
    Chooseimage2 = item(PopupMenu1, "Choose &image...", &TMainF::ChooseImageClick);
    Removeimage1 = item(PopupMenu1, "R&emove image", &TMainF::RemoveImageClick);
    Showhidetimerpanel1 = PopupMenu1->addAction(QStringLiteral("Show/hide &timer panel"));
    connect(Showhidetimerpanel1, &QAction::triggered, this,
            [this] { timerGB->Showhidetimerpanel1Click(); });
    connect(BackI, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(BackI->mapToGlobal(at)); });

    // The panel carries its own pop-up menu; the window names its items as its own.
    timerPM = timerGB->timerPM;
    Hide1 = timerGB->Hide1;
    enabledisabletimerddr = timerGB->enabledisabletimerddr;
    Default1 = timerGB->Default1;
}

// --- Start ------------------------------------------------------------------------------------

void TMainF::FormCreate() {
    run_.VirtualCopy = false;
    LoadRecentLists();
    settings_ = LoadSettings(options_.settingsPath, options_.programFolder);
    OpenDialog1 = new QFileDialog(this);
    OpenDialog1->setNameFilters(
        {QStringLiteral("Velmora projects (*.vlm)"), QStringLiteral("All (*)")});
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setDirectory(HostFolderFor(settings_.ProjectsLocation));
    OpenImDialog = new QFileDialog(this);
    OpenImDialog->setNameFilter(BackgroundPictureFilter());
    OpenImDialog->setOption(QFileDialog::HideNameFilterDetails);
    OpenImDialog->setOption(QFileDialog::DontUseNativeDialog);
    OpenImDialog->setFileMode(QFileDialog::ExistingFile);
    ShowColumnsWhole(*OpenDialog1);
    ShowColumnsWhole(*OpenImDialog);
    // The background picture is loaded once the window is on the screen (showEvent): its error
    // boxes must not come before the window they belong to.
    ShowTimerPanelFromSettings();
    CreateScheduler();
    launchrunMI->setChecked(settings_.LaunchRun);
    massdeleteMI->setChecked(settings_.MassDeleteGuard);
    // The two editor switches start without a check mark whatever the setting says; the first
    // toggle flips the setting and shows its new value.
    ShowdirsizesMI->setChecked(false);
    syncMI->setChecked(false);
    history_.MaxItems = settings_.RunHistoryMax;
    // Not while a run or the editor's estimate works: they took their letters when they started.
    mountWatcher =
        new MountTableWatcher([this] { return run_.RunActive || run_.VirtualCopy; }, this);
    // A start with a project (or only a mode word) never switches the timer on.
    if (StartSwitchesTimerOn(commandLine_, settings_.TimerActivate))
        scheduler->SwitchOnAtStart();
}

void TMainF::CreateScheduler() {
    scheduler = new Scheduler(settings_, handOver_, *timerGB,
                              SchedulerHooks{
                                  [this](const std::string& path) { openrunform(path); },
                                  // A timed run waits for an open run window, and for the
                                  // editor's write-once estimate, which shares the run state.
                                  [this] { return runWindowsOpen_ > 0 || run_.VirtualCopy; },
                                  [this](bool enabled) {
                                      RunMI->setEnabled(enabled);
                                      EmptyMI->setEnabled(enabled);
                                      CropMI->setEnabled(enabled);
                                  },
                                  [this](const std::string& text) { SetStatus(text); },
                              },
                              this);
}

void TMainF::LoadRecentLists() {
    const auto make = [this](QMenu* host, const char* entries, const char* max,
                             const char* maxLength) {
        auto* list = new TMYcustomhistory(this);
        list->SetMenuitem(host);
        list->sethistname(QString::fromUtf8(entries));
        list->setmaxhistname(QString::fromUtf8(max));
        list->setmaxitemlenname(QString::fromUtf8(maxLength));
        list->LoadHistory(options_.programFolder);
        return list;
    };
    MYeditH = make(Edit1, "editfiles.his", "editmax.his", "editmaxlen.his");
    MYrunH = make(RunMI, "runfiles.his", "runmax.his", "runmaxlen.his");
    connect(MYeditH, &TMYcustomhistory::itemClicked, this, [this](const QString& path) {
        Guarded([&] { MYeditHitemclicked(path.toStdString()); });
    });
    connect(MYrunH, &TMYcustomhistory::itemClicked, this, [this](const QString& path) {
        Guarded([&] { MYrunHitemclicked(path.toStdString()); });
    });
}

void TMainF::AddToRecentLists(const std::string& path) {
    MYeditH->AddItem(path);
    MYrunH->AddItem(path);
}

void TMainF::MYeditHitemclicked(const std::string& path) {
    AddToRecentLists(path);
    openprojedit(path);
}

void TMainF::MYrunHitemclicked(const std::string& path) {
    AddToRecentLists(path);
    openrunform(path);
}

void TMainF::LoadBackgroundOnStart() {
    const std::string& path = settings_.BackgroundPicture;
    if (path.empty())
        return;
    if (ItemKind(path) != 'f') {
        ShowPlain("The file " + path + " does not exist anymore! Probably moved." +
                  " Unable to load...");
        return;
    }
    if (!ShowPicture(path)) {
        ShowErrorBox("ERROR: unable to load the file: " + path);
        ShowPlain("Probably file type not supported! Never edit ini-file.");
        SetStatus("Background picture not loaded!");
    }
}

void TMainF::ShowTimerPanelFromSettings() {
    timerGB->ShowFromSettings();
    // "Ac&tive" is unchecked at this point.
    timerGB->SetCountdownArmed(false);
    SetStatus("Timer NOT active");
}

void TMainF::CreateHiddenDialogs() {
    alloweddestdriveF = new TalloweddestdriveF(settings_, this);
    VlmLocxxxF = new TVlmLocxxxF(this);
    connect(mountWatcher, &MountTableWatcher::drivesChanged, VlmLocxxxF, [this] {
        if (VlmLocxxxF->isVisible())
            VlmLocxxxF->driCB->Refresh();
    });
    const ProjectBrowseHooks browse{
        [this](const std::string& title) { return ChooseProjectFile(title.c_str()); },
        [this](const std::string& path) { AddToRecentLists(path); },
    };
    // The timer dialog offers the run list as it stands now, at program start.
    TimerF = new TTimerF(MYrunH->HistoryList(), browse, this);
    vlmdesktopF = new TvlmdesktopF(
        windowsInfo_, browse, [this] { return MYeditH->HistoryList(); },
        [this] { return MYrunH->HistoryList(); }, this);
    scheduler->SetDialog(TimerF);

    runhisoverviewF = new TrunhisoverviewF(history_, this);
    Guarded([this] {
        runhisoverviewF->FormCreate(settings_.RunHistoryPath(), settings_.RunHistoryMax);
    });
    connect(runhisoverviewF, &TrunhisoverviewF::editRequested, this,
            [this](const QString& path) { Guarded([&] { openprojedit(path.toStdString()); }); });
    connect(runhisoverviewF, &TrunhisoverviewF::runRequested, this,
            [this](const QString& path) { Guarded([&] { openrunform(path.toStdString()); }); });
}

void TMainF::ShowRunHistory() {
    if (runhisoverviewF == nullptr)
        return;
    if (!overviewPlaced_) {
        overviewPlaced_ = overviewFollows_ = true;
        PlaceRunHistory();
    }
    // A minimised overview comes back as it was, in front, with the focus.
    runhisoverviewF->showNormal();
    runhisoverviewF->raise();
    runhisoverviewF->activateWindow();
}

void TMainF::PlaceRunHistory() {
    const QScreen* shown = screen();
    if (shown == nullptr)
        return;
    // The overview's frame is known once the window system has framed it; until then it is
    // taken to be as thick as the main window's.
    const auto margins = [](const QWidget& window) {
        const QRect frame = window.frameGeometry();
        const QRect inner = window.geometry();
        return QMargins(inner.left() - frame.left(), inner.top() - frame.top(),
                        frame.right() - inner.right(), frame.bottom() - inner.bottom());
    };
    QMargins frame = margins(*runhisoverviewF);
    if (frame.isNull())
        frame = margins(*this);
    const int menuBottom = menuBar()->mapToGlobal(QPoint(0, menuBar()->height() - 1)).y();
    const QRect placed = RunHistoryPlacement(frameGeometry(), menuBottom,
                                             TrunhisoverviewF::kDesignedSize.grownBy(frame),
                                             shown->availableGeometry());
    runhisoverviewF->resize(placed.size().shrunkBy(frame));
    runhisoverviewF->move(placed.topLeft());
}

void TMainF::ActOnCommandLine() {
    Guarded([this] {
        const std::string& path = commandLine_.projectPath;
        switch (ChooseStartAction(commandLine_, settings_.LaunchRun)) {
            case StartAction::Nothing:
                break;
            case StartAction::RunWindow:
                openrunform(path);
                break;
            case StartAction::QuickRun:
                handOver_.QuickRunRequested = true;
                openrunform(path);
                // The request served only the window this command line opened.
                handOver_.QuickRunRequested = false;
                break;
            case StartAction::Editor:
                openprojedit(path);
                break;
        }
    });
}

// --- Opening projects -------------------------------------------------------------------------

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
        window.Fill(outcome.caption, outcome.sourceItems, outcome.destinationPaths,
                    outcome.projectPath);
        window.SetHelpHandler([this] { Guarded([this] { Contents1Click(); }); });
        window.SetViewLogHandler([this] { Guarded([this] { View1Click(); }); });
        window.SetRunFunction(
            [this, &terminateRequested](TRunF& view, const std::string& project, RunStart start) {
                QtEventPump pump;
                RunEngine engine(view, pump, run_, handOver_, view.Log(), settings_, history_,
                                 RunSwitches{commandLine_.logWord, commandLine_.closeWord});
                engine.TimerRun = start.timerRun;
                engine.QuickRun = start.quickRun;
                engine.run(project);
                lastRunOutcome_ = engine.Outcome();
                if (RunNoticeDue(start.timerRun, start.quickRun, lastRunOutcome_.has_value(),
                                 RunEndedOutOfView(view))) {
                    if (!notice_)
                        notice_ = std::make_unique<DesktopNotice>();
                    notice_->Send(BuildRunNotice(BaseNameNoExt(project), *lastRunOutcome_,
                                                 run_.Totals));
                }
                terminateRequested = terminateRequested || engine.TerminateRequested();
            });
        window.SetPreviewFunction([this](TRunF& view, const std::string& project) {
            // A preview writes nothing: not to the memo line by line, not to the log file.
            QtEventPump pump;
            RunLog quiet(nullptr, run_, handOver_, settings_.LogLocation);
            RunEngine engine(view, pump, run_, handOver_, quiet, settings_, history_);
            RunPlan plan;
            engine.DryRun(project, &plan);
            return engine.Outcome() ? std::optional<RunPlan>(std::move(plan)) : std::nullopt;
        });
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

// --- Ending -----------------------------------------------------------------------------------

int TMainF::RunMessageLoop() {
    if (endRequested_)
        return exitCode_;
    inMessageLoop_ = true;
    const int exitCode = QApplication::exec();
    inMessageLoop_ = false;
    return exitCode;
}

void TMainF::EndProgram(int exitCode) {
    endRequested_ = true;
    exitCode_ = exitCode;
    // Before the message loop runs (a run from the command line) the entry sees the request
    // itself; telling the application now would only make the next event loop end at once.
    if (inMessageLoop_)
        QCoreApplication::exit(exitCode);
}

void TMainF::closeEvent(QCloseEvent* event) {
    if (endRequested_) {
        event->accept();
        return;
    }
    if (openWindows_ > 0) {
        // An editor or run window of this window is still open; it closes first.
        event->ignore();
        return;
    }
    const SaveResult saved = SaveSettings(settings_, options_.settingsPath);
    if (!saved.ok)
        ShowErrorBox(saved.message);
    event->accept();
    EndProgram(0);
}

bool TMainF::event(QEvent* event) {
    // Qt clears the status bar when the pointer rests on a menu item without a status tip,
    // which every item here is; the text a menu wrote when it opened ("Log file: ...") is to
    // stay while it is open.
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty())
        return true;
    const bool result = QMainWindow::event(event);
    if (overviewFollows_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        PlaceRunHistory();
    return result;
}

void TMainF::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (backgroundRequested_)
        return;
    backgroundRequested_ = true;
    // After the window system has shown (and maximised) the window: a box about a picture that
    // cannot be loaded then sits over the window it is about.
    QTimer::singleShot(0, this, [this] { Guarded([this] { LoadBackgroundOnStart(); }); });
}

bool TMainF::eventFilter(QObject* watched, QEvent* event) {
    // A click on the background picture; the pop-up menu has the right button.
    if (watched == BackI && event->type() == QEvent::MouseButtonRelease) {
        const auto& mouse = *static_cast<QMouseEvent*>(event);
        if (mouse.button() == Qt::LeftButton && BackI->rect().contains(mouse.position().toPoint()))
            BackIClick();
    }
    const bool press = event->type() == QEvent::KeyPress;
    const bool release = event->type() == QEvent::KeyRelease;
    // From the person's first click or key on, the overview stays where it is.
    if (press || event->type() == QEvent::MouseButtonPress)
        overviewFollows_ = false;
    if (press || release) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (key.key() == Qt::Key_Escape) {
            if (release)
                EscapeReleased(key);
            else if (EscapeEndsProgram(watched, key)) {
                EndProgram(0);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainF::EscapeEndsProgram(QObject* watched, const QKeyEvent& key) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr)
        return false;
    if (widget->window() != this) {
        // ESC closes the run window, the editor and the dialogs. While that key stays down the
        // window system goes on repeating it, and once the other window has gone the repeats
        // come here.
        escapeDownElsewhere_ = true;
        escapeReleaseSeen_ = false;
        return false;
    }
    if (key.isAutoRepeat())
        return false;
    if (escapeDownElsewhere_) {
        // A repeat is not always marked as one when it changes windows: it is a release and a
        // press at the same instant, or presses without a release at all.
        if (!escapeReleaseSeen_ || key.timestamp() - lastEscapeRelease_ <= kRepeatPressWithinMs)
            return false;
        escapeDownElsewhere_ = false;
    }
    return openWindows_ == 0;
}

void TMainF::EscapeReleased(const QKeyEvent& key) {
    escapeReleaseSeen_ = true;
    lastEscapeRelease_ = key.timestamp();
}

void TMainF::SetStatus(const std::string& text) {
    statusBar()->showMessage(Q(text));
}

std::string TMainF::StatusText() const {
    return statusBar()->currentMessage().toStdString();
}

std::string TMainF::LogFilePath() const {
    return RunLog::LogFilePathFor(settings_.LogLocation);
}

// --- Project menu -----------------------------------------------------------------------------

void TMainF::New1Click() {
    openprojedit("");
}

void TMainF::editbrowseClick() {
    BrowseAndOpen("Select VLM-file to edit", false);
}

void TMainF::runbrowseClick() {
    BrowseAndOpen("Select VLM-file to run", true);
}

std::optional<std::string> TMainF::ChooseProjectFile(const char* title) {
    OpenDialog1->setWindowTitle(QString::fromUtf8(title));
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return std::nullopt;
    const std::string host = OpenDialog1->selectedFiles().first().toStdString();
    if (auto drivePath = ToDrivePath(host))
        return drivePath;
    ShowErrorBox("The file " + host + " is not on any drive of this program.");
    return std::nullopt;
}

void TMainF::BrowseAndOpen(const char* title, bool forRun) {
    const auto path = ChooseProjectFile(title);
    if (!path)
        return;
    const auto project = ProjectText::Load(*path);
    if (!project) {
        ShowErrorBox(UnreadableProjectText(*path));
        return;
    }
    if (!project->IsProject()) {
        ShowPlain(std::string(kInvalidProjectPlain));
        return;
    }
    if (forRun)
        openrunform(*path);
    else
        openprojedit(*path);
    AddToRecentLists(*path);
}

void TMainF::Exit2Click() {
    EndProgram(0);
}

// --- Options menu -----------------------------------------------------------------------------

std::optional<std::string> TMainF::ChooseLocation(const char* caption, const std::string& current) {
    return VlmLocxxxF->Ask(caption, current);
}

void TMainF::Defdest1Click() {
    if (auto value =
            ChooseLocation("Give Default destination for backups", settings_.BackupLocation)) {
        settings_.BackupLocation = *value;
        SetStatus("New default location of backup: " + *value);
    }
}

void TMainF::LocationProjects1Click() {
    if (auto value =
            ChooseLocation("Give location for VLM-project files", settings_.ProjectsLocation)) {
        settings_.ProjectsLocation = *value;
        OpenDialog1->setDirectory(HostFolderFor(*value));
        SetStatus("New projects location: " + *value);
    }
}

void TMainF::Locationofreportfile1Click() {
    if (auto value = ChooseLocation("Give location for log-file", settings_.LogLocation)) {
        settings_.LogLocation = *value;
        SetStatus("New location of log-file: " + *value);
    }
}

void TMainF::defdestdriveMClick() {
    if (alloweddestdriveF->Open())
        SetStatus("Allowed destination drive will be saved to ini-file");
}

void TMainF::massdeleteMIClick() {
    settings_.MassDeleteGuard = !settings_.MassDeleteGuard;
    massdeleteMI->setChecked(settings_.MassDeleteGuard);
    SetStatus("Option toggled");
}

void TMainF::drivesMIClick() {
    TdrivesF dialog(DrivesDialogHooks{}, this);
    connect(mountWatcher, &MountTableWatcher::drivesChanged, &dialog, &TdrivesF::Redraw);
    dialog.Open();
}

void TMainF::ScheduleMIClick() {
    const ProjectBrowseHooks browse{
        [this](const std::string& title) { return ChooseProjectFile(title.c_str()); },
        [this](const std::string& path) { AddToRecentLists(path); },
    };
    // A scheduled run uses the runner installed beside this program and names this program's
    // folder, so its history row lands where this window shows it.
    ScheduledCommand command;
    command.runnerHost = CurrentProgramFolderFacts().executableFolder + "/velmora-run";
    command.programFolderHost = ToHostPath(settings_.ProgramFolder).value_or(std::string());
    TScheduleF dialog(browse, SystemScheduler::CurrentHost(), command, this);
    dialog.Open();
}

void TMainF::launchrunMIClick() {
    settings_.LaunchRun = !settings_.LaunchRun;
    launchrunMI->setChecked(settings_.LaunchRun);
    SetStatus("Option toggled");
}

bool TMainF::ShowPicture(const std::string& path) {
    const QImage picture = LoadBackgroundPicture(path);
    if (picture.isNull())
        return false;
    BackI->setPixmap(QPixmap::fromImage(picture));
    return true;
}

void TMainF::ChooseImageClick() {
    if (OpenImDialog->exec() != QDialog::Accepted || OpenImDialog->selectedFiles().isEmpty()) {
        SetStatus("No image selected!");
        return;
    }
    const std::string host = OpenImDialog->selectedFiles().first().toStdString();
    // The setting holds a drive path: a file on no drive is one the program cannot load.
    const std::optional<DrivePath> picture = DrivePathFromArgument(host, HostPath());
    const std::string path = picture ? picture->Text() : host;
    if (picture)
        settings_.BackgroundPicture = path;
    if (!picture || !ShowPicture(path)) {
        ShowErrorBox("ERROR: unable to load the file. " + path);
        ShowPlain("Probably file type not supported! Never edit ini-file");
        SetStatus("Picture not loaded.");
    }
}

void TMainF::RemoveImageClick() {
    BackI->setPixmap(QPixmap());
    settings_.BackgroundPicture.clear();
}

void TMainF::ShowdirsizesMIClick() {
    settings_.ShowDirSizes = !settings_.ShowDirSizes;
    ShowdirsizesMI->setChecked(settings_.ShowDirSizes);
}

void TMainF::syncMIClick() {
    settings_.ShowSyncOption = !settings_.ShowSyncOption;
    syncMI->setChecked(settings_.ShowSyncOption);
}

void TMainF::RunhismaxMIClick() {
    RunHistoryMaxCommand(settings_.RunHistoryMax, history_);
    history_.MaxItems = settings_.RunHistoryMax;
}

// --- Log file menu ----------------------------------------------------------------------------

void TMainF::View1Click() {
    OpenWithItsProgram(LogFilePath(), LogFilePath());
}

void TMainF::EmptyMIClick() {
    EmptyLog(settings_.LogLocation);
}

void TMainF::CropMIClick() {
    CropLog(settings_.LogLocation);
}

void TMainF::BackIClick() {
    SetStatus("");
}

void TMainF::ShowrunhistoryMIClick() {
    ShowRunHistory();
}

// --- Help, About, Exit ------------------------------------------------------------------------

void TMainF::Contents1Click() {
    std::string helpFile = FileInFolder(settings_.ProgramFolder, kHelpFileName);
    // An installed program keeps its guide with its documentation, not in the person's program
    // folder. The guide is a web page: xdg-open shows it in the desktop's browser.
    if (ItemKind(helpFile) != 'f') {
        const std::string executableFolder = CurrentProgramFolderFacts().executableFolder;
        if (auto data = ToDrivePath(InstalledDocFolder(executableFolder))) {
            const std::string installed = FileInFolder(*data, kHelpFileName);
            if (ItemKind(installed) == 'f')
                helpFile = installed;
        }
    }
    if (ItemKind(helpFile) != 'f') {
        ShowErrorBox("The help file " + helpFile + " is missing.");
        return;
    }
    OpenWithItsProgram(helpFile, "the help file " + helpFile);
}

void TMainF::textversionClick() {
    ShowPlain(kTextHelpMessage);
}

void TMainF::Website1Click() {
    OpenWithItsProgram(kWebsiteAddress, kWebsiteAddress);
}

void TMainF::About1Click() {
    SetStatus("About...");
    QMessageBox about(QMessageBox::NoIcon, QStringLiteral("About..."),
                      QStringLiteral("Velmora\nVersion " VELMORA_VERSION
                                     "\n\nBackups of your folders and files, run as "
                                     "projects.\n\n") +
                          QString::fromUtf8(kWebsiteAddress),
                      QMessageBox::Ok, this);
    about.exec();
}

void TMainF::Exit1Click() {
    close();
}

void TMainF::Default1Click() {
    timerGB->Default1Click();
}

}  // namespace vlm
