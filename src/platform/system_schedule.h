#pragma once
// Repeating schedules kept by the system rather than by the program: a project run by
// velmora-run every day, or on chosen weekdays, at a time, whether or not Velmora is open.
//
// Where the person has a systemd user instance, a schedule is a timer and a service in
// ~/.config/systemd/user, enabled with `systemctl --user enable --now`; elsewhere it is a line of
// the person's crontab, with a marker comment above it. Both kinds are named
// "velmora-schedule-<project>-<n>", so the program lists and removes only what it made.
//
// The texts are built here, without touching the host, and every argument is quoted so that a
// project path with blanks, quotes, `$`, `%` or backslashes reaches velmora-run as exactly one
// argument: in a unit file by the rules of systemd.service(5) (double quotes, backslash escapes,
// `%%` for a percent sign and `$$` for a dollar sign), in a crontab by the shell's single quotes
// with each `%` outside them escaped, since cron itself turns a bare `%` into a line break.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace vlm {

struct RepeatSchedule {
    int hour = 0;    // 0-23
    int minute = 0;  // 0-59
    // Monday first. No day chosen means every day, as all seven do.
    std::array<bool, 7> weekdays{};
    HostPath projectHost;  // the project file: a schedule hands it to the desktop
};

// What a scheduled run starts: velmora-run with the program folder passed explicitly, so the run
// reads the same drives.ini and settings and leaves its history row where the program shows it.
struct ScheduledCommand {
    HostPath runnerHost;  // velmora-run
    HostPath programFolderHost;
};

// One argument quoted for an Exec line of a unit file; nullopt for one that holds a control
// character (a unit file is read line by line).
std::optional<std::string> QuoteUnitArgument(std::string_view argument);
// Splits an Exec value back into its arguments the way systemd does (quotes, backslash escapes,
// `%%`, `$$`); nullopt for a value it would refuse or read differently (a lone `%` or `$`).
std::optional<std::vector<std::string>> ParseUnitCommandLine(std::string_view value);

// One argument for a crontab command line (sh single quotes, `%` escaped for cron); nullopt for
// an argument with a control character.
std::optional<std::string> QuoteCrontabArgument(std::string_view argument);

// "every day at 07:30" or "Mon, Wed, Fri at 07:30".
std::string ScheduleWhen(const RepeatSchedule& schedule);
// systemd's calendar expression: "*-*-* 07:30:00" or "Mon,Wed *-*-* 07:30:00".
std::string OnCalendarValue(const RepeatSchedule& schedule);
// cron's five time fields: "30 7 * * *" or "30 7 * * 1,3".
std::string CrontabTimeFields(const RepeatSchedule& schedule);

// The velmora-run command line of a scheduled run, argument by argument.
std::vector<std::string> ScheduledArguments(const RepeatSchedule& schedule,
                                            const ScheduledCommand& command);

struct UnitTexts {
    std::string service;
    std::string timer;
};
// The service and timer of a schedule; nullopt when an argument cannot be carried.
std::optional<UnitTexts> SystemdUnitTexts(const RepeatSchedule& schedule,
                                          const ScheduledCommand& command);
// The marker comment and the job line (two lines, each ending in '\n') of a crontab entry.
std::optional<std::string> CrontabEntry(const RepeatSchedule& schedule,
                                        const ScheduledCommand& command, std::string_view id);

// A run started when a disk is connected: the project backs up to drive `letter`, which is the
// disk `volume` names; it runs once per connection, and not again within `atMostEveryHours`.
struct ConnectSchedule {
    char letter = 'e';
    std::string label;          // the disk's label, for the person; may be empty
    std::string volume;         // "UUID=..." or "LABEL=...", as drives.ini pins it
    int atMostEveryHours = 12;  // 0: at every connection
    HostPath projectHost;
};
// "when drive e: (BACKUP) is connected", "... , at most once in 12 hours".
std::string ConnectWhen(const ConnectSchedule& schedule);
// systemd's device unit of the volume: "dev-disk-by\x2duuid-0A3E\x2dC26D.device" for
// "UUID=0A3E-C26D", after udev's /dev/disk/by-uuid and by-label links; empty for a volume named
// otherwise.
std::string VolumeDeviceUnit(const std::string& volume);
// The velmora-run command line of a run at connection.
std::vector<std::string> ConnectArguments(const ConnectSchedule& schedule,
                                          const ScheduledCommand& command);
// The service a connection starts: wanted by the volume's device unit, so that systemd starts it
// once each time the device appears; nullopt when an argument cannot be carried or the volume
// has no device unit.
std::optional<std::string> ConnectUnitText(const ConnectSchedule& schedule,
                                           const ScheduledCommand& command);

// The record of runs at connection kept in the program folder (kConnectRunsFile): when each
// project last ran so. The time (seconds since 1970) of `projectHost`'s last run; nullopt: none.
inline constexpr const char* kConnectRunsFile = "connect-runs.txt";
std::optional<long long> LastConnectRun(std::string_view recordText, const HostPath& projectHost);
std::string WithConnectRun(std::string_view recordText, const HostPath& projectHost,
                           long long when);
// True when a run at `now` is within `hours` of the last one and is not to be made.
bool TooSoonForConnectRun(std::optional<long long> last, long long now, int hours);
// The same on the record in `programFolder`: true when a run is to be made at `now`, which is
// then noted there (unless `note` is off). A record that cannot be written lets the run go.
bool TakeConnectRun(const HostPath& programFolder, const HostPath& projectHost, int hours,
                    long long now, bool note);

// Where there is no systemd user instance, runs at connection are lines of this file in the
// program folder (id, letter, hours, volume, label and project path, separated by tabs), and the
// open program starts them when it sees the drive appear.
inline constexpr const char* kConnectSchedulesFile = "connect-schedules.txt";
struct ConnectEntry {
    std::string id;
    ConnectSchedule schedule;
};
std::vector<ConnectEntry> ParseConnectSchedules(std::string_view text);
std::vector<ConnectEntry> ReadConnectSchedules(const HostPath& programFolder);

// The name of a new schedule of `projectHost`, the lowest number not in `taken`.
std::string NewScheduleId(const HostPath& projectHost, const std::vector<std::string>& taken);

// Starting programs: the command's arguments (the program first, looked up on PATH), what goes to
// its standard input; the exit code (-1: could not start) and its standard output.
struct CommandResult {
    int exitCode = -1;
    std::string output;
};
using CommandRunner =
    std::function<CommandResult(const std::vector<std::string>& argv, const std::string& input)>;
CommandResult RunHostCommand(const std::vector<std::string>& argv, const std::string& input);

struct ScheduleEntry {
    std::string id;
    std::string description;  // when, and which project
};

struct ScheduleOutcome {
    bool ok = false;
    std::string id;
    std::string message;  // why it failed, for the person
};

// Why no schedule can be made here, and what to install so that one can.
inline constexpr const char* kNoSchedulerText =
    "There is neither a systemd user instance nor a crontab command here. Install the package "
    "cron (sudo apt install cron), or log in to a desktop session that runs systemd.";
// A crontab without the daemon that reads it runs nothing.
inline constexpr const char* kCronNotRunningText =
    "The cron daemon is not running, so no schedule of your crontab will run. Start it with "
    "sudo systemctl enable --now cron (or sudo service cron start).";

class SystemScheduler {
public:
    struct Host {
        bool useSystemd = false;
        HostPath unitFolder;  // ~/.config/systemd/user
        CommandRunner run;
        // Whether the cron daemon runs; unset: not known, and not warned about.
        std::function<bool()> cronRunning;
        // The program folder, which keeps the runs at connection where systemd cannot.
        HostPath programFolder{};
    };
    // This person's host: a systemd user instance when `systemctl --user` answers.
    static Host CurrentHost();

    explicit SystemScheduler(Host host) : host_(std::move(host)) {}

    std::vector<ScheduleEntry> List() const;
    // False when neither systemd nor crontab can keep a schedule (kNoSchedulerText says why).
    bool CanSchedule() const;
    // True when schedules go into the crontab and no cron daemon runs to read it.
    bool CronDaemonMissing() const;
    // Refused, naming the schedule there is, when the project is scheduled at the same times.
    ScheduleOutcome Add(const RepeatSchedule& schedule, const ScheduledCommand& command);
    // A run at each connection of the schedule's disk: a service its device starts
    // (ConnectUnitText); without systemd, a line of kConnectSchedulesFile, which the open
    // program starts.
    ScheduleOutcome AddOnConnect(const ConnectSchedule& schedule, const ScheduledCommand& command);
    ScheduleOutcome Remove(const std::string& id);
    bool UsesSystemd() const { return host_.useSystemd; }

private:
    std::optional<std::string> ReadCrontab(std::string* error) const;
    ScheduleOutcome AddUnits(const RepeatSchedule& schedule, const ScheduledCommand& command);
    ScheduleOutcome AddCrontabEntry(const RepeatSchedule& schedule,
                                    const ScheduledCommand& command);

    Host host_;
};

}  // namespace vlm
