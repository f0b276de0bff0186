#include "dialogs/system_schedule_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>

#include "qt_test_app.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// A person's crontab in memory: the dialog on a host without a systemd user instance.
struct CrontabHost {
    std::string table;

    SystemScheduler::Host Host() {
        SystemScheduler::Host host;
        host.useSystemd = false;
        host.run = [this](const std::vector<std::string>& argv, const std::string& input) {
            if (argv[0] == "crontab" && argv[1] == "-")
                table = input;
            return CommandResult{0, argv[0] == "crontab" && argv[1] == "-l" ? table : ""};
        };
        return host;
    }
};

struct ScheduleDialogTest : test::WithQtApplication, ::testing::Test {
    ScheduleDialogTest() { drives.PinTo('c', "/"); }  // a project is scheduled only on a drive

    test::TempDrives drives{""};
    CrontabHost crontab;
    SystemScheduleDialog dialog{ProjectBrowseHooks{}, crontab.Host(),
                                ScheduledCommand{HostPath("/usr/bin/velmora-run"),
                                                 HostPath("/home/ann/.local/share/velmora")}};
};

TEST_F(ScheduleDialogTest, ChosenWeekdaysAndTimeBecomeOneListedSchedule) {
    dialog.projectE->setText(QStringLiteral("/home/ann/my backups/daily.vlm"));
    dialog.timeE->setTime(QTime(6, 5));
    dialog.weekdaysRB->setChecked(true);
    EXPECT_TRUE(dialog.dayCB[0]->isEnabled());
    dialog.dayCB[0]->setChecked(true);
    dialog.dayCB[4]->setChecked(true);
    dialog.addB->click();

    ASSERT_EQ(dialog.scheduleLB->count(), 1);
    EXPECT_EQ(dialog.scheduleLB->item(0)->text(),
              QStringLiteral("Mon, Fri at 06:05, /home/ann/my backups/daily.vlm"));
    EXPECT_NE(crontab.table.find("5 6 * * 1,5 '/usr/bin/velmora-run' '/home/ann/my "
                                 "backups/daily.vlm' '--program-folder' "
                                 "'/home/ann/.local/share/velmora'"),
              std::string::npos)
        << crontab.table;
    EXPECT_TRUE(dialog.statusL->text().startsWith(QStringLiteral("Scheduled Mon, Fri at 06:05")));
}

TEST_F(ScheduleDialogTest, RemovingTakesOnlyTheSelectedScheduleAndNothingIsAddedWithoutAProject) {
    dialog.addB->click();
    EXPECT_EQ(dialog.statusL->text(), QStringLiteral("Choose a project first."));
    EXPECT_TRUE(crontab.table.empty());

    for (const char* project : {"/home/ann/a.vlm", "/home/ann/b.vlm"}) {
        dialog.projectE->setText(QString::fromUtf8(project));
        dialog.addB->click();
    }
    ASSERT_EQ(dialog.scheduleLB->count(), 2);
    dialog.removeB->click();
    EXPECT_EQ(dialog.statusL->text(), QStringLiteral("Select a schedule to remove."));
    dialog.scheduleLB->setCurrentRow(0);
    dialog.removeB->click();
    ASSERT_EQ(dialog.scheduleLB->count(), 1);
    EXPECT_TRUE(dialog.scheduleLB->item(0)->text().endsWith(QStringLiteral("b.vlm")));
    EXPECT_EQ(crontab.table.find("a.vlm"), std::string::npos);
}

// A schedule hands the desktop the project's tidy host path: typed as a drive path or as a path of
// this system, never as typed, and never one that no drive holds (the runner could not open it).
TEST_F(ScheduleDialogTest, TheProjectIsScheduledByItsHostPathOnADrive) {
    drives.Unpin('c');  // "/home" is on no drive now
    drives.Pin('e');
    const std::string e = drives.HostRoot('e');
    const struct {
        std::string typed;
        std::string scheduled;  // "" when refused
    } cases[] = {
        {"e:\\daily.vlm", e + "/daily.vlm"},
        {e + "/x/..//weekly.vlm", e + "/weekly.vlm"},
        {"/home/ann/a.vlm", ""},
        {"daily.vlm", ""},
        {"e:\\..\\a.vlm", ""},
    };
    for (const auto& c : cases) {
        crontab.table.clear();
        dialog.projectE->setText(QString::fromStdString(c.typed));
        dialog.addB->click();
        if (c.scheduled.empty()) {
            EXPECT_EQ(dialog.statusL->text(), QStringLiteral("Choose a project first.")) << c.typed;
            EXPECT_TRUE(crontab.table.empty()) << c.typed;
        } else {
            EXPECT_NE(crontab.table.find("'" + c.scheduled + "'"), std::string::npos)
                << c.typed << "\n"
                << crontab.table;
        }
    }
}

// Before anything is added the dialog says which kind of schedule it makes, what to install when
// it can make none, and that a crontab without a running cron daemon runs nothing.
TEST(ScheduleDialogHostTest, TheStatusSaysWhatThisHostLacks) {
    test::EnsureQtApplication();
    const std::string crontab = "Schedules are lines of your crontab.";
    const struct {
        bool systemd, crontabCommand, cronRunning, canAdd;
        std::string status;
    } cases[] = {
        {true, false, false, true, "Schedules are systemd user timers."},
        {false, true, true, true, crontab},
        {false, true, false, true, crontab + " " + kCronNotRunningText},
        {false, false, false, false, kNoSchedulerText},
    };
    for (const auto& c : cases) {
        SystemScheduler::Host host{c.systemd, HostPath(), nullptr, [&c] { return c.cronRunning; }};
        // A command that is not installed cannot be started at all.
        host.run = [&c](const std::vector<std::string>& argv, const std::string&) {
            return CommandResult{argv[0] == "crontab" && !c.crontabCommand ? -1 : 0, ""};
        };
        SystemScheduleDialog dialog(
            ProjectBrowseHooks{}, host,
            ScheduledCommand{HostPath("/usr/bin/velmora-run"), HostPath("/v")});
        dialog.ShowHostStatus();
        EXPECT_EQ(dialog.statusL->text().toStdString(), c.status);
        EXPECT_EQ(dialog.addB->isEnabled(), c.canAdd);
    }
}

// A drive pinned to a disk can start its project each time the disk is connected; without a
// systemd user instance the program folder keeps the schedule for the open program.
TEST(ScheduleDialogConnectTest, ADrivePinnedToADiskStartsItsProjectWhenConnected) {
    test::WithQtApplication app;
    test::TempDrives drives{""};
    drives.PinTo('c', "/");
    const std::string program = drives.Base() + "/program";
    test::WriteFile(program + "/drives.ini", "[Drives]\nc=/\ne=UUID=0A3E-C26D\nf=" + drives.Base() +
                                                 "\n[Labels]\ne=BACKUP\n");
    SetActiveDriveTable(DriveTable::Load(HostPath(program), false, drives.Sources()));
    CrontabHost crontab;
    SystemScheduleDialog dialog{
        ProjectBrowseHooks{}, crontab.Host(),
        ScheduledCommand{HostPath("/usr/bin/velmora-run"), HostPath(program)}};
    ASSERT_EQ(dialog.driveC->count(), 1);  // f: is a folder, no disk
    EXPECT_EQ(dialog.driveC->itemText(0), QStringLiteral("e: (BACKUP)"));
    dialog.connectedRB->setChecked(true);
    EXPECT_FALSE(dialog.timeE->isEnabled());
    dialog.hoursE->setValue(6);
    dialog.projectE->setText(QStringLiteral("/home/ann/photos.vlm"));
    dialog.addB->click();
    ASSERT_EQ(dialog.scheduleLB->count(), 1);
    EXPECT_EQ(dialog.scheduleLB->item(0)->text(),
              QStringLiteral("when drive e: (BACKUP) is connected, at most once in 6 hours, "
                             "/home/ann/photos.vlm"));
    EXPECT_TRUE(crontab.table.empty());
    ASSERT_EQ(ReadConnectSchedules(HostPath(program)).size(), 1u);
    EXPECT_EQ(ReadConnectSchedules(HostPath(program))[0].schedule.volume, "UUID=0A3E-C26D");
    SetActiveDriveTable(drives.Table());
}

}  // namespace
}  // namespace vlm
