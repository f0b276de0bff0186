// The run window's preview, progress display and memo batching.

#include <gtest/gtest.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "gui/qt_test_app.h"
#include "gui/run_window_test_helpers.h"
#include "runwindow/preview_window.h"
#include "runwindow/run_window.h"
#include "support/scripted_dialogs.h"

namespace vlm {
namespace {

std::vector<std::string> Memo(const TRunF& window) {
    std::vector<std::string> lines;
    if (window.RunM->document()->isEmpty())
        return lines;
    for (QTextBlock b = window.RunM->document()->begin(); b.isValid(); b = b.next())
        lines.push_back(b.text().toStdString());
    return lines;
}

// Records what the memo showed when each question was asked.
class MemoAtQuestion final : public Dialogs {
public:
    explicit MemoAtQuestion(const TRunF& window) : window_(window) { SetDialogs(this); }
    ~MemoAtQuestion() override { SetDialogs(nullptr); }
    Answer Show(BoxType, Buttons, const std::string&) override {
        lastLines.push_back(Memo(window_).empty() ? "" : Memo(window_).back());
        return Answer::Yes;
    }
    std::optional<std::string> Input(const std::string&, const std::string&,
                                     const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
    std::vector<std::string> lastLines;

private:
    const TRunF& window_;
};

class RunWindowProgressTest : public ::testing::Test {
protected:
    RunWindowProgressTest() : window(run, handOver, "c:\\logs", nullptr) {
        window.SetLogToFile(false);
        window.Fill("Running: p", {"c:\\docs"}, {"e:\\VLMcopy_drive_c\\docs"}, "c:\\p.vlm");
    }

    static RunPlan SamplePlan() {
        RunPlan plan;
        plan.items.push_back(PlannedItem{"c:\\docs",
                                         "e:\\VLMcopy_drive_c\\docs",
                                         {{PlannedStepKind::NewFile, "e:\\b\\n1", 1500},
                                          {PlannedStepKind::NewFile, "e:\\b\\n2", 500},
                                          {PlannedStepKind::ChangedFile, "e:\\b\\c", 3000},
                                          {PlannedStepKind::RemoveFile, "e:\\b\\old", 10},
                                          {PlannedStepKind::Question, "Overwrite?", 0}}});
        return plan;
    }

    test::WithQtApplication app;
    RunState run;
    HandOverState handOver;
    TRunF window;
};

TEST_F(RunWindowProgressTest, ThePreviewShowsThePlanAndRunNowStartsTheRun) {
    ScriptedDialogs dialogs;  // a preview asks nothing
    int runs = 0;
    window.SetRunFunction([&](TRunF&, const std::string&, RunStart) { ++runs; });
    window.SetPreviewFunction([&](TRunF&, const std::string& path) {
        EXPECT_EQ(path, "c:\\p.vlm");
        EXPECT_FALSE(window.RunB->isEnabled());  // no run while the preview looks
        return std::optional<RunPlan>(SamplePlan());
    });
    std::string summary;
    std::vector<std::string> headings;
    window.SetPreviewHook([&](QDialog& dialog) {
        auto& preview = static_cast<PreviewWindow&>(dialog);
        summary = preview.SummaryL->text().toStdString();
        ASSERT_EQ(preview.PlanTW->topLevelItemCount(), 1);
        const QTreeWidgetItem* item = preview.PlanTW->topLevelItem(0);
        for (int i = 0; i < item->childCount(); ++i)
            headings.push_back(item->child(i)->text(0).toStdString() + " | " +
                               item->child(i)->text(1).toStdString());
        preview.RunNowB->click();
    });
    window.PreviewBClick();
    ASSERT_TRUE(test::WaitFor([&] { return runs == 1; }, 2000));

    EXPECT_EQ(summary,
              "Preview: a run would copy 3 files (2 new, 1 changed; 5.0 KB), remove 1 file and "
              "0 folders (10 bytes) and ask 1 question. Nothing has been changed.");
    EXPECT_EQ(headings, (std::vector<std::string>{
                            "Questions the run would ask, and where it would stop (1) | ",
                            "New files to copy (2) | 2.0 KB", "Changed files to copy (1) | 3.0 KB",
                            "Files to remove (1) | 10 bytes"}));
    ASSERT_FALSE(Memo(window).empty());
    EXPECT_EQ(Memo(window).back().rfind("Preview: a run would copy 3 files", 0), 0u);
    EXPECT_TRUE(window.RunB->isEnabled());
}

TEST_F(RunWindowProgressTest, AfterARunAPreviewMayLookButNotRunAgain) {
    ScriptedDialogs dialogs;
    int runs = 0;
    window.SetRunFunction([&](TRunF& view, const std::string&, RunStart) {
        ++runs;
        view.SetRunEnabled(false);  // as a run leaves the window
    });
    window.SetPreviewFunction(
        [&](TRunF&, const std::string&) { return std::optional<RunPlan>(SamplePlan()); });
    bool runNowOffered = true;
    window.SetPreviewHook([&](QDialog& dialog) {
        auto& preview = static_cast<PreviewWindow&>(dialog);
        runNowOffered = preview.RunNowB->isEnabled();
        preview.RunNowB->click();
    });
    window.RunBClick();
    window.PreviewBClick();
    test::Wait(50);
    EXPECT_FALSE(runNowOffered);
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(window.RunB->isEnabled());
}

TEST_F(RunWindowProgressTest, CancelDuringAPreviewStopsItWithoutAQuestionAndKeepsTheWindow) {
    ScriptedDialogs dialogs;  // any question fails the test
    window.show();
    bool stoppedInside = false;
    window.SetPreviewFunction([&](TRunF& view, const std::string&) {
        view.cancelBClick();
        stoppedInside = run.StopRequested;
        return std::optional<RunPlan>();
    });
    window.PreviewBClick();
    EXPECT_TRUE(stoppedInside);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.PreviewB->isEnabled());
}

TEST_F(RunWindowProgressTest, DuringARunTheMemoCatchesUpBeforeEachQuestionAndAtTheEnd) {
    MemoAtQuestion dialogs(window);
    window.SetRunFunction([&](TRunF& view, const std::string&, RunStart) {
        for (int i = 1; i <= 250; ++i)
            view.AppendReportLine("line " + std::to_string(i));
        CurrentDialogs().Show(BoxType::Confirmation, Buttons::YesNo, "Go on?");
        view.AppendReportLine("last line");
    });
    window.RunBClick();
    EXPECT_EQ(dialogs.lastLines, std::vector<std::string>{"line 250"});
    const auto memo = Memo(window);
    ASSERT_EQ(memo.size(), static_cast<std::size_t>(kMemoMaxLines));
    EXPECT_EQ(memo.front(), "line 152");
    EXPECT_EQ(memo.back(), "last line");
}

TEST_F(RunWindowProgressTest, TheBarShowsActivityUntilTheTotalsAreKnownThenTheShare) {
    struct Case {
        const char* name;
        ProgressSnapshot snapshot;
        int maximum;
        int value;
        std::string file;
        std::string text;
    };
    ProgressSnapshot counting;
    counting.filesDone = 2;
    counting.bytesDone = 2000;
    counting.currentFile = "c:\\docs\\a.txt";
    ProgressSnapshot half = counting;
    half.totalsKnown = true;
    half.filesTotal = 4;
    half.bytesTotal = 4000;
    half.bytesPerSecond = 1000;
    half.secondsLeft = 2;
    ProgressSnapshot stopped = counting;  // stopped before the count was in
    stopped.finished = true;
    stopped.currentFile.clear();
    ProgressSnapshot ended = half;
    ended.finished = true;
    ended.currentFile.clear();
    ended.filesDone = 4;
    ended.bytesDone = 4000;
    const Case cases[] = {
        {"counting", counting, 0, -1, "Copying: c:\\docs\\a.txt",
         "2 files, 2.0 KB copied (counting what there is to copy...)"},
        {"half", half, 1000, 500, "Copying: c:\\docs\\a.txt",
         "2 of 4 files, 2.0 KB of 4.0 KB copied \u00b7 1.0 KB/s \u00b7 about 2 s left"},
        {"stopped before the count", stopped, 1000, 0, "Run ended", "2 files, 2.0 KB copied"},
        {"ended", ended, 1000, 1000, "Run ended",
         "4 of 4 files, 4.0 KB of 4.0 KB copied \u00b7 1.0 KB/s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.ShowProgress(c.snapshot);
        EXPECT_FALSE(window.ProgressPB->isHidden());
        EXPECT_EQ(window.ProgressPB->maximum(), c.maximum);
        if (c.value >= 0) {
            EXPECT_EQ(window.ProgressPB->value(), c.value);
        }
        EXPECT_EQ(window.FileL->text().toStdString(), c.file);
        EXPECT_EQ(window.ProgressL->text().toStdString(), c.text);
    }
}

}  // namespace
}  // namespace vlm
