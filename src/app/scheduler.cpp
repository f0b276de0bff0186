#include "app/scheduler.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/timer_panel.h"
#include "dialogs/timer_dialog.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/guarded_handler.h"

namespace vlm {

namespace {

constexpr int kMonitorPeriodMs = 1000;
// How often a due run looks whether the run window in its way has closed.
constexpr int kWaitPollMs = 200;

constexpr const char* kEndedInactive = "Timer ended but was inactive";

}  // namespace

int SecondsUntil(int hour, int minute, const LocalFields& now) {
    int d = ClockSecondsBetween(hour, minute, 0, now.hour, now.minute, now.second);
    if (d < 0) {
        // The set time has passed today: the rest of today plus tomorrow up to the set time.
        d = ClockSecondsBetween(24, 0, 0, now.hour, now.minute, now.second) +
            ClockSecondsBetween(hour, minute, 0, 0, 0, 0);
    }
    return d;
}

Scheduler::Scheduler(AppSettings& settings, HandOverState& handOver, TimerPanel& panel,
                     SchedulerHooks hooks, QObject* parent)
    : QObject(parent),
      settings_(settings),
      handOver_(handOver),
      panel_(panel),
      hooks_(std::move(hooks)),
      Timer1(new QTimer(this)),
      Timer2(new QTimer(this)),
      waitT(new QTimer(this)) {
    // A coarse timer may be late by a twentieth of its interval: over hours, minutes.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setSingleShot(true);
    Timer2->setTimerType(Qt::PreciseTimer);
    Timer2->setInterval(kMonitorPeriodMs);
    waitT->setInterval(kWaitPollMs);

    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(Timer2, &QTimer::timeout, this, [this] { Timer2Timer(); });
    connect(waitT, &QTimer::timeout, this, [this] {
        if (!hooks_.isRunWindowOpen || !hooks_.isRunWindowOpen())
            RunTimedProject();
    });
    connect(panel_.TimeractiveCB, &QCheckBox::toggled, this, [this] { TimeractiveCBClick(); });
    connect(panel_.GIFImage1, &TimerIndicator::clicked, this, [this] { GIFImage1Click(); });
    connect(panel_.TimermonitorCB, &QCheckBox::toggled, this, [this] { TimermonitorCBClick(); });
    connect(panel_.WintimechangedB, &QAbstractButton::clicked, this,
            [this] { WintimechangedBClick(); });
    connect(panel_.settimerB, &QAbstractButton::clicked, this, [this] { TimerMIClick(); });
}

Scheduler::~Scheduler() = default;

int Scheduler::SecondsUntil() const {
    return vlm::SecondsUntil(settings_.TimerHour, settings_.TimerMinute, SplitDateTime(NowLocal()));
}

void Scheduler::SetStatus(const std::string& text) {
    if (hooks_.setStatus)
        hooks_.setStatus(text);
}

void Scheduler::settimeinterval() {
    // A delay of 0 (switched on in the very second of the set time) fires as soon as the
    // window system's messages are handled: the run starts at once rather than a day later.
    const int milliseconds = SecondsUntil() * 1000;
    if (Timer1->isActive())
        Timer1->start(milliseconds);
    else
        Timer1->setInterval(milliseconds);
}

void Scheduler::activatetimer() {
    handOver_.TimerArmed = true;
    panel_.GIFImage1->show();
    SetStatus("Timer active");
    Timer1->start();
    settimeinterval();
    panel_.RefreshLabels();
}

void Scheduler::TimeractiveCBClick() {
    if (panel_.TimeractiveCB->isChecked()) {
        activatetimer();
        if (hooks_.setRunCommandsEnabled)
            hooks_.setRunCommandsEnabled(false);
        panel_.SetCountdownArmed(true);
        return;
    }
    // Timer1 goes on: when it ends it finds the timer inactive and runs nothing.
    panel_.GIFImage1->hide();
    handOver_.TimerArmed = false;
    SetStatus("Timer NOT active");
    if (hooks_.setRunCommandsEnabled)
        hooks_.setRunCommandsEnabled(true);
    panel_.SetCountdownArmed(false);
}

void Scheduler::GIFImage1Click() {
    panel_.TimeractiveCB->toggle();
}

void Scheduler::StopMonitor() {
    {
        const QSignalBlocker quiet(panel_.TimermonitorCB);
        panel_.TimermonitorCB->setChecked(false);
    }
    Timer2->stop();
    panel_.SetCountdownText("hh:mm:ss");
    panel_.SetCountdownEnabled(false);
}

void Scheduler::Timer1Timer() {
    Timer1->stop();
    StopMonitor();
    if (!handOver_.TimerArmed) {
        SetStatus(kEndedInactive);
        return;
    }
    SetStatus("Time to run!");
    if (hooks_.isRunWindowOpen && hooks_.isRunWindowOpen()) {
        // A second run window over a running one could let two runs write to the same
        // destination; the timed run starts when the open window has closed.
        WaitForRunWindow();
        return;
    }
    RunTimedProject();
}

void Scheduler::WaitForRunWindow() {
    waitT->start();
}

bool Scheduler::TimedRunWaiting() const {
    return waitT->isActive();
}

void Scheduler::RunTimedProject() {
    waitT->stop();
    if (!handOver_.TimerArmed) {
        // Switched off while it waited.
        SetStatus(kEndedInactive);
        return;
    }
    handOver_.TimerRunRequested = true;
    // A clock event must not carry an error into the window system's loop.
    Guarded([this] {
        if (hooks_.openRunForm)
            hooks_.openRunForm(settings_.TimerProject);
    });
    handOver_.TimerRunRequested = false;
    SetStatus("");
    if (panel_.TimeractiveCB->isChecked())
        panel_.TimeractiveCB->setChecked(false);
    else
        TimeractiveCBClick();
}

void Scheduler::Timer2Timer() {
    const ClockParts left = SplitSeconds(SecondsUntil());
    panel_.SetCountdownText(PadTwo(std::to_string(left.hours)) + ":" +
                            PadTwo(std::to_string(left.minutes)) + ":" +
                            PadTwo(std::to_string(left.seconds)));
    if (left.hours == 0 && left.minutes == 0 && left.seconds == 0 && !Timer1->isActive())
        SetStatus(kEndedInactive);
}

void Scheduler::TimermonitorCBClick() {
    if (panel_.TimermonitorCB->isChecked()) {
        Timer2->start();
        panel_.SetCountdownEnabled(true);
        return;
    }
    Timer2->stop();
    panel_.SetCountdownText("hh:mm:ss");
    panel_.SetCountdownEnabled(false);
}

void Scheduler::WintimechangedBClick() {
    settimeinterval();
    SetStatus("Internal timer settings recalculated.");
}

void Scheduler::TimerMIClick() {
    if (dialog_ == nullptr)
        return;
    dialog_->Fill(settings_);
    if (dialog_->exec() != QDialog::Accepted)
        return;
    dialog_->TakeOver(settings_);
    panel_.setVisible(settings_.TimerShow);
    if (handOver_.TimerArmed)
        activatetimer();
    else
        ShowWarningBox(
            "Timer not active yet. If you changed the time then the changes have no immediate "
            "effect!");
    panel_.RefreshLabels();
    SetStatus("Timer options ok");
}

void Scheduler::SwitchOnAtStart() {
    panel_.TimeractiveCB->setChecked(true);
}

bool Scheduler::Timer1Running() const {
    return Timer1->isActive();
}

int Scheduler::Timer1Interval() const {
    return Timer1->interval();
}

bool Scheduler::Timer2Running() const {
    return Timer2->isActive();
}

}  // namespace vlm
