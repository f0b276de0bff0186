#include "dialogs/system_schedule_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "platform/drive_table.h"
#include "platform/path_translation.h"
#include "platform/volume_identity.h"

namespace vlm {

namespace {

constexpr std::array<const char*, 7> kDayCaptions = {"Mon", "Tue", "Wed", "Thu",
                                                     "Fri", "Sat", "Sun"};

// A project as the person typed or picked it (a drive path, or an absolute path of this system),
// as the host path a schedule hands to the desktop; the empty path when it names no file on a
// drive. A relative path names nothing: a schedule runs from no particular folder.
HostPath ProjectHostPath(const std::string& typed) {
    const std::optional<DrivePath> project = DrivePathFromArgument(typed, HostPath());
    const std::optional<HostPath> host = project ? ToHostPath(*project) : std::nullopt;
    return host.value_or(HostPath());
}

}  // namespace

SystemScheduleDialog::SystemScheduleDialog(ProjectBrowseHooks browse, SystemScheduler::Host host,
                                           ScheduledCommand command, QWidget* parent)
    : QDialog(parent),
      browse_(std::move(browse)),
      scheduler_([&] {
          // Runs at connection that systemd cannot start are kept in the program folder.
          host.programFolder = command.programFolderHost;
          return std::move(host);
      }()),
      command_(std::move(command)) {
    setWindowTitle(QStringLiteral("Schedule with the system"));

    projectE = new QLineEdit(this);
    browseB = new QPushButton(QStringLiteral("&Browse..."), this);
    timeE = new QTimeEdit(QTime(20, 0), this);
    timeE->setDisplayFormat(QStringLiteral("HH:mm"));
    everyDayRB = new QRadioButton(QStringLiteral("Every &day"), this);
    weekdaysRB = new QRadioButton(QStringLiteral("On these &weekdays:"), this);
    everyDayRB->setChecked(true);
    auto* days = new QHBoxLayout;
    for (std::size_t i = 0; i < dayCB.size(); ++i) {
        dayCB[i] = new QCheckBox(QString::fromLatin1(kDayCaptions[i]), this);
        dayCB[i]->setEnabled(false);
        days->addWidget(dayCB[i]);
        connect(weekdaysRB, &QRadioButton::toggled, dayCB[i], &QCheckBox::setEnabled);
    }
    connectedRB = new QRadioButton(QStringLiteral("&When drive"), this);
    driveC = new QComboBox(this);
    hoursE = new QSpinBox(this);
    hoursE->setRange(0, 720);
    hoursE->setValue(12);
    hoursE->setSuffix(QStringLiteral(" hours"));
    for (QWidget* field : {static_cast<QWidget*>(driveC), static_cast<QWidget*>(hoursE)}) {
        field->setEnabled(false);
        connect(connectedRB, &QRadioButton::toggled, field, &QWidget::setEnabled);
    }
    connect(connectedRB, &QRadioButton::toggled, timeE,
            [this](bool on) { timeE->setEnabled(!on); });
    addB = new QPushButton(QStringLiteral("&Add schedule"), this);
    scheduleLB = new QListWidget(this);
    removeB = new QPushButton(QStringLiteral("&Remove selected"), this);
    statusL = new QLabel(this);
    statusL->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

    BuildLayout(days, buttons);
    FillDrives();

    connect(browseB, &QPushButton::clicked, this, &SystemScheduleDialog::BrowseBClick);
    connect(addB, &QPushButton::clicked, this, &SystemScheduleDialog::AddBClick);
    connect(removeB, &QPushButton::clicked, this, &SystemScheduleDialog::RemoveBClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void SystemScheduleDialog::BuildLayout(QHBoxLayout* days, QDialogButtonBox* buttons) {
    auto* form = new QGridLayout;
    // A label shows its mnemonic only when it has a buddy to give the focus to.
    auto* projectL = new QLabel(QStringLiteral("&Project:"), this);
    projectL->setBuddy(projectE);
    auto* timeL = new QLabel(QStringLiteral("&Time:"), this);
    timeL->setBuddy(timeE);
    form->addWidget(projectL, 0, 0);
    form->addWidget(projectE, 0, 1);
    form->addWidget(browseB, 0, 2);
    form->addWidget(timeL, 1, 0);
    form->addWidget(timeE, 1, 1, Qt::AlignLeft);
    form->addWidget(everyDayRB, 2, 1);
    form->addWidget(weekdaysRB, 3, 1);
    form->addLayout(days, 4, 1, 1, 2);
    auto* connected = new QHBoxLayout;
    connected->addWidget(connectedRB);
    connected->addWidget(driveC);
    connected->addWidget(new QLabel(QStringLiteral("is connected, at most once in"), this));
    connected->addWidget(hoursE);
    connected->addStretch(1);
    form->addLayout(connected, 5, 1, 1, 2);
    form->addWidget(addB, 6, 1, Qt::AlignLeft);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(new QLabel(QStringLiteral("Schedules made by Velmora:"), this));
    layout->addWidget(scheduleLB);
    layout->addWidget(removeB, 0, Qt::AlignLeft);
    layout->addWidget(statusL);
    layout->addWidget(buttons);
}

void SystemScheduleDialog::FillDrives() {
    driveC->clear();
    for (const DriveDescription& drive : ActiveDriveTable().Describe()) {
        VolumeReference reference;
        if (!ParseVolumeReference(drive.pin, reference) ||
            reference.by == VolumeReference::By::Source)
            continue;
        std::string label = drive.volume.label;
        if (label.empty())
            label = reference.by == VolumeReference::By::Label
                        ? reference.value
                        : ActiveDriveTable().RememberedLabel(drive.letter);
        driveC->addItem(QString::fromStdString(std::string(1, drive.letter) + ":" +
                                               (label.empty() ? "" : " (" + label + ")")),
                        QString::fromStdString(drive.pin + "\n" + label));
    }
    connectedRB->setEnabled(driveC->count() > 0);
}

void SystemScheduleDialog::AddOnConnect(const HostPath& project) {
    const QStringList data = driveC->currentData().toString().split(QLatin1Char('\n'));
    if (driveC->currentIndex() < 0 || data.size() != 2) {
        statusL->setText(QStringLiteral("Choose a drive pinned to a disk first."));
        return;
    }
    ConnectSchedule schedule;
    schedule.letter = driveC->currentText().toStdString()[0];
    schedule.volume = data[0].toStdString();
    schedule.label = data[1].toStdString();
    schedule.atMostEveryHours = hoursE->value();
    schedule.projectHost = project;
    const ScheduleOutcome outcome = scheduler_.AddOnConnect(schedule, command_);
    statusL->setText(QString::fromStdString(outcome.ok
                                                ? "Scheduled " + ConnectWhen(schedule) + " as " +
                                                      outcome.id + ". " + outcome.message
                                                : outcome.message));
    RefreshList();
}

void SystemScheduleDialog::Open() {
    FillDrives();
    ShowHostStatus();
    RefreshList();
    exec();
}

void SystemScheduleDialog::ShowHostStatus() {
    const bool canSchedule = scheduler_.CanSchedule();
    // A run at connection needs neither: without systemd the open program starts it.
    addB->setEnabled(canSchedule || connectedRB->isEnabled());
    std::string text;
    if (!canSchedule)
        text = kNoSchedulerText;
    else if (scheduler_.UsesSystemd())
        text = "Schedules are systemd user timers.";
    else
        text = "Schedules are lines of your crontab.";
    if (canSchedule && scheduler_.CronDaemonMissing())
        text += std::string(" ") + kCronNotRunningText;
    statusL->setText(QString::fromStdString(text));
}

void SystemScheduleDialog::RefreshList() {
    scheduleLB->clear();
    for (const ScheduleEntry& entry : scheduler_.List()) {
        auto* item = new QListWidgetItem(QString::fromStdString(entry.description), scheduleLB);
        item->setData(Qt::UserRole, QString::fromStdString(entry.id));
        item->setToolTip(QString::fromStdString(entry.id));
    }
}

void SystemScheduleDialog::BrowseBClick() {
    if (auto chosen = BrowseForProject(browse_, "Project to schedule"))
        projectE->setText(QString::fromStdString(*chosen));
}

void SystemScheduleDialog::AddBClick() {
    RepeatSchedule schedule;
    schedule.hour = timeE->time().hour();
    schedule.minute = timeE->time().minute();
    if (weekdaysRB->isChecked())
        for (std::size_t i = 0; i < dayCB.size(); ++i)
            schedule.weekdays[i] = dayCB[i]->isChecked();
    schedule.projectHost = ProjectHostPath(projectE->text().toStdString());
    if (schedule.projectHost.empty() || schedule.projectHost.IsRoot()) {
        statusL->setText(QStringLiteral("Choose a project first."));
        return;
    }
    if (connectedRB->isChecked()) {
        AddOnConnect(schedule.projectHost);
        return;
    }
    if (!scheduler_.CanSchedule()) {
        statusL->setText(QString::fromUtf8(kNoSchedulerText));
        return;
    }
    const ScheduleOutcome outcome = scheduler_.Add(schedule, command_);
    std::string text = outcome.ok
                           ? "Scheduled " + ScheduleWhen(schedule) + " as " + outcome.id + "."
                           : outcome.message;
    if (outcome.ok && scheduler_.CronDaemonMissing())
        text += std::string(" ") + kCronNotRunningText;
    statusL->setText(QString::fromStdString(text));
    RefreshList();
}

void SystemScheduleDialog::RemoveBClick() {
    QListWidgetItem* item = scheduleLB->currentItem();
    if (item == nullptr) {
        statusL->setText(QStringLiteral("Select a schedule to remove."));
        return;
    }
    const ScheduleOutcome outcome =
        scheduler_.Remove(item->data(Qt::UserRole).toString().toStdString());
    statusL->setText(
        QString::fromStdString(outcome.ok ? "Removed " + outcome.id + "." : outcome.message));
    RefreshList();
}

}  // namespace vlm
