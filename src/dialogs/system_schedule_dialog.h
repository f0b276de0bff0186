#pragma once
// SystemScheduleDialog: "Options, Schedule with the system...". Beside the timer, which runs a
// project once while the program is open, this lets the system run a project with velmora-run every
// day or on chosen weekdays at a time, whether or not the program is open. It lists the schedules
// the program made and removes them; the host side is SystemScheduler.

#include <QDialog>
#include <array>
#include <string>

#include "dialogs/project_browse.h"
#include "platform/paths.h"
#include "platform/system_schedule.h"

class QCheckBox;
class QComboBox;
class QSpinBox;
class QDialogButtonBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace vlm {

class SystemScheduleDialog : public QDialog {
    Q_OBJECT

public:
    SystemScheduleDialog(ProjectBrowseHooks browse, SystemScheduler::Host host,
                         ScheduledCommand command, QWidget* parent = nullptr);

    // Shows the dialog with the list as the system has it now.
    void Open();
    // Which kind of schedule the dialog makes, or what to install when it can make none, and a
    // warning when cron is to keep the schedules but its daemon is not running.
    void ShowHostStatus();
    void RefreshList();
    void BrowseBClick();
    void AddBClick();
    void RemoveBClick();

    QLineEdit* projectE;
    QPushButton* browseB;
    QTimeEdit* timeE;
    QRadioButton* everyDayRB;
    QRadioButton* weekdaysRB;
    std::array<QCheckBox*, 7> dayCB{};
    // A run each time a disk is connected: the drives pinned to a disk, and the hours within
    // which it runs only once.
    QRadioButton* connectedRB;
    QComboBox* driveC;
    QSpinBox* hoursE;
    QPushButton* addB;
    QListWidget* scheduleLB;
    QPushButton* removeB;
    QLabel* statusL;

private:
    // The project and time fields above the list of schedules, the buttons below it.
    void BuildLayout(QHBoxLayout* days, QDialogButtonBox* buttons);
    // The drives a connection can start a run for: those pinned to a disk by UUID or label.
    void FillDrives();
    void AddOnConnect(const HostPath& project);

    ProjectBrowseHooks browse_;
    SystemScheduler scheduler_;
    ScheduledCommand command_;
};

}  // namespace vlm
