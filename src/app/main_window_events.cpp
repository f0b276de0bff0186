#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QShowEvent>
#include <QStatusTipEvent>
#include <QTimer>

#include "app/main_window.h"
#include "core/app_settings.h"
#include "util/message_boxes.h"
#include "widgets/guarded_handler.h"

// How the main window ends, and what it does with the events that reach it: ESC ends the
// program, the overview follows the window until the person first acts.

namespace vlm {

namespace {

// Nobody releases a key and presses it again this fast; the window system's repeat does.
constexpr quint64 kRepeatPressWithinMs = 10;

}  // namespace

int TMainF::RunMessageLoop() {
    if (endRequested_)
        return exitCode_;
    inMessageLoop_ = true;
    const int exitCode = QApplication::exec();
    inMessageLoop_ = false;
    return exitCode;
}

void TMainF::EndProgram(int exitCode) {
    endRequested_ = true;
    exitCode_ = exitCode;
    // Before the message loop runs (a run from the command line) the entry sees the request
    // itself; telling the application now would only make the next event loop end at once.
    if (inMessageLoop_)
        QCoreApplication::exit(exitCode);
}

void TMainF::closeEvent(QCloseEvent* event) {
    if (endRequested_) {
        event->accept();
        return;
    }
    if (openWindows_ > 0) {
        // An editor or run window of this window is still open; it closes first.
        event->ignore();
        return;
    }
    const SaveResult saved = SaveSettings(settings_, options_.start.settingsPath);
    if (!saved.ok)
        ShowErrorBox(saved.message);
    event->accept();
    EndProgram(0);
}

bool TMainF::event(QEvent* event) {
    // Qt clears the status bar when the pointer rests on a menu item without a status tip,
    // which every item here is; the text a menu wrote when it opened ("Log file: ...") is to
    // stay while it is open.
    if (event->type() == QEvent::StatusTip && static_cast<QStatusTipEvent*>(event)->tip().isEmpty())
        return true;
    const bool result = QMainWindow::event(event);
    if (overviewFollows_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        PlaceRunHistory();
    return result;
}

void TMainF::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (backgroundRequested_)
        return;
    backgroundRequested_ = true;
    // After the window system has shown (and maximised) the window: a box about a picture that
    // cannot be loaded then sits over the window it is about.
    QTimer::singleShot(0, this, [this] { Guarded([this] { LoadBackgroundOnStart(); }); });
}

bool TMainF::eventFilter(QObject* watched, QEvent* event) {
    // A click on the background picture; the pop-up menu has the right button.
    if (watched == BackI && event->type() == QEvent::MouseButtonRelease) {
        const auto& mouse = *static_cast<QMouseEvent*>(event);
        if (mouse.button() == Qt::LeftButton && BackI->rect().contains(mouse.position().toPoint()))
            BackIClick();
    }
    const bool press = event->type() == QEvent::KeyPress;
    const bool release = event->type() == QEvent::KeyRelease;
    // From the person's first click or key on, the overview stays where it is.
    if (press || event->type() == QEvent::MouseButtonPress)
        overviewFollows_ = false;
    if (press || release) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (key.key() == Qt::Key_Escape) {
            if (release)
                EscapeReleased(key);
            else if (EscapeEndsProgram(watched, key)) {
                EndProgram(0);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TMainF::EscapeEndsProgram(QObject* watched, const QKeyEvent& key) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr)
        return false;
    if (widget->window() != this) {
        // ESC closes the run window, the editor and the dialogs. While that key stays down the
        // window system goes on repeating it, and once the other window has gone the repeats
        // come here.
        escapeDownElsewhere_ = true;
        escapeReleaseSeen_ = false;
        return false;
    }
    if (key.isAutoRepeat())
        return false;
    if (escapeDownElsewhere_) {
        // A repeat is not always marked as one when it changes windows: it is a release and a
        // press at the same instant, or presses without a release at all.
        if (!escapeReleaseSeen_ || key.timestamp() - lastEscapeRelease_ <= kRepeatPressWithinMs)
            return false;
        escapeDownElsewhere_ = false;
    }
    return openWindows_ == 0;
}

void TMainF::EscapeReleased(const QKeyEvent& key) {
    escapeReleaseSeen_ = true;
    lastEscapeRelease_ = key.timestamp();
}

}  // namespace vlm
