// The run window's own window events: activation, ESC, showing and minimizing beside the main
// window, and closing while a run is in progress.

#include "runwindow/run_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

namespace vlm {

bool TRunF::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        activationSeen_ = true;
        FormActivate();
    }
    return QDialog::event(event);
}

bool TRunF::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        cancelBClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TRunF::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cancelBClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TRunF::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    setWindowState(windowState() | Qt::WindowMaximized);
    FollowMainWindow();
    // Without a window manager a shown window may never be activated; a requested run must
    // start all the same. The requests are cleared by whichever comes first.
    QTimer::singleShot(0, this, [this] {
        if (!activationSeen_)
            FormActivate();
    });
}

void TRunF::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        FollowMainWindow();
}

void TRunF::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    FollowMainWindow();
}

void TRunF::FollowMainWindow() {
    if (mainWindow_ == nullptr || formClosed_ || !isVisible())
        return;
    // While this window is on the screen the main window is out of the way; minimizing this
    // window brings it back.
    if (isMinimized())
        mainWindow_->show();
    else
        mainWindow_->hide();
}

void TRunF::closeEvent(QCloseEvent* event) {
    if (RunInProgress()) {
        // The close box does not stop a run: the closing runs now, the window goes when the
        // run has returned.
        FormClose();
        closePending_ = true;
        pendingResult_ = QDialog::Rejected;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TRunF::done(int result) {
    if (RunInProgress()) {
        closePending_ = true;
        pendingResult_ = result;
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TRunF::FormClose() {
    if (formClosed_)
        return;
    formClosed_ = true;
    handOver_.TimerRunRequested = false;
    if (mainWindow_ != nullptr)
        mainWindow_->show();
}

}  // namespace vlm
