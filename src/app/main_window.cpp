#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTreeView>

#include "app/app_text.h"
#include "app/desktop_notice.h"
#include "app/help_links.h"
#include "app/log_commands.h"
#include "app/mount_watcher.h"
#include "app/open_with_program.h"
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
#include "engine/run_log.h"
#include "platform/path_translation.h"
#include "platform/program_folder.h"
#include "platform/shell.h"
#include "platform/system_schedule.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/drive_box.h"
#include "widgets/guarded_handler.h"
#include "widgets/picture_loader.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

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

// --- Start ------------------------------------------------------------------------------------

void TMainF::FormCreate() {
    run_.EstimateRunning = false;
    LoadRecentLists();
    settings_ = LoadProgramSettings(options_.start);
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
        new MountTableWatcher([this] { return run_.RunActive || run_.EstimateRunning; }, this);
    connectedLetters_ = PresentDriveLetters();
    connect(mountWatcher, &MountTableWatcher::drivesChanged, this,
            [this] { StartRunsAtConnection(); });
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
                                  [this] { return runWindowsOpen_ > 0 || run_.EstimateRunning; },
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
        list->LoadHistory(options_.start.folder.Text());
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
    if (ItemKind(DrivePath(path)) != 'f') {
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
        const std::string error = LoadRunHistory(settings_, history_);
        if (!error.empty())
            ShowErrorBox(error);
        runhisoverviewF->FormCreate(settings_.RunHistoryPath());
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
    const auto project = ProjectText::Load(DrivePath(*path));
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
    DrivesDialog dialog(DrivesDialogHooks{}, this);
    connect(mountWatcher, &MountTableWatcher::drivesChanged, &dialog, &DrivesDialog::Redraw);
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
    command.runnerHost = CurrentProgramFolderFacts().executableFolder / "velmora-run";
    command.programFolderHost = ToHostPath(settings_.ProgramFolder).value_or(HostPath());
    SystemScheduleDialog dialog(browse, SystemScheduler::CurrentHost(), command, this);
    dialog.Open();
}

void TMainF::StartRunsAtConnection() {
    const std::string present = PresentDriveLetters();
    const HostPath folder = ToHostPath(settings_.ProgramFolder).value_or(HostPath());
    for (const ConnectEntry& entry : ReadConnectSchedules(folder)) {
        const char letter = entry.schedule.letter;
        if (present.find(letter) == std::string::npos ||
            connectedLetters_.find(letter) != std::string::npos)
            continue;
        // velmora-run itself keeps to the hours within which the project runs only once.
        const std::vector<std::string> args = ConnectArguments(
            entry.schedule, {CurrentProgramFolderFacts().executableFolder / "velmora-run", folder});
        QStringList rest;
        for (std::size_t i = 1; i < args.size(); ++i)
            rest << QString::fromStdString(args[i]);
        QProcess::startDetached(QString::fromStdString(args[0]), rest);
    }
    connectedLetters_ = present;
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
    DrivePath helpFile = settings_.ProgramFolder / kHelpFileName;
    // An installed program keeps its guide with its documentation, not in the person's program
    // folder. The guide is a web page: xdg-open shows it in the desktop's browser.
    if (ItemKind(helpFile) != 'f') {
        const HostPath executableFolder = CurrentProgramFolderFacts().executableFolder;
        if (auto data = ToDrivePath(InstalledDocFolder(executableFolder))) {
            const DrivePath installed = *data / kHelpFileName;
            if (ItemKind(installed) == 'f')
                helpFile = installed;
        }
    }
    if (ItemKind(helpFile) != 'f') {
        ShowErrorBox("The help file " + helpFile.Text() + " is missing.");
        return;
    }
    OpenWithItsProgram(helpFile.Text(), "the help file " + helpFile.Text());
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

}  // namespace vlm
