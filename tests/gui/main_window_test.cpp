#include "app/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusTipEvent>
#include <QTextBlock>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/recent_projects.h"
#include "app/scheduler.h"
#include "app/timer_panel.h"
#include "core/project_file.h"
#include "dialogs/allowed_drive_dialog.h"
#include "dialogs/run_history_overview.h"
#include "dialogs/timer_dialog.h"
#include "editor/project_editor.h"
#include "gui/run_window_test_helpers.h"
#include "platform/packed_time.h"
#include "runwindow/run_window.h"
#include "support/runner_process.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using Args = std::vector<std::string>;
using test::MakeDir;
using test::WriteFile;

constexpr const char* kProgramFolder = "c:\\prog";
constexpr const char* kSettingsPath = "c:\\prog\\velmora.ini";
constexpr const char* kProject = "c:\\prog\\p.vlm";

// The wall clock the scheduler reads, set by the timer tests.
DateTime g_now = 0;
DateTime TestClock() {
    return g_now;
}

// What a run window showed and how it was handled, for one opening.
struct RunWindowRecord {
    bool opened = false;
    bool startedByItself = false;
    std::vector<std::string> memo;
};

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        MakeDir(drives.Host(kProgramFolder));
        WriteFile(drives.Host("c:\\src\\a.txt"), "alpha");
        WriteFile(drives.Host("c:\\src\\sub\\b.txt"), "beta");
        WriteProject(kProject, "e:");
    }

    void WriteProject(const std::string& path, const std::string& destdrive) {
        ProjectFields fields;
        fields.destdrive = destdrive;
        fields.destkind = "Fixed";
        fields.confirm = false;
        fields.precalc = false;
        fields.items = {"c:\\src"};
        ASSERT_TRUE(WriteProjectFile(DrivePath(path), fields));
    }

    void SaveStartSettings(const std::function<void(AppSettings&)>& change) {
        AppSettings settings = LoadSettings(DrivePath(kSettingsPath), DrivePath(kProgramFolder));
        change(settings);
        ASSERT_TRUE(SaveSettings(settings, DrivePath(kSettingsPath)).ok);
    }

    std::unique_ptr<TMainF> Start(const Args& args = {},
                                  const std::string& settingsPath = kSettingsPath) {
        TMainF::StartOptions options;
        options.start.folder = DrivePath(kProgramFolder);
        options.start.settingsPath = DrivePath(settingsPath);
        options.commandLine = CommandLine::FromArguments(args);
        auto window = std::make_unique<TMainF>(options);
        window->SetRunWindowHook([this, w = window.get()](TRunF& run) { Drive(*w, run); });
        return window;
    }

    // Plays the person at a run window: waits whether the run starts by itself; if not and
    // `pressRun` is set, presses Run; closes the window once the run has finished.
    void Drive(TMainF& main, TRunF& window) {
        records.emplace_back();
        const std::size_t index = records.size() - 1;
        records[index].opened = true;
        auto* clock = new QTimer(&window);
        auto ticks = std::make_shared<int>(0);
        QObject::connect(clock, &QTimer::timeout, &window, [&, index, ticks] {
            ++*ticks;
            RunWindowRecord& record = records[index];
            const bool finished = window.cancelB->text() == "&Close";
            if (*ticks == 10 && !finished && !window.RunInProgress() && window.RunB->isEnabled()) {
                if (!pressRun) {
                    window.cancelB->click();
                    return;
                }
                window.RunB->click();
                return;
            }
            if (*ticks < 10 && finished)
                record.startedByItself = true;
            if (finished && !window.RunInProgress() && !main.Run().RunActive) {
                record.memo = Memo(window);
                window.cancelB->click();
            }
            if (*ticks > 500)
                window.reject();  // never hang a test
        });
        clock->start(10);
    }

    static std::vector<std::string> Memo(const TRunF& window) {
        std::vector<std::string> lines;
        for (QTextBlock b = window.RunM->document()->begin(); b.isValid(); b = b.next())
            lines.push_back(b.text().toStdString());
        return lines;
    }

    static bool Contains(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    test::WithQtApplication app;
    test::TempDrives drives{"ce"};
    ScriptedDialogs dialogs;
    std::vector<RunWindowRecord> records;
    bool pressRun = true;
};

TEST_F(MainWindowTest, StartsAsTheSettingsSay) {
    struct Case {
        bool timerShow;
        int x, y;
        bool launchRun;
    };
    for (const Case& c : {Case{true, 20, 30, true}, Case{false, 8, 8, false}}) {
        SCOPED_TRACE(c.timerShow);
        SaveStartSettings([&](AppSettings& s) {
            s.TimerShow = c.timerShow;
            s.TimerPanelX = c.x;
            s.TimerPanelY = c.y;
            s.TimerHour = 7;
            s.TimerMinute = 5;
            s.TimerProject = "c:\\prog\\timed.vlm";
            s.LaunchRun = c.launchRun;
            s.ShowSyncOption = true;
            s.ShowDirSizes = true;
        });
        auto main = Start();
        EXPECT_EQ(main->windowTitle().toStdString(), "Velmora");
        EXPECT_EQ(main->timerGB->isVisibleTo(main.get()), c.timerShow);
        EXPECT_EQ(main->timerGB->geometry(), QRect(c.x, c.y, 481, 185));
        EXPECT_EQ(main->timesetL->text().toStdString(), "07:05");
        EXPECT_EQ(main->timervlmL->text().toStdString(), "c:\\prog\\timed.vlm");
        EXPECT_EQ(main->StatusText(), "Timer NOT active");
        EXPECT_EQ(main->launchrunMI->isChecked(), c.launchRun);
        // The editor switches start without a mark whatever the setting; the first toggle
        // turns the setting off and still shows no mark.
        EXPECT_FALSE(main->syncMI->isChecked());
        EXPECT_FALSE(main->ShowdirsizesMI->isChecked());
        main->syncMI->trigger();
        EXPECT_FALSE(main->Settings().ShowSyncOption);
        EXPECT_FALSE(main->syncMI->isChecked());
        main->syncMI->trigger();
        EXPECT_TRUE(main->Settings().ShowSyncOption);
        EXPECT_TRUE(main->syncMI->isChecked());
    }
}

TEST_F(MainWindowTest, OnlyClosingTheWindowWritesTheSettings) {
    struct Case {
        const char* name;
        std::function<void(TMainF&)> end;
        bool saves;
    };
    const std::vector<Case> cases = {
        {"ESC", [](TMainF& m) { test::PressKey(m.BackI, Qt::Key_Escape); }, false},
        {"ESC on the timer panel", [](TMainF& m) { test::PressKey(m.timerGB, Qt::Key_Escape); },
         false},
        {"Project, Exit", [](TMainF& m) { m.Exit2->trigger(); }, false},
        {"menu bar Exit", [](TMainF& m) { m.Exit1->trigger(); }, true},
        {"close box", [](TMainF& m) { m.close(); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SaveStartSettings([](AppSettings& s) { s.LaunchRun = false; });
        auto main = Start();
        main->show();
        main->launchrunMI->trigger();
        EXPECT_EQ(main->StatusText(), "Option toggled");
        EXPECT_TRUE(main->launchrunMI->isChecked());

        c.end(*main);
        EXPECT_TRUE(main->EndRequested());
        EXPECT_EQ(main->ExitCode(), 0);
        EXPECT_EQ(LoadSettings(DrivePath(kSettingsPath), DrivePath(kProgramFolder)).LaunchRun,
                  c.saves);
    }
    EXPECT_TRUE(dialogs.Boxes().empty());
}

TEST_F(MainWindowTest, TheMassDeletionGuardIsSwitchedInTheOptionsMenuAndSaved) {
    for (const bool startOn : {true, false}) {
        SCOPED_TRACE(startOn);
        SaveStartSettings([&](AppSettings& s) { s.MassDeleteGuard = startOn; });
        auto main = Start();
        main->show();
        EXPECT_EQ(main->massdeleteMI->text().toStdString(),
                  "Ask before a run removes most of a backup");
        EXPECT_TRUE(main->Options1->actions().contains(main->massdeleteMI));
        EXPECT_EQ(main->massdeleteMI->isChecked(), startOn);
        main->massdeleteMI->trigger();
        EXPECT_EQ(main->massdeleteMI->isChecked(), !startOn);
        EXPECT_EQ(main->Settings().MassDeleteGuard, !startOn);
        main->close();
        EXPECT_EQ(LoadSettings(DrivePath(kSettingsPath), DrivePath(kProgramFolder)).MassDeleteGuard,
                  !startOn);
    }
}

TEST_F(MainWindowTest, AFailedSaveIsShownAndTheWindowStillCloses) {
    auto main = Start({}, "c:\\missing\\velmora.ini");
    main->show();
    main->close();
    EXPECT_TRUE(main->EndRequested());
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(dialogs.Shown(BoxType::Error, "Unable to write to c:\\missing\\velmora.ini"))
        << (dialogs.Texts().empty() ? "" : dialogs.Texts().front());
}

TEST_F(MainWindowTest, OpeningAMenuSaysSoInTheStatusBar) {
    auto main = Start();
    struct Case {
        QMenu* menu;
        std::string status;
    };
    for (const Case& c : {Case{main->Project1, "Project..."}, Case{main->Options1, "Options..."},
                          Case{main->Logfile1, "Log file: c:\\prog\\Vlmlogtmp.txt..."},
                          Case{main->Extra1, "Extra..."}, Case{main->Help1, "Help..."}}) {
        SCOPED_TRACE(c.status);
        emit c.menu->aboutToShow();
        EXPECT_EQ(main->StatusText(), c.status);
        // The pointer resting on an item: Qt sends the item's empty status tip to the menu
        // bar, which would clear the bar.
        for (QAction* action : c.menu->actions()) {
            QStatusTipEvent tip(action->statusTip());
            QApplication::sendEvent(main->menuBar(), &tip);
        }
        EXPECT_EQ(main->StatusText(), c.status);
    }
}

TEST_F(MainWindowTest, AClickOnTheBackgroundPictureClearsTheStatusBar) {
    auto main = Start();
    main->show();
    struct Case {
        Qt::MouseButton button;
        bool clears;
    };
    for (const Case& c : {Case{Qt::RightButton, false}, Case{Qt::LeftButton, true}}) {
        SCOPED_TRACE(c.button);
        emit main->Options1->aboutToShow();
        ASSERT_EQ(main->StatusText(), "Options...");
        const QPoint at(main->BackI->width() - 5, main->BackI->height() - 5);
        const QPoint global = main->BackI->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, c.button, c.button, Qt::NoModifier);
        QApplication::sendEvent(main->BackI, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, c.button, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(main->BackI, &release);
        for (QWidget* popup = QApplication::activePopupWidget(); popup != nullptr;
             popup = QApplication::activePopupWidget())
            popup->close();
        EXPECT_EQ(main->StatusText(), c.clears ? "" : "Options...");
    }
}

// The picture setting holds a drive path: a file chosen on no drive is refused, never stored as
// the host path the dialog gave.
TEST_F(MainWindowTest, AChosenPictureIsStoredAsItsDrivePath) {
    WriteFile(drives.Host("c:\\prog\\broken.jpg"), "no picture in here");
    const std::string outside = drives.Base() + "/outside.jpg";  // under no drive letter
    WriteFile(outside, "no picture in here either");
    const struct {
        std::string chosen;
        std::string stored;
        std::string box;
    } cases[] = {
        {drives.Host("c:\\prog\\broken.jpg"), "c:\\prog\\broken.jpg",
         "ERROR: unable to load the file. c:\\prog\\broken.jpg"},
        {outside, "before.jpg", "ERROR: unable to load the file. " + outside},
    };
    auto main = Start();
    for (const auto& c : cases) {
        main->Settings().BackgroundPicture = "before.jpg";
        dialogs.ClearRecord();
        QTimer::singleShot(0, [&] {
            for (QFileDialog* dialog : main->findChildren<QFileDialog*>()) {
                if (dialog->isVisible()) {
                    // Typed into the name box, as a person may: no wait for the folder view.
                    dialog->findChild<QLineEdit*>("fileNameEdit")
                        ->setText(QString::fromStdString(c.chosen));
                    static_cast<QDialog*>(dialog)->done(QDialog::Accepted);
                }
            }
        });
        main->ChooseImageClick();
        EXPECT_EQ(main->Settings().BackgroundPicture, c.stored) << c.chosen;
        ASSERT_FALSE(dialogs.Texts().empty()) << c.chosen;
        EXPECT_EQ(dialogs.Texts().front(), c.box);
    }
}

// The boxes about a background picture that cannot be shown come once the window is on the
// screen, not while it is being made.
TEST_F(MainWindowTest, BackgroundPictureBoxesComeAfterTheWindowIsShown) {
    WriteFile(drives.Host("c:\\prog\\broken.jpg"), "no picture in here");
    struct Case {
        std::string picture;
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        {"c:\\prog\\gone.jpg",
         {"The file c:\\prog\\gone.jpg does not exist anymore! Probably moved. Unable to "
          "load..."}},
        {"c:\\prog\\broken.jpg",
         {"ERROR: unable to load the file: c:\\prog\\broken.jpg",
          "Probably file type not supported! Never edit ini-file."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        SaveStartSettings([&](AppSettings& s) { s.BackgroundPicture = c.picture; });
        dialogs.ClearRecord();
        auto main = Start();
        QApplication::processEvents();
        EXPECT_TRUE(dialogs.Texts().empty()) << "a box before the window is shown";
        main->showMaximized();
        EXPECT_TRUE(dialogs.Texts().empty()) << "a box inside show()";
        ASSERT_TRUE(test::WaitFor([&] { return !dialogs.Texts().empty(); }, 2000));
        EXPECT_EQ(dialogs.Texts(), c.boxes);
        EXPECT_EQ(main->Settings().BackgroundPicture, c.picture);
        // Shown again later: the start's load is not repeated.
        main->hide();
        main->show();
        QApplication::processEvents();
        EXPECT_EQ(dialogs.Texts().size(), c.boxes.size());
    }
}

TEST_F(MainWindowTest, MenuItemsCarryTheirShortcuts) {
    auto main = Start();
    struct Case {
        QAction* action;
        const char* text;
        const char* keys;
    };
    for (const Case& c :
         {Case{main->New1, "&New", "Ctrl+N"}, Case{main->editbrowse, "&Browse...", "Ctrl+B"},
          Case{main->runbrowse, "&Browse...", "Ctrl+Alt+B"},
          Case{main->TimerMI, "&Timer...", "Ctrl+Alt+T"},
          Case{main->launchrunMI, "External &launch in run form", "Ctrl+Alt+L"},
          Case{main->View1, "&View", "Ctrl+Alt+V"}, Case{main->EmptyMI, "&Empty", "Ctrl+Alt+E"},
          Case{main->CropMI, "&Crop last run", "Ctrl+Alt+C"},
          Case{main->ShowrunhistoryMI, "Show run &history", "Ctrl+Alt+H"},
          Case{main->Contents1, "&Contents", "F1"}}) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.action->text().toStdString(), c.text);
        EXPECT_EQ(c.action->shortcut(), QKeySequence(QString::fromUtf8(c.keys)));
    }
}

TEST_F(MainWindowTest, AQuickRunFromTheCommandLineRunsByItselfAndOnlyOnce) {
    auto main = Start({kProject, "-qrun"});
    main->CreateHiddenDialogs();
    main->ActOnCommandLine();

    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].startedByItself);
    EXPECT_TRUE(Contains(records[0].memo, "QUICK Run executed by user!!"));
    EXPECT_FALSE(main->HandOver().QuickRunRequested);
    EXPECT_FALSE(main->EndRequested());
    EXPECT_EQ(test::ReadFile(drives.Host("e:\\VLMcopy_drive_c\\src\\sub\\b.txt")), "beta");
    ASSERT_FALSE(main->History().Rows().empty());
    EXPECT_EQ(main->History().Rows()[0].subItems[1], "Shortcut");
    EXPECT_EQ(main->History().Rows()[0].subItems[3], "OK");

    // The same project opened later from the menus waits for Run.
    main->openrunform(kProject);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[1].startedByItself);
    EXPECT_FALSE(Contains(records[1].memo, "QUICK Run executed by user!!"));
    EXPECT_EQ(main->History().Rows()[0].subItems[1], "Normal");
}

TEST_F(MainWindowTest, ARefusedQuickRunLeavesNoRequestBehind) {
    auto main = Start({"c:\\prog\\gone.vlm", "-qrun"});
    main->ActOnCommandLine();
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(dialogs.Shown(BoxType::Error,
                              "c:\\prog\\gone.vlm does not exist!! Unable to run project."));
    EXPECT_FALSE(main->EndRequested());

    main->openrunform(kProject);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].startedByItself);
}

TEST_F(MainWindowTest, CloseAsFourthArgumentEndsTheProgramWithTheRunsVerdict) {
    WriteProject("c:\\prog\\absent.vlm", "f:");  // f: is no drive here
    struct Case {
        Args args;
        bool ends;
        int exitCode;
    };
    const std::vector<Case> cases = {
        {{kProject, "-qrun", "x", "-close"}, true, 0},
        {{kProject, "-saferun", "-extlog", "-close"}, true, 0},
        {{kProject, "-saferun", "-close"}, false, 0},  // "-close" stands third: no switch
        {{kProject, "-qrun", "-close", "x"}, false, 0},
        {{"c:\\prog\\absent.vlm", "-qrun", "x", "-close"}, true, 1},
    };
    for (const Case& c : cases) {
        std::string words;
        for (const auto& word : c.args)
            words += word + " ";
        SCOPED_TRACE(words);
        records.clear();
        auto main = Start(c.args);
        main->ActOnCommandLine();
        EXPECT_EQ(records.size(), 1u);
        EXPECT_EQ(main->EndRequested(), c.ends);
        if (c.ends) {
            EXPECT_EQ(main->ExitCode(), c.exitCode);
        }
    }
    EXPECT_EQ(
        dialogs.TextsOf(BoxType::Error),
        std::vector<std::string>{"Drive f does not exist! Please check project or hardware."});
}

TEST_F(MainWindowTest, OpeningForTheEditorRefusesWhatIsNoProject) {
    WriteFile(drives.Host("c:\\prog\\text.vlm"), "hello\r\n");
    auto main = Start();
    main->openprojedit("c:\\prog\\text.vlm");
    EXPECT_TRUE(dialogs.Shown(BoxType::Plain, "Invalid vlm-project!"));
    dialogs.ClearRecord();

    main->openprojedit("c:\\prog\\gone.vlm");
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_NE(dialogs.TextsOf(BoxType::Error)[0].find("c:\\prog\\gone.vlm"), std::string::npos);
    dialogs.ClearRecord();

    std::vector<std::string> editorCaptions;
    main->SetEditorHook([&](TprojecteditF& editor) {
        editorCaptions.push_back(editor.windowTitle().toStdString());
        EXPECT_TRUE(main->HandOver().EditorOpen);
        QTimer::singleShot(50, &editor, [&editor] { editor.reject(); });
    });
    main->openprojedit(kProject);
    main->openprojedit("");
    EXPECT_EQ(editorCaptions,
              (std::vector<std::string>{"Project Editor: p", "Project Editor: <New Project>"}));
    EXPECT_FALSE(main->HandOver().EditorOpen);
    EXPECT_TRUE(dialogs.Boxes().empty());
}

TEST_F(MainWindowTest, ARecentEntryGoesToTheTopOfBothListsEvenWhenRefused) {
    auto main = Start();
    main->MYrunHitemclicked("c:\\prog\\gone.vlm");
    EXPECT_EQ(main->MYeditH->HistoryList().front(), "c:\\prog\\gone.vlm");
    EXPECT_EQ(main->MYrunH->HistoryList().front(), "c:\\prog\\gone.vlm");
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
}

TEST_F(MainWindowTest, HelpCommandsSayWhatIsMissing) {
    auto main = Start();
    main->Contents1->trigger();
    EXPECT_TRUE(
        dialogs.Shown(BoxType::Error, "The help file c:\\prog\\user-guide.html is missing."));
    main->textversion->trigger();
    EXPECT_TRUE(dialogs.Shown(BoxType::Plain,
                              "All the basic info is also available in txt-files (included in "
                              "zip-package) which you can open with simple programs like "
                              "Notepad."));
}

TEST_F(MainWindowTest, TheRunHistoryMaximumTrimsTheOverview) {
    auto main = Start();
    main->CreateHiddenDialogs();
    for (int i = 0; i < 3; ++i)
        main->History().StartHistoryEntry(main->Settings().RunHistoryPath(),
                                          "c:\\p" + std::to_string(i) + ".vlm", "now", "Normal",
                                          256);
    dialogs.ExpectInput("1");
    main->RunhismaxMI->trigger();
    EXPECT_EQ(main->Settings().RunHistoryMax, 1u);
    ASSERT_EQ(main->History().Rows().size(), 1u);
    EXPECT_EQ(main->History().Rows()[0].caption, "c:\\p2.vlm");
}

// The overview belongs to the main window (above it, below everything opened later), and the
// menu command brings it back from anywhere, minimised included.
TEST_F(MainWindowTest, ShowRunHistoryBringsTheOverviewBackAboveTheMainWindow) {
    auto main = Start();
    main->CreateHiddenDialogs();
    main->show();
    QWidget* overview = main->runhisoverviewF;
    ASSERT_NE(overview, nullptr);
    EXPECT_EQ(overview->parentWidget(), main.get());
    EXPECT_EQ(overview->windowType(), Qt::Tool);
    EXPECT_FALSE(overview->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    for (const char* before : {"hidden", "minimised", "shown"}) {
        SCOPED_TRACE(before);
        if (std::string(before) == "hidden")
            overview->hide();
        else if (std::string(before) == "minimised")
            overview->showMinimized();
        else
            overview->show();
        main->ShowrunhistoryMI->trigger();
        EXPECT_TRUE(overview->isVisible());
        EXPECT_FALSE(overview->isMinimized());
    }
}

TEST_F(MainWindowTest, TheAllowedDriveTakesAllOrOneLetter) {
    auto main = Start();
    main->CreateHiddenDialogs();
    TalloweddestdriveF& dialog = *main->alloweddestdriveF;
    // Plays the person at the dialog once it is up: each text is typed and "&Ok" pressed; a
    // refused text leaves the dialog open for the next one.
    const auto answer = [&](std::vector<std::string> texts) {
        QTimer::singleShot(0, &dialog, [&dialog, texts] {
            EXPECT_TRUE(dialog.isVisible());
            for (const std::string& text : texts) {
                if (!dialog.isVisible())
                    break;
                dialog.alloweddestdriveC->setEditText(QString::fromStdString(text));
                dialog.okB->click();
            }
            if (dialog.isVisible())
                dialog.reject();  // never hang a test
        });
    };

    answer({"all", "1", "D:", "DE", "", "D"});
    main->defdestdriveM->trigger();
    EXPECT_EQ(main->Settings().AllowedDrive, "D");
    EXPECT_EQ(dialogs.TextsOf(BoxType::Plain), std::vector<std::string>(4, "Invalid!"));
    EXPECT_TRUE(dialogs.Shown(BoxType::Warning, "Nothing selected! Use cancel to exit."));
    EXPECT_EQ(main->StatusText(), "Allowed destination drive will be saved to ini-file");

    // The dialog opens with the current value; Cancel after typing keeps it, and the status
    // bar stays as it was.
    emit main->Project1->aboutToShow();
    std::string shownAtOpen;
    QTimer::singleShot(0, &dialog, [&] {
        shownAtOpen = dialog.alloweddestdriveC->currentText().toStdString();
        dialog.alloweddestdriveC->setEditText(QStringLiteral("e"));
        dialog.CancelB->click();
        if (dialog.isVisible())
            dialog.reject();  // never hang a test
    });
    main->defdestdriveM->trigger();
    EXPECT_EQ(shownAtOpen, "D");
    EXPECT_EQ(main->Settings().AllowedDrive, "D");
    EXPECT_EQ(main->StatusText(), "Project...");
}

TEST_F(MainWindowTest, DefaultPositionPutsTheTimerPanelBack) {
    SaveStartSettings([](AppSettings& s) {
        s.TimerShow = true;
        s.TimerPanelX = 200;
        s.TimerPanelY = 100;
    });
    auto main = Start();
    main->Default1->trigger();
    EXPECT_EQ(main->timerGB->pos(), QPoint(8, 8));
    EXPECT_EQ(main->Settings().TimerPanelX, 8);
    EXPECT_EQ(main->Settings().TimerPanelY, 8);
}

// A person's first backup: Project > New, the form filled, Save; the saved project keeps
// versions, so a document deleted after one run is still there to restore after the next.
TEST_F(MainWindowTest, AProjectMadeWithNewKeepsADeletedDocumentToRestore) {
    auto main = Start();
    bool versionsShownOn = false;
    main->SetEditorHook([&](TprojecteditF& editor) {
        QTimer::singleShot(0, &editor, [&] {
            versionsShownOn = editor.versionsCB->isChecked();
            editor.projnameE->setText("Home");
            editor.destdriveC->setEditText("e: <Fixed>");
            editor.destkindC->setEditText("Fixed");
            editor.AddfnE->setText("c:\\src");
            editor.AddfnB->click();
            editor.SaveprojB->click();
        });
    });
    main->New1Click();
    EXPECT_TRUE(versionsShownOn);
    const std::string project = drives.Host("c:\\prog\\Home.vlm");
    const std::string text = test::ReadFile(project);
    EXPECT_NE(text.find("\r\nversions=Y\r\nversiondays=30\r\n"), std::string::npos) << text;

    const std::string programFolder = drives.Host(kProgramFolder);
    test::WriteDrivesIni(programFolder, drives, "ce");
    const std::string out = drives.Base() + "/runner.txt";
    const auto runner = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {project, "--program-folder", programFolder, "--yes"});
        return test::RunRunner(args, {out, ""});
    };
    ASSERT_EQ(runner({}), 0) << test::ReadFile(out);
    ASSERT_EQ(std::remove(drives.Host("c:\\src\\a.txt").c_str()), 0);
    ASSERT_EQ(runner({}), 0) << test::ReadFile(out);
    EXPECT_FALSE(test::Exists(drives.Host("e:\\VLMcopy_drive_c\\src\\a.txt")));

    ASSERT_EQ(runner({"--versions", "c:\\src\\a.txt"}), 0) << test::ReadFile(out);
    const std::string listed = test::ReadFile(out);
    const std::string kept = listed.substr(0, listed.find('\t'));
    const std::string back = drives.Host("c:\\back");
    ASSERT_EQ(runner({"--restore", "c:\\src\\a.txt", "--to", back, "--as-of", kept}), 0)
        << test::ReadFile(out);
    EXPECT_EQ(test::ReadFile(back + "/a.txt"), "alpha");
}

// The timer runs against a clock the test sets.
class MainWindowTimerTest : public MainWindowTest {
protected:
    MainWindowTimerTest() {
        SetClockForTesting(&TestClock);
        SetNow(10, 0, 59);
    }
    ~MainWindowTimerTest() override { SetClockForTesting(nullptr); }

    static void SetNow(int hour, int minute, int second) {
        g_now = MakeDateTime({2026, 3, 14, hour, minute, second, 0});
    }

    // Runs the event loop until `done` holds, at most `limitMs`; whether it holds.
    static bool PumpUntil(const std::function<bool()>& done, int limitMs) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < limitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return done();
    }

    static bool RunCommandsEnabled(const TMainF& main) {
        return main.RunMI->isEnabled() && main.EmptyMI->isEnabled() && main.CropMI->isEnabled();
    }
};

TEST_F(MainWindowTimerTest, ADueTimerRunsItsProjectOnceAndSwitchesItselfOff) {
    SaveStartSettings([](AppSettings& s) {
        s.TimerProject = kProject;
        s.TimerHour = 10;
        s.TimerMinute = 1;
        s.TimerShow = true;
    });
    pressRun = false;  // a run window that waits for Run is closed unused
    auto main = Start();
    main->CreateHiddenDialogs();
    main->show();

    main->timerGB->TimeractiveCB->click();
    EXPECT_TRUE(main->HandOver().TimerArmed);
    EXPECT_EQ(main->StatusText(), "Timer active");
    EXPECT_EQ(main->scheduler->Timer1Interval(), 1000);
    EXPECT_FALSE(main->RunMI->isEnabled());
    EXPECT_FALSE(main->EmptyMI->isEnabled());
    EXPECT_FALSE(main->CropMI->isEnabled());

    ASSERT_TRUE(PumpUntil([&] { return !records.empty() && !main->HandOver().TimerArmed; }, 15000));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_TRUE(records[0].startedByItself);
    EXPECT_TRUE(Contains(records[0].memo, "Run executed by timer!"));
    EXPECT_EQ(test::ReadFile(drives.Host("e:\\VLMcopy_drive_c\\src\\sub\\b.txt")), "beta");
    ASSERT_FALSE(main->History().Rows().empty());
    EXPECT_EQ(main->History().Rows()[0].subItems[1], "Timer");
    EXPECT_EQ(main->History().Rows()[0].subItems[3], "OK");

    EXPECT_FALSE(main->timerGB->TimeractiveCB->isChecked());
    EXPECT_FALSE(main->timerGB->GIFImage1->isVisible());
    EXPECT_FALSE(main->HandOver().TimerRunRequested);
    EXPECT_EQ(main->StatusText(), "Timer NOT active");
    EXPECT_TRUE(RunCommandsEnabled(*main));

    // Once per switching on: the next day at the same time nothing runs.
    SetNow(10, 0, 59);
    PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(records.size(), 1u);
    EXPECT_TRUE(dialogs.Boxes().empty());
}

// The editor's write-once estimate shares the run state with a run: a timed run that becomes due
// during it waits until the estimate has ended.
TEST_F(MainWindowTimerTest, ADueTimerWaitsForTheEditorsEstimate) {
    SaveStartSettings([](AppSettings& s) {
        s.TimerProject = kProject;
        s.TimerHour = 10;
        s.TimerMinute = 1;
    });
    pressRun = false;
    auto main = Start();
    main->CreateHiddenDialogs();
    main->show();

    main->Run().EstimateRunning = true;  // as while the editor's Check All runs
    main->timerGB->TimeractiveCB->click();
    ASSERT_TRUE(PumpUntil([&] { return main->scheduler->TimedRunWaiting(); }, 15000));
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(records.empty());

    main->Run().EstimateRunning = false;
    ASSERT_TRUE(PumpUntil([&] { return !records.empty(); }, 15000));
    EXPECT_TRUE(records[0].startedByItself);
    EXPECT_EQ(main->History().Rows()[0].subItems[1], "Timer");
}

TEST_F(MainWindowTimerTest, OnlyAStartWithoutProjectOrModeWordSwitchesTheTimerOn) {
    struct Case {
        Args args;
        bool activate;
        bool armed;
    };
    const std::vector<Case> cases = {
        {{}, true, true},
        {{}, false, false},
        {{kProject, "-saferun"}, true, false},
        {{kProject}, true, false},
        {{"", "-qrun"}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.args.size() << " arguments, activate " << c.activate);
        SaveStartSettings([&](AppSettings& s) {
            s.TimerActivate = c.activate;
            s.TimerProject = kProject;
            s.TimerHour = 23;
            s.TimerMinute = 30;
            s.LaunchRun = true;
        });
        records.clear();
        pressRun = false;
        auto main = Start(c.args);
        main->CreateHiddenDialogs();
        main->ActOnCommandLine();
        EXPECT_EQ(main->HandOver().TimerArmed, c.armed);
        EXPECT_EQ(main->timerGB->TimeractiveCB->isChecked(), c.armed);
        EXPECT_EQ(main->scheduler->Timer1Running(), c.armed);
        EXPECT_EQ(RunCommandsEnabled(*main), !c.armed);
        EXPECT_EQ(records.size(), c.args.empty() || c.args[0].empty() ? 0u : 1u);
        if (c.armed) {
            EXPECT_EQ(main->StatusText(), "Timer active");
            EXPECT_EQ(main->scheduler->Timer1Interval(), (13 * 3600 + 29 * 60 + 1) * 1000);
        }
    }
}

TEST_F(MainWindowTimerTest, TheTimerMenuCommandEditsTheSettingsThroughItsDialog) {
    auto main = Start();
    main->CreateHiddenDialogs();
    main->show();
    ASSERT_NE(main->TimerF, nullptr);
    EXPECT_TRUE(main->TimerMI->isEnabled());
    QTimer::singleShot(0, main->TimerF, [&] {
        TTimerF& dialog = *main->TimerF;
        dialog.TimerprojE->setText(QString::fromUtf8(kProject));
        dialog.timerhE->setValue(7);
        dialog.TimermE->setValue(45);
        dialog.timershowCB->setChecked(true);
        dialog.TimersaveB->click();
        if (dialog.isVisible())
            dialog.reject();  // never hang a test
    });
    main->TimerMI->trigger();
    EXPECT_EQ(main->Settings().TimerProject, kProject);
    EXPECT_EQ(main->Settings().TimerHour, 7);
    EXPECT_EQ(main->Settings().TimerMinute, 45);
    EXPECT_TRUE(main->timerGB->isVisibleTo(main.get()));
    EXPECT_EQ(main->timesetL->text().toStdString(), "07:45");
    EXPECT_EQ(main->StatusText(), "Timer options ok");
    EXPECT_TRUE(dialogs.Shown(BoxType::Warning,
                              "Timer not active yet. If you changed the time then the changes "
                              "have no immediate effect!"));
}

// An ESC held down in the run window closes it; the repeats that follow reach the main window
// once the run window has gone, and must not end the program.
TEST_F(MainWindowTest, TheEscapeThatClosesTheRunWindowDoesNotEndTheProgram) {
    const auto escape = [](QWidget* target, QEvent::Type type, quint64 at, bool repeat) {
        QKeyEvent key(type, Qt::Key_Escape, Qt::NoModifier, QString(), repeat);
        key.setTimestamp(at);
        QApplication::sendEvent(target, &key);
    };
    struct Case {
        const char* name;
        // What reaches the main window after the run window closed on a press at time 1000.
        std::function<void(TMainF&)> after;
        bool ends;
    };
    const std::vector<Case> cases = {
        {"a repeat marked as one",
         [&](TMainF& m) { escape(m.BackI, QEvent::KeyPress, 1600, true); }, false},
        {"a release and a press at the same instant",
         [&](TMainF& m) {
             escape(m.BackI, QEvent::KeyRelease, 1600, false);
             escape(m.BackI, QEvent::KeyPress, 1600, false);
         },
         false},
        {"presses without a release",
         [&](TMainF& m) { escape(m.BackI, QEvent::KeyPress, 1600, false); }, false},
        {"the key released, then pressed again in the main window",
         [&](TMainF& m) {
             escape(m.BackI, QEvent::KeyRelease, 1100, false);
             escape(m.BackI, QEvent::KeyPress, 1900, false);
         },
         true},
        {"held, released, pressed again",
         [&](TMainF& m) {
             escape(m.BackI, QEvent::KeyRelease, 1600, false);
             escape(m.BackI, QEvent::KeyPress, 1600, false);
             escape(m.BackI, QEvent::KeyRelease, 1700, false);
             escape(m.BackI, QEvent::KeyPress, 2500, false);
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto main = Start();
        main->show();
        bool closedByEscape = false;
        main->SetRunWindowHook([&](TRunF& window) {
            QTimer::singleShot(0, &window, [&] {
                escape(window.RunB, QEvent::KeyPress, 1000, false);
                closedByEscape = !window.isVisible();
                if (window.isVisible())
                    window.reject();  // never hang a test
            });
        });
        main->openrunform(kProject);
        EXPECT_TRUE(closedByEscape);
        EXPECT_FALSE(main->EndRequested());

        c.after(*main);
        EXPECT_EQ(main->EndRequested(), c.ends);
    }
}

}  // namespace
}  // namespace vlm
