#include "dialogs/run_history_overview.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QScreen>
#include <QTableView>
#include <algorithm>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ReadFile;
using test::TempDrives;
using test::WriteFile;

constexpr const char* kHistoryPath = "c:\\prog\\runoverview.his";

class RunHistoryOverviewTest : public ::testing::Test {
protected:
    RunHistoryOverviewTest() { test::MakeDir(drives.Host("c:\\prog")); }

    std::string HistoryHost() const { return drives.Host(kHistoryPath); }

    // The five cells of a row as the table shows them.
    std::vector<std::string> Shown(int row) const {
        std::vector<std::string> cells;
        const QAbstractItemModel* model = window.runhisLVRT()->model();
        for (int column = 0; column < model->columnCount(); ++column)
            cells.push_back(model->index(row, column).data().toString().toStdString());
        return cells;
    }
    void Select(int row) {
        QTableView* view = window.runhisLVRT();
        view->selectionModel()->select(
            view->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    void PressEscape(QWidget* target) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    }

    test::WithQtApplication qt;
    TempDrives drives{"c"};
    ScriptedDialogs dialogs;
    RunHistory history;
    TrunhisoverviewF window{history};
};

TEST_F(RunHistoryOverviewTest, TheWindowIsLaidOutAsAReportList) {
    QTableView* view = window.runhisLVRT();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Run history - Overview"));
    // Above its parent only, never above the run window, the editor or a box.
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.windowType(), Qt::Tool);
    EXPECT_TRUE(window.isWindow());
    ASSERT_EQ(view->model()->columnCount(), 5);
    std::vector<std::string> captions;
    std::vector<int> widths;
    for (int column = 0; column < 5; ++column) {
        captions.push_back(
            view->model()->headerData(column, Qt::Horizontal).toString().toStdString());
        widths.push_back(view->columnWidth(column));
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"Project", "When started", "How started",
                                                  "Duration", "Success"}));
    EXPECT_EQ(widths, (std::vector<int>{350, 200, 75, 100, 100}));
    EXPECT_TRUE(view->showGrid());
    EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_FALSE(view->isSortingEnabled());
    EXPECT_FALSE(view->horizontalHeader()->sectionsClickable());

    std::vector<std::string> commands;
    for (const QAction* action : window.edit_or_run_fromhis()->actions())
        commands.push_back(action->text().toStdString());
    EXPECT_EQ(commands, (std::vector<std::string>{"&Edit", "&Run", "Show re&port"}));
}

// The offscreen screen (800 by 600) is narrower than the designed 841 points, as a 1600-pixel
// screen is at 200 % scaling.
TEST_F(RunHistoryOverviewTest, TheWindowNeverStartsLargerThanItsScreen) {
    ASSERT_NE(window.screen(), nullptr);
    const QSize available = window.screen()->availableGeometry().size();
    EXPECT_LE(window.width(), available.width());
    EXPECT_LE(window.height(), available.height());
    EXPECT_EQ(window.width(), std::min(841, available.width()));
}

TEST_F(RunHistoryOverviewTest, StartFillsShortRowsAndWritesTheFileBack) {
    WriteFile(HistoryHost(),
              "c:\\p\\new.vlm|07.12.2026 09:00:00|Timer|0:0:2.5|OK|\r\n"
              "c:\\p\\open.vlm|06.12.2026 15:45:15|Normal|\r\n"
              "a|b|c\r\n"
              "c:\\p\\long.vlm|d|Shortcut|0:0:1|OK|extra|\r\n");

    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));

    ASSERT_EQ(window.runhisLVRT()->model()->rowCount(), 4);
    EXPECT_EQ(Shown(0), (std::vector<std::string>{"c:\\p\\new.vlm", "07.12.2026 09:00:00", "Timer",
                                                  "0:0:2.5", "OK"}));
    EXPECT_EQ(Shown(1), (std::vector<std::string>{"c:\\p\\open.vlm", "06.12.2026 15:45:15",
                                                  "Normal", "", "Error"}));
    EXPECT_EQ(Shown(2), (std::vector<std::string>{"a", "b", "", "", "Error"}));
    // A sub-item beyond the fourth is kept, not shown.
    EXPECT_EQ(Shown(3),
              (std::vector<std::string>{"c:\\p\\long.vlm", "d", "Shortcut", "0:0:1", "OK"}));
    EXPECT_EQ(ReadFile(HistoryHost()),
              "c:\\p\\new.vlm|07.12.2026 09:00:00|Timer|0:0:2.5|OK|\r\n"
              "c:\\p\\open.vlm|06.12.2026 15:45:15|Normal||Error|\r\n"
              "a|b|||Error|\r\n"
              "c:\\p\\long.vlm|d|Shortcut|0:0:1|OK|extra|\r\n");
    EXPECT_TRUE((dialogs.Texts()).empty());
}

TEST_F(RunHistoryOverviewTest, StartWithoutAFileShowsAnEmptyListAndWritesNothing) {
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));

    EXPECT_EQ(window.runhisLVRT()->model()->rowCount(), 0);
    EXPECT_FALSE(test::Exists(HistoryHost()));
}

TEST_F(RunHistoryOverviewTest, ARunStartedWhileHiddenIsAtTheTopWhenShownAgain) {
    WriteFile(HistoryHost(), "c:\\p\\old.vlm|d|Normal|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));

    history.StartHistoryEntry(DrivePath(kHistoryPath), "c:\\p\\new.vlm", "now", "Normal", 256);
    ASSERT_EQ(window.runhisLVRT()->model()->rowCount(), 2);
    EXPECT_EQ(Shown(0), (std::vector<std::string>{"c:\\p\\new.vlm", "now", "Normal", "", ""}));

    history.EndHistoryEntry(DrivePath(kHistoryPath), "0:0:3", "OK");
    EXPECT_EQ(Shown(0),
              (std::vector<std::string>{"c:\\p\\new.vlm", "now", "Normal", "0:0:3", "OK"}));
}

// Another process (velmora-run started by a schedule) replaces the file by a rename: its row
// appears, open and then complete, without a restart, whether or not there was a file at start.
TEST_F(RunHistoryOverviewTest, AnotherProcesssRowsAppearWithoutARestart) {
    for (const char* folder : {"c:\\had", "c:\\new"}) {
        SCOPED_TRACE(folder);
        const std::string path = std::string(folder) + "\\runoverview.his";
        test::MakeDir(drives.Host(folder));
        if (folder == std::string("c:\\had"))
            WriteFile(drives.Host(path), "c:\\p\\old.vlm|d|Normal|0:0:1|OK|\r\n");
        RunHistory shownRows;
        TrunhisoverviewF shown(shownRows);
        shownRows.StartupLoad(DrivePath(path), 256);
        shown.FormCreate(DrivePath(path));
        RunHistory other;
        for (const char* success : {"", "Error"}) {
            if (*success == 0)
                other.StartHistoryEntry(DrivePath(path), "c:\\p\\night.vlm", "now", "Timer", 256);
            else
                other.EndHistoryEntry(DrivePath(path), "0:0:3", success);
            QElapsedTimer waited;
            waited.start();
            while (shownRows.Rows() != other.Rows() && waited.elapsed() < 5000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            EXPECT_EQ(shownRows.Rows(), other.Rows());
            EXPECT_EQ(shown.runhisLVRT()->model()->index(0, 4).data().toString(), success);
        }
    }
}

// The overview at start: beside the main window when there is room, else below, else in the
// screen's corner; inside the screen and never over the main window's title or menu bar.
TEST(RunHistoryPlacementTest, TheOverviewLeavesTheMainWindowsTitleAndMenuFree) {
    const QRect usual(0, 0, 1280, 870), wide(0, 0, 2560, 1400), small(0, 30, 800, 570);
    const struct {
        QRect screen, main;
        QPoint at;  // the overview's top left; (-1, -1): in the screen's lower right corner
    } cases[] = {
        {wide, {100, 100, 1032, 742}, {1132, 100}}, {wide, {1600, 100, 900, 742}, {749, 100}},
        {usual, {0, 0, 1280, 300}, {0, 300}},       {usual, usual, {-1, -1}},
        {usual, {130, 130, 1032, 742}, {-1, -1}},   {small, small, {-1, -1}},
        {usual, {-200, 500, 1500, 600}, {-1, -1}},
    };
    const QSize wanted = TrunhisoverviewF::kDesignedSize + QSize(10, 30);
    for (const auto& c : cases) {
        const QRect titleAndMenu(c.main.topLeft(), QSize(c.main.width(), 60));
        const QRect placed = RunHistoryPlacement(c.main, titleAndMenu.bottom(), wanted, c.screen);
        SCOPED_TRACE(testing::Message() << placed.x() << "," << placed.y());
        EXPECT_TRUE(c.screen.contains(placed) && !placed.intersects(titleAndMenu));
        EXPECT_EQ(c.at.x() < 0 ? placed.bottomRight() : placed.topLeft(),
                  c.at.x() < 0 ? c.screen.bottomRight() : c.at);
        EXPECT_GE(placed.height(), 300);
    }
}

TEST_F(RunHistoryOverviewTest, RunAndEditHideTheWindowAndAskForTheSelectedProject) {
    WriteFile(HistoryHost(),
              "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\nc:\\p\\b.vlm|d|Normal|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));
    std::vector<std::string> runs, edits;
    bool visibleWhenAsked = true;
    QObject::connect(&window, &TrunhisoverviewF::runRequested, [&](const QString& path) {
        visibleWhenAsked = window.isVisible();
        runs.push_back(path.toStdString());
    });
    QObject::connect(&window, &TrunhisoverviewF::editRequested,
                     [&](const QString& path) { edits.push_back(path.toStdString()); });

    window.show();
    Select(1);
    window.edit_or_run_fromhis()->actions()[1]->trigger();
    EXPECT_EQ(runs, (std::vector<std::string>{"c:\\p\\b.vlm"}));
    EXPECT_FALSE(visibleWhenAsked);  // the run window is not covered by the overview
    EXPECT_FALSE(window.isVisible());

    window.show();
    Select(0);
    window.edit_or_run_fromhis()->actions()[0]->trigger();
    EXPECT_EQ(edits, (std::vector<std::string>{"c:\\p\\a.vlm"}));
    EXPECT_FALSE(window.isVisible());
}

TEST_F(RunHistoryOverviewTest, WithoutASelectedRowTheCommandsDoNothing) {
    WriteFile(HistoryHost(), "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));
    int requests = 0;
    QObject::connect(&window, &TrunhisoverviewF::runRequested, [&] { ++requests; });
    QObject::connect(&window, &TrunhisoverviewF::editRequested, [&] { ++requests; });
    window.show();
    window.runhisLVRT()->clearSelection();

    window.Run1Click();
    window.Edit1Click();

    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(window.isVisible());
}

TEST_F(RunHistoryOverviewTest, AnEditedProjectPathIsOpenedAndSaved) {
    WriteFile(HistoryHost(),
              "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\nc:\\p\\b.vlm|d|Normal|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));
    QAbstractItemModel* model = window.runhisLVRT()->model();
    EXPECT_TRUE(model->flags(model->index(1, 0)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model->flags(model->index(1, 1)).testFlag(Qt::ItemIsEditable));
    EXPECT_FALSE(model->setData(model->index(1, 4), QStringLiteral("Fine")));
    std::vector<std::string> runs;
    QObject::connect(&window, &TrunhisoverviewF::runRequested,
                     [&](const QString& path) { runs.push_back(path.toStdString()); });
    Select(1);

    ASSERT_TRUE(model->setData(model->index(1, 0), QStringLiteral("c:\\p\\renamed.vlm")));
    window.Run1Click();

    EXPECT_EQ(runs, (std::vector<std::string>{"c:\\p\\renamed.vlm"}));
    EXPECT_EQ(history.Rows()[1].caption, "c:\\p\\renamed.vlm");
    EXPECT_EQ(history.Rows()[1].subItems[3], "OK");
    EXPECT_EQ(ReadFile(HistoryHost()),
              "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\nc:\\p\\renamed.vlm|d|Normal|0:0:1|OK|\r\n");
}

// Another process (velmora-run, a second program) adds a row while the table is shown: the
// edit finds its row in the file by what it holds, and the table then shows the new row too.
TEST_F(RunHistoryOverviewTest, AnEditLandsOnItsRowAndBringsOtherProcessesRows) {
    WriteFile(HistoryHost(),
              "c:\\p\\a.vlm|d1|Normal|0:0:1|OK|\r\nc:\\p\\a.vlm|d2|Timer|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));
    RunHistory otherProcess;
    ASSERT_EQ(otherProcess.StartHistoryEntry(DrivePath(kHistoryPath), "c:\\p\\new.vlm", "d3",
                                             "Shortcut", 256),
              "");
    QAbstractItemModel* model = window.runhisLVRT()->model();
    ASSERT_EQ(model->rowCount(), 2);

    ASSERT_TRUE(model->setData(model->index(1, 0), QStringLiteral("c:\\p\\b.vlm")));

    EXPECT_EQ(ReadFile(HistoryHost()),
              "c:\\p\\new.vlm|d3|Shortcut|\r\nc:\\p\\a.vlm|d1|Normal|0:0:1|OK|\r\n"
              "c:\\p\\b.vlm|d2|Timer|0:0:1|OK|\r\n");
    ASSERT_EQ(model->rowCount(), 3);
    EXPECT_EQ(Shown(0), (std::vector<std::string>{"c:\\p\\new.vlm", "d3", "Shortcut", "", ""}));
    EXPECT_EQ(Shown(2), (std::vector<std::string>{"c:\\p\\b.vlm", "d2", "Timer", "0:0:1", "OK"}));
}

TEST_F(RunHistoryOverviewTest, EscapeHidesTheWindowAndKeepsItsRows) {
    WriteFile(HistoryHost(), "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\n");
    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));

    for (QWidget* target :
         {static_cast<QWidget*>(window.runhisLVRT()), static_cast<QWidget*>(&window)}) {
        window.show();
        ASSERT_TRUE(window.isVisible());
        PressEscape(target);
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_EQ(window.runhisLVRT()->model()->rowCount(), 1);
}

TEST_F(RunHistoryOverviewTest, AHistoryFileThatCannotBeReadIsReported) {
    WriteFile(HistoryHost(), "c:\\p\\a.vlm|d|Normal|0:0:1|OK|\r\n", std::nullopt, 0000);
    if (access(HistoryHost().c_str(), R_OK) == 0)
        GTEST_SKIP() << "the permission bits do not keep this user from reading";

    history.StartupLoad(DrivePath(kHistoryPath), 256);
    window.FormCreate(DrivePath(kHistoryPath));

    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_EQ(window.runhisLVRT()->model()->rowCount(), 0);
}

}  // namespace
}  // namespace vlm
