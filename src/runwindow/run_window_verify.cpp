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

void TRunF::SetVerifyRequest(RunRequest request, ProgramOwnFiles ownFiles) {
    verifyRequest_ = std::move(request);
    verifyOwnFiles_ = std::move(ownFiles);
    VerifyB->setEnabled(true);
}

void TRunF::VerifyBClick() {
    if (RunInProgress() || !verifyRequest_)
        return;
    // Like a preview, a verification changes nothing: Cancel and ESC stop it without a question.
    run_.StopRequested = false;
    const bool runAllowed = BeginLook("Verifying the backup... (\"Cancel\" or \"ESC\" stops it)");
    VerifyB->setEnabled(false);
    try {
        const VerifyTotals totals = VerifyBackup(
            *verifyRequest_, [this](const std::string& line) { AppendReportLine(line); },
            [this] {
                QCoreApplication::processEvents();
                return !run_.StopRequested;
            },
            verifyOwnFiles_);
        if (totals.stopped)
            AppendReportLine("Verification stopped by user");
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    }
    run_.StopRequested = false;
    FlushReport();
    VerifyB->setEnabled(true);
    EndLook(runAllowed);
}

}  // namespace vlm
