#include "app/timer_panel.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "util/text_helpers.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr int kDefaultPosition = 8;
constexpr int kIndicatorDots = 8;
// How much of the panel stays inside the window when it is dragged to an edge, so that it can
// always be grabbed again.
constexpr int kKeepVisible = 24;

}  // namespace

// --- Indicator --------------------------------------------------------------------------------

TimerIndicator::TimerIndicator(QWidget* parent) : QWidget(parent), animation_(new QTimer(this)) {
    setObjectName(QStringLiteral("GIFImage1"));
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("Timer active. Click to switch it off."));
    animation_->setInterval(120);
    connect(animation_, &QTimer::timeout, this, [this] {
        frame_ = (frame_ + 1) % kIndicatorDots;
        update();
    });
}

QSize TimerIndicator::sizeHint() const {
    return {24, 24};
}

void TimerIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double radius = side * 0.36;
    const double dot = side * 0.09;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < kIndicatorDots; ++i) {
        // The dot of the current frame is the brightest, the ones behind it fade out.
        const int age = (frame_ - i + kIndicatorDots) % kIndicatorDots;
        QColor colour(0, 140, 0);
        colour.setAlphaF(1.0 - age / static_cast<double>(kIndicatorDots + 1));
        painter.setBrush(colour);
        const double angle = 2 * M_PI * i / kIndicatorDots;
        painter.drawEllipse(centre + QPointF(radius * std::sin(angle), -radius * std::cos(angle)),
                            dot, dot);
    }
}

void TimerIndicator::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

void TimerIndicator::showEvent(QShowEvent*) {
    animation_->start();
}

void TimerIndicator::hideEvent(QHideEvent*) {
    animation_->stop();
}

// --- Panel ------------------------------------------------------------------------------------

TimerPanel::TimerPanel(AppSettings& settings, QWidget* parent)
    : QGroupBox(QStringLiteral("Timer"), parent), settings_(settings) {
    setObjectName(QStringLiteral("timerGB"));
    setGeometry(kDefaultPosition, kDefaultPosition, 481, 185);
    setAutoFillBackground(true);
    setCursor(Qt::OpenHandCursor);
    BuildControls();
    BuildLayout();
    BuildPopupMenu();
}

void TimerPanel::BuildControls() {
    TimeractiveCB = new QCheckBox(QStringLiteral("Ac&tive"), this);
    TimeractiveCB->setObjectName(QStringLiteral("TimeractiveCB"));
    GIFImage1 = new TimerIndicator(this);
    GIFImage1->setFixedSize(24, 24);
    GIFImage1->hide();
    TimermonitorCB = new QCheckBox(QStringLiteral("Countdown &monitor"), this);
    TimermonitorCB->setObjectName(QStringLiteral("TimermonitorCB"));

    timervlmL = new QLabel(this);
    timervlmL->setObjectName(QStringLiteral("timervlmL"));
    timesetL = new QLabel(this);
    timesetL->setObjectName(QStringLiteral("timesetL"));

    cdP = new QLabel(QStringLiteral("hh:mm:ss"), this);
    cdP->setObjectName(QStringLiteral("cdP"));
    cdP->setAlignment(Qt::AlignCenter);
    cdP->setFrameShape(QFrame::Panel);
    cdP->setFrameShadow(QFrame::Sunken);
    QFont large(QStringLiteral("Arial"));
    large.setPixelSize(32);
    cdP->setFont(large);
    cdP->setContextMenuPolicy(Qt::CustomContextMenu);
    SetCountdownArmed(false);
    SetCountdownEnabled(false);

    WintimechangedB = new QPushButton(QStringLiteral("&Windows time changed"), this);
    WintimechangedB->setToolTip(QStringLiteral(
        "If Windows time changed for some reason then click here to recalculate timer setting!"));
    hidetimerB = new QPushButton(QStringLiteral("&Hide Timer"), this);
    settimerB = new QPushButton(QStringLiteral("&Set"), this);
    for (QPushButton* button : {WintimechangedB, hidetimerB, settimerB})
        button->setCursor(Qt::ArrowCursor);
    for (QCheckBox* box : {TimeractiveCB, TimermonitorCB})
        box->setCursor(Qt::ArrowCursor);
}

void TimerPanel::BuildLayout() {
    auto* top = new QHBoxLayout;
    top->addWidget(TimeractiveCB);
    top->addWidget(GIFImage1);
    top->addStretch(1);
    top->addWidget(TimermonitorCB);

    auto* labels = new QGridLayout;
    labels->addWidget(new QLabel(QStringLiteral("Project: "), this), 0, 0);
    labels->addWidget(timervlmL, 0, 1);
    labels->addWidget(new QLabel(QStringLiteral("Time set: "), this), 1, 0);
    labels->addWidget(timesetL, 1, 1);
    labels->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(WintimechangedB);
    buttons->addStretch(1);
    buttons->addWidget(hidetimerB);
    buttons->addWidget(settimerB);

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addLayout(labels);
    column->addWidget(cdP, 1);
    column->addLayout(buttons);

    connect(hidetimerB, &QPushButton::clicked, this, [this] { hidetimerBClick(); });
}

void TimerPanel::BuildPopupMenu() {
    timerPM = new QMenu(this);
    timerPM->setObjectName(QStringLiteral("timerPM"));
    Hide1 = timerPM->addAction(QStringLiteral("&Hide"));
    enabledisabletimerddr = timerPM->addAction(QStringLiteral("Timer &drag drop (enable/disable)"));
    enabledisabletimerddr->setCheckable(true);
    enabledisabletimerddr->setChecked(true);
    Default1 = timerPM->addAction(QStringLiteral("De&fault position"));
    connect(Hide1, &QAction::triggered, this, [this] { Hide1Click(); });
    connect(enabledisabletimerddr, &QAction::triggered, this,
            [this] { enabledisabletimerddrClick(); });
    connect(Default1, &QAction::triggered, this, [this] { Default1Click(); });

    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { timerPM->popup(mapToGlobal(at)); });
    connect(cdP, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { timerPM->popup(cdP->mapToGlobal(at)); });
}

void TimerPanel::SetStatusHandler(std::function<void(const std::string&)> handler) {
    status_ = std::move(handler);
}

void TimerPanel::Status(const std::string& text) {
    if (status_)
        status_(text);
}

void TimerPanel::ShowFromSettings() {
    move(settings_.TimerPanelX, settings_.TimerPanelY);
    RefreshLabels();
    setVisible(settings_.TimerShow);
}

void TimerPanel::RefreshLabels() {
    timesetL->setText(Q(PadTwo(std::to_string(settings_.TimerHour)) + ":" +
                        PadTwo(std::to_string(settings_.TimerMinute))));
    timervlmL->setText(Q(ShortenLeft(settings_.TimerProject, 55)));
}

void TimerPanel::SetCountdownText(const std::string& text) {
    cdP->setText(Q(text));
}

void TimerPanel::SetCountdownArmed(bool armed) {
    QPalette palette = cdP->palette();
    const QColor colour = armed ? QColor(0, 0, 0) : QColor(128, 128, 128);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::WindowText, colour);
    cdP->setPalette(palette);
}

void TimerPanel::SetCountdownEnabled(bool enabled) {
    cdP->setEnabled(enabled);
}

void TimerPanel::hidetimerBClick() {
    // Hiding changes only the view: TimerShow stays, and the timer and countdown go on.
    hide();
    Status("Timer hidden. Get it back by clicking with right mouse button...");
}

void TimerPanel::Hide1Click() {
    hidetimerBClick();
}

void TimerPanel::Showhidetimerpanel1Click() {
    if (isVisible()) {
        hide();
        return;
    }
    show();
    raise();
    Status("");
}

void TimerPanel::Default1Click() {
    move(kDefaultPosition, kDefaultPosition);
    settings_.TimerPanelX = kDefaultPosition;
    settings_.TimerPanelY = kDefaultPosition;
}

void TimerPanel::enabledisabletimerddrClick() {
    dragEnabled_ = !dragEnabled_;
    enabledisabletimerddr->setChecked(dragEnabled_);
    setCursor(dragEnabled_ ? Qt::OpenHandCursor : Qt::ArrowCursor);
    Status(dragEnabled_ ? "Drag drop of timer enabled" : "Drag drop of timer disabled");
}

void TimerPanel::timerGBClick() {
    Status("");
}

void TimerPanel::MoveTo(QPoint at) {
    if (QWidget* host = parentWidget()) {
        at.setX(std::clamp(at.x(), 0, std::max(0, host->width() - kKeepVisible)));
        at.setY(std::clamp(at.y(), 0, std::max(0, host->height() - kKeepVisible)));
    } else {
        at.setX(std::max(0, at.x()));
        at.setY(std::max(0, at.y()));
    }
    move(at);
    settings_.TimerPanelX = static_cast<std::uint16_t>(at.x());
    settings_.TimerPanelY = static_cast<std::uint16_t>(at.y());
}

void TimerPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QGroupBox::mousePressEvent(event);
        return;
    }
    pressed_ = true;
    dragging_ = false;
    pressAt_ = event->position().toPoint();
}

void TimerPanel::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_ || !dragEnabled_ || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint here = event->position().toPoint();
    if (!dragging_ && (here - pressAt_).manhattanLength() < QApplication::startDragDistance())
        return;
    if (!dragging_) {
        dragging_ = true;
        setCursor(Qt::ClosedHandCursor);
    }
    // The panel's top-left corner follows the mouse pointer.
    MoveTo(mapToParent(here));
}

void TimerPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QGroupBox::mouseReleaseEvent(event);
        return;
    }
    const bool wasDrag = dragging_;
    pressed_ = false;
    dragging_ = false;
    setCursor(dragEnabled_ ? Qt::OpenHandCursor : Qt::ArrowCursor);
    if (!wasDrag)
        timerGBClick();
}

}  // namespace vlm
