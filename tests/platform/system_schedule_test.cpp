#include "platform/system_schedule.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>
#include <vector>

#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::Exists;
using test::MakeDir;
using test::ReadFile;
using test::TempDrives;
using test::WriteFile;

// Project paths that break naive quoting, in a unit file, a shell or cron.
const std::vector<std::string> kAwkwardNames = {
    "daily.vlm",
    "My Projects/daily copy.vlm",
    "say \"hi\".vlm",
    "it's.vlm",
    "$HOME and ${USER}.vlm",
    "100% sure %n %%.vlm",
    "back\\slash\\.vlm",
    "tail\\",
    "a\\%b.vlm",
    "semi;colon & `id` $(id) | pipe.vlm",
    "  leading and trailing  ",
    "\xc3\xa9t\xc3\xa9.vlm",
};

std::string LineStartingWith(const std::string& text, const std::string& prefix) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(start, prefix.size(), prefix) == 0)
            return text.substr(start + prefix.size(), end - start - prefix.size());
        start = end + 1;
    }
    return {};
}

TEST(SystemScheduleTest, EveryUnitArgumentIsReadBackAsExactlyOneArgument) {
    for (const std::string& name : kAwkwardNames) {
        RepeatSchedule schedule;
        schedule.projectHost = HostPath("/home/ann/" + name);
        const ScheduledCommand command{HostPath("/opt/my velmora/velmora-run"),
                                       HostPath("/home/ann/50% data")};
        const auto texts = SystemdUnitTexts(schedule, command);
        ASSERT_TRUE(texts) << name;
        const auto parsed = ParseUnitCommandLine(LineStartingWith(texts->service, "ExecStart="));
        ASSERT_TRUE(parsed) << name;
        EXPECT_EQ(*parsed, ScheduledArguments(schedule, command)) << name;
    }
}

TEST(SystemScheduleTest, APathWithAControlCharacterIsRefusedEverywhere) {
    for (const char* name : {"line\nbreak.vlm", "tab\t.vlm", "bell\x07.vlm", "del\x7f.vlm"}) {
        RepeatSchedule schedule;
        schedule.projectHost = HostPath(std::string("/home/ann/") + name);
        const ScheduledCommand command{HostPath("/usr/bin/velmora-run"),
                                       HostPath("/home/ann/.local/share/velmora")};
        EXPECT_FALSE(SystemdUnitTexts(schedule, command)) << name;
        EXPECT_FALSE(CrontabEntry(schedule, command, "velmora-schedule-x-1")) << name;
    }
}

TEST(SystemScheduleTest, TheTimeOfAScheduleInEachNotation) {
    struct TimeCase {
        int hour;
        int minute;
        std::array<bool, 7> days;
        const char* calendar;
        const char* cron;
        const char* when;
    };
    const TimeCase cases[] = {
        {7, 30, {}, "*-*-* 07:30:00", "30 7 * * *", "every day at 07:30"},
        {0,
         5,
         {true, true, true, true, true, true, true},
         "*-*-* 00:05:00",
         "5 0 * * *",
         "every day at 00:05"},
        {23,
         59,
         {true, false, true, false, true, false, false},
         "Mon,Wed,Fri *-*-* 23:59:00",
         "59 23 * * 1,3,5",
         "Mon, Wed, Fri at 23:59"},
        {12,
         0,
         {false, false, false, false, false, true, true},
         "Sat,Sun *-*-* 12:00:00",
         "0 12 * * 6,0",
         "Sat, Sun at 12:00"},
    };
    for (const TimeCase& c : cases) {
        RepeatSchedule schedule{c.hour, c.minute, c.days, HostPath("/p.vlm")};
        EXPECT_EQ(OnCalendarValue(schedule), c.calendar);
        EXPECT_EQ(CrontabTimeFields(schedule), c.cron);
        EXPECT_EQ(ScheduleWhen(schedule), c.when);
    }
}

TEST(SystemScheduleTest, NewNamesAreUnitNamesAndNeverTaken) {
    EXPECT_EQ(NewScheduleId(HostPath("/home/ann/daily.vlm"), {}), "velmora-schedule-daily-1");
    EXPECT_EQ(NewScheduleId(HostPath("/home/ann/daily.vlm"), {"velmora-schedule-daily-1"}),
              "velmora-schedule-daily-2");
    EXPECT_EQ(NewScheduleId(HostPath("/x/My \"big\" $backup%.vlm"), {}),
              "velmora-schedule-My-big-backup-1");
    EXPECT_EQ(NewScheduleId(HostPath("/x/%%%.vlm"), {}), "velmora-schedule-project-1");
}

// A crontab line as cron starts it: the five time fields dropped, every "\%" made "%" and a bare
// "%" ending the command (crontab(5)), the rest given to /bin/sh -c. The runner is replaced by a
// script that writes each argument it gets on a line of its own, in brackets.
TEST(SystemScheduleTest, EveryCrontabArgumentReachesTheProgramAsExactlyOneArgument) {
    TempDrives drives("c");
    const std::string recorder = drives.Base() + "/record args";
    const std::string output = drives.Base() + "/args.txt";
    WriteFile(recorder,
              "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > '" + output + "'\n",
              std::nullopt, 0755);
    for (const std::string& name : kAwkwardNames) {
        RepeatSchedule schedule;
        schedule.projectHost = HostPath("/home/ann/" + name);
        const ScheduledCommand command{HostPath(recorder), HostPath("/home/ann/50% data")};
        const auto entry = CrontabEntry(schedule, command, "velmora-schedule-x-1");
        ASSERT_TRUE(entry) << name;
        std::string job = entry->substr(entry->find('\n') + 1);
        job.pop_back();
        for (int field = 0; field < 5; ++field)
            job = job.substr(job.find(' ') + 1);
        std::string command_line;
        for (std::size_t i = 0; i < job.size(); ++i) {
            if (job[i] == '\\' && i + 1 < job.size() && job[i + 1] == '%') {
                command_line += '%';
                ++i;
            } else if (job[i] == '%') {
                break;
            } else {
                command_line += job[i];
            }
        }
        const CommandResult ran = RunHostCommand({"/bin/sh", "-c", command_line}, "");
        ASSERT_EQ(ran.exitCode, 0) << name;
        // The recorder prints its arguments, not its own name.
        const std::vector<std::string> arguments = ScheduledArguments(schedule, command);
        std::string expected;
        for (std::size_t i = 1; i < arguments.size(); ++i)
            expected += "[" + arguments[i] + "]\n";
        EXPECT_EQ(ReadFile(output), expected) << name;
    }
}

// systemd's own reading of the units, where systemd-analyze is installed.
TEST(SystemScheduleTest, SystemdAcceptsTheUnits) {
    if (RunHostCommand({"systemd-analyze", "--version"}, "").exitCode != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    TempDrives drives("c");
    const std::string runner = drives.Base() + "/velmora run";
    WriteFile(runner, "#!/bin/sh\nexit 0\n", std::nullopt, 0755);
    RepeatSchedule schedule{6,
                            15,
                            {true, false, false, true, false, false, false},
                            HostPath("/home/ann/100% \"sure\" $x\\.vlm")};
    const auto texts =
        SystemdUnitTexts(schedule, {HostPath(runner), HostPath(drives.Base() + "/data")});
    ASSERT_TRUE(texts);
    WriteFile(drives.Base() + "/velmora-schedule-t-1.service", texts->service);
    WriteFile(drives.Base() + "/velmora-schedule-t-1.timer", texts->timer);
    const CommandResult verified =
        RunHostCommand({"sh", "-c",
                        "systemd-analyze verify \"$1\"/velmora-schedule-t-1.service \"$1\"/"
                        "velmora-schedule-t-1.timer 2>&1",
                        "sh", drives.Base()},
                       "");
    EXPECT_EQ(verified.exitCode, 0) << verified.output;
    // The output is empty for units without a complaint about them.
    EXPECT_EQ(verified.output.find("velmora-schedule-t-1"), std::string::npos) << verified.output;
}

// The person's crontab kept in memory, and every command recorded.
struct FakeHost {
    std::string crontab;
    bool hasCrontab = true;
    std::vector<std::vector<std::string>> commands;

    CommandResult Run(const std::vector<std::string>& argv, const std::string& input) {
        commands.push_back(argv);
        if (argv[0] == "crontab" && argv[1] == "-l")
            return hasCrontab ? CommandResult{0, crontab} : CommandResult{1, ""};
        if (argv[0] == "crontab" && argv[1] == "-") {
            crontab = input;
            hasCrontab = true;
            return {0, ""};
        }
        return {0, ""};
    }
};

TEST(SystemScheduleTest, CrontabSchedulesAreAddedListedAndRemovedBesideTheOthers) {
    FakeHost fake;
    fake.hasCrontab = false;
    SystemScheduler::Host host;
    host.useSystemd = false;
    host.run = [&](const auto& argv, const auto& input) { return fake.Run(argv, input); };
    SystemScheduler scheduler(host);
    const ScheduledCommand command{HostPath("/usr/bin/velmora-run"),
                                   HostPath("/home/ann/.local/share/velmora")};

    EXPECT_TRUE(scheduler.List().empty());
    fake.crontab = "MAILTO=ann\n0 1 * * * /usr/bin/other-job\n";
    fake.hasCrontab = true;
    const auto first = scheduler.Add({7, 30, {}, HostPath("/home/ann/daily.vlm")}, command);
    const auto second = scheduler.Add({8, 0, {true}, HostPath("/home/ann/daily.vlm")}, command);
    ASSERT_TRUE(first.ok && second.ok) << first.message << second.message;
    EXPECT_EQ(first.id, "velmora-schedule-daily-1");
    EXPECT_EQ(second.id, "velmora-schedule-daily-2");

    const auto listed = scheduler.List();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].description, "every day at 07:30, /home/ann/daily.vlm");
    EXPECT_EQ(listed[1].description, "Mon at 08:00, /home/ann/daily.vlm");

    EXPECT_TRUE(scheduler.Remove(first.id).ok);
    EXPECT_FALSE(scheduler.Remove(first.id).ok);
    EXPECT_FALSE(scheduler.Remove("other-job").ok);
    ASSERT_EQ(scheduler.List().size(), 1u);
    EXPECT_EQ(fake.crontab.rfind("MAILTO=ann\n0 1 * * * /usr/bin/other-job\n# velmora-schedule: "
                                 "velmora-schedule-daily-2 ",
                                 0),
              0u)
        << fake.crontab;
    EXPECT_EQ(fake.crontab.find("30 7 * * *"), std::string::npos);
    EXPECT_FALSE(scheduler.Add({24, 0, {}, HostPath("/home/ann/daily.vlm")}, command).ok);
}

TEST(SystemScheduleTest, SystemdSchedulesAreUnitFilesEnabledAndDisabledWithTheirTimer) {
    TempDrives drives("c");
    FakeHost fake;
    SystemScheduler::Host host;
    host.useSystemd = true;
    // Below a drive, as the home folder is on c: for the program.
    host.unitFolder = HostPath(drives.HostRoot('c') + "/config/systemd/user");
    host.run = [&](const auto& argv, const auto& input) { return fake.Run(argv, input); };
    SystemScheduler scheduler(host);
    MakeDir(host.unitFolder.Text());
    WriteFile(host.unitFolder.Text() + "/someone-else.timer", "[Timer]\n");

    const auto added = scheduler.Add(
        {21, 45, {}, HostPath("/home/ann/photos.vlm")},
        {HostPath("/usr/bin/velmora-run"), HostPath("/home/ann/.local/share/velmora")});
    ASSERT_TRUE(added.ok) << added.message;
    const std::string base = host.unitFolder.Text() + "/velmora-schedule-photos-1";
    EXPECT_TRUE(Exists(base + ".service"));
    EXPECT_NE(ReadFile(base + ".timer").find("OnCalendar=*-*-* 21:45:00\n"), std::string::npos);
    const std::vector<std::string> enable = {"systemctl", "--user", "enable", "--now",
                                             "velmora-schedule-photos-1.timer"};
    EXPECT_NE(std::find(fake.commands.begin(), fake.commands.end(), enable), fake.commands.end());

    const auto listed = scheduler.List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, "velmora-schedule-photos-1");
    EXPECT_EQ(listed[0].description, "every day at 21:45, \"/home/ann/photos.vlm\"");

    EXPECT_TRUE(scheduler.Remove(added.id).ok);
    EXPECT_FALSE(Exists(base + ".service"));
    EXPECT_FALSE(Exists(base + ".timer"));
    EXPECT_TRUE(Exists(host.unitFolder.Text() + "/someone-else.timer"));
    const std::vector<std::string> disable = {"systemctl", "--user", "disable", "--now",
                                              "velmora-schedule-photos-1.timer"};
    EXPECT_NE(std::find(fake.commands.begin(), fake.commands.end(), disable), fake.commands.end());
}

// Two schedules of one project at the same times would start two runs of it at once; any other
// time, day or project is a schedule of its own. Both kinds of host keep the rule.
TEST(SystemScheduleTest, ASecondScheduleOfAProjectAtTheSameTimesIsRefused) {
    const std::array<bool, 7> monday = {true}, allDays = {1, 1, 1, 1, 1, 1, 1};
    const HostPath daily("/home/ann/daily.vlm"), odd("/home/ann/say \"hi\" 100%.vlm");
    const std::pair<RepeatSchedule, bool> attempts[] = {
        {{7, 30, {}, daily}, true},       {{7, 30, {}, daily}, false},
        {{7, 30, allDays, daily}, false},  // every day, said otherwise
        {{7, 31, {}, daily}, true},       {{7, 30, monday, daily}, true},
        {{7, 30, {}, odd}, true},         {{7, 30, {}, odd}, false},
    };
    for (const bool systemd : {false, true}) {
        TempDrives drives("c");
        FakeHost fake;
        SystemScheduler scheduler(
            {systemd, HostPath(drives.HostRoot('c') + "/units"),
             [&](const auto& argv, const auto& in) { return fake.Run(argv, in); }, nullptr});
        for (const auto& [schedule, added] : attempts) {
            SCOPED_TRACE(ScheduleWhen(schedule) + ", " + schedule.projectHost.Text());
            const ScheduleOutcome outcome =
                scheduler.Add(schedule, {HostPath("/usr/bin/velmora-run"), HostPath("/v")});
            EXPECT_EQ(outcome.ok, added) << outcome.message;
            EXPECT_EQ(outcome.message.find("is already scheduled") != std::string::npos, !added);
        }
        EXPECT_EQ(scheduler.List().size(), 4u);
    }
}

}  // namespace
}  // namespace vlm

namespace vlm {
namespace {

// A run at each connection of a disk is a service its device unit wants, named as systemd names
// the device from udev's /dev/disk links.
TEST(ConnectScheduleTest, TheServiceIsStartedByItsDisksDevice) {
    struct Case {
        std::string volume;
        std::string device;  // "" : no device unit
        std::string path;    // the link systemd-escape is asked about
    };
    const std::vector<Case> cases = {
        {"UUID=0A3E-C26D", "dev-disk-by\\x2duuid-0A3E\\x2dC26D.device",
         "/dev/disk/by-uuid/0A3E-C26D"},
        {"LABEL=MY STICK", "dev-disk-by\\x2dlabel-MY\\x5cx20STICK.device",
         "/dev/disk/by-label/MY\\x20STICK"},
        {"LABEL=a/b", "dev-disk-by\\x2dlabel-a\\x5cx2fb.device", "/dev/disk/by-label/a\\x2fb"},
        {"SOURCE=server:/export TYPE=nfs4", "", ""},
        {"/media/ann/BACKUP", "", ""},
    };
    const bool escape = RunHostCommand({"systemd-escape", "--version"}, "").exitCode == 0;
    for (const Case& c : cases) {
        EXPECT_EQ(VolumeDeviceUnit(c.volume), c.device) << c.volume;
        if (escape && !c.path.empty()) {
            EXPECT_EQ(
                RunHostCommand({"systemd-escape", "--path", "--suffix=device", c.path}, "").output,
                c.device + "\n")
                << c.volume;
        }
    }

    const ConnectSchedule schedule{'e', "BACKUP", "UUID=0A3E-C26D", 12,
                                   HostPath("/home/ann/100% \"sure\".vlm")};
    const ScheduledCommand command{HostPath("/usr/bin/velmora-run"), HostPath("/home/ann/v")};
    const std::optional<std::string> unit = ConnectUnitText(schedule, command);
    ASSERT_TRUE(unit);
    const std::string device = "dev-disk-by\\x2duuid-0A3E\\x2dC26D.device";
    EXPECT_EQ(LineStartingWith(*unit, "WantedBy="), device);
    EXPECT_EQ(LineStartingWith(*unit, "BindsTo="), device);
    EXPECT_EQ(ParseUnitCommandLine(LineStartingWith(*unit, "ExecStart=")),
              ConnectArguments(schedule, command));
    EXPECT_EQ(ConnectArguments(schedule, command).back(), "12");
    EXPECT_FALSE(ConnectUnitText({'e', "", "SOURCE=a TYPE=b", 0, HostPath("/p.vlm")}, command));
    if (RunHostCommand({"systemd-analyze", "--version"}, "").exitCode == 0) {
        TempDrives drives("c");
        const std::string runner = drives.Base() + "/velmora run";
        WriteFile(runner, "#!/bin/sh\nexit 0\n", std::nullopt, 0755);
        WriteFile(drives.Base() + "/velmora-schedule-t-1.service",
                  *ConnectUnitText(schedule, {HostPath(runner), HostPath("/home/ann/v")}));
        const CommandResult verified = RunHostCommand(
            {"sh", "-c", "systemd-analyze verify --man=no \"$1\"/velmora-schedule-t-1.service 2>&1",
             "sh", drives.Base()},
            "");
        EXPECT_EQ(verified.output.find("velmora-schedule-t-1.service:"), std::string::npos)
            << verified.output;
    }
}

TEST(ConnectScheduleTest, AConnectionRunsAtMostOnceWithinTheHoursChosen) {
    const long long now = 1'800'000'000;
    struct Case {
        const char* name;
        std::optional<long long> last;
        int hours;
        bool tooSoon;
    };
    for (const Case& c : std::vector<Case>{{"never ran", std::nullopt, 12, false},
                                           {"an hour ago", now - 3600, 12, true},
                                           {"just within", now - 12 * 3600 + 1, 12, true},
                                           {"the hours are over", now - 12 * 3600, 12, false},
                                           {"at every connection", now - 60, 0, false},
                                           {"a clock set back", now + 3600, 12, false}})
        EXPECT_EQ(TooSoonForConnectRun(c.last, now, c.hours), c.tooSoon) << c.name;

    TempDrives drives("c");
    const HostPath folder(drives.Base());
    const HostPath project("/home/ann/a=b [x].vlm");
    EXPECT_TRUE(TakeConnectRun(folder, project, 12, now, true));
    EXPECT_EQ(LastConnectRun(ReadFile(drives.Base() + "/connect-runs.txt"), project), now);
    EXPECT_FALSE(TakeConnectRun(folder, project, 12, now + 60, true));
    EXPECT_TRUE(TakeConnectRun(folder, HostPath("/home/ann/other.vlm"), 12, now + 60, false));
    EXPECT_TRUE(TakeConnectRun(folder, project, 12, now + 13 * 3600, true));
}

TEST(ConnectScheduleTest, AServiceAloneIsListedEnabledAndRemoved) {
    TempDrives drives("c");
    FakeHost fake;
    SystemScheduler::Host host;
    host.useSystemd = true;
    host.unitFolder = HostPath(drives.HostRoot('c') + "/config/systemd/user");
    host.run = [&](const auto& argv, const auto& input) { return fake.Run(argv, input); };
    SystemScheduler scheduler(host);
    const ConnectSchedule schedule{'e', "BACKUP", "LABEL=BACKUP", 12,
                                   HostPath("/home/ann/photos.vlm")};
    const ScheduledCommand command{HostPath("/usr/bin/velmora-run"), HostPath("/home/ann/v")};
    const auto added = scheduler.AddOnConnect(schedule, command);
    ASSERT_TRUE(added.ok) << added.message;
    const std::vector<std::string> enable = {"systemctl", "--user", "enable",
                                             added.id + ".service"};
    EXPECT_NE(std::find(fake.commands.begin(), fake.commands.end(), enable), fake.commands.end());
    const auto listed = scheduler.List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].description,
              "when drive e: (BACKUP) is connected, at most once in 12 hours, "
              "\"/home/ann/photos.vlm\"");
    EXPECT_FALSE(scheduler.AddOnConnect(schedule, command).ok);  // the same twice
    EXPECT_TRUE(scheduler.Remove(added.id).ok);
    EXPECT_TRUE(scheduler.List().empty());
    EXPECT_FALSE(Exists(host.unitFolder.Text() + "/" + added.id + ".service"));

    // Without systemd the open program starts the run: a line in the program folder says which.
    host.useSystemd = false;
    fake.hasCrontab = false;
    EXPECT_FALSE(SystemScheduler(host).AddOnConnect(schedule, command).ok);
    host.programFolder = HostPath(drives.Base() + "/program");
    MakeDir(host.programFolder.Text());
    SystemScheduler kept(host);
    const ConnectSchedule spaced{'f', "MY STICK", "LABEL=MY STICK", 0,
                                 HostPath("/home/ann/my photos.vlm")};
    const auto inFile = kept.AddOnConnect(spaced, command);
    ASSERT_TRUE(inFile.ok) << inFile.message;
    EXPECT_FALSE(kept.AddOnConnect(spaced, command).ok);
    const auto entries = ReadConnectSchedules(host.programFolder);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].schedule.letter, 'f');
    EXPECT_EQ(entries[0].schedule.volume, "LABEL=MY STICK");
    EXPECT_EQ(entries[0].schedule.projectHost.Text(), "/home/ann/my photos.vlm");
    ASSERT_EQ(kept.List().size(), 1u);
    EXPECT_EQ(kept.List()[0].description,
              "when drive f: (MY STICK) is connected, /home/ann/my photos.vlm");
    EXPECT_TRUE(kept.Remove(inFile.id).ok);
    EXPECT_TRUE(ReadConnectSchedules(host.programFolder).empty());
}

}  // namespace
}  // namespace vlm
