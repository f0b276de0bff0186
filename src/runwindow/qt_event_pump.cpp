#include "runwindow/qt_event_pump.h"

#include <QCoreApplication>

namespace vlm {

void QtEventPump::ProcessPendingEvents() {
    // A pass asks between every two entries; the window needs it far less often to stay alive
    // and to see Cancel or ESC at once. Asking the event loop each time costs more than many
    // small files take to compare.
    const auto now = std::chrono::steady_clock::now();
    if (handled_ && now - lastHandled_ < kInterval)
        return;
    handled_ = true;
    lastHandled_ = now;
    QCoreApplication::processEvents();
}

}  // namespace vlm
