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
