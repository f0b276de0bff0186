#include "app/scheduler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "app/timer_panel.h"
#include "dialogs/timer_dialog.h"
#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;

// The wall clock the scheduler reads, set by each test.
DateTime g_now = 0;
DateTime TestClock() {
    return g_now;
}
void SetNow(int hour, int minute, int second, int millisecond = 0) {
    g_now = MakeDateTime({2026, 3, 14, hour, minute, second, millisecond});
}

void PumpUntil(const std::function<bool()>& done, int limitMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

TEST(SecondsUntilTest, CountsToTheNextSetMomentOfTheDay) {
    struct Case {
        int nowH, nowM, nowS, nowMs;
        int setH, setM;
        int seconds;
    };
    const std::vector<Case> cases = {
        {10, 0, 0, 0, 10, 1, 60},
        {10, 2, 0, 0, 10, 1, 86340},  // passed today: tomorrow at 10:01
        {23, 59, 30, 0, 0, 0, 30},
        {10, 1, 0, 0, 10, 1, 0},  // the very second
        {10, 1, 1, 0, 10, 1, 86399},
        {10, 0, 59, 999, 10, 1, 1},  // milliseconds do not count
        {0, 0, 0, 0, 23, 59, 86340},
        {0, 0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const LocalFields now{2026, 3, 14, c.nowH, c.nowM, c.nowS, c.nowMs};
        EXPECT_EQ(SecondsUntil(c.setH, c.setM, now), c.seconds)
            << c.nowH << ":" << c.nowM << ":" << c.nowS << " to " << c.setH << ":" << c.setM;
    }
}

class SchedulerTest : public ::testing::Test {
protected:
    struct OpenedRun {
        std::string path;
        bool timerRunRequested;
        bool timerArmed;
    };

    SchedulerTest() {
        SetClockForTesting(&TestClock);
        SetNow(10, 0, 0);
        settings.TimerProject = "c:\\projects\\daily.vlm";
        settings.TimerHour = 10;
        settings.TimerMinute = 1;
        settings.TimerShow = true;
        host.resize(1000, 700);
        panel = new TimerPanel(settings, &host);
        panel->SetStatusHandler([this](const std::string& text) { statuses.push_back(text); });
        panel->ShowFromSettings();
        host.show();
        scheduler = std::make_unique<Scheduler>(
            settings, handOver, *panel,
            SchedulerHooks{
                [this](const std::string& path) {
                    opened.push_back({path, handOver.TimerRunRequested, handOver.TimerArmed});
                },
                [this] { return runWindowOpen; },
                [this](bool enabled) { runCommandsEnabled = enabled; },
                [this](const std::string& text) { statuses.push_back(text); },
            });
    }
    ~SchedulerTest() override { SetClockForTesting(nullptr); }

    void Arm() { panel->TimeractiveCB->setChecked(true); }
    std::string Status() const { return statuses.empty() ? "" : statuses.back(); }
    QColor CountdownColour() const {
        return panel->cdP->palette().color(QPalette::Active, QPalette::WindowText);
    }

    test::WithQtApplication qtFirst;
    ScriptedDialogs dialogs;
    AppSettings settings;
    HandOverState handOver;
    QWidget host;
    TimerPanel* panel;
    std::unique_ptr<Scheduler> scheduler;
    std::vector<OpenedRun> opened;
    std::vector<std::string> statuses;
    bool runWindowOpen = false;
    bool runCommandsEnabled = true;
};

TEST_F(SchedulerTest, ArmingStartsTheDelayAndLocksTheRunCommands) {
    Arm();
    EXPECT_TRUE(handOver.TimerArmed);
    EXPECT_TRUE(scheduler->Timer1Running());
    EXPECT_EQ(scheduler->Timer1Interval(), 60'000);
    EXPECT_TRUE(panel->GIFImage1->isVisible());
    EXPECT_FALSE(runCommandsEnabled);
    EXPECT_EQ(Status(), "Timer active");
    EXPECT_EQ(panel->timesetL->text(), "10:01");
    EXPECT_EQ(panel->timervlmL->text(), "c:\\projects\\daily.vlm");
    EXPECT_EQ(CountdownColour(), QColor(0, 0, 0));
}

TEST_F(SchedulerTest, ADisarmedTimerEndsWithoutRunning) {
    Arm();
    panel->TimeractiveCB->setChecked(false);
    EXPECT_FALSE(handOver.TimerArmed);
    EXPECT_FALSE(panel->GIFImage1->isVisible());
    EXPECT_TRUE(runCommandsEnabled);
    EXPECT_EQ(Status(), "Timer NOT active");
    EXPECT_EQ(CountdownColour(), QColor(128, 128, 128));
    EXPECT_TRUE(scheduler->Timer1Running()) << "unchecking does not stop the delay";

    scheduler->Timer1Timer();
    EXPECT_EQ(Status(), "Timer ended but was inactive");
    EXPECT_TRUE(opened.empty());
    EXPECT_FALSE(handOver.TimerRunRequested);
    EXPECT_FALSE(scheduler->Timer1Running());
}

TEST_F(SchedulerTest, ADueTimerRunsItsProjectOnceAndSwitchesItselfOff) {
    Arm();
    panel->TimermonitorCB->setChecked(true);
    statuses.clear();
    scheduler->Timer1Timer();

    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].path, "c:\\projects\\daily.vlm");
    EXPECT_TRUE(opened[0].timerRunRequested) << "the run window must see the timed run";
    EXPECT_TRUE(opened[0].timerArmed);
    EXPECT_FALSE(handOver.TimerRunRequested);
    EXPECT_FALSE(handOver.TimerArmed);
    EXPECT_FALSE(panel->TimeractiveCB->isChecked());
    EXPECT_FALSE(panel->GIFImage1->isVisible());
    EXPECT_TRUE(runCommandsEnabled);
    EXPECT_FALSE(scheduler->Timer1Running());
    EXPECT_FALSE(panel->TimermonitorCB->isChecked());
    EXPECT_FALSE(scheduler->Timer2Running());
    EXPECT_EQ(panel->cdP->text(), "hh:mm:ss");
    EXPECT_FALSE(panel->cdP->isEnabled());
    EXPECT_THAT(statuses, ElementsAre("Time to run!", "", "Timer NOT active"));

    PumpFor(100);
    EXPECT_EQ(opened.size(), 1u) << "one run per switching on";
}

TEST_F(SchedulerTest, ADelayOfZeroStartsTheRunAtOnce) {
    SetNow(10, 1, 0, 400);
    Arm();
    EXPECT_EQ(scheduler->Timer1Interval(), 0);
    EXPECT_TRUE(opened.empty()) << "the run starts from the event loop, not inside the click";
    PumpUntil([this] { return !opened.empty(); }, 1000);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].timerRunRequested);
    EXPECT_FALSE(panel->TimeractiveCB->isChecked());
}

TEST_F(SchedulerTest, ATimedRunWaitsForAnOpenRunWindowToClose) {
    Arm();
    runWindowOpen = true;
    scheduler->Timer1Timer();
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(scheduler->TimedRunWaiting());
    EXPECT_TRUE(handOver.TimerArmed);
    EXPECT_FALSE(handOver.TimerRunRequested) << "the open window must not take the request";
    PumpFor(500);
    EXPECT_TRUE(opened.empty());

    runWindowOpen = false;
    PumpUntil([this] { return !opened.empty(); });
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_TRUE(opened[0].timerRunRequested);
    EXPECT_FALSE(scheduler->TimedRunWaiting());
    EXPECT_FALSE(panel->TimeractiveCB->isChecked());
    PumpFor(300);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(SchedulerTest, AWaitingRunSwitchedOffIsDropped) {
    Arm();
    runWindowOpen = true;
    scheduler->Timer1Timer();
    scheduler->GIFImage1Click();
    runWindowOpen = false;
    PumpUntil([this] { return !scheduler->TimedRunWaiting(); });
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(Status(), "Timer ended but was inactive");
}

TEST_F(SchedulerTest, TheIndicatorSwitchesTheTimerOff) {
    Arm();
    emit panel->GIFImage1->clicked();
    EXPECT_FALSE(panel->TimeractiveCB->isChecked());
    EXPECT_FALSE(handOver.TimerArmed);
}

TEST_F(SchedulerTest, TheCountdownFollowsTheWallClockThroughTheSetTime) {
    panel->TimermonitorCB->setChecked(true);
    EXPECT_TRUE(scheduler->Timer2Running());
    EXPECT_TRUE(panel->cdP->isEnabled());
    struct Tick {
        int h, m, s;
        const char* shown;
    };
    for (const Tick& tick : std::vector<Tick>{
             {10, 0, 0, "00:01:00"}, {10, 0, 59, "00:00:01"}, {10, 1, 0, "00:00:00"}}) {
        SetNow(tick.h, tick.m, tick.s);
        scheduler->Timer2Timer();
        EXPECT_EQ(panel->cdP->text(), tick.shown);
    }
    EXPECT_EQ(Status(), "Timer ended but was inactive");
    SetNow(10, 1, 1);
    scheduler->Timer2Timer();
    EXPECT_EQ(panel->cdP->text(), "23:59:59");

    panel->TimermonitorCB->setChecked(false);
    EXPECT_FALSE(scheduler->Timer2Running());
    EXPECT_EQ(panel->cdP->text(), "hh:mm:ss");
    EXPECT_FALSE(panel->cdP->isEnabled());
}

TEST_F(SchedulerTest, TheDelayKeepsItsLengthUntilTheClockChangeIsReported) {
    Arm();
    SetNow(10, 0, 30);  // the system clock jumps
    EXPECT_EQ(scheduler->Timer1Interval(), 60'000);
    panel->WintimechangedB->click();
    EXPECT_EQ(scheduler->Timer1Interval(), 30'000);
    EXPECT_TRUE(scheduler->Timer1Running());
    EXPECT_EQ(Status(), "Internal timer settings recalculated.");

    // Switched off and ended, the delay stays stopped when recomputed.
    panel->TimeractiveCB->setChecked(false);
    scheduler->Timer1Timer();
    SetNow(9, 0, 0);
    scheduler->WintimechangedBClick();
    EXPECT_FALSE(scheduler->Timer1Running());
    EXPECT_EQ(scheduler->Timer1Interval(), 3'660'000);
}

TEST_F(SchedulerTest, AHiddenPanelsTimerGoesOn) {
    Arm();
    panel->hidetimerB->click();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(settings.TimerShow);
    EXPECT_EQ(Status(), "Timer hidden. Get it back by clicking with right mouse button...");
    EXPECT_TRUE(scheduler->Timer1Running());
    panel->Showhidetimerpanel1Click();
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(Status(), "");
    panel->Showhidetimerpanel1Click();
    EXPECT_FALSE(panel->isVisible());
}

// --- The settings dialog ----------------------------------------------------------------------

class SchedulerDialogTest : public SchedulerTest {
protected:
    SchedulerDialogTest() : dialog({"c:\\a.vlm", "c:\\b.vlm"}, {}, &host) {
        scheduler->SetDialog(&dialog);
    }

    // Runs "&Timer..." with `edit` done on the open dialog, then `close` pressed.
    void RunDialog(const std::function<void(TTimerF&)>& edit, QPushButton* TTimerF::*close) {
        QTimer::singleShot(0, &dialog, [this, edit, close] {
            edit(dialog);
            (dialog.*close)->click();
        });
        scheduler->TimerMIClick();
    }

    TTimerF dialog;
};

TEST_F(SchedulerDialogTest, SavingWhileOffWarnsAndChangesOnlySettingsAndLabels) {
    RunDialog(
        [](TTimerF& d) {
            EXPECT_EQ(d.TimerprojE->text(), "c:\\projects\\daily.vlm");
            EXPECT_EQ(d.timerhE->value(), 10);
            EXPECT_EQ(d.TimermE->value(), 1);
            d.TimerprojE->setText("c:\\other.vlm");
            d.timerhE->setValue(22);
            d.TimermE->setValue(5);
            d.TimerActivateCB->setChecked(true);
            d.timershowCB->setChecked(false);
        },
        &TTimerF::TimersaveB);
    EXPECT_TRUE(dialogs.Shown(BoxType::Warning,
                              "Timer not active yet. If you changed the time then the changes "
                              "have no immediate effect!"));
    EXPECT_EQ(settings.TimerProject, "c:\\other.vlm");
    EXPECT_EQ(settings.TimerHour, 22);
    EXPECT_EQ(settings.TimerMinute, 5);
    EXPECT_TRUE(settings.TimerActivate);
    EXPECT_FALSE(settings.TimerShow);
    EXPECT_FALSE(panel->isVisible()) << "the panel follows the new setting at once";
    EXPECT_EQ(panel->timesetL->text(), "22:05");
    EXPECT_EQ(panel->timervlmL->text(), "c:\\other.vlm");
    EXPECT_FALSE(scheduler->Timer1Running());
    EXPECT_FALSE(handOver.TimerArmed);
    EXPECT_EQ(Status(), "Timer options ok");
}

TEST_F(SchedulerDialogTest, SavingWhileArmedAppliesTheNewTimeAtOnce) {
    Arm();
    RunDialog([](TTimerF& d) { d.TimermE->setValue(30); }, &TTimerF::TimersaveB);
    EXPECT_EQ(dialogs.Count(BoxType::Warning), 0);
    EXPECT_TRUE(scheduler->Timer1Running());
    EXPECT_EQ(scheduler->Timer1Interval(), 30 * 60'000);
    EXPECT_EQ(Status(), "Timer options ok");
}

TEST_F(SchedulerDialogTest, CancelChangesNothing) {
    RunDialog(
        [](TTimerF& d) {
            d.timerhE->setValue(3);
            d.timershowCB->setChecked(false);
        },
        &TTimerF::TimercancelB);
    EXPECT_EQ(settings.TimerHour, 10);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(dialogs.Boxes().empty());
}

TEST_F(SchedulerDialogTest, ATimeStillBeingTypedIsCorrectedOnSave) {
    RunDialog(
        [](TTimerF& d) {
            d.timerhE->Edit()->setText("99");
            d.TimermE->Edit()->setText("");
        },
        &TTimerF::TimersaveB);
    EXPECT_EQ(settings.TimerHour, 23) << "out of range goes to the nearest bound";
    EXPECT_EQ(settings.TimerMinute, 1) << "no number keeps the field's last number";
}

// --- Dragging the panel -----------------------------------------------------------------------

void SendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button,
               Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(to->mapToGlobal(at)), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

void Drag(QWidget* panel, QPoint from, QPoint to) {
    SendMouse(panel, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    SendMouse(panel, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    SendMouse(panel, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

TEST_F(SchedulerTest, DraggingMovesThePanelCornerToThePointerUnlessSwitchedOff) {
    settings.TimerPanelX = 100;
    settings.TimerPanelY = 50;
    panel->ShowFromSettings();
    Drag(panel, {20, 20}, {60, 45});
    EXPECT_EQ(panel->pos(), QPoint(160, 95));
    EXPECT_EQ(settings.TimerPanelX, 160);
    EXPECT_EQ(settings.TimerPanelY, 95);

    // Pulled beyond the window's edge it stays where it can be grabbed again.
    Drag(panel, {20, 20}, {-500, -500});
    EXPECT_EQ(panel->pos(), QPoint(0, 0));
    EXPECT_EQ(settings.TimerPanelX, 0);

    panel->enabledisabletimerddr->trigger();
    EXPECT_EQ(Status(), "Drag drop of timer disabled");
    EXPECT_FALSE(panel->enabledisabletimerddr->isChecked());
    Drag(panel, {20, 20}, {200, 200});
    EXPECT_EQ(panel->pos(), QPoint(0, 0));

    panel->enabledisabletimerddr->trigger();
    EXPECT_EQ(Status(), "Drag drop of timer enabled");
    Drag(panel, {5, 5}, {300, 200});
    panel->Default1->trigger();
    EXPECT_EQ(panel->pos(), QPoint(8, 8));
    EXPECT_EQ(settings.TimerPanelX, 8);
    EXPECT_EQ(settings.TimerPanelY, 8);
}

TEST_F(SchedulerTest, AClickOnThePanelClearsTheStatus) {
    statuses.push_back("Something");
    Drag(panel, {20, 20}, {20, 20});
    EXPECT_EQ(Status(), "");
    EXPECT_EQ(panel->pos(), QPoint(8, 8));
}

// --- The dialog's own parts -------------------------------------------------------------------

TEST(SpinFieldTest, PutsTypedNumbersIntoRange) {
    struct Case {
        const char* text;
        std::optional<int> number;
    };
    for (const Case& c : std::vector<Case>{{"5", 5},
                                           {"23", 23},
                                           {"99", 23},
                                           {"-5", 0},
                                           {"+7", 7},
                                           {"7,9", 7},
                                           {"7.9", 7},
                                           {"", std::nullopt},
                                           {"-", std::nullopt},
                                           {"+", std::nullopt},
                                           {",", std::nullopt}}) {
        EXPECT_EQ(SpinFieldNumber(c.text, 0, 23, u','), c.number) << c.text;
    }
}

TEST(SpinFieldTest, RefusesKeysThatCannotMakeANumber) {
    test::EnsureQtApplication();
    SpinField field(0, 59, 2);
    for (QString text : {QStringLiteral("a"), QStringLiteral("1x"), QStringLiteral(" ")}) {
        int pos = 0;
        EXPECT_EQ(field.validate(text, pos), QValidator::Invalid) << text.toStdString();
    }
    for (QString text : {QStringLiteral("-"), QStringLiteral("60"), QStringLiteral("")}) {
        int pos = 0;
        EXPECT_EQ(field.validate(text, pos), QValidator::Intermediate) << text.toStdString();
    }
    QString ok = QStringLiteral("59");
    int pos = 0;
    EXPECT_EQ(field.validate(ok, pos), QValidator::Acceptable);
    EXPECT_EQ(field.Edit()->maxLength(), 2);
}

}  // namespace
}  // namespace vlm
