#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

#include "app/main_window.h"
#include "app/scheduler.h"
#include "dialogs/desktop_shortcut_dialog.h"
#include "dialogs/timer_dialog.h"
#include "widgets/guarded_handler.h"

// The main window's menu bar and its pop-up menus.

namespace vlm {

void TMainF::BuildMenus() {
    QMenuBar* bar = menuBar();
    BuildProjectMenu(bar);
    BuildOptionsMenu(bar);
    BuildLogMenu(bar);
    BuildExtraAndHelpMenus(bar);
    BuildPopupMenu();
}

QAction* TMainF::MenuItem(QMenu* menu, const char* caption, void (TMainF::*handler)(),
                          const QKeySequence& shortcut) {
    QAction* action = menu->addAction(QString::fromUtf8(caption));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this,
            [this, handler] { Guarded([=, this] { (this->*handler)(); }); });
    return action;
}

void TMainF::StatusOnOpen(QMenu* menu, std::function<std::string()> text) {
    connect(menu, &QMenu::aboutToShow, this, [this, text] { SetStatus(text()); });
}

void TMainF::BuildProjectMenu(QMenuBar* bar) {
    Project1 = bar->addMenu(QStringLiteral("&Project"));
    StatusOnOpen(Project1, [] { return std::string("Project..."); });
    New1 = MenuItem(Project1, "&New", &TMainF::New1Click, QKeySequence(QStringLiteral("Ctrl+N")));
    Edit1 = Project1->addMenu(QStringLiteral("&Edit/view"));
    editbrowse = MenuItem(Edit1, "&Browse...", &TMainF::editbrowseClick,
                          QKeySequence(QStringLiteral("Ctrl+B")));
    Edit1->addSeparator();
    RunMI = Project1->addMenu(QStringLiteral("&Run"));
    runbrowse = MenuItem(RunMI, "&Browse...", &TMainF::runbrowseClick,
                         QKeySequence(QStringLiteral("Ctrl+Alt+B")));
    RunMI->addSeparator();
    restoreMI = MenuItem(Project1, "Rest&ore...", &TMainF::restoreMIClick);
    Exit2 = MenuItem(Project1, "E&xit", &TMainF::Exit2Click);
}

void TMainF::BuildOptionsMenu(QMenuBar* bar) {
    Options1 = bar->addMenu(QStringLiteral("&Options"));
    StatusOnOpen(Options1, [] { return std::string("Options..."); });
    Defdest1 = MenuItem(Options1, "Default location &backup (destination)", &TMainF::Defdest1Click);
    LocationProjects1 =
        MenuItem(Options1, "Location of VLM-&projects", &TMainF::LocationProjects1Click);
    Locationofreportfile1 =
        MenuItem(Options1, "Location of &Log file", &TMainF::Locationofreportfile1Click);
    defdestdriveM =
        MenuItem(Options1, "Safety - Limitation of backup &drives", &TMainF::defdestdriveMClick);
    massdeleteMI =
        MenuItem(Options1, "Ask before a run removes most of a backup", &TMainF::massdeleteMIClick);
    massdeleteMI->setCheckable(true);
    drivesMI = MenuItem(Options1, "Dri&ves\u2026", &TMainF::drivesMIClick);
    TimerMI = Options1->addAction(QStringLiteral("&Timer..."));
    TimerMI->setShortcut(QKeySequence(QStringLiteral("Ctrl+Alt+T")));
    connect(TimerMI, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (scheduler != nullptr)
                scheduler->TimerMIClick();
        });
    });
    ScheduleMI = MenuItem(Options1, "Sc&hedule with the system...", &TMainF::ScheduleMIClick);
    launchrunMI = MenuItem(Options1, "External &launch in run form", &TMainF::launchrunMIClick,
                           QKeySequence(QStringLiteral("Ctrl+Alt+L")));
    launchrunMI->setCheckable(true);
    BuildOptionsSubmenus();
    RunhismaxMI = MenuItem(Options1, "Run history - Maximum items", &TMainF::RunhismaxMIClick);
}

void TMainF::BuildOptionsSubmenus() {
    QMenu* Bigbackground1 = Options1->addMenu(QStringLiteral("Bac&kground..."));
    ChooseImage1 = MenuItem(Bigbackground1, "Choose &image...", &TMainF::ChooseImageClick);
    Reset1 = MenuItem(Bigbackground1, "R&eset", &TMainF::RemoveImageClick);
    QMenu* N5 = Options1->addMenu(QStringLiteral("Project Editor"));
    ShowdirsizesMI = MenuItem(N5, "Show/hide dir &sizes", &TMainF::ShowdirsizesMIClick);
    ShowdirsizesMI->setCheckable(true);
    syncMI = MenuItem(N5, "Show/hide syn&chronize option", &TMainF::syncMIClick);
    syncMI->setCheckable(true);
}

void TMainF::BuildLogMenu(QMenuBar* bar) {
    Logfile1 = bar->addMenu(QStringLiteral("&Log file"));
    StatusOnOpen(Logfile1, [this] { return "Log file: " + LogFilePath() + "..."; });
    View1 = MenuItem(Logfile1, "&View", &TMainF::View1Click,
                     QKeySequence(QStringLiteral("Ctrl+Alt+V")));
    EmptyMI = MenuItem(Logfile1, "&Empty", &TMainF::EmptyMIClick,
                       QKeySequence(QStringLiteral("Ctrl+Alt+E")));
    CropMI = MenuItem(Logfile1, "&Crop last run", &TMainF::CropMIClick,
                      QKeySequence(QStringLiteral("Ctrl+Alt+C")));
    ShowrunhistoryMI = MenuItem(Logfile1, "Show run &history", &TMainF::ShowrunhistoryMIClick,
                                QKeySequence(QStringLiteral("Ctrl+Alt+H")));
}

void TMainF::BuildExtraAndHelpMenus(QMenuBar* bar) {
    Extra1 = bar->addMenu(QStringLiteral("&Extra"));
    StatusOnOpen(Extra1, [] { return std::string("Extra..."); });
    Createdesktopshortcut1 = Extra1->addAction(QStringLiteral("Create &desktop shortcut"));
    connect(Createdesktopshortcut1, &QAction::triggered, this, [this] {
        Guarded([this] {
            if (vlmdesktopF != nullptr)
                vlmdesktopF->Open();
        });
    });

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    StatusOnOpen(Help1, [] { return std::string("Help..."); });
    Contents1 = MenuItem(Help1, "&Contents", &TMainF::Contents1Click, QKeySequence(Qt::Key_F1));
    textversion = MenuItem(Help1, "&Text Help", &TMainF::textversionClick);
    Website1 = MenuItem(Help1, "Go to &website", &TMainF::Website1Click);

    About1 = bar->addAction(QStringLiteral("&About"));
    connect(About1, &QAction::triggered, this, [this] { Guarded([this] { About1Click(); }); });
    Exit1 = bar->addAction(QStringLiteral("E&xit"));
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });
}

void TMainF::BuildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    Chooseimage2 = MenuItem(PopupMenu1, "Choose &image...", &TMainF::ChooseImageClick);
    Removeimage1 = MenuItem(PopupMenu1, "R&emove image", &TMainF::RemoveImageClick);
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

}  // namespace vlm
