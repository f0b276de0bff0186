#include "dialogs/timer_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "widgets/shown_text.h"

namespace vlm {

namespace {

bool IsSign(QChar c) {
    return c == u'+' || c == u'-';
}

}  // namespace

std::optional<int> SpinFieldNumber(const QString& text, int minimum, int maximum,
                                   QChar decimalSeparator) {
    QString plain = text.trimmed();
    plain.replace(decimalSeparator, u'.');
    bool ok = false;
    const double number = plain.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return std::nullopt;
    const double whole = std::trunc(number);
    return static_cast<int>(
        std::clamp(whole, static_cast<double>(minimum), static_cast<double>(maximum)));
}

SpinField::SpinField(int minimum, int maximum, int maxLength, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    lineEdit()->setMaxLength(maxLength);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

QValidator::State SpinField::validate(QString& text, int&) const {
    const QChar separator =
        locale().decimalPoint().isEmpty() ? QChar(u'.') : locale().decimalPoint().front();
    for (const QChar c : text) {
        if (!c.isDigit() && !IsSign(c) && c != separator)
            return QValidator::Invalid;
    }
    bool ok = false;
    const int number = text.toInt(&ok);
    if (ok && number >= minimum() && number <= maximum())
        return QValidator::Acceptable;
    return QValidator::Intermediate;
}

void SpinField::fixup(QString& text) const {
    const QChar separator =
        locale().decimalPoint().isEmpty() ? QChar(u'.') : locale().decimalPoint().front();
    if (const std::optional<int> number = SpinFieldNumber(text, minimum(), maximum(), separator))
        text = QString::number(*number);
}

TTimerF::TTimerF(const std::vector<std::string>& runHistory, ProjectBrowseHooks browse,
                 QWidget* parent)
    : QDialog(parent), browse_(std::move(browse)) {
    setObjectName(QStringLiteral("TTimerF"));
    setWindowTitle(QStringLiteral("Timer"));

    QGroupBox* projectGroup = BuildProjectGroup(runHistory);
    QGroupBox* timeGroup = BuildTimeGroup();

    TimerActivateCB = new QCheckBox(QStringLiteral("&Activate on start-up"), this);
    timershowCB = new QCheckBox(QStringLiteral("&Show timer panel on start-up"), this);

    TimersaveB = new QPushButton(QStringLiteral("&Save"), this);
    TimersaveB->setDefault(true);
    TimercancelB = new QPushButton(QStringLiteral("&Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(TimersaveB);
    buttons->addWidget(TimercancelB);

    auto* column = new QVBoxLayout(this);
    column->addWidget(projectGroup);
    column->addWidget(timeGroup);
    column->addWidget(TimerActivateCB);
    column->addWidget(timershowCB);
    column->addLayout(buttons);

    // Connected after the starting text "History" is in place, which is no project path.
    connect(timerCB, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { timerCBChange(text); });
    connect(timervlmbrowseB, &QPushButton::clicked, this, [this] { timervlmbrowseBClick(); });
    connect(TimersaveB, &QPushButton::clicked, this, [this] { TimersaveBClick(); });
    connect(TimercancelB, &QPushButton::clicked, this, &QDialog::reject);
}

QGroupBox* TTimerF::BuildProjectGroup(const std::vector<std::string>& runHistory) {
    auto* projectGroup = new QGroupBox(QStringLiteral("Project"), this);
    timervlmbrowseB = new QPushButton(QStringLiteral("&Browse..."), projectGroup);
    timerCB = new QComboBox(projectGroup);
    timerCB->setEditable(true);
    timerCB->setInsertPolicy(QComboBox::NoInsert);
    for (const auto& path : runHistory)
        timerCB->addItem(Q(path));
    timerCB->setEditText(QStringLiteral("History"));
    timerCB->setMinimumContentsLength(40);
    TimerprojE = new QLineEdit(projectGroup);
    TimerprojE->setMinimumWidth(420);
    auto* projectRows = new QGridLayout(projectGroup);
    projectRows->addWidget(timervlmbrowseB, 0, 0);
    projectRows->addWidget(timerCB, 0, 1);
    projectRows->addWidget(TimerprojE, 1, 0, 1, 2);
    projectRows->setColumnStretch(1, 1);
    return projectGroup;
}

QGroupBox* TTimerF::BuildTimeGroup() {
    auto* timeGroup = new QGroupBox(QStringLiteral("Time"), this);
    timerhE = new SpinField(0, 23, 2, timeGroup);
    TimermE = new SpinField(0, 59, 2, timeGroup);
    auto* timeRow = new QHBoxLayout(timeGroup);
    timeRow->addWidget(new QLabel(QStringLiteral("Hour"), timeGroup));
    timeRow->addWidget(timerhE);
    timeRow->addSpacing(16);
    timeRow->addWidget(new QLabel(QStringLiteral("Minutes"), timeGroup));
    timeRow->addWidget(TimermE);
    timeRow->addStretch(1);
    return timeGroup;
}

void TTimerF::Fill(const AppSettings& settings) {
    TimerprojE->setText(Q(settings.TimerProject));
    timerhE->setValue(settings.TimerHour);
    TimermE->setValue(settings.TimerMinute);
    TimerActivateCB->setChecked(settings.TimerActivate);
    timershowCB->setChecked(settings.TimerShow);
}

void TTimerF::TakeOver(AppSettings& settings) const {
    settings.TimerProject = TimerprojE->text().toStdString();
    settings.TimerHour = static_cast<std::uint16_t>(timerhE->value());
    settings.TimerMinute = static_cast<std::uint16_t>(TimermE->value());
    settings.TimerActivate = TimerActivateCB->isChecked();
    settings.TimerShow = timershowCB->isChecked();
}

void TTimerF::timerCBChange(const QString& text) {
    TimerprojE->setText(text);
}

void TTimerF::timervlmbrowseBClick() {
    if (const auto path = BrowseForProject(browse_, "Select VLM-file for timer"))
        TimerprojE->setText(Q(*path));
}

void TTimerF::TimersaveBClick() {
    // What is still being typed in a spin field counts, corrected as on leaving the field.
    timerhE->interpretText();
    TimermE->interpretText();
    accept();
}

}  // namespace vlm
