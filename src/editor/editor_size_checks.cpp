// The size checks of the project editor: what the source items hold, what the destination has
// free, and what it would have free after a run.

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <exception>

#include "core/opening_rules.h"
#include "editor/editor_texts.h"
#include "editor/exclusions_panel.h"
#include "editor/project_editor.h"
#include "engine/copy_pass.h"
#include "engine/free_space.h"
#include "engine/pass_context.h"
#include "engine/run_log.h"
#include "platform/volumes.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr const char* kNotChecked = "not checked";
constexpr const char* kDriveNotReady = "Chosen destination drive invalid or not ready!";

// The copy pass lets the window handle its messages between directory entries, so that the
// window is repainted while a large tree is counted.
class EditorEventPump final : public EventPump {
public:
    void ProcessPendingEvents() override { QCoreApplication::processEvents(); }
};

}  // namespace

QWidget* TprojecteditF::BuildSizeBlock() {
    auto* block = new QWidget(body_);
    auto* grid = new QGridLayout(block);
    grid->setContentsMargins(8, 0, 0, 0);
    auto row = [&](int at, const char* caption, QLabel*& figure, QPushButton*& button,
                   const char* buttonCaption) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), block), at, 0);
        figure = new QLabel(QString::fromUtf8(kNotChecked), block);
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        figure->setMinimumWidth(150);
        figure->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(figure, at, 1);
        button = new QPushButton(QString::fromUtf8(buttonCaption), block);
        grid->addWidget(button, at, 2);
    };
    row(0, "Selected size:", selsizeL, checkselsizeB, "Check");
    row(1, "Actual free size:", actfreesizeL, CheckactfreesizeB, "Check");
    row(2, "Future free size:", futfreesizeL, checkfutfreesizeB, "Check All");
    grid->setRowStretch(3, 1);
    // Enter anywhere in the window measures the selected size.
    checkselsizeB->setDefault(true);
    CheckactfreesizeB->setAutoDefault(false);
    checkfutfreesizeB->setAutoDefault(false);
    return block;
}

void TprojecteditF::ConnectSizeChecks() {
    connect(checkselsizeB, &QPushButton::clicked, this,
            [this] { Guarded([&] { checkselsizeBClick(true); }); });
    connect(CheckactfreesizeB, &QPushButton::clicked, this,
            [this] { Guarded([&] { CheckactfreesizeBClick(); }); });
    connect(checkfutfreesizeB, &QPushButton::clicked, this,
            [this] { Guarded([&] { checkfutfreesizeBClick(); }); });
}

void TprojecteditF::checkselsizeBClick(bool withProgress) {
    if (withProgress) {
        SetStatus("Checking selected size... please wait...");
        StatusBar1->repaint();
    }
    std::int64_t total = 0;
    sizeError_ = false;
    // What the form leaves out is no part of the backup: neither of its size nor of the space it
    // needs.
    const ExclusionList leftOut(exclusionsP->Patterns());
    for (const std::string& entry : SourceItems()) {
        if (ItemKind(DrivePath(entry)) == 'n') {
            ShowErrorBox("Item " + entry + " does not exist! Please check.");
            sizeError_ = true;
            continue;
        }
        try {
            total += static_cast<std::int64_t>(MirroredItemSize(DrivePath(entry), leftOut));
        } catch (const std::exception&) {
            ShowErrorBox("Unable to detect size of item " + entry + ". Use explorer!");
            sizeError_ = true;
        }
    }
    selectedSize_ = total;
    selsizeL->setText(Q(GroupThousands(total)));
    if (withProgress)
        SetStatus("");
}

std::int64_t TprojecteditF::DestinationFreeBytes() const {
    std::string destination = DestinationBoxText();
    if (!syncCB->isChecked() && destination == kDefaultDestination)
        destination = context_.settings.BackupLocation;
    // A destination that does not begin with a drive letter names no drive.
    if (destination.empty() || DriveNumber(destination[0]) == 0)
        return -1;
    return DiskFreeBytes(destination[0]);
}

void TprojecteditF::CheckactfreesizeBClick() {
    if (DestinationBoxText().empty()) {
        ShowPlain("Select destination drive first and make it ready!");
        return;
    }
    const std::int64_t free = DestinationFreeBytes();
    if (free == -1) {
        ShowErrorBox(kDriveNotReady);
        return;
    }
    actfreesizeL->setText(Q(GroupThousands(free)));
}

void TprojecteditF::checkfutfreesizeBClick() {
    if (estimateRunning_)
        return;
    SetStatus("Please wait while checking...");
    StatusBar1->repaint();
    checkselsizeBClick(false);
    if (sizeError_) {
        SetStatus("");
        return;
    }
    HandOverState& handOver = context_.handOver;
    handOver.SyncMode = syncCB->isChecked();
    if (handOver.SyncMode)
        handOver.SyncDest = SyncDestText();
    const std::optional<std::int64_t> free = ReadyDestinationFreeBytes();
    if (!free) {
        SetStatus("");
        return;
    }
    actfreesizeL->setText(Q(GroupThousands(*free)));

    const std::string kind = LowerAscii(destkindC->currentText().toStdString());
    if (kind != "cdr" && kind != "dvdr") {
        // The copies already on the destination are replaced by the sources.
        futfreesizeL->setText(Q(GroupThousands(*free + ExistingCopiesSize() - selectedSize_)));
    } else if (!EstimateOnWriteOnceMedium(*free)) {
        SetStatus("");
        return;
    }
    if (futfreesizeL->text().startsWith(QLatin1Char('-')))
        ShowPlain("Attention, if you run this project you could run out of space");
    SetStatus("");
}

// The free bytes of the destination; nullopt, after its box, when none is chosen or its drive
// is not ready.
std::optional<std::int64_t> TprojecteditF::ReadyDestinationFreeBytes() {
    if (DestinationBoxText().empty()) {
        ShowPlain("Select destination first and make drive ready!");
        return std::nullopt;
    }
    const std::int64_t free = DestinationFreeBytes();
    if (free == -1) {
        SetStatus("Error: drive invalid or not ready!");
        ShowErrorBox(kDriveNotReady);
        return std::nullopt;
    }
    return free;
}

// The sizes of the copies of the source items now on the destination.
std::int64_t TprojecteditF::ExistingCopiesSize() const {
    const HandOverState& handOver = context_.handOver;
    const std::string destination = DestinationBoxText();
    const DestinationContext where{handOver.SyncMode, handOver.SyncDest,
                                   context_.settings.BackupLocation};
    const ExclusionList leftOut(exclusionsP->Patterns());
    std::int64_t existing = 0;
    for (const std::string& entry : SourceItems()) {
        if (std::optional<std::string> path = DestPathFor(entry, destination, where))
            existing += static_cast<std::int64_t>(MirroredItemSize(DrivePath(*path), leftOut));
    }
    return existing;
}

bool TprojecteditF::EstimateOnWriteOnceMedium(std::int64_t freeBytes) {
    RunState& run = context_.run;
    HandOverState& handOver = context_.handOver;
    const std::string destination = DestinationBoxText();
    const DestinationContext where{handOver.SyncMode, handOver.SyncDest,
                                   context_.settings.BackupLocation};

    // The pass hands the window its messages: nothing may close the window or start a second
    // pass until this one has walked every item.
    estimateRunning_ = true;
    SetControlsEnabled(false);
    run.EstimateRunning = true;
    run.LongNamesOn = false;
    run.StopRequested = false;
    // No run window: the report has nowhere to go, and EditorOpen keeps it silent anyway.
    RunLog log(nullptr, run, handOver, context_.settings.LogLocation);
    EditorEventPump pump;
    PassContext pass{run, log, pump};
    // The copy pass only adds up what it would write, leaving out what the form leaves out.
    pass.sink = PassSink::Count();
    const ExclusionList leftOut(exclusionsP->Patterns());
    pass.exclusions = &leftOut;
    bool completed = true;
    try {
        CopySourcesVirtually(pass, destination, where);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
        completed = false;
    }
    if (completed)
        futfreesizeL->setText(Q(
            GroupThousands(freeBytes - static_cast<std::int64_t>(pass.sink.Counted().writeBytes))));
    run.EstimateRunning = false;
    SetControlsEnabled(true);
    estimateRunning_ = false;
    return completed;
}

void TprojecteditF::CopySourcesVirtually(PassContext& pass, const std::string& destination,
                                         const DestinationContext& where) const {
    for (const std::string& entry : SourceItems()) {
        const char kind = ItemKind(DrivePath(entry));
        if (kind != 'd' && kind != 'f')
            continue;
        if (std::optional<std::string> path = DestPathFor(entry, destination, where))
            copyltor(pass, DrivePath(entry), DrivePath(*path));
    }
}

void TprojecteditF::SetControlsEnabled(bool enabled) {
    body_->setEnabled(enabled);
}

}  // namespace vlm
