#include "platform/system_schedule.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <system_error>

#include "platform/file_system.h"
#include "platform/host_calls.h"
#include "platform/path_translation.h"
#include "platform/profile_file.h"
#include "platform/text_lines.h"

extern char** environ;

namespace vlm {

namespace {

constexpr std::string_view kIdPrefix = "velmora-schedule-";
constexpr std::string_view kCrontabMarker = "# velmora-schedule: ";
constexpr std::string_view kUnitMarker = "# Velmora schedule: ";
constexpr std::array<const char*, 7> kDayNames = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

bool EveryDay(const RepeatSchedule& schedule) {
    const auto& days = schedule.weekdays;
    return std::none_of(days.begin(), days.end(), [](bool d) { return d; }) ||
           std::all_of(days.begin(), days.end(), [](bool d) { return d; });
}

std::string TwoDigits(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

std::string JoinedDays(const RepeatSchedule& schedule, std::string_view separator, bool numbers) {
    std::string joined;
    for (std::size_t day = 0; day < 7; ++day) {
        if (!schedule.weekdays[day])
            continue;
        if (!joined.empty())
            joined += separator;
        // cron counts Sunday as 0, Monday as 1.
        joined += numbers ? std::to_string((day + 1) % 7) : kDayNames[day];
    }
    return joined;
}

// A plain text for a Description= or a comment: no line breaks, no specifiers, and no trailing
// backslash, which would join the next line to it.
std::string UnitText(std::string_view text) {
    std::string plain;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            plain += ' ';
        else if (c == '%')
            plain += "%%";
        else
            plain += c;
    }
    while (!plain.empty() && plain.back() == '\\')
        plain.pop_back();
    return plain;
}

bool IsScheduleId(std::string_view id) {
    if (id.substr(0, kIdPrefix.size()) != kIdPrefix || id.size() == kIdPrefix.size())
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_';
    });
}

// What the marker of a schedule says after its name: when, and which project. The program lists
// a schedule by it and knows a second schedule of the same project at the same times by it.
// A unit's marker names the project quoted, so it never ends in a backslash.
std::string UnitMarkerText(const RepeatSchedule& schedule) {
    return UnitText(
        ScheduleWhen(schedule) + ", " +
        QuoteUnitArgument(schedule.projectHost.Text()).value_or(schedule.projectHost.Text()));
}
std::string CrontabMarkerText(const RepeatSchedule& schedule) {
    return ScheduleWhen(schedule) + ", " + schedule.projectHost.Text();
}

// Whether a process of one of `names` runs on this host, by the names in /proc/<pid>/comm.
bool ProcessRunning(std::initializer_list<std::string_view> names) {
    std::error_code failure;
    for (const auto& item : std::filesystem::directory_iterator("/proc", failure)) {
        const std::string pid = item.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string comm =
            host::ReadWholeHostFile(HostPath(item.path().string() + "/comm")).value_or("");
        if (!comm.empty() && comm.back() == '\n')
            comm.pop_back();
        if (std::find(names.begin(), names.end(), comm) != names.end())
            return true;
    }
    return false;
}

bool WriteHostFile(const std::string& host, const std::string& content) {
    const std::optional<DrivePath> drivePath = ToDrivePath(HostPath(host));
    return drivePath && WriteFileAtomically(*drivePath, content);
}

}  // namespace

std::optional<std::string> QuoteUnitArgument(std::string_view argument) {
    if (HasControlCharacter(argument))
        return std::nullopt;
    std::string quoted = "\"";
    for (char c : argument) {
        switch (c) {
            case '\\':
                quoted += "\\\\";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '%':
                quoted += "%%";
                break;
            case '$':
                quoted += "$$";
                break;
            default:
                quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::optional<std::vector<std::string>> ParseUnitCommandLine(std::string_view value) {
    std::vector<std::string> words;
    std::size_t i = 0;
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (true) {
        while (i < value.size() && blank(value[i]))
            ++i;
        if (i == value.size())
            break;
        std::string word;
        char quote = 0;
        for (; i < value.size() && (quote != 0 || !blank(value[i])); ++i) {
            const char c = value[i];
            if (quote == 0 && (c == '"' || c == '\'')) {
                quote = c;
            } else if (quote != 0 && c == quote) {
                quote = 0;
            } else if (c == '\\') {
                if (++i == value.size())
                    return std::nullopt;
                switch (value[i]) {
                    case '\\':
                    case '"':
                    case '\'':
                    case ' ':
                        word += value[i];
                        break;
                    case 'n':
                        word += '\n';
                        break;
                    case 't':
                        word += '\t';
                        break;
                    default:
                        return std::nullopt;
                }
            } else if (c == '%' || c == '$') {
                // Specifiers and variables are expanded; only the doubled, literal form is kept.
                if (i + 1 == value.size() || value[i + 1] != c)
                    return std::nullopt;
                word += c;
                ++i;
            } else {
                word += c;
            }
        }
        if (quote != 0)
            return std::nullopt;
        words.push_back(std::move(word));
    }
    return words;
}

std::optional<std::string> QuoteCrontabArgument(std::string_view argument) {
    if (HasControlCharacter(argument))
        return std::nullopt;
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'')
            quoted += "'\\''";
        else if (c == '%')
            // Outside the single quotes, after a quote character: cron sees "\%" and makes it a
            // plain "%", whatever came before it in the path.
            quoted += "'\\%'";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::string ScheduleWhen(const RepeatSchedule& schedule) {
    const std::string time = TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute);
    if (EveryDay(schedule))
        return "every day at " + time;
    return JoinedDays(schedule, ", ", false) + " at " + time;
}

std::string OnCalendarValue(const RepeatSchedule& schedule) {
    const std::string when =
        "*-*-* " + TwoDigits(schedule.hour) + ":" + TwoDigits(schedule.minute) + ":00";
    return EveryDay(schedule) ? when : JoinedDays(schedule, ",", false) + " " + when;
}

std::string CrontabTimeFields(const RepeatSchedule& schedule) {
    return std::to_string(schedule.minute) + " " + std::to_string(schedule.hour) + " * * " +
           (EveryDay(schedule) ? "*" : JoinedDays(schedule, ",", true));
}

std::vector<std::string> ScheduledArguments(const RepeatSchedule& schedule,
                                            const ScheduledCommand& command) {
    // --scheduled records the run as one nobody started by hand. Schedules written before it
    // existed still run, recorded as "Normal".
    return {command.runnerHost.Text(),
            schedule.projectHost.Text(),
            "--program-folder",
            command.programFolderHost.Text(),
            "--log-level",
            "normal",
            "--scheduled"};
}

std::optional<UnitTexts> SystemdUnitTexts(const RepeatSchedule& schedule,
                                          const ScheduledCommand& command) {
    std::string execStart;
    for (const std::string& argument : ScheduledArguments(schedule, command)) {
        const std::optional<std::string> quoted = QuoteUnitArgument(argument);
        if (!quoted)
            return std::nullopt;
        execStart += (execStart.empty() ? "" : " ") + *quoted;
    }
    const std::string project = *QuoteUnitArgument(schedule.projectHost.Text());
    const std::string description =
        "Velmora backup " + UnitText(std::string(schedule.projectHost.Name()));
    const std::string marker = std::string(kUnitMarker) + UnitMarkerText(schedule) + "\n";

    UnitTexts texts;
    // A failed run tells the person on the desktop; the project path reaches the shell as its
    // $0, never as part of the script. A run that did not begin (exit 3) has told the reason
    // itself.
    texts.service = marker + "[Unit]\nDescription=" + description +
                    "\n\n[Service]\nType=oneshot\nExecStart=" + execStart +
                    "\nExecStopPost=/bin/sh -c 'test \"$$SERVICE_RESULT\" = success || "
                    "test \"$$EXIT_STATUS\" = 3 || notify-send --urgency=critical "
                    "--app-name=Velmora \"Velmora: the scheduled "
                    "backup failed\" \"$$0\"' " +
                    project + "\n";
    texts.timer = marker + "[Unit]\nDescription=" + description +
                  "\n\n[Timer]\nOnCalendar=" + OnCalendarValue(schedule) +
                  "\n# A run missed while the computer was off is made up at the next start.\n"
                  "Persistent=true\n\n[Install]\nWantedBy=timers.target\n";
    return texts;
}

std::string ConnectWhen(const ConnectSchedule& schedule) {
    std::string when = std::string("when drive ") + schedule.letter + ":" +
                       (schedule.label.empty() ? "" : " (" + schedule.label + ")") +
                       " is connected";
    if (schedule.atMostEveryHours > 0)
        when += ", at most once in " + std::to_string(schedule.atMostEveryHours) + " hours";
    return when;
}

namespace {

// How a run at connection kept in the program folder is listed.
std::string ConnectEntryDescription(const ConnectSchedule& schedule) {
    return ConnectWhen(schedule) + ", " + schedule.projectHost.Text();
}

// "\xNN": how udev and systemd write a byte a name may not hold.
std::string HexEscape(unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02x", c);
    return hex;
}

// udev's encoding of a by-label or by-uuid link name: what is not plain is written \xNN.
std::string UdevLinkName(std::string_view value) {
    std::string name;
    for (unsigned char c : value) {
        if (std::isalnum(c) ||
            std::string_view("#+-.:=@_").find(static_cast<char>(c)) != std::string_view::npos ||
            c >= 0x80) {
            name += static_cast<char>(c);
        } else {
            name += HexEscape(c);
        }
    }
    return name;
}

// systemd-escape --path: '/' becomes '-', what is not [A-Za-z0-9:_.] (and a leading '.') \xNN.
std::string SystemdPathEscape(std::string_view path) {
    while (!path.empty() && path.front() == '/')
        path.remove_prefix(1);
    std::string escaped;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '/') {
            escaped += '-';
        } else if (std::isalnum(c) || c == ':' || c == '_' || (c == '.' && i > 0)) {
            escaped += static_cast<char>(c);
        } else {
            escaped += HexEscape(c);
        }
    }
    return escaped;
}

}  // namespace

std::string VolumeDeviceUnit(const std::string& volume) {
    for (const auto& [prefix, folder] :
         {std::pair{"UUID=", "/dev/disk/by-uuid/"}, std::pair{"LABEL=", "/dev/disk/by-label/"}}) {
        const std::string_view p(prefix);
        if (volume.size() > p.size() && volume.compare(0, p.size(), p) == 0)
            return SystemdPathEscape(folder + UdevLinkName(volume.substr(p.size()))) + ".device";
    }
    return {};
}

std::vector<std::string> ConnectArguments(const ConnectSchedule& schedule,
                                          const ScheduledCommand& command) {
    return {command.runnerHost.Text(),
            schedule.projectHost.Text(),
            "--program-folder",
            command.programFolderHost.Text(),
            "--log-level",
            "normal",
            "--scheduled",
            "--when-connected",
            std::string(1, schedule.letter) + ":",
            "--at-most-every",
            std::to_string(schedule.atMostEveryHours)};
}

std::optional<std::string> ConnectUnitText(const ConnectSchedule& schedule,
                                           const ScheduledCommand& command) {
    const std::string device = VolumeDeviceUnit(schedule.volume);
    if (device.empty())
        return std::nullopt;
    std::string execStart;
    for (const std::string& argument : ConnectArguments(schedule, command)) {
        const std::optional<std::string> quoted = QuoteUnitArgument(argument);
        if (!quoted)
            return std::nullopt;
        execStart += (execStart.empty() ? "" : " ") + *quoted;
    }
    const std::optional<std::string> project = QuoteUnitArgument(schedule.projectHost.Text());
    if (!project)
        return std::nullopt;
    const std::string marker =
        std::string(kUnitMarker) + UnitText(ConnectWhen(schedule) + ", " + *project) + "\n";
    // Started by the device each time it appears (the [Install] line is what `enable` links);
    // stopped with it when it goes. The run itself waits for the desktop to mount the disk.
    return marker + "[Unit]\nDescription=Velmora backup " +
           UnitText(std::string(schedule.projectHost.Name())) + " " +
           UnitText(ConnectWhen(schedule)) + "\nBindsTo=" + device + "\nAfter=" + device +
           "\n\n[Service]\nType=oneshot\nExecStart=" + execStart +
           "\nExecStopPost=/bin/sh -c 'test \"$$SERVICE_RESULT\" = success || "
           "notify-send --urgency=critical --app-name=Velmora \"Velmora: the backup at "
           "connection failed\" \"$$0\"' " +
           *project + "\n\n[Install]\nWantedBy=" + device + "\n";
}

namespace {

// One line a project: "<seconds since 1970> <project path>"; a path may hold any character
// but a line break, which a project path never has.
bool ParseConnectRunLine(std::string_view line, long long& when, std::string_view& project) {
    const std::size_t blank = line.find(' ');
    if (blank == 0 || blank == std::string_view::npos)
        return false;
    const std::string number(line.substr(0, blank));
    char* end = nullptr;
    when = std::strtoll(number.c_str(), &end, 10);
    project = line.substr(blank + 1);
    return *end == '\0';
}

}  // namespace

std::optional<long long> LastConnectRun(std::string_view recordText, const HostPath& projectHost) {
    for (const std::string_view line : SplitLines(recordText)) {
        long long when = 0;
        std::string_view project;
        if (ParseConnectRunLine(line, when, project) && project == projectHost.Text())
            return when;
    }
    return std::nullopt;
}

std::string WithConnectRun(std::string_view recordText, const HostPath& projectHost,
                           long long when) {
    std::string text;
    for (const std::string_view line : SplitLines(recordText)) {
        long long ignored = 0;
        std::string_view project;
        if (line.empty() ||
            (ParseConnectRunLine(line, ignored, project) && project == projectHost.Text()))
            continue;
        text += std::string(line) + "\n";
    }
    return text + std::to_string(when) + " " + projectHost.Text() + "\n";
}

bool TooSoonForConnectRun(std::optional<long long> last, long long now, int hours) {
    // A clock set back makes the last run look in the future: that is no reason to wait.
    return hours > 0 && last && *last <= now && now - *last < static_cast<long long>(hours) * 3600;
}

bool TakeConnectRun(const HostPath& programFolder, const HostPath& projectHost, int hours,
                    long long now, bool note) {
    const HostPath record = programFolder / kConnectRunsFile;
    const std::string text = host::ReadWholeHostFile(record).value_or(std::string());
    if (TooSoonForConnectRun(LastConnectRun(text, projectHost), now, hours))
        return false;
    if (note)
        (void)host::WriteWholeHostFile(record, WithConnectRun(text, projectHost, now));
    return true;
}

std::optional<std::string> CrontabEntry(const RepeatSchedule& schedule,
                                        const ScheduledCommand& command, std::string_view id) {
    std::string line = CrontabTimeFields(schedule) + " ";
    for (const std::string& argument : ScheduledArguments(schedule, command)) {
        const std::optional<std::string> quoted = QuoteCrontabArgument(argument);
        if (!quoted)
            return std::nullopt;
        line += *quoted + " ";
    }
    // cron runs outside the desktop session: the notification finds the session's bus by its
    // standard place. A run that did not begin (exit 3) has told the reason itself.
    line +=
        "|| [ $? -eq 3 ] || DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/$(id -u)/bus notify-send "
        "--urgency=critical --app-name=Velmora 'Velmora: the scheduled backup failed' " +
        *QuoteCrontabArgument(schedule.projectHost.Text());
    const std::string description = CrontabMarkerText(schedule);
    return std::string(kCrontabMarker) + std::string(id) + " " + description + "\n" + line + "\n";
}

std::string NewScheduleId(const HostPath& projectHost, const std::vector<std::string>& taken) {
    std::string name(projectHost.Name());
    if (name.size() > 4 && name.substr(name.size() - 4) == ".vlm")
        name.resize(name.size() - 4);
    std::string slug;
    for (char c : name) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (plain)
            slug += c;
        else if (!slug.empty() && slug.back() != '-')
            slug += '-';
        if (slug.size() >= 40)
            break;
    }
    while (!slug.empty() && slug.back() == '-')
        slug.pop_back();
    if (slug.empty())
        slug = "project";
    for (int n = 1;; ++n) {
        std::string id = std::string(kIdPrefix) + slug + "-" + std::to_string(n);
        if (std::find(taken.begin(), taken.end(), id) == taken.end())
            return id;
    }
}

CommandResult RunHostCommand(const std::vector<std::string>& argv, const std::string& input) {
    CommandResult result;
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0)
        return result;
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> raw;
    for (const auto& argument : argv)
        raw.push_back(const_cast<char*>(argument.c_str()));
    raw.push_back(nullptr);
    pid_t child = -1;
    const int error = ::posix_spawnp(&child, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (error == 0) {
        // Small texts both ways (a crontab, a status line): the input fits the pipe's buffer.
        std::size_t written = 0;
        while (written < input.size()) {
            const ssize_t n = ::write(toChild[1], input.data() + written, input.size() - written);
            if (n <= 0)
                break;
            written += static_cast<std::size_t>(n);
        }
    }
    ::close(toChild[1]);
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(fromChild[0], buffer, sizeof buffer)) > 0)
        result.output.append(buffer, static_cast<std::size_t>(n));
    ::close(fromChild[0]);
    if (error != 0)
        return result;
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

SystemScheduler::Host SystemScheduler::CurrentHost() {
    Host host;
    host.run = RunHostCommand;
    host.useSystemd = RunHostCommand({"systemctl", "--user", "show-environment"}, "").exitCode == 0;
    std::string config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/')
        config = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
        config = std::string(home) + "/.config";
    if (!config.empty())
        host.unitFolder =
            HostPath(std::filesystem::path(config + "/systemd/user").lexically_normal().string());
    // Debian's cron and busybox's are "cron", cronie's "crond".
    host.cronRunning = [] { return ProcessRunning({"cron", "crond"}); };
    return host;
}

std::optional<std::string> SystemScheduler::ReadCrontab(std::string* error) const {
    const CommandResult listed = host_.run({"crontab", "-l"}, "");
    if (listed.exitCode == 0)
        return listed.output;
    // "no crontab for <user>" ends with 1 and is an empty table; a missing crontab command is
    // no table at all.
    if (listed.exitCode == 1 && listed.output.empty())
        return std::string();
    if (error != nullptr)
        *error = kNoSchedulerText;
    return std::nullopt;
}

bool SystemScheduler::CanSchedule() const {
    return host_.useSystemd || ReadCrontab(nullptr).has_value();
}

bool SystemScheduler::CronDaemonMissing() const {
    return !host_.useSystemd && host_.cronRunning && !host_.cronRunning();
}

std::vector<ScheduleEntry> SystemScheduler::List() const {
    std::vector<ScheduleEntry> entries;
    if (host_.useSystemd) {
        std::error_code failure;
        for (const auto& item :
             std::filesystem::directory_iterator(host_.unitFolder.Text(), failure)) {
            const std::string name = item.path().filename().string();
            const bool timer = item.path().extension() == ".timer";
            // A service without a timer is a run at connection.
            const bool alone = item.path().extension() == ".service" &&
                               !std::filesystem::exists(item.path().parent_path() /
                                                        (item.path().stem().string() + ".timer"));
            if (!timer && !alone)
                continue;
            const std::string id = item.path().stem().string();
            if (!IsScheduleId(id))
                continue;
            ScheduleEntry entry{id, ""};
            const std::string text =
                host::ReadWholeHostFile(HostPath(item.path().string())).value_or("");
            for (const std::string_view line : SplitLines(text))
                if (line.rfind(kUnitMarker, 0) == 0)
                    entry.description = line.substr(kUnitMarker.size());
            entries.push_back(entry);
        }
    } else if (const std::optional<std::string> table = ReadCrontab(nullptr)) {
        for (const std::string_view line : SplitLines(*table)) {
            if (line.rfind(kCrontabMarker, 0) != 0)
                continue;
            const std::string rest(line.substr(kCrontabMarker.size()));
            const std::size_t blank = rest.find(' ');
            const std::string id = rest.substr(0, blank);
            if (IsScheduleId(id))
                entries.push_back({id, blank == std::string::npos ? "" : rest.substr(blank + 1)});
        }
    }
    for (const ConnectEntry& entry : ReadConnectSchedules(host_.programFolder))
        entries.push_back({entry.id, ConnectEntryDescription(entry.schedule)});
    std::sort(entries.begin(), entries.end(),
              [](const ScheduleEntry& a, const ScheduleEntry& b) { return a.id < b.id; });
    return entries;
}

ScheduleOutcome SystemScheduler::Add(const RepeatSchedule& schedule,
                                     const ScheduledCommand& command) {
    if (schedule.hour < 0 || schedule.hour > 23 || schedule.minute < 0 || schedule.minute > 59)
        return {false, "", "The time of day is not valid."};
    // Two schedules of one project at the same times would start two runs of it at once.
    const std::string marker =
        host_.useSystemd ? UnitMarkerText(schedule) : CrontabMarkerText(schedule);
    for (const ScheduleEntry& entry : List())
        if (entry.description == marker)
            return {false, entry.id,
                    schedule.projectHost.Text() + " is already scheduled " +
                        ScheduleWhen(schedule) + " (" + entry.id + ")."};
    return host_.useSystemd ? AddUnits(schedule, command) : AddCrontabEntry(schedule, command);
}

ScheduleOutcome SystemScheduler::AddUnits(const RepeatSchedule& schedule,
                                          const ScheduledCommand& command) {
    const std::optional<UnitTexts> texts = SystemdUnitTexts(schedule, command);
    if (!texts)
        return {false, "", "A path with a line break or a control character cannot be scheduled."};
    std::vector<std::string> taken;
    for (const ScheduleEntry& entry : List())
        taken.push_back(entry.id);
    const std::string id = NewScheduleId(schedule.projectHost, taken);
    std::error_code failure;
    std::filesystem::create_directories(host_.unitFolder.Text(), failure);
    const std::string base = (host_.unitFolder / id).Text();
    if (failure || !WriteHostFile(base + ".service", texts->service) ||
        !WriteHostFile(base + ".timer", texts->timer)) {
        ::unlink((base + ".service").c_str());
        return {false, id, "Cannot write the schedule into " + host_.unitFolder.Text() + "."};
    }
    host_.run({"systemctl", "--user", "daemon-reload"}, "");
    const CommandResult enabled =
        host_.run({"systemctl", "--user", "enable", "--now", id + ".timer"}, "");
    if (enabled.exitCode != 0) {
        Remove(id);
        return {false, id, "systemctl could not enable the schedule " + id + "."};
    }
    return {true, id, ""};
}

ScheduleOutcome SystemScheduler::AddCrontabEntry(const RepeatSchedule& schedule,
                                                 const ScheduledCommand& command) {
    std::string error;
    std::optional<std::string> table = ReadCrontab(&error);
    if (!table)
        return {false, "", error};
    std::vector<std::string> taken;
    for (const ScheduleEntry& entry : List())
        taken.push_back(entry.id);
    const std::string id = NewScheduleId(schedule.projectHost, taken);
    const std::optional<std::string> entry = CrontabEntry(schedule, command, id);
    if (!entry)
        return {false, "", "A path with a line break or a control character cannot be scheduled."};
    if (!table->empty() && table->back() != '\n')
        *table += '\n';
    if (host_.run({"crontab", "-"}, *table + *entry).exitCode != 0)
        return {false, id, "crontab refused the new schedule."};
    return {true, id, ""};
}

std::vector<ConnectEntry> ParseConnectSchedules(std::string_view text) {
    std::vector<ConnectEntry> entries;
    for (const std::string_view line : SplitLines(text)) {
        // id, letter, hours, volume, label, project: separated by tabs, which no field holds.
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab = line.find('\t'); fields.size() < 5 && tab != std::string_view::npos;
             tab = line.find('\t', from)) {
            fields.emplace_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        if (fields.size() != 5)
            continue;
        std::optional<HostPath> project = HostPath::Parse(line.substr(from));
        ConnectEntry entry;
        entry.id = fields[0];
        const std::string& hours = fields[2];
        if (!project || !IsScheduleId(entry.id) || fields[1].size() != 1 || hours.empty() ||
            hours.size() > 5 ||
            !std::all_of(hours.begin(), hours.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        entry.schedule = {fields[1][0], fields[4], fields[3], std::stoi(hours), *project};
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<ConnectEntry> ReadConnectSchedules(const HostPath& programFolder) {
    if (programFolder.empty())
        return {};
    return ParseConnectSchedules(
        host::ReadWholeHostFile(programFolder / kConnectSchedulesFile).value_or(std::string()));
}

ScheduleOutcome SystemScheduler::AddOnConnect(const ConnectSchedule& schedule,
                                              const ScheduledCommand& command) {
    if (!host_.useSystemd) {
        // The open program starts the run: the file in its folder says which.
        if (host_.programFolder.empty() || schedule.volume.empty() ||
            HasControlCharacter(schedule.volume) || HasControlCharacter(schedule.label) ||
            HasControlCharacter(schedule.projectHost.Text()))
            return {false, "", "This run at connection cannot be kept here."};
        const HostPath file = host_.programFolder / kConnectSchedulesFile;
        std::string text = host::ReadWholeHostFile(file).value_or(std::string());
        std::vector<std::string> taken;
        for (const ConnectEntry& entry : ParseConnectSchedules(text)) {
            taken.push_back(entry.id);
            if (entry.schedule.letter == schedule.letter &&
                entry.schedule.projectHost == schedule.projectHost)
                return {false, entry.id,
                        schedule.projectHost.Text() + " is already scheduled " +
                            ConnectWhen(schedule) + " (" + entry.id + ")."};
        }
        for (const ScheduleEntry& entry : List())
            taken.push_back(entry.id);
        const std::string id = NewScheduleId(schedule.projectHost, taken);
        if (!text.empty() && text.back() != '\n')
            text += '\n';
        text += id + "\t" + schedule.letter + "\t" + std::to_string(schedule.atMostEveryHours) +
                "\t" + schedule.volume + "\t" + schedule.label + "\t" +
                schedule.projectHost.Text() + "\n";
        if (!host::WriteWholeHostFile(file, text))
            return {false, id, "Cannot write " + file.Text() + "."};
        return {true, id,
                "There is no systemd user instance here: the run starts when Velmora is open "
                "and sees the drive connected."};
    }
    const std::optional<std::string> text = ConnectUnitText(schedule, command);
    if (!text)
        return {false, "",
                "Only a drive pinned to a disk (by UUID or label) can start a run when it is "
                "connected, and no path may hold a line break."};
    std::vector<std::string> taken;
    for (const ScheduleEntry& entry : List()) {
        taken.push_back(entry.id);
        if (text->rfind(std::string(kUnitMarker) + entry.description + "\n", 0) == 0)
            return {false, entry.id,
                    schedule.projectHost.Text() + " is already scheduled " + ConnectWhen(schedule) +
                        " (" + entry.id + ")."};
    }
    const std::string id = NewScheduleId(schedule.projectHost, taken);
    std::error_code failure;
    std::filesystem::create_directories(host_.unitFolder.Text(), failure);
    const std::string service = (host_.unitFolder / id).Text() + ".service";
    if (failure || !WriteHostFile(service, *text))
        return {false, id, "Cannot write the schedule into " + host_.unitFolder.Text() + "."};
    host_.run({"systemctl", "--user", "daemon-reload"}, "");
    if (host_.run({"systemctl", "--user", "enable", id + ".service"}, "").exitCode != 0) {
        Remove(id);
        return {false, id, "systemctl could not enable the schedule " + id + "."};
    }
    return {true, id, ""};
}

ScheduleOutcome SystemScheduler::Remove(const std::string& id) {
    if (!IsScheduleId(id))
        return {false, id, "No schedule of Velmora is called " + id + "."};
    if (!host_.programFolder.empty()) {
        const HostPath file = host_.programFolder / kConnectSchedulesFile;
        const std::string text = host::ReadWholeHostFile(file).value_or(std::string());
        std::string kept;
        bool found = false;
        for (const std::string_view line : SplitLines(text)) {
            if (line.rfind(id + "\t", 0) == 0) {
                found = true;
                continue;
            }
            if (!line.empty())
                kept += std::string(line) + "\n";
        }
        if (found) {
            const bool written = static_cast<bool>(host::WriteWholeHostFile(file, kept));
            return {written, id, written ? "" : "Cannot write " + file.Text() + "."};
        }
    }
    const std::string unitBase = (host_.unitFolder / id).Text();
    struct stat timer {};
    if (host_.useSystemd && ::stat((unitBase + ".timer").c_str(), &timer) != 0 &&
        ::access((unitBase + ".service").c_str(), F_OK) == 0) {
        // A run at connection: a service alone, linked from its device.
        host_.run({"systemctl", "--user", "disable", id + ".service"}, "");
        const bool removed = ::unlink((unitBase + ".service").c_str()) == 0;
        host_.run({"systemctl", "--user", "daemon-reload"}, "");
        return {removed, id, removed ? "" : "The schedule " + id + " was not found."};
    }
    if (host_.useSystemd) {
        host_.run({"systemctl", "--user", "disable", "--now", id + ".timer"}, "");
        const std::string base = (host_.unitFolder / id).Text();
        const bool removed = ::unlink((base + ".timer").c_str()) == 0;
        ::unlink((base + ".service").c_str());
        host_.run({"systemctl", "--user", "daemon-reload"}, "");
        return {removed, id, removed ? "" : "The schedule " + id + " was not found."};
    }
    std::string error;
    const std::optional<std::string> table = ReadCrontab(&error);
    if (!table)
        return {false, id, error};
    // The marker line and the job line below it go; everything else stays as it was.
    std::string kept;
    bool found = false;
    bool skipNext = false;
    for (const std::string_view line : SplitLines(*table)) {
        if (skipNext) {
            skipNext = false;
            continue;
        }
        if (line.rfind(std::string(kCrontabMarker) + id + " ", 0) == 0) {
            found = skipNext = true;
            continue;
        }
        kept += line;
        kept += '\n';
    }
    if (!found)
        return {false, id, "The schedule " + id + " was not found."};
    if (host_.run({"crontab", "-"}, kept).exitCode != 0)
        return {false, id, "crontab refused the change."};
    return {true, id, ""};
}

}  // namespace vlm
