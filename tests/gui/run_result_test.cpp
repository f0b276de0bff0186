// The end of a run read at a glance: the result above the report, the report at its summary, a
// way to the first error; and a history row's kept report opened from the overview.

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTextBlock>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "core/run_reports.h"
#include "dialogs/run_history_overview.h"
#include "gui/qt_test_app.h"
#include "runwindow/run_window.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// Whether the memo's view shows the line `text`.
bool InView(const TRunF& window, const std::string& text) {
    const QTextBlock block = window.RunM->document()->find(QString::fromStdString(text)).block();
    const QScrollBar* bar = window.RunM->verticalScrollBar();
    return block.isValid() && block.blockNumber() >= bar->value() &&
           block.blockNumber() < bar->value() + bar->pageStep();
}

TEST(RunResult, TheRunWindowEndsWithItsResultAboveTheSummary) {
    struct Case {
        const char* what;
        int linesBefore;  // ordinary lines before the error (the memo keeps 100 lines)
        bool error;
        const char* result;
        const char* shown;
        bool boxOnJump;  // the first error has left the memo: a box names it
    };
    const Case cases[] = {
        {"ok", 300, false, "OK", "Result: OK", false},
        {"error in view", 10, true, "Error", "Result: Error \u2014 2 error lines", false},
        {"error scrolled out", 10, true, "Error", "Result: Error \u2014 2 error lines", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::WithQtApplication app;
        ScriptedDialogs dialogs;
        RunState run;
        HandOverState handOver;
        TRunF window(run, handOver, "c:\\logs", nullptr);
        window.SetLogToFile(false);
        window.Fill("Running: p", {"c:\\a"}, {"e:\\VLMcopy_drive_c\\a"}, "c:\\p.vlm");
        window.SetRunFunction([&](TRunF& w, const std::string&, RunStart) {
            for (int i = 0; i < c.linesBefore; ++i)
                w.AppendReportLine("Created file: c:\\a\\" + std::to_string(i));
            if (c.error) {
                w.AppendReportLine("ERROR: the first");
                w.AppendReportLine("ERROR: the second");
            }
            for (int i = 0; i < (c.boxOnJump ? 200 : 20); ++i)
                w.AppendReportLine("Created file: c:\\a\\late" + std::to_string(i));
            // The person scrolled up meanwhile: the memo no longer follows its end.
            w.FlushReport();
            w.RunM->verticalScrollBar()->setValue(0);
            w.AppendReportLine("Summary: files copied: 3 (new: 3, replaced: 0)");
            w.AppendReportLine("Summary: errors: " + std::string(c.error ? "2" : "0"));
            w.AppendReportLine("End time: now");
            w.ShowResult(c.result, c.error ? 2 : 0);
        });
        window.show();
        window.RunBClick();
        EXPECT_TRUE(window.ResultL->isVisible());
        EXPECT_EQ(window.ResultL->text().toStdString(), c.shown);
        EXPECT_TRUE(InView(window, "Summary: files copied: 3 (new: 3, replaced: 0)"));
        EXPECT_TRUE(InView(window, "End time: now"));
        EXPECT_EQ(window.FirstErrorB->isVisible(), c.error);
        if (!c.error)
            continue;
        window.FirstErrorB->click();
        if (c.boxOnJump) {
            ASSERT_EQ(dialogs.Boxes().size(), 1u);
            EXPECT_NE(dialogs.Texts()[0].find("ERROR: the first"), std::string::npos);
        } else {
            EXPECT_TRUE(dialogs.Boxes().empty());
            EXPECT_EQ(window.RunM->textCursor().block().text().toStdString(), "ERROR: the first");
            EXPECT_TRUE(InView(window, "ERROR: the first"));
        }
    }
}

TEST(RunResult, AHistoryRowsMenuOpensItsKeptReport) {
    test::WithQtApplication app;
    ScriptedDialogs dialogs;
    test::TempDrives drives{"c"};
    const DrivePath historyPath("c:\\prog\\runoverview.his");
    test::WriteFile(drives.Host(historyPath.Text()),
                    "c:\\p\\a.vlm|08.12.2026 10:00:00|Timer|0:0:1|Error|\r\n"
                    "c:\\p\\b.vlm|08.12.2026 09:00:00|Normal|0:0:1|OK|\r\n");
    RunHistory history;
    history.StartupLoad(historyPath, 256);
    ASSERT_TRUE(KeepRunReport(RunReportPath(historyPath, history.Rows()[0]),
                              {"Start time: 08.12.2026 10:00:00", "Summary: errors: 1"}));
    TrunhisoverviewF window(history);
    window.FormCreate(historyPath);
    window.show();
    const auto select = [&](int row) {
        QTableView* view = window.runhisLVRT();
        view->selectionModel()->select(
            view->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    };
    select(0);
    QAction* show = window.edit_or_run_fromhis()->actions().value(2);
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(show->text().toStdString(), "Show re&port");
    QDialog* report = window.Report1Click();
    ASSERT_NE(report, nullptr);
    const auto* text = report->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->toPlainText().toStdString(),
              "Start time: 08.12.2026 10:00:00\nSummary: errors: 1\n");
    report->close();
    // A row whose report was never kept (a run of an older version) says so.
    select(1);
    EXPECT_EQ(window.Report1Click(), nullptr);
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"No report is kept for this run."});
}

}  // namespace
}  // namespace vlm
