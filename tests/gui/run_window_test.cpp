#include "runwindow/run_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableView>
#include <QTextBlock>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/qt_dialogs.h"
#include "app/recent_projects.h"
#include "core/run_history.h"
#include "dialogs/run_history_overview.h"
#include "gui/qt_test_app.h"
#include "gui/run_window_test_helpers.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kStopQuestion = "You really want to stop the execution of the project";
constexpr const char* kEmergencyLine =
    "Emergency stop executed by user... project not completely finished!!";

std::vector<std::string> MemoLines(const TRunF& window) {
    std::vector<std::string> lines;
    const QTextDocument* document = window.RunM->document();
    if (document->isEmpty())
        return lines;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        lines.push_back(block.text().toStdString());
    return lines;
}

class RunWindowTest : public ::testing::Test {
protected:
    RunWindowTest() : window(run, handOver, "c:\\logs", &mainWindow) {
        // Nothing may reach a log file from these tests.
        window.SetLogToFile(false);
        window.Fill("Running: p", {"c:\\a", "c:\\b"},
                    {"e:\\VLMcopy_drive_c\\a", "e:\\VLMcopy_drive_c\\b"}, "c:\\p.vlm");
    }

    void PressEscapeOn(QWidget* target) { test::PressKey(target, Qt::Key_Escape); }

    test::WithQtApplication app;
    QWidget mainWindow;
    RunState run;
    HandOverState handOver;
    TRunF window;
};

TEST_F(RunWindowTest, OpensWithTheCaptionsStatesAndColoursOfANewWindow) {
    EXPECT_EQ(window.windowTitle().toStdString(), "Running: p");
    EXPECT_EQ(window.RunB->text().toStdString(), "&Run");
    EXPECT_TRUE(window.RunB->isEnabled());
    EXPECT_EQ(window.cancelB->text().toStdString(), "&Cancel");
    EXPECT_EQ(window.LogCB->text().toStdString(), "&Log File");
    EXPECT_EQ(window.RadioB1->text().toStdString(), "N&one");
    EXPECT_EQ(window.RadioB2->text().toStdString(), "&Normal");
    EXPECT_EQ(window.RadioB3->text().toStdString(), "E&xtended");
    EXPECT_EQ(window.Level(), LogLevel::Normal);
    EXPECT_TRUE(window.RunM->isReadOnly());
    EXPECT_EQ(window.minimumWidth(), 582);
    EXPECT_FALSE(run.RunActive);

    struct Heading {
        QLabel* label;
        const char* text;
        QColor colour;
    };
    for (const Heading& h : {Heading{window.sourceL, "Source", QColor(0, 170, 100)},
                             Heading{window.destL, "Destination", QColor(170, 0, 0)},
                             Heading{window.repL, "Report", QColor(0, 0, 170)}}) {
        SCOPED_TRACE(h.text);
        EXPECT_EQ(h.label->text().toStdString(), h.text);
        EXPECT_EQ(h.label->palette().color(QPalette::WindowText), h.colour);
    }
    EXPECT_EQ(window.SourceItems(), (Lines{"c:\\a", "c:\\b"}));
    EXPECT_EQ(window.DestinationPaths(),
              (Lines{"e:\\VLMcopy_drive_c\\a", "e:\\VLMcopy_drive_c\\b"}));
    EXPECT_EQ(window.ProjectPath(), "c:\\p.vlm");
    EXPECT_TRUE(window.vlmfnL->isHidden());
}

TEST_F(RunWindowTest, TheMemoKeepsTheLastHundredLines) {
    struct Case {
        int appended;
        std::string first;
        std::string last;
        std::size_t count;
    };
    for (const Case& c :
         {Case{3, "line 1", "line 3", 3}, Case{100, "line 1", "line 100", 100},
          Case{101, "line 2", "line 101", 100}, Case{1000, "line 901", "line 1000", 100}}) {
        SCOPED_TRACE(c.appended);
        window.RunM->clear();
        for (int i = 1; i <= c.appended; ++i)
            window.AppendReportLine("line " + std::to_string(i));
        const auto lines = MemoLines(window);
        ASSERT_EQ(lines.size(), c.count);
        EXPECT_EQ(lines.front(), c.first);
        EXPECT_EQ(lines.back(), c.last);
    }
}

TEST_F(RunWindowTest, CancelOrEscapeBeforeARunClosesWithoutAQuestion) {
    struct Case {
        const char* name;
        std::function<void(TRunF&)> press;
    };
    const std::vector<Case> cases = {
        {"Cancel", [](TRunF& w) { w.cancelB->click(); }},
        {"ESC on the source list", [this](TRunF& w) { PressEscapeOn(w.srcLB); }},
        {"ESC on the memo", [this](TRunF& w) { PressEscapeOn(w.RunM); }},
        {"ESC on the window", [this](TRunF& w) { PressEscapeOn(&w); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedDialogs dialogs;  // any question fails the test
        TRunF fresh(run, handOver, "c:\\logs", &mainWindow);
        fresh.show();
        test::PressKey(fresh.srcLB, Qt::Key_Down);  // a key that is not ESC changes nothing
        EXPECT_TRUE(fresh.isVisible());
        c.press(fresh);
        EXPECT_FALSE(fresh.isVisible());
        EXPECT_EQ(fresh.result(), QDialog::Accepted);
        EXPECT_TRUE(dialogs.Boxes().empty());
    }
}

TEST_F(RunWindowTest, TheStopQuestionDuringARunActsOnlyOnYes) {
    struct Case {
        Answer answer;
        bool stops;
    };
    for (const Case& c :
         {Case{Answer::Yes, true}, Case{Answer::No, false}, Case{Answer::Cancel, false}}) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        ScriptedDialogs dialogs;
        dialogs.ExpectQuestion(BoxType::Warning, kStopQuestion, c.answer);
        run = RunState{};
        TRunF fresh(run, handOver, "c:\\logs", &mainWindow);
        fresh.SetLogToFile(false);
        bool stillRunningAfterPress = false;
        fresh.SetRunFunction([&](TRunF& view, const std::string&, RunStart) {
            run.RunActive = true;
            view.SetRunEnabled(false);
            view.AppendReportLine("working");
            PressEscapeOn(view.srcLB);
            stillRunningAfterPress = run.RunActive;
        });
        fresh.show();
        fresh.RunB->click();

        EXPECT_EQ(run.StopRequested, c.stops);
        EXPECT_EQ(stillRunningAfterPress, !c.stops);
        EXPECT_TRUE(fresh.isVisible()) << "the question never closes the window";
        ASSERT_EQ(dialogs.Boxes().size(), 1u);
        EXPECT_EQ(dialogs.Boxes()[0].buttons, Buttons::YesNoCancel);
        const auto lines = MemoLines(fresh);
        EXPECT_EQ(lines.back(), c.stops ? kEmergencyLine : "working");
    }
}

TEST_F(RunWindowTest, AfterAFatalEndingTheFirstCancelAsksAndTheNextCloses) {
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion(BoxType::Warning, kStopQuestion, Answer::Yes);
    // A run that ended without its finishing step leaves the window running.
    window.SetRunFunction([&](TRunF& view, const std::string&, RunStart) {
        run.RunActive = true;
        view.SetRunEnabled(false);
    });
    window.show();
    window.RunB->click();
    ASSERT_TRUE(run.RunActive);

    window.cancelB->click();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(run.RunActive);
    EXPECT_TRUE(run.StopRequested);

    window.cancelB->click();
    EXPECT_FALSE(window.isVisible());
}

TEST_F(RunWindowTest, ARequestedRunStartsByItselfOnceAndClearsBothRequests) {
    ScriptedDialogs dialogs;
    struct Case {
        bool timer, quick;
    };
    for (const Case& c : {Case{false, true}, Case{true, false}, Case{true, true}}) {
        SCOPED_TRACE(std::to_string(c.timer) + std::to_string(c.quick));
        handOver.TimerRunRequested = c.timer;
        handOver.QuickRunRequested = c.quick;
        handOver.EditorOpen = true;
        TRunF fresh(run, handOver, "c:\\logs", &mainWindow);
        std::vector<RunStart> starts;
        std::string startedPath;
        fresh.Fill("Running: p", {}, {}, "c:\\p.vlm");
        fresh.SetRunFunction([&](TRunF&, const std::string& path, RunStart start) {
            starts.push_back(start);
            startedPath = path;
        });
        fresh.show();
        fresh.activateWindow();
        ASSERT_TRUE(test::WaitFor([&] { return !starts.empty(); }, 5000));
        // Later activations start nothing.
        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&fresh, &activate);
        test::Wait(20);

        ASSERT_EQ(starts.size(), 1u);
        EXPECT_EQ(starts[0].timerRun, c.timer);
        EXPECT_EQ(starts[0].quickRun, c.quick);
        EXPECT_EQ(startedPath, "c:\\p.vlm");
        EXPECT_FALSE(handOver.TimerRunRequested);
        EXPECT_FALSE(handOver.QuickRunRequested);
        EXPECT_FALSE(handOver.EditorOpen);
    }
}

TEST_F(RunWindowTest, WithoutARequestTheWindowWaitsForRun) {
    int runs = 0;
    window.SetRunFunction([&](TRunF&, const std::string&, RunStart start) {
        ++runs;
        EXPECT_FALSE(start.quickRun);
        EXPECT_FALSE(start.timerRun);
    });
    window.show();
    window.activateWindow();
    test::Wait(50);
    EXPECT_EQ(runs, 0);
    window.RunB->click();
    EXPECT_EQ(runs, 1);
}

TEST_F(RunWindowTest, TheCloseBoxDuringARunShowsTheMainWindowAndClosesWhenTheRunEnds) {
    ScriptedDialogs dialogs;  // the close box asks nothing
    bool visibleAfterCloseBox = false;
    bool mainShownAfterCloseBox = false;
    window.SetRunFunction([&](TRunF& view, const std::string&, RunStart) {
        run.RunActive = true;
        view.close();
        visibleAfterCloseBox = view.isVisible();
        mainShownAfterCloseBox = mainWindow.isVisible();
        EXPECT_FALSE(run.StopRequested) << "the close box does not stop the run";
        run.RunActive = false;
    });
    handOver.TimerRunRequested = true;  // cleared by the closing, as a closed window's are
    mainWindow.show();
    window.show();
    EXPECT_FALSE(mainWindow.isVisible()) << "the main window steps aside for the run window";
    // The timer request starts the run; run it to its end.
    ASSERT_TRUE(test::WaitFor([&] { return !window.isVisible(); }, 5000));
    EXPECT_TRUE(visibleAfterCloseBox);
    EXPECT_TRUE(mainShownAfterCloseBox);
    EXPECT_FALSE(handOver.TimerRunRequested);
}

TEST_F(RunWindowTest, MinimizingShowsTheMainWindowAndRestoringHidesIt) {
    mainWindow.show();
    window.show();
    EXPECT_FALSE(mainWindow.isVisible());
    window.setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(mainWindow.isVisible());
    window.setWindowState(Qt::WindowMaximized);
    EXPECT_FALSE(mainWindow.isVisible());
    window.cancelB->click();
    EXPECT_TRUE(mainWindow.isVisible());
}

TEST_F(RunWindowTest, ClickingLogFileNamesTheLogOrClearsTheStatus) {
    window.show();
    window.LogCB->click();  // checked again
    EXPECT_EQ(window.StatusBar1->currentMessage().toStdString(),
              "Logfile: c:\\logs\\Vlmlogtmp.txt");
    window.LogCB->click();
    EXPECT_EQ(window.StatusBar1->currentMessage().toStdString(), "");
}

TEST_F(RunWindowTest, AnErrorEscapingTheRunIsShownAndTheWindowStays) {
    ScriptedDialogs dialogs;
    window.SetRunFunction([&](TRunF&, const std::string&, RunStart) {
        throw std::runtime_error("Cannot write file \"e:\\x\". Disk full");
    });
    window.show();
    window.RunB->click();
    EXPECT_TRUE(dialogs.Shown(BoxType::Error, "Cannot write file \"e:\\x\". Disk full"));
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(window.RunInProgress());
}

TEST_F(RunWindowTest, TheEngineSeesWhatThePersonChose) {
    window.RadioB3->click();
    EXPECT_EQ(window.Level(), LogLevel::Extended);
    window.SetLevel(LogLevel::None);
    EXPECT_TRUE(window.RadioB1->isChecked());
    window.SelectItem(1);
    EXPECT_EQ(window.srcLB->currentRow(), 1);
    EXPECT_EQ(window.destLB->currentRow(), 1);
    window.SetCancelButton(true, "&Close", true);
    EXPECT_EQ(window.cancelB->text().toStdString(), "&Close");
}

// A name that holds stand-ins reads the same in every window and box: with the characters they
// stand for, except a control character's, whose stand-in stays so that no line breaks. What
// the program reads back is the name as it keeps it.
TEST(ShownNamesTest, ANameReadsTheSameEverywhereAndIsKeptAsItIs) {
    test::WithQtApplication app;
    test::TempDrives drives{"c"};
    const std::string lineBreak = "\xEF\x80\x8A";  // U+F00A
    const std::string kept =
        "c:\\a\xEF\x80\xBA"
        "b" +
        lineBreak + "c.vlm";  // U+F03A, ':'
    const QString shown = QString::fromStdString("c:\\a:b" + lineBreak + "c.vlm");

    QWidget mainWindow;
    RunState run;
    HandOverState handOver;
    TRunF window(run, handOver, "c:\\logs", &mainWindow);
    window.SetLogToFile(false);
    window.Fill(kept, {kept}, {kept}, kept);
    window.AppendReportLine(kept);
    window.FlushReport();
    EXPECT_EQ(window.windowTitle(), shown);
    EXPECT_EQ(window.srcLB->item(0)->text(), shown);
    EXPECT_EQ(window.destLB->item(0)->text(), shown);
    EXPECT_EQ(QString::fromStdString(MemoLines(window).back()), shown);
    EXPECT_EQ(window.SourceItems(), std::vector<std::string>{kept});
    EXPECT_EQ(window.DestinationPaths(), std::vector<std::string>{kept});
    EXPECT_EQ(window.ProjectPath(), kept);

    RunHistory history;
    ASSERT_EQ(history.StartHistoryEntry(DrivePath("c:\\runoverview.his"), kept, "t", "Normal", 256),
              "");
    TrunhisoverviewF overview{history};
    const QModelIndex caption = overview.runhisLVRT()->model()->index(0, 0);
    EXPECT_EQ(caption.data(Qt::DisplayRole).toString(), shown);
    EXPECT_EQ(caption.data(Qt::EditRole).toString().toStdString(), kept);

    EXPECT_EQ(PlainMenuCaption(kept), shown);

    QString boxText;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(10);
    QtDialogs().Show(BoxType::Error, Buttons::Ok, "Fatal error: Item " + kept);
    EXPECT_EQ(boxText, "Fatal error: Item " + shown);
}

}  // namespace
}  // namespace vlm
