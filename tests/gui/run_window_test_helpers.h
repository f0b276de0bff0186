#pragma once
// Small event helpers for the window tests: waiting for a condition while the event loop runs
// (key presses: gui/qt_test_app.h).

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWidget>
#include <functional>

#include "gui/qt_test_app.h"

namespace vlm::test {

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
