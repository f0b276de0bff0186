#include "engine/runwindow/qt_event_pump.h"

#include <QCoreApplication>

namespace vlm {

void QtEventPump::ProcessPendingEvents() {
    QCoreApplication::processEvents();
}

}  // namespace vlm
