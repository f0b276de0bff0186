#pragma once
// The scheduler: runs one chosen project, once, at a set hour and minute of the day, while the
// program is running. It keeps two clocks — `Timer1`, the one-shot delay that starts the run,
// and `Timer2`, the one-second countdown display — and carries the handlers of the timer panel
// and of the "&Timer..." command.
//
// The delay is measured from the moment the timer is switched on (or recomputed), not watched on
// the wall clock; the wall clock is read through NowLocal, which tests replace.
//
//     Scheduler scheduler(settings, handOver, *timerGB, {
//         .openRunForm = [this](const std::string& p) { openrunform(p); },
//         .isRunWindowOpen = [this] { return runWindowOpen; },
//         .setRunCommandsEnabled = [this](bool on) { ... RunMI, EmptyMI, CropMI ... },
//         .setStatus = [this](const std::string& t) { SetStatus(t); },
//     });
//     scheduler.SetDialog(timerF);

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

#include "core/app_settings.h"
// SetDialog keeps a QPointer, which needs the whole class.
#include "dialogs/timer_dialog.h"
#include "engine/run_state.h"
#include "platform/packed_time.h"

class QTimer;

namespace vlm {

class TimerPanel;

// Whole seconds from `now` (its milliseconds ignored) to the next hour:minute:00; 0 only when
// `now` is that moment to the second, always less than a day.
int SecondsUntil(int hour, int minute, const LocalFields& now);

struct SchedulerHooks {
    // openrunform: validates the project and shows the run window modally; returns when it
    // has closed (or when the project was refused).
    std::function<void(const std::string& path)> openRunForm;
    // True while a run window is open; a timed run that becomes due then waits for it.
    std::function<bool()> isRunWindowOpen;
    // The "&Run", "&Empty" and "&Crop last run" menu items.
    std::function<void(bool enabled)> setRunCommandsEnabled;
    // The main window's status bar.
    std::function<void(const std::string& text)> setStatus;
};

class Scheduler : public QObject {
    Q_OBJECT

public:
    Scheduler(AppSettings& settings, HandOverState& handOver, TimerPanel& panel,
              SchedulerHooks hooks, QObject* parent = nullptr);
    ~Scheduler() override;

    // The timer settings dialog, created hidden at start.
    void SetDialog(TTimerF* dialog) { dialog_ = dialog; }

    // SecondsUntil the set time from the clock now.
    int SecondsUntil() const;

    // Recomputes the delay; a running Timer1 counts the new delay from now.
    void settimeinterval();
    // Arms the timer.
    void activatetimer();
    // The "Ac&tive" check box changed (by the person or by the program).
    void TimeractiveCBClick();
    // The indicator was clicked: toggles "Ac&tive".
    void GIFImage1Click();
    // The delay has ended.
    void Timer1Timer();
    // One second of the countdown display.
    void Timer2Timer();
    void TimermonitorCBClick();
    void WintimechangedBClick();
    // "&Timer..." and the panel's "&Set": the settings dialog.
    void TimerMIClick();
    // At start with "&Activate on start-up" and an empty command line.
    void SwitchOnAtStart();

    // What the clocks are doing.
    bool Timer1Running() const;
    int Timer1Interval() const;  // milliseconds
    bool Timer2Running() const;
    // A timed run became due while a run window was open and waits for it to close.
    bool TimedRunWaiting() const;

private:
    void SetStatus(const std::string& text);
    void StopMonitor();
    // The timed run itself, once no run window is in the way.
    void RunTimedProject();
    void WaitForRunWindow();

    AppSettings& settings_;
    HandOverState& handOver_;
    TimerPanel& panel_;
    SchedulerHooks hooks_;
    QPointer<TTimerF> dialog_;
    QTimer* Timer1;
    QTimer* Timer2;
    QTimer* waitT;  // polls for the end of the run window a due run waits for
};

}  // namespace vlm
