#pragma once
// Desktop notices: a timed or quick run that ends while the person is not looking at the
// program tells them how it went through the desktop's notification service
// (org.freedesktop.Notifications on the session bus). The program never waits for the bus: no
// bus or no service simply means no notice.

#include <QDBusConnection>
#include <QDBusPendingCall>
#include <QString>
#include <optional>
#include <string>

#include "engine/run_state.h"

class QWidget;

namespace vlm {

// The name the notification service knows the program by, and its icon (the desktop entry's).
inline constexpr const char* kNoticeAppName = "Velmora";
inline constexpr const char* kNoticeIconName = "org.velmora.Velmora";

// The freedesktop urgency levels; the service sends the byte with the notice.
enum class NoticeUrgency : unsigned char { Low = 0, Normal = 1, Critical = 2 };

struct RunNotice {
    std::string title;
    std::string body;
    NoticeUrgency urgency = NoticeUrgency::Normal;
};

// The notice for a run of the project `projectName` that wrote `result` ("OK", "Cancelled",
// "Error", "Not enough space") into its history row, with the run's numbers. Anything but "OK"
// is critical: a backup that did not complete is what the person must not miss.
RunNotice BuildRunNotice(const std::string& projectName, const std::string& result,
                         const RunTotals& totals);

// A window the person is not looking at: hidden, minimized, or not the active window (also when
// the application has no active window at all).
bool OutOfView(bool visible, bool minimized, bool active);
bool RunEndedOutOfView(const QWidget& runWindow);

// Whether an ended run is told by a notice. A run started with the Run button has the person in
// front of the window; a run that ended before its history row (a box told why) has no result.
bool RunNoticeDue(bool timerRun, bool quickRun, bool hasResult, bool outOfView);

// The session bus address: the environment's, else the per-user bus socket in the runtime
// folder. Nothing when neither exists; the bus is then never started on the program's behalf.
std::optional<QString> SessionBusAddress(const QString& environmentAddress,
                                         const QString& runtimeFolder);

// Sends notices to the notification service of one bus, connecting on the first notice.
class DesktopNotice {
public:
    // The person's session bus.
    DesktopNotice();
    // The bus at `busAddress` (a private bus in tests).
    explicit DesktopNotice(QString busAddress);
    ~DesktopNotice();
    DesktopNotice(const DesktopNotice&) = delete;
    DesktopNotice& operator=(const DesktopNotice&) = delete;

    // Hands the notice to the bus and returns at once. The returned call ends with the
    // service's reply or an error; the program ignores it.
    QDBusPendingCall Send(const RunNotice& notice);

private:
    bool Connect();

    std::optional<QString> address_;
    QString connectionName_;
    bool connectionOpened_ = false;
};

}  // namespace vlm
