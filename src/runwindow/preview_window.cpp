#include "runwindow/preview_window.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "engine/run_driver.h"
#include "util/text_helpers.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

// Rows beyond this many in one group would only make the window slow to open; the count above
// them still says how many there are.
constexpr std::uint64_t kRowsPerGroup = 10000;

std::string Number(std::uint64_t n) {
    return GroupThousands(static_cast<std::int64_t>(n));
}

std::string Files(std::uint64_t n) {
    return Number(n) + (n == 1 ? " file" : " files");
}

std::string Folders(std::uint64_t n) {
    return Number(n) + (n == 1 ? " folder" : " folders");
}

struct Group {
    PlannedStepKind kind;
    const char* heading;
    bool sized;
};

constexpr Group kGroups[] = {
    {PlannedStepKind::Question, "Questions the run would ask, and where it would stop", false},
    {PlannedStepKind::NewFile, "New files to copy", true},
    {PlannedStepKind::ChangedFile, "Changed files to copy", true},
    {PlannedStepKind::RemoveFile, "Files to remove", true},
    {PlannedStepKind::RemoveFolder, "Folders to remove, with all they hold", true},
};

QString Text(const std::string& text) {
    return ShownText(text);
}

}  // namespace

std::string PreviewSummary(const RunPlan& plan) {
    const PlannedCount added = plan.Count(PlannedStepKind::NewFile);
    const PlannedCount changed = plan.Count(PlannedStepKind::ChangedFile);
    const PlannedCount files = plan.Count(PlannedStepKind::RemoveFile);
    const PlannedCount folders = plan.Count(PlannedStepKind::RemoveFolder);
    const PlannedCount questions = plan.Count(PlannedStepKind::Question);
    std::string text = "Preview: a run would copy " + Files(added.steps + changed.steps) + " (" +
                       Number(added.steps) + " new, " + Number(changed.steps) + " changed; " +
                       SizeText(added.bytes + changed.bytes) + "), remove " +
                       Files(files.steps) + " and " + Folders(folders.steps) + " (" +
                       SizeText(files.bytes + folders.bytes) + ") and ask " +
                       Number(questions.steps) +
                       (questions.steps == 1 ? " question." : " questions.");
    // A run that would not end "OK" is said so, with what makes it fail.
    if (!plan.result.empty() && plan.result != kResultOk)
        text += " The run would end \"" + plan.result + "\": " + Number(plan.errors) +
                (plan.errors == 1 ? " error, " : " errors, ") + Number(plan.skipped) +
                (plan.skipped == 1 ? " entry skipped." : " entries skipped.");
    if (plan.excluded > 0)
        text += " " + Number(plan.excluded) +
                (plan.excluded == 1 ? " entry is" : " entries are") + " excluded.";
    if (plan.incomplete)
        text += " The preview did not get through everything.";
    return text;
}

PreviewWindow::PreviewWindow(const RunPlan& plan, const QString& projectCaption, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setWindowTitle(QStringLiteral("Preview - ") + projectCaption);
    setSizeGripEnabled(true);
    resize(760, 520);

    SummaryL = new QLabel(this);
    SummaryL->setWordWrap(true);
    SummaryL->setTextFormat(Qt::PlainText);
    PlanTW = new QTreeWidget(this);
    PlanTW->setColumnCount(2);
    PlanTW->setHeaderLabels({QStringLiteral("What a run would do"), QStringLiteral("Size")});
    PlanTW->header()->setStretchLastSection(false);
    PlanTW->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    PlanTW->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    PlanTW->setUniformRowHeights(true);

    RunNowB = new QPushButton(QStringLiteral("&Run now"), this);
    CloseB = new QPushButton(QStringLiteral("&Close"), this);
    CloseB->setDefault(true);
    connect(RunNowB, &QPushButton::clicked, this, [this] {
        runRequested_ = true;
        accept();
    });
    connect(CloseB, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(RunNowB);
    buttons->addWidget(CloseB);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(SummaryL);
    layout->addWidget(PlanTW, 1);
    layout->addLayout(buttons);

    Fill(plan);
}

namespace {

// The steps of one kind of an item, under a heading that counts them; a long list is cut.
void AddGroup(const RunPlan& plan, const PlannedItem& item, const Group& group,
              QTreeWidgetItem* top) {
    const PlannedCount count = plan.Count(group.kind, &item);
    if (count.steps == 0)
        return;
    auto* heading = new QTreeWidgetItem(top);
    heading->setText(0, QStringLiteral("%1 (%2)").arg(QString::fromLatin1(group.heading),
                                                      QString::fromStdString(Number(count.steps))));
    if (group.sized)
        heading->setText(1, QString::fromStdString(SizeText(count.bytes)));
    std::uint64_t rows = 0;
    for (const PlannedStep& step : item.steps) {
        if (step.kind != group.kind)
            continue;
        if (++rows > kRowsPerGroup) {
            auto* more = new QTreeWidgetItem(heading);
            more->setText(0, QStringLiteral("... and %1 more")
                                 .arg(QString::fromStdString(Number(count.steps - kRowsPerGroup))));
            break;
        }
        auto* row = new QTreeWidgetItem(heading);
        row->setText(0, Text(step.path));
        row->setToolTip(0, row->text(0));  // a long question is read whole here
        if (group.sized)
            row->setText(1, QString::fromStdString(SizeText(step.bytes)));
    }
    // Questions are what a person must see first; long lists stay folded.
    heading->setExpanded(group.kind == PlannedStepKind::Question || rows <= 50);
}

}  // namespace

void PreviewWindow::Fill(const RunPlan& plan) {
    SummaryL->setText(QString::fromStdString(PreviewSummary(plan)) +
                      QStringLiteral(" Nothing has been changed."));
    for (const PlannedItem& item : plan.items) {
        const PlannedCount added = plan.Count(PlannedStepKind::NewFile, &item);
        const PlannedCount changed = plan.Count(PlannedStepKind::ChangedFile, &item);
        auto* top = new QTreeWidgetItem(PlanTW);
        top->setText(0, Text(item.source) + QStringLiteral("  \u2192  ") + Text(item.destination));
        top->setText(1, QString::fromStdString(SizeText(added.bytes + changed.bytes)));
        top->setToolTip(1, QStringLiteral("Bytes to copy"));
        if (item.steps.empty()) {
            auto* none = new QTreeWidgetItem(top);
            none->setText(0, QStringLiteral("Nothing to do: the backup is up to date"));
        }
        for (const Group& group : kGroups)
            AddGroup(plan, item, group, top);
        top->setExpanded(true);
    }
}

}  // namespace vlm
