#include "runwindow/run_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "engine/run_progress.h"
#include "platform/drive_table.h"
#include "runwindow/preview_window.h"
#include "util/dialogs.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr int kMinimumWidth = 582;
// How often the memo takes the report lines of a run: a person reads no faster, and a repaint per
// line would make the run wait for the screen.
constexpr int kMemoFlushMs = 80;
// The progress bar counts in steps of this many of its range.
constexpr int kProgressSteps = 1000;

const char* const kStopQuestion = "You really want to stop the execution of the project";
const char* const kEmergencyStopLine =
    "Emergency stop executed by user... project not completely finished!!";

QLabel* Heading(const QString& text, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(14);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

// Before a box asks the person anything during a run, the memo shows every line up to it: the
// question's context is on the screen, not still waiting for the next repaint.
class FlushingDialogs final : public Dialogs {
public:
    explicit FlushingDialogs(TRunF& window) : window_(window) {}
    Answer Show(BoxType type, Buttons buttons, const std::string& text) override {
        window_.FlushReport();
        return SharedDialogs().Show(type, buttons, text);
    }
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override {
        window_.FlushReport();
        return SharedDialogs().Input(caption, prompt, value);
    }
    void Beep() override { SharedDialogs().Beep(); }

private:
    TRunF& window_;
};

std::vector<std::string> LinesOf(const QListWidget* list) {
    std::vector<std::string> lines;
    lines.reserve(list->count());
    for (int i = 0; i < list->count(); ++i)
        lines.push_back(StoredText(list->item(i)));
    return lines;
}

}  // namespace

TRunF::TRunF(RunState& run, HandOverState& handOver, std::string logLocation, QWidget* mainWindow,
             QWidget* parent)
    : QDialog(parent),
      run_(run),
      handOver_(handOver),
      log_(this, run, handOver, std::move(logLocation)),
      mainWindow_(mainWindow) {
    BuildComponents();
    // A fresh window belongs to no run yet: Cancel and ESC close it without asking.
    run_.RunActive = false;
}

TRunF::~TRunF() = default;

void TRunF::BuildComponents() {
    setObjectName(QStringLiteral("TRunF"));
    setMinimumWidth(kMinimumWidth);
    setSizeGripEnabled(true);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    resize(800, 600);
    BuildLists();
    BuildLogControls();
    BuildButtons();
    BuildReport();
    LayOut();
    // Key preview: ESC reaches the window whichever control has the focus.
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

void TRunF::BuildLists() {
    sourceL = Heading(QStringLiteral("Source"), QColor(0, 170, 100), this);
    srcLB = new QListWidget(this);
    destL = Heading(QStringLiteral("Destination"), QColor(170, 0, 0), this);
    destLB = new QListWidget(this);

    destdriveL = new QLabel(this);
    destdriveL->hide();
    // The drives present when the window opened; kept for the drive check of a run.
    DriveCBhulp = new QComboBox(this);
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        if (ActiveDriveTable().IsPresent(letter))
            DriveCBhulp->addItem(QString(QChar(letter)) + QStringLiteral(":"));
    }
    DriveCBhulp->hide();
    vlmfnL = new QLabel(this);
    vlmfnL->hide();
}

void TRunF::BuildLogControls() {
    repL = Heading(QStringLiteral("Report"), QColor(0, 0, 170), this);

    RadioB1 = new QRadioButton(QStringLiteral("N&one"), this);
    RadioB2 = new QRadioButton(QStringLiteral("&Normal"), this);
    RadioB3 = new QRadioButton(QStringLiteral("E&xtended"), this);
    auto* levels = new QButtonGroup(this);
    levels->addButton(RadioB1);
    levels->addButton(RadioB2);
    levels->addButton(RadioB3);
    RadioB2->setChecked(true);

    LogCB = new QCheckBox(QStringLiteral("&Log File"), this);
    LogCB->setChecked(true);
    LogCB->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(LogCB, &QCheckBox::clicked, this, [this] { LogCBClick(); });
    connect(LogCB, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu PopupMenuLog(this);
        QAction* view = PopupMenuLog.addAction(QStringLiteral("View"));
        if (PopupMenuLog.exec(LogCB->mapToGlobal(at)) == view && viewLogHandler_)
            viewLogHandler_();
    });
}

void TRunF::BuildButtons() {
    RunB = new QPushButton(QStringLiteral("&Run"), this);
    RunB->setDefault(true);
    connect(RunB, &QPushButton::clicked, this, [this] { RunBClick(); });
    PreviewB = new QPushButton(QStringLiteral("Pre&view"), this);
    PreviewB->setToolTip(QStringLiteral("Show what a run would copy and remove, changing nothing"));
    connect(PreviewB, &QPushButton::clicked, this, [this] { PreviewBClick(); });
    VerifyB = new QPushButton(QStringLiteral("Veri&fy"), this);
    VerifyB->setToolTip(
        QStringLiteral("Compare every file of the sources with its backup copy, changing nothing"));
    VerifyB->setEnabled(false);
    connect(VerifyB, &QPushButton::clicked, this, [this] { VerifyBClick(); });
    cancelB = new QPushButton(QStringLiteral("&Cancel"), this);
    connect(cancelB, &QPushButton::clicked, this, [this] { cancelBClick(); });
    helpB = new QPushButton(this);
    helpB->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
    if (helpB->icon().isNull())
        helpB->setText(QStringLiteral("?"));
    helpB->setToolTip(QStringLiteral("Help"));
    connect(helpB, &QPushButton::clicked, this, [this] { helpBClick(); });
}

void TRunF::BuildReport() {
    ResultL = new QLabel(this);
    ResultL->setTextFormat(Qt::PlainText);
    ResultL->setWordWrap(true);
    QFont bold = ResultL->font();
    bold.setBold(true);
    ResultL->setFont(bold);
    FirstErrorB = new QPushButton(QStringLiteral("&Go to the first error"), this);
    connect(FirstErrorB, &QPushButton::clicked, this, [this] { FirstErrorBClick(); });
    ResultL->hide();
    FirstErrorB->hide();

    RunM = new QPlainTextEdit(this);
    RunM->setReadOnly(true);
    RunM->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RunM->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The memo drops its oldest line itself, so a long run costs the same per line throughout.
    RunM->setMaximumBlockCount(kMemoMaxLines);

    // The progress of a run: out of the way until a run begins.
    ProgressPB = new QProgressBar(this);
    ProgressPB->setRange(0, kProgressSteps);
    ProgressPB->setValue(0);
    FileL = new QLabel(this);
    FileL->setTextFormat(Qt::PlainText);
    FileL->setMinimumWidth(1);  // a long path does not widen the window
    ProgressL = new QLabel(this);
    ProgressL->setTextFormat(Qt::PlainText);
    for (QWidget* part : {static_cast<QWidget*>(ProgressPB), static_cast<QWidget*>(FileL),
                          static_cast<QWidget*>(ProgressL)})
        part->hide();

    flushTimer_ = new QTimer(this);
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(kMemoFlushMs);
    connect(flushTimer_, &QTimer::timeout, this, [this] { FlushReport(); });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);
}

void TRunF::LayOut() {
    auto* controls = new QHBoxLayout;
    controls->addWidget(repL);
    controls->addStretch(1);
    controls->addWidget(RadioB1);
    controls->addWidget(RadioB2);
    controls->addWidget(RadioB3);
    controls->addSpacing(12);
    controls->addWidget(LogCB);
    controls->addSpacing(12);
    controls->addWidget(RunB);
    controls->addWidget(PreviewB);
    controls->addWidget(VerifyB);
    controls->addWidget(cancelB);
    controls->addWidget(helpB);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sourceL);
    layout->addWidget(srcLB, 2);
    layout->addWidget(destL);
    layout->addWidget(destLB, 2);
    layout->addWidget(destdriveL);
    layout->addWidget(DriveCBhulp);
    layout->addWidget(vlmfnL);
    layout->addLayout(controls);
    layout->addWidget(ProgressPB);
    layout->addWidget(FileL);
    layout->addWidget(ProgressL);
    auto* result = new QHBoxLayout;
    result->addWidget(ResultL, 1);
    result->addWidget(FirstErrorB);
    layout->addLayout(result);
    layout->addWidget(RunM, 5);
    layout->addWidget(StatusBar1);
}

void TRunF::Fill(const std::string& caption, const std::vector<std::string>& sourceItems,
                 const std::vector<std::string>& destinationPaths, const std::string& projectPath) {
    setWindowTitle(ShownText(caption));
    srcLB->clear();
    for (const auto& item : sourceItems)
        AddShownItem(srcLB, item);
    ShowDestinations(destinationPaths);
    projectPath_ = projectPath;
    vlmfnL->setText(ShownText(projectPath));
}

void TRunF::ShowDestinations(const std::vector<std::string>& destinationPaths) {
    destLB->clear();
    for (const auto& path : destinationPaths)
        AddShownItem(destLB, path);
}

std::string TRunF::ProjectPath() const {
    return projectPath_;
}

// --- Event handlers ---------------------------------------------------------------------------

void TRunF::RunBClick() {
    // The Run button stays enabled until the run has passed its checks; a second click while
    // the first run is still checking must not start the project twice.
    if (RunInProgress())
        return;
    CallRun(RunStart{});
}

void TRunF::PreviewBClick() {
    if (RunInProgress() || !previewFunction_)
        return;
    // After a run the window runs nothing more; a preview may still look.
    const bool runAllowed =
        BeginLook("Looking at what a run would do... (\"Cancel\" or \"ESC\" stops the preview)");
    std::optional<RunPlan> plan;
    try {
        plan = previewFunction_(*this, ProjectPath());
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    }
    if (EndLook(runAllowed) && plan)
        ShowPlan(*plan, runAllowed);
}

bool TRunF::BeginLook(const std::string& status) {
    const bool runAllowed = RunB->isEnabled();
    ++runDepth_;
    previewing_ = true;
    RunB->setEnabled(false);
    PreviewB->setEnabled(false);
    SetStatusText(status);
    return runAllowed;
}

bool TRunF::EndLook(bool runAllowed) {
    previewing_ = false;
    --runDepth_;
    RunB->setEnabled(runAllowed);
    PreviewB->setEnabled(true);
    SetStatusText("");
    if (runDepth_ == 0 && closePending_) {
        closePending_ = false;
        done(pendingResult_);
        return false;
    }
    return true;
}

// The preview's summary in the report, and the plan in its own window, from which the person may
// start the run.
void TRunF::ShowPlan(const RunPlan& plan, bool runAllowed) {
    AppendReportLine(PreviewSummary(plan) + " Nothing was changed.");
    // The project's name, as the person knows it from the file.
    QString name = QString::fromStdString(ProjectPath());
    name = name.mid(name.lastIndexOf(QLatin1Char('\\')) + 1);
    if (name.endsWith(QStringLiteral(".vlm"), Qt::CaseInsensitive))
        name.chop(4);
    PreviewWindow preview(plan, name, this);
    preview.RunNowB->setEnabled(runAllowed);
    if (previewHook_)
        previewHook_(preview);
    else
        preview.exec();
    if (preview.RunRequested() && runAllowed)
        QTimer::singleShot(0, this, [this] { RunBClick(); });
}

void TRunF::cancelBClick() {
    if (previewing_) {
        // A preview changes nothing: it stops at once, without a question.
        run_.StopRequested = true;
        return;
    }
    if (run_.RunActive) {
        const Answer answer =
            CurrentDialogs().Show(BoxType::Warning, Buttons::YesNoCancel, kStopQuestion);
        if (answer == Answer::Yes) {
            run_.StopRequested = true;
            run_.RunActive = false;
            log_.report(kEmergencyStopLine, true);
        }
        return;
    }
    done(QDialog::Accepted);
}

void TRunF::helpBClick() {
    if (helpHandler_)
        helpHandler_();
}

void TRunF::LogCBClick() {
    SetStatusText(log_.LogCheckBoxStatusText(LogCB->isChecked()));
}

void TRunF::FormActivate() {
    handOver_.EditorOpen = false;
    const RunStart start{handOver_.TimerRunRequested, handOver_.QuickRunRequested};
    if (!start.timerRun && !start.quickRun)
        return;
    // Cleared first, so that a later activation (after a message box, say) starts nothing.
    handOver_.TimerRunRequested = false;
    handOver_.QuickRunRequested = false;
    // Started from the event loop rather than inside the activation event itself.
    QTimer::singleShot(0, this, [this, start] { StartRequestedRun(start); });
}

void TRunF::StartRequestedRun(RunStart start) {
    if (RunInProgress())
        return;
    CallRun(start);
    QCoreApplication::processEvents();
}

void TRunF::CallRun(RunStart start) {
    if (!runFunction_)
        return;
    ++runDepth_;
    PreviewB->setEnabled(false);
    errorLines_ = 0;
    firstError_.clear();
    ResultL->hide();
    FirstErrorB->hide();
    // Questions of the run find the memo up to date.
    FlushingDialogs flushing(*this);
    const ThreadDialogs duringRun(flushing);
    try {
        runFunction_(*this, ProjectPath(), start);
    } catch (const std::exception& error) {
        // A file operation failed where no pass catches it: the run ends here, its history
        // row keeps the start columns, and the person is told why.
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox("The run ended because of an unexpected error.");
    }
    --runDepth_;
    FlushReport();
    PreviewB->setEnabled(runDepth_ == 0);
    if (runDepth_ == 0 && closePending_) {
        closePending_ = false;
        done(pendingResult_);
    }
}

// --- RunView ----------------------------------------------------------------------------------

std::vector<std::string> TRunF::SourceItems() const {
    return LinesOf(srcLB);
}

std::vector<std::string> TRunF::DestinationPaths() const {
    return LinesOf(destLB);
}

void TRunF::SelectItem(int index) {
    srcLB->setCurrentRow(index);
    destLB->setCurrentRow(index);
}

LogLevel TRunF::Level() const {
    if (RadioB1->isChecked())
        return LogLevel::None;
    if (RadioB3->isChecked())
        return LogLevel::Extended;
    return LogLevel::Normal;
}

void TRunF::SetLevel(LogLevel level) {
    switch (level) {
        case LogLevel::None:
            RadioB1->setChecked(true);
            break;
        case LogLevel::Normal:
            RadioB2->setChecked(true);
            break;
        case LogLevel::Extended:
            RadioB3->setChecked(true);
            break;
    }
}

bool TRunF::LogToFile() const {
    return LogCB->isChecked();
}

void TRunF::SetLogToFile(bool on) {
    LogCB->setChecked(on);
}

void TRunF::AppendReportLine(const std::string& line) {
    // The log file keeps the stand-ins; on screen a name reads as it is written.
    pendingLines_.append(ShownText(line));
    if (line.rfind("ERROR", 0) == 0 || line.rfind("Fatal ERROR", 0) == 0 ||
        line.rfind("FATAL ERROR", 0) == 0) {
        if (errorLines_++ == 0)
            firstError_ = pendingLines_.back();
    }
    if (!RunInProgress()) {
        FlushReport();
        return;
    }
    // The memo keeps its newest lines only: older ones waiting would be dropped at once.
    if (pendingLines_.size() > kMemoMaxLines)
        pendingLines_.erase(pendingLines_.begin(), pendingLines_.end() - kMemoMaxLines);
    if (!flushTimer_->isActive())
        flushTimer_->start();
}

void TRunF::FlushReport() {
    flushTimer_->stop();
    if (pendingLines_.isEmpty())
        return;
    RunM->appendPlainText(pendingLines_.join(QLatin1Char('\n')));
    pendingLines_.clear();
}

void TRunF::ShowProgress(const ProgressSnapshot& p) {
    for (QWidget* part : {static_cast<QWidget*>(ProgressPB), static_cast<QWidget*>(FileL),
                          static_cast<QWidget*>(ProgressL)})
        part->setVisible(true);
    if (!p.totalsKnown && !p.finished) {
        ProgressPB->setRange(0, 0);  // busy: no share is known yet
    } else {
        ProgressPB->setRange(0, kProgressSteps);
        // A run stopped before its count was in has no share to show: the bar stays empty.
        double share = 0.0;
        if (p.bytesTotal > 0)
            share = static_cast<double>(p.bytesDone) / static_cast<double>(p.bytesTotal);
        else if (p.filesTotal > 0)
            share = static_cast<double>(p.filesDone) / static_cast<double>(p.filesTotal);
        else if (p.totalsKnown)
            share = 1.0;  // nothing to copy: all done
        ProgressPB->setValue(static_cast<int>(std::min(share, 1.0) * kProgressSteps));
    }
    if (p.finished)
        FileL->setText(QStringLiteral("Run ended"));
    else if (p.currentFile.empty())
        FileL->setText(QStringLiteral("Comparing..."));
    else
        FileL->setText(QStringLiteral("Copying: ") + ShownText(p.currentFile));
    ProgressL->setText(QString::fromStdString(ProgressLine(p)));
}

void TRunF::ShowResult(const std::string& result, std::uint64_t errors) {
    FlushReport();
    std::string text = "Result: " + result;
    if (errorLines_ > 0)
        text += " \u2014 " + std::to_string(errorLines_) +
                (errorLines_ == 1 ? " error line" : " error lines");
    else if (errors > 0)
        text += " \u2014 " + std::to_string(errors) + (errors == 1 ? " error" : " errors");
    ResultL->setText(QString::fromStdString(text));
    QPalette palette = ResultL->palette();
    palette.setColor(QPalette::WindowText, result == "OK" ? QColor(0, 110, 0) : QColor(170, 0, 0));
    ResultL->setPalette(palette);
    ResultL->show();
    FirstErrorB->setVisible(errorLines_ > 0);
    // The summary at the top of the report's view, down to the end of the report.
    const QTextBlock summary =
        RunM->document()->find(QStringLiteral("Summary: files copied")).block();
    QScrollBar* bar = RunM->verticalScrollBar();
    bar->setValue(summary.isValid() ? std::min(summary.blockNumber(), bar->maximum())
                                    : bar->maximum());
}

void TRunF::FirstErrorBClick() {
    FlushReport();
    const QTextCursor found = RunM->document()->find(firstError_);
    if (found.isNull()) {
        // The report keeps its last lines only; the log file keeps them all.
        ShowPlain("The first error line of the run is no longer in the report:\n" +
                  firstError_.toStdString());
        return;
    }
    RunM->setTextCursor(found);
    RunM->verticalScrollBar()->setValue(found.block().blockNumber());
    RunM->setFocus();
}

void TRunF::SetStatusText(const std::string& text) {
    if (text.empty())
        StatusBar1->clearMessage();
    else
        StatusBar1->showMessage(ShownText(text));
}

void TRunF::SetRunEnabled(bool enabled) {
    RunB->setEnabled(enabled);
}

void TRunF::SetCancelButton(bool enabled, const std::string& caption, bool focus) {
    cancelB->setEnabled(enabled);
    cancelB->setText(QString::fromStdString(caption));
    if (focus)
        cancelB->setFocus();
}

void TRunF::CloseWindow(WindowResult result) {
    done(result == WindowResult::Ok ? QDialog::Accepted : QDialog::Rejected);
}

}  // namespace vlm
