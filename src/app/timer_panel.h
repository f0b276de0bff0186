#pragma once
// The timer panel `timerGB` of the main window: the controls of the scheduler, the countdown
// display `cdP`, the indicator that shows the timer is armed, and the panel's own handling —
// hiding, its pop-up menu, and moving it about by drag and drop.
//
//     auto* timerGB = new TimerPanel(settings, BackI);     // on the background picture
//     timerGB->SetStatusHandler([this](const std::string& t) { SetStatus(t); });
//     timerGB->ShowFromSettings();                          // position, labels, TimerShow
//
// The scheduler (app/scheduler.h) connects itself to the check boxes and buttons.

#include <QGroupBox>
#include <QPointer>
#include <functional>
#include <string>

#include "core/app_settings.h"

class QAction;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace vlm {

// GIFImage1: a small animated picture, a ring of dots going round, shown while the timer is
// armed. A click on it is reported as `clicked`.
class TimerIndicator : public QWidget {
    Q_OBJECT

public:
    explicit TimerIndicator(QWidget* parent = nullptr);
    QSize sizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer* animation_;
    int frame_ = 0;
};

class TimerPanel : public QGroupBox {
    Q_OBJECT

public:
    // The panel keeps its position in `settings` (TimerPanelX, TimerPanelY).
    TimerPanel(AppSettings& settings, QWidget* parent = nullptr);

    // Where short feedback goes (the main window's status bar).
    void SetStatusHandler(std::function<void(const std::string&)> handler);

    // At start: moved to the stored position, shown by TimerShow, labels from the settings.
    void ShowFromSettings();
    // timesetL and timervlmL from the settings.
    void RefreshLabels();

    // The countdown display: its text, black (armed) or grey, enabled with the monitor.
    void SetCountdownText(const std::string& text);
    void SetCountdownArmed(bool armed);
    void SetCountdownEnabled(bool enabled);

    // Panel handling.
    void hidetimerBClick();
    void Hide1Click();
    // Shows a hidden panel (clearing the status text), hides a visible one.
    void Showhidetimerpanel1Click();
    void Default1Click();
    void enabledisabletimerddrClick();
    void timerGBClick();

    // The components.
    QCheckBox* TimeractiveCB;
    TimerIndicator* GIFImage1;
    QLabel* timervlmL;
    QLabel* timesetL;
    QCheckBox* TimermonitorCB;
    QLabel* cdP;
    QPushButton* WintimechangedB;
    QPushButton* hidetimerB;
    QPushButton* settimerB;
    QMenu* timerPM;
    QAction* Hide1;
    QAction* enabledisabletimerddr;
    QAction* Default1;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void BuildPopupMenu();
    void Status(const std::string& text);
    // Moves the panel's top-left corner to `at` (parent coordinates), kept inside the parent,
    // and stores the position.
    void MoveTo(QPoint at);

    AppSettings& settings_;
    std::function<void(const std::string&)> status_;
    bool dragEnabled_ = true;
    bool pressed_ = false;
    bool dragging_ = false;
    QPoint pressAt_;
};

}  // namespace vlm
