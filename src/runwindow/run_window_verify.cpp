// The run window's Verify button: the backup compared with the sources, file by file, with the
// findings in the report memo. Nothing is written: not the backup, not the log file, not the run
// history.

#include <QCoreApplication>
#include <QPushButton>
#include <exception>

#include "engine/verify_backup.h"
#include "runwindow/run_window.h"
#include "util/message_boxes.h"

namespace vlm {

void TRunF::SetVerifyRequest(RunRequest request) {
    verifyRequest_ = std::move(request);
    VerifyB->setEnabled(true);
}

void TRunF::VerifyBClick() {
    if (RunInProgress() || !verifyRequest_)
        return;
    const bool runAllowed = RunB->isEnabled();
    ++runDepth_;
    // Like a preview, a verification changes nothing: Cancel and ESC stop it without a question.
    previewing_ = true;
    run_.StopRequested = false;
    for (QPushButton* button : {RunB, PreviewB, VerifyB})
        button->setEnabled(false);
    SetStatusText("Verifying the backup... (\"Cancel\" or \"ESC\" stops it)");
    try {
        const VerifyTotals totals = VerifyBackup(
            *verifyRequest_, [this](const std::string& line) { AppendReportLine(line); },
            [this] {
                QCoreApplication::processEvents();
                return !run_.StopRequested;
            });
        if (totals.stopped)
            AppendReportLine("Verification stopped by user");
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    }
    run_.StopRequested = false;
    previewing_ = false;
    --runDepth_;
    FlushReport();
    RunB->setEnabled(runAllowed);
    PreviewB->setEnabled(true);
    VerifyB->setEnabled(true);
    SetStatusText("");
    if (runDepth_ == 0 && closePending_) {
        closePending_ = false;
        done(pendingResult_);
    }
}

}  // namespace vlm
