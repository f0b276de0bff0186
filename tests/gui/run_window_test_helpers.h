#pragma once
// Small event helpers for the window tests: a key press as the window system delivers it, and
// waiting for a condition while the event loop runs.

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>
#include <functional>

#include "gui/qt_test_app.h"

namespace vlm::test {

inline void PressKey(QWidget* target, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Runs the event loop until `condition` holds or `timeoutMs` has passed; the condition's value.
inline bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

inline void Wait(int ms) {
    WaitFor([] { return false; }, ms);
}

}  // namespace vlm::test
