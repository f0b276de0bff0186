#pragma once
// The preview of a run: what running the project now would copy (new and changed files) and
// remove, item by item with counts and sizes, and the questions the run would ask. Nothing has
// been changed to show it; the person may start the run from here.

#include <QDialog>
#include <string>

#include "engine/run_plan.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace vlm {

// One line saying what the plan holds, for the report.
std::string PreviewSummary(const RunPlan& plan);

class PreviewWindow : public QDialog {
    Q_OBJECT

public:
    PreviewWindow(const RunPlan& plan, const QString& projectCaption, QWidget* parent = nullptr);

    // The person chose "Run now".
    bool RunRequested() const { return runRequested_; }

    QLabel* SummaryL;
    QTreeWidget* PlanTW;
    QPushButton* RunNowB;
    QPushButton* CloseB;

private:
    void Fill(const RunPlan& plan);

    bool runRequested_ = false;
};

}  // namespace vlm
