#include "app/desktop_notice.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "util/text_helpers.h"

namespace vlm {

namespace {

std::string Number(std::uint64_t n) {
    return GroupThousands(static_cast<std::int64_t>(n));
}

// "0:01:15", "1:02:03.5": minutes and whole seconds with two digits, so that a glance reads
// the time the way a clock shows it; a fraction of nothing but zeros ("10:00.00") is left off.
std::string ClockText(double elapsedMs) {
    const ElapsedText elapsed = FormatElapsed(elapsedMs);
    std::string minutes = elapsed.minutes;
    if (minutes.size() < 2)
        minutes.insert(0, 1, '0');
    std::string seconds = elapsed.seconds;
    const std::size_t whole = seconds.find_first_not_of("0123456789");
    if (whole != std::string::npos &&
        seconds.find_first_not_of('0', whole + 1) == std::string::npos)
        seconds.erase(whole);
    if (seconds.size() < 2 || (whole != std::string::npos && whole < 2))
        seconds.insert(0, 1, '0');
    return elapsed.hours + ":" + minutes + ":" + seconds;
}

std::atomic<int> g_connectionCount{0};

}  // namespace

RunNotice BuildRunNotice(const std::string& projectName, const std::string& result,
                         const RunTotals& totals) {
    RunNotice notice;
    // An em dash between name and result: a project name may hold a hyphen of its own.
    notice.title = std::string(kNoticeAppName) + ": " + projectName + " \u2014 " + result;
    // One line per number, in the order of the report's summary lines.
    notice.body = "Files copied: " + Number(totals.filesNew + totals.filesReplaced) +
                  " (new: " + Number(totals.filesNew) +
                  ", replaced: " + Number(totals.filesReplaced) + ")";
    notice.body += "\nBytes copied: " + Number(totals.bytesCopied);
    notice.body += "\nRemoved: " + Number(totals.filesRemoved) + " files, " +
                   Number(totals.foldersRemoved) + " folders";
    notice.body += "\nSkipped: " + Number(totals.entriesSkipped);
    notice.body += "\nErrors: " + Number(totals.errors);
    notice.body += "\nElapsed time: " + ClockText(totals.elapsedMs);
    notice.urgency = result == "OK" ? NoticeUrgency::Normal : NoticeUrgency::Critical;
    return notice;
}

bool OutOfView(bool visible, bool minimized, bool active) {
    return !visible || minimized || !active;
}

bool RunEndedOutOfView(const QWidget& runWindow) {
    // isActiveWindow is false as well when the application has no active window at all (the
    // person works in another program).
    return OutOfView(runWindow.isVisible(), runWindow.isMinimized(), runWindow.isActiveWindow());
}

bool RunNoticeDue(bool timerRun, bool quickRun, bool hasResult, bool outOfView) {
    return (timerRun || quickRun) && hasResult && outOfView;
}

std::optional<QString> SessionBusAddress(const QString& environmentAddress,
                                         const QString& runtimeFolder) {
    if (!environmentAddress.isEmpty())
        return environmentAddress;
    // Where a systemd user session keeps the bus; libdbus looks there too. Its last resort,
    // starting a bus of its own for an X display, is left out: a notice is not worth a new
    // daemon.
    if (!runtimeFolder.isEmpty()) {
        const QString socket = runtimeFolder + QStringLiteral("/bus");
        if (QFileInfo::exists(socket))
            return QStringLiteral("unix:path=") + socket;
    }
    return std::nullopt;
}

DesktopNotice::DesktopNotice()
    : DesktopNotice(SessionBusAddress(QString::fromLocal8Bit(qgetenv("DBUS_SESSION_BUS_ADDRESS")),
                                      QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR")))
                        .value_or(QString())) {}

DesktopNotice::DesktopNotice(QString busAddress)
    : connectionName_(QStringLiteral("velmora-desktop-notice-%1").arg(++g_connectionCount)) {
    if (!busAddress.isEmpty())
        address_ = std::move(busAddress);
}

DesktopNotice::~DesktopNotice() {
    if (connectionOpened_)
        QDBusConnection::disconnectFromBus(connectionName_);
}

bool DesktopNotice::Connect() {
    if (!address_)
        return false;
    if (connectionOpened_) {
        if (QDBusConnection(connectionName_).isConnected())
            return true;
        // The bus went away (the session restarted it): a fresh connection may reach the new
        // one.
        QDBusConnection::disconnectFromBus(connectionName_);
    }
    connectionOpened_ = true;
    return QDBusConnection::connectToBus(*address_, connectionName_).isConnected();
}

QDBusPendingCall DesktopNotice::Send(const RunNotice& notice) {
    if (!Connect())
        return QDBusPendingCall::fromError(
            QDBusError(QDBusError::Disconnected, QStringLiteral("No session bus")));
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    // The urgency must travel as a byte: services ignore it as any other type.
    hints.insert(QStringLiteral("urgency"),
                 QVariant::fromValue(static_cast<uchar>(notice.urgency)));
    hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(kNoticeIconName));
    call << QString::fromLatin1(kNoticeAppName)  // app_name
         << uint(0)                              // replaces_id: a new notice
         << QString::fromLatin1(kNoticeIconName) << QString::fromStdString(notice.title)
         << QString::fromStdString(notice.body) << QStringList()  // no actions
         << hints << int(-1);                                     // expiry: the service's default
    return QDBusConnection(connectionName_).asyncCall(call);
}

}  // namespace vlm
