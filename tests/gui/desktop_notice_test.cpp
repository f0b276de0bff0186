#include "app/desktop_notice.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVirtualObject>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <mutex>
#include <string>
#include <vector>

#include "gui/qt_test_app.h"
#include "gui/run_window_test_helpers.h"
#include "platform/locale_text.h"

namespace vlm {
namespace {

// --- The notice's text ------------------------------------------------------------------------

TEST(RunNoticeTest, TitleNamesProjectAndResultAndOnlyOkIsNotCritical) {
    struct Case {
        std::string result;
        NoticeUrgency urgency;
    };
    const std::vector<Case> cases = {
        {"OK", NoticeUrgency::Normal},
        {"Cancelled", NoticeUrgency::Critical},
        {"Error", NoticeUrgency::Critical},
        {"Not enough space", NoticeUrgency::Critical},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        const RunNotice notice = BuildRunNotice("Photos - 2026", c.result, RunTotals{});
        EXPECT_EQ(notice.title, "Velmora: Photos - 2026 \u2014 " + c.result);
        EXPECT_EQ(notice.urgency, c.urgency);
    }
}

TEST(RunNoticeTest, BodyCarriesEveryNumberOfTheRun) {
    const RunTotals totals{1200, 34, 5000000000ULL, 5, 6, 7, 8, 75000};
    EXPECT_EQ(BuildRunNotice("p", "OK", totals).body,
              "Files copied: 1.234 (new: 1.200, replaced: 34)\nBytes copied: 5.000.000.000\n"
              "Removed: 5 files, 6 folders\nSkipped: 7\nErrors: 8\nElapsed time: 0:01:15");
}

TEST(RunNoticeTest, ElapsedTimeReadsLikeAClock) {
    const std::string sep = DecimalSeparator();
    struct Case {
        double ms;
        std::string clock;
    };
    const std::vector<Case> cases = {
        {0, "0:00:00"},     {500, "0:00:00" + sep + "50"}, {9500, "0:00:09" + sep + "5"},
        {75000, "0:01:15"}, {600000, "0:10:00"},           {3723500, "1:02:03" + sep + "5"},
        {-20, "0:00:00"},  // the clock was set back during the run
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        RunTotals totals;
        totals.elapsedMs = c.ms;
        const std::string body = BuildRunNotice("p", "OK", totals).body;
        EXPECT_EQ(body.substr(body.rfind('\n') + 1), "Elapsed time: " + c.clock);
    }
}

// --- When a notice is due ----------------------------------------------------------------------

TEST(RunNoticeTest, OnlyTimedAndQuickRunsWithAResultThatEndOutOfViewAreTold) {
    struct Case {
        bool timer, quick, hasResult, outOfView, due;
    };
    const std::vector<Case> cases = {
        {true, false, true, true, true},
        {false, true, true, true, true},
        {true, true, true, true, true},
        {false, false, true, true, false},  // the Run button: the person is there
        {true, false, true, false, false},  // in view: the window shows the result
        {false, true, true, false, false},
        {true, false, false, true, false},  // ended before its history row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.timer << c.quick << c.hasResult << c.outOfView);
        EXPECT_EQ(RunNoticeDue(c.timer, c.quick, c.hasResult, c.outOfView), c.due);
    }
}

TEST(RunNoticeTest, AWindowIsOutOfViewWhenHiddenMinimizedOrNotActive) {
    struct Case {
        bool visible, minimized, active, outOfView;
    };
    const std::vector<Case> cases = {
        {true, false, true, false},  {true, true, true, true},  {true, false, false, true},
        {false, false, false, true}, {true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.visible << c.minimized << c.active);
        EXPECT_EQ(OutOfView(c.visible, c.minimized, c.active), c.outOfView);
    }
}

TEST(RunNoticeTest, TheRunWindowsStateDecides) {
    test::EnsureQtApplication();
    QWidget window;
    window.setWindowTitle(QStringLiteral("Running: p"));
    EXPECT_TRUE(RunEndedOutOfView(window));  // never shown
    window.show();
    window.activateWindow();
    if (!test::WaitFor([&] { return window.isActiveWindow(); }, 5000))
        GTEST_SKIP() << "this platform does not activate windows";
    EXPECT_FALSE(RunEndedOutOfView(window));

    // Another window of the program takes the focus.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(test::WaitFor([&] { return other.isActiveWindow(); }, 5000));
    EXPECT_TRUE(RunEndedOutOfView(window));

    window.activateWindow();
    ASSERT_TRUE(test::WaitFor([&] { return window.isActiveWindow(); }, 5000));
    window.showMinimized();
    EXPECT_TRUE(RunEndedOutOfView(window));
    window.showNormal();
    window.hide();
    EXPECT_TRUE(RunEndedOutOfView(window));
}

// --- Finding the bus ---------------------------------------------------------------------------

TEST(RunNoticeTest, TheSessionBusIsTheEnvironmentsElseTheRuntimeFoldersSocket) {
    QTemporaryDir withBus;
    QTemporaryDir withoutBus;
    ASSERT_TRUE(withBus.isValid() && withoutBus.isValid());
    QFile socket(withBus.path() + QStringLiteral("/bus"));
    ASSERT_TRUE(socket.open(QIODevice::WriteOnly));
    socket.close();

    struct Case {
        QString environment, runtime;
        std::optional<QString> address;
    };
    const QString env = QStringLiteral("unix:path=/run/user/1000/bus,guid=0123");
    const std::vector<Case> cases = {
        {env, withoutBus.path(), env},
        {env, withBus.path(), env},
        {QString(), withBus.path(), QStringLiteral("unix:path=") + withBus.path() + "/bus"},
        {QString(), withoutBus.path(), std::nullopt},
        {QString(), QString(), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.environment + " | " + c.runtime).toStdString());
        EXPECT_EQ(SessionBusAddress(c.environment, c.runtime), c.address);
    }
}

// --- Sending on a real bus ---------------------------------------------------------------------

// A bus of the test's own, so that nothing reaches the person's desktop.
class PrivateBus {
public:
    PrivateBus() {
        if (!folder_.isValid())
            return;
        const QString config = folder_.path() + QStringLiteral("/bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly))
            return;
        file.write(QStringLiteral(
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n"
                       "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<auth>EXTERNAL</auth><policy context=\"default\">"
                       "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                       .arg(folder_.path())
                       .toUtf8());
        file.close();
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                       QStringLiteral("--print-address")});
        if (!daemon_.waitForStarted(10000))
            return;
        QByteArray output;
        while (!output.contains('\n') && daemon_.waitForReadyRead(10000))
            output += daemon_.readAllStandardOutput();
        address_ = QString::fromUtf8(output).trimmed();
    }
    ~PrivateBus() {
        if (daemon_.state() != QProcess::NotRunning) {
            daemon_.kill();
            daemon_.waitForFinished(10000);
        }
    }
    const QString& Address() const { return address_; }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
};

// Stands in for the desktop's notification service and keeps each notice it is given.
class FakeNotificationService : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.interface() != QLatin1String("org.freedesktop.Notifications") ||
            message.member() != QLatin1String("Notify"))
            return false;
        uint id = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(message);
            id = static_cast<uint>(received_.size());
        }
        connection.send(message.createReply(QVariant::fromValue(id)));
        return true;
    }
    std::vector<QDBusMessage> Received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<QDBusMessage> received_;
};

// Runs the event loop until the call has its reply or error (the bus ends a call that gets no
// answer by itself).
void AwaitEnd(const QDBusPendingCall& call) {
    QDBusPendingCallWatcher watcher(call);
    if (watcher.isFinished())
        return;
    QEventLoop loop;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    loop.exec();
}

class DesktopNoticeBusTest : public ::testing::Test, public test::WithQtApplication {
protected:
    void SetUp() override {
        if (bus_.Address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not start a private bus";
    }
    void TearDown() override {
        if (serviceOpened_)
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-notification-service"));
    }
    // Puts the fake service on the bus under the service's well-known name.
    void OfferService() {
        QDBusConnection service = QDBusConnection::connectToBus(
            bus_.Address(), QStringLiteral("fake-notification-service"));
        serviceOpened_ = true;
        ASSERT_TRUE(service.isConnected()) << service.lastError().message().toStdString();
        ASSERT_TRUE(service.registerVirtualObject(QStringLiteral("/org/freedesktop/Notifications"),
                                                  &service_));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
    }

    PrivateBus bus_;
    FakeNotificationService service_;
    bool serviceOpened_ = false;
};

TEST_F(DesktopNoticeBusTest, TheServiceReceivesTitleBodyAndUrgency) {
    OfferService();
    DesktopNotice notice(bus_.Address());
    RunTotals totals;
    totals.filesNew = 3;
    totals.errors = 1;
    const RunNotice failed = BuildRunNotice("Documents", "Error", totals);
    const RunNotice good = BuildRunNotice("Documents", "OK", RunTotals{});
    const QDBusPendingCall first = notice.Send(failed);
    const QDBusPendingCall second = notice.Send(good);
    AwaitEnd(first);
    AwaitEnd(second);
    ASSERT_FALSE(first.isError()) << first.error().message().toStdString();
    ASSERT_FALSE(second.isError()) << second.error().message().toStdString();

    const std::vector<QDBusMessage> received = service_.Received();
    ASSERT_EQ(received.size(), 2u);
    struct Expected {
        const RunNotice* notice;
        uchar urgency;
    };
    const Expected expected[] = {{&failed, 2}, {&good, 1}};
    for (std::size_t i = 0; i < received.size(); ++i) {
        SCOPED_TRACE(i);
        const QList<QVariant> args = received[i].arguments();
        ASSERT_EQ(received[i].signature(), QStringLiteral("susssasa{sv}i"));
        ASSERT_EQ(args.size(), 8);
        EXPECT_EQ(args[0].toString(), QStringLiteral("Velmora"));
        EXPECT_EQ(args[1].toUInt(), 0u);
        EXPECT_EQ(args[2].toString(), QStringLiteral("org.velmora.Velmora"));
        EXPECT_EQ(args[3].toString().toStdString(), expected[i].notice->title);
        EXPECT_EQ(args[4].toString().toStdString(), expected[i].notice->body);
        EXPECT_TRUE(args[5].toStringList().isEmpty());
        const QVariantMap hints = qdbus_cast<QVariantMap>(args[6]);
        const QVariant urgency = hints.value(QStringLiteral("urgency"));
        // Services read the urgency only as a byte.
        EXPECT_EQ(urgency.metaType(), QMetaType::fromType<uchar>());
        EXPECT_EQ(urgency.value<uchar>(), expected[i].urgency);
        EXPECT_EQ(hints.value(QStringLiteral("desktop-entry")).toString(),
                  QStringLiteral("org.velmora.Velmora"));
        EXPECT_EQ(args[7].toInt(), -1);
    }
}

TEST_F(DesktopNoticeBusTest, WithoutAServiceTheNoticeIsDroppedQuietly) {
    DesktopNotice notice(bus_.Address());
    const QDBusPendingCall call = notice.Send(BuildRunNotice("p", "OK", RunTotals{}));
    AwaitEnd(call);
    EXPECT_TRUE(call.isError());
    EXPECT_EQ(call.error().type(), QDBusError::ServiceUnknown);
}

TEST(DesktopNoticeTest, WithoutABusNothingIsSentAndNothingWaits) {
    test::EnsureQtApplication();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString gone = QStringLiteral("unix:path=") + folder.path() + QStringLiteral("/no-bus");
    for (const QString& address : {QString(), gone}) {
        SCOPED_TRACE(address.toStdString());
        DesktopNotice notice(address);
        const QDBusPendingCall call = notice.Send(BuildRunNotice("p", "Error", RunTotals{}));
        // The call has ended before Send returned: nothing is left pending on a missing bus.
        EXPECT_TRUE(call.isFinished());
        EXPECT_TRUE(call.isError());
    }
}

}  // namespace
}  // namespace vlm
