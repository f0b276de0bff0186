// velmora-run: runs one project without a window, for scripts and benchmarks.
//
//     velmora-run PROJECT.vlm [--log-level none|normal|extended] [--program-folder DIR] [--yes]
//                 [--allow-mass-delete] [--json] [--dry-run] [--progress] [--scheduled]
//     velmora-run PROJECT.vlm --versions PATH
//     velmora-run PROJECT.vlm --restore PATH [--to FOLDER] [--as-of "YYYY-MM-DD HH:MM"] [--yes]
//     velmora-run PROJECT.vlm --verify [--program-folder DIR]
//     velmora-run --help | --version
//
// The project goes through the same opening checks and the same engine as a run in the run
// window. Report lines go to standard output at the chosen level, and to the run log and the run
// history of the program folder as a window run writes them. A question that would need a person
// is printed and answered No, the choice the engine always treats as the safe one; with --yes the
// overwrite and delete confirmations are answered Yes. The exit code is 0 when the run's result
// is "OK" and no question was answered No, and 1 otherwise: a file left old because nobody could
// allow its overwrite is no success. The question before a removal that would take most of a
// folder item's backup is answered Yes only with --allow-mass-delete (--yes does not cover it).
// With --json the last line of standard output is one JSON object with the project, the result and
// the run's summary numbers. --dry-run shows what the run would do and writes nothing anywhere.
// --progress keeps one line of progress on standard error. --scheduled, which the system schedules
// of the program write, records the run as one that nobody started by hand ("Timer").
// --verify runs nothing: it reads every file of the sources and of the backup, names each one
// whose copy differs, is missing or cannot be read, and ends "OK" (exit 0) or "Error" (exit 1).
// A source file saved since the backup is listed apart and is no error.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_settings.h"
#include "core/opening_rules.h"
#include "core/program_start.h"
#include "core/run_history.h"
#include "engine/destination_media.h"
#include "engine/free_space.h"
#include "engine/pass_context.h"
#include "engine/removal_guard.h"
#include "engine/run_driver.h"
#include "engine/run_log.h"
#include "engine/run_state.h"
#include "engine/run_view.h"
#include "engine/verify_backup.h"
#include "platform/drive_table.h"
#include "platform/locale_text.h"
#include "platform/path_translation.h"
#include "platform/shell.h"
#include "platform/system_schedule.h"
#include "runner_versions.h"
#include "scheduled_notice.h"
#include "util/dialogs.h"
#include "util/text_helpers.h"

namespace vlm {
namespace {

constexpr const char* kUsage =
    "usage: velmora-run PROJECT.vlm [--log-level none|normal|extended] [--program-folder DIR]\n"
    "                   [--yes] [--allow-mass-delete] [--json] [--dry-run] [--progress]\n"
    "                   [--scheduled] [--when-connected X: [--at-most-every HOURS]]\n"
    "       velmora-run PROJECT.vlm --versions PATH\n"
    "       velmora-run PROJECT.vlm --restore PATH [--to FOLDER] [--as-of \"YYYY-MM-DD HH:MM\"]\n"
    "       velmora-run PROJECT.vlm --verify [--program-folder DIR]\n"
    "       velmora-run --drives [--program-folder DIR]\n"
    "       velmora-run --help | --version\n"
    "  --program-folder DIR  the folder of drives.ini, the settings and the run history; by\n"
    "         default the runner's own folder, or ~/.local/share/velmora for an installed runner\n"
    "  --yes  answer Yes to the questions that confirm an overwrite or a delete\n"
    "  --allow-mass-delete  answer Yes when a removal would take most of a folder item's backup\n"
    "  Every other question is answered No.\n"
    "  --json  end with one line holding the result and the summary as a JSON object\n"
    "  --dry-run  show the files each item would copy and remove, and change nothing\n"
    "  --progress  keep one line on standard error: files and bytes copied of those to copy,\n"
    "         the rate, the time left and the file being copied\n"
    "  --drives  print the drive letters, one a line: letter, kind, label, UUID and mount\n"
    "         folder (or \"not connected\"), separated by tabs\n"
    "  --scheduled  record the run in the run history as started by a schedule (\"Timer\")\n"
    "  --when-connected X:  the run of a disk just connected: wait up to 90 seconds for drive X:\n"
    "         to be mounted; with --at-most-every HOURS, run only when the project has not run\n"
    "         so within that many hours (noted in connect-runs.txt in the program folder)\n"
    "  --versions PATH  list the kept versions of a source file or folder, one a line: the time\n"
    "         it was kept, its size and where it is\n"
    "  --restore PATH [--to FOLDER]  copy the source file or folder as it was at --as-of (by\n"
    "         default the latest; a file deleted since, its newest kept version) from the\n"
    "         backup into FOLDER, or back where it came from; a file there that differs is set\n"
    "         aside, a newer one replaced (and set aside) only with --yes\n"
    "  --verify  run nothing: compare the content of every source file with its backup copy,\n"
    "         print each one that differs, is missing in the backup or is unreadable, list apart\n"
    "         the files changed since the backup (no error), and end with OK or Error; nothing is\n"
    "         written anywhere\n"
    "Exit code: 0 when the run ended OK and no question was answered No; 1 otherwise; 2 for a\n"
    "wrong command line; 3 for a --scheduled run that did not begin (its history row, its report\n"
    "and a desktop notice say why).\n";

// Set by SIGINT or SIGTERM (Ctrl+C, `systemctl stop`, `kill`): the run stops at its next check
// as if Cancel had been pressed, with its closing lines, its history row and its exit code.
volatile sig_atomic_t gStopSignal = 0;

void NoteStopSignal(int) {
    gStopSignal = 1;
}

// A second signal ends the runner at once, as signals otherwise do.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// Between entries of a pass: a stop signal stops the run there.
class SignalPump final : public EventPump {
public:
    explicit SignalPump(RunState& run) : run_(run) {}
    void ProcessPendingEvents() override {
        if (gStopSignal != 0 && !run_.StopRequested) {
            run_.StopRequested = true;
            std::cerr << "velmora-run: stopping on a signal\n";
        }
    }

private:
    RunState& run_;
};

// The run window's place taken by standard output.
class ConsoleRunView : public RunView {
public:
    explicit ConsoleRunView(LogLevel level) : level_(level) {}

    void SelectItem(int) override {}
    LogLevel Level() const override { return level_; }
    void SetLevel(LogLevel level) override { level_ = level; }
    bool LogToFile() const override { return logToFile_; }
    void SetLogToFile(bool on) override { logToFile_ = on; }
    // Names as the run window shows them; the log file keeps the stand-ins.
    void AppendReportLine(const std::string& line) override {
        std::cout << ShownName(line) << '\n';
    }
    void SetStatusText(const std::string&) override {}
    void SetRunEnabled(bool) override {}
    void SetCancelButton(bool, const std::string&, bool) override {}
    void CloseWindow(WindowResult) override {}

    // With --progress: one line on standard error, written over and over in place.
    void ShowProgressOnStandardError(bool on) { progress_ = on; }
    bool WantsProgress() const override { return progress_; }
    void ShowProgress(const ProgressSnapshot& p) override {
        std::string line = ProgressLine(p);
        if (!p.finished && !p.currentFile.empty())
            line += "  " + p.currentFile;
        // The rest of a longer line before it is blanked out.
        const std::size_t width = line.size();
        if (width < lastWidth_)
            line.append(lastWidth_ - width, ' ');
        lastWidth_ = width;
        std::cerr << '\r' << line << (p.finished ? "\n" : "") << std::flush;
    }

private:
    bool progress_ = false;
    std::size_t lastWidth_ = 0;
    LogLevel level_;
    bool logToFile_ = true;
};

// No person to ask: boxes are printed, every question is answered No, except the overwrite and
// delete confirmations (the engine asks those, and only those, as BoxType::Confirmation) and
// the question before a run removes most of a folder item's backup, each when it was allowed on the
// command line. Every answer is counted.
class ConsoleDialogs : public Dialogs {
public:
    ConsoleDialogs(bool yesToConfirmations, bool yesToMassRemoval)
        : yesToConfirmations_(yesToConfirmations), yesToMassRemoval_(yesToMassRemoval) {}

    Answer Show(BoxType type, Buttons buttons, const std::string& text) override {
        std::cout.flush();
        if (buttons == Buttons::Ok) {
            std::cerr << TypeName(type) << ShownName(text) << '\n';
            return Answer::Ok;
        }
        const bool yes = Allows(text, type == BoxType::Confirmation);
        std::cerr << "Question: " << ShownName(text) << "\nAnswered: " << (yes ? "Yes" : "No")
                  << '\n';
        ++(yes ? answeredYes_ : answeredNo_);
        return yes ? Answer::Yes : Answer::No;
    }
    // A dry run asks nothing: each question it names is counted with the answer the run would
    // get here, so that its exit code says what the run's would be.
    void CountPlannedQuestion(const std::string& text) {
        planned_ = true;
        // A plan keeps the text only: the confirmations are the questions that begin so.
        const bool yes = Allows(text, text.rfind("Do you really want to ", 0) == 0);
        ++(yes ? answeredYes_ : answeredNo_);
    }
    // Yes to the question before most of a backup goes with --allow-mass-delete, to a
    // confirmation with --yes, and to nothing else.
    bool Allows(const std::string& text, bool confirmation) const {
        if (text.rfind(kMassRemovalQuestionStart, 0) == 0)
            return yesToMassRemoval_;
        return yesToConfirmations_ && confirmation;
    }
    // An input box left unanswered is counted with the questions answered No.
    std::optional<std::string> Input(const std::string&, const std::string& prompt,
                                     const std::string&) override {
        std::cerr << "Input: " << ShownName(prompt) << "\nAnswered: Cancel\n";
        ++answeredNo_;
        return std::nullopt;
    }
    void Beep() override {}

    int AnsweredYes() const { return answeredYes_; }
    int AnsweredNo() const { return answeredNo_; }

    // The last line of the output, so a script sees what was decided without a person.
    std::string CountLine() const {
        const int total = answeredYes_ + answeredNo_;
        return std::string(planned_ ? "velmora-run would answer " : "velmora-run answered ") +
               std::to_string(total) + (total == 1 ? " question" : " questions") +
               " itself: " + std::to_string(answeredYes_) + " Yes, " + std::to_string(answeredNo_) +
               " No";
    }

private:
    static const char* TypeName(BoxType type) {
        switch (type) {
            case BoxType::Error:
                return "Error: ";
            case BoxType::Warning:
                return "Warning: ";
            case BoxType::Information:
                return "Information: ";
            default:
                return "";
        }
    }

    bool yesToConfirmations_;
    bool yesToMassRemoval_;
    bool planned_ = false;
    int answeredYes_ = 0;
    int answeredNo_ = 0;
};

struct Arguments {
    std::string project;
    LogLevel level = LogLevel::Normal;
    std::string programFolderHost;
    bool yesToConfirmations = false;
    bool yesToMassRemoval = false;
    bool json = false;
    bool dryRun = false;
    bool progress = false;
    bool drives = false;  // print the drive table instead of running a project
    bool scheduled = false;
    std::optional<VersionCommand> versions;  // --versions or --restore instead of a run
    bool verify = false;     // compare the backup with the sources instead of running
    char whenConnected = 0;  // the run of a disk just connected: its drive letter
    int atMostEveryHours = 0;
};

std::optional<Arguments> ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--log-level" && i + 1 < argc) {
            const std::string_view value = argv[++i];
            if (value == "none")
                args.level = LogLevel::None;
            else if (value == "normal")
                args.level = LogLevel::Normal;
            else if (value == "extended")
                args.level = LogLevel::Extended;
            else
                return std::nullopt;
        } else if (arg == "--program-folder" && i + 1 < argc) {
            args.programFolderHost = argv[++i];
        } else if (arg == "--yes") {
            args.yesToConfirmations = true;
        } else if (arg == "--allow-mass-delete") {
            args.yesToMassRemoval = true;
        } else if (arg == "--json") {
            args.json = true;
        } else if (arg == "--dry-run") {
            args.dryRun = true;
        } else if (arg == "--progress") {
            args.progress = true;
        } else if (arg == "--drives") {
            args.drives = true;
        } else if (arg == "--scheduled") {
            args.scheduled = true;
        } else if ((arg == "--versions" || arg == "--restore") && i + 1 < argc && !args.versions) {
            args.versions = VersionCommand{argv[++i], arg == "--restore", {}, {}};
        } else if ((arg == "--to" || arg == "--as-of") && i + 1 < argc && args.versions &&
                   args.versions->restore) {
            (arg == "--to" ? args.versions->to : args.versions->asOf) = argv[++i];
        } else if (arg == "--verify") {
            args.verify = true;
        } else if (arg == "--when-connected" && i + 1 < argc) {
            const std::string_view letter = argv[++i];
            if (letter.size() != 2 || letter[1] != ':' ||
                !std::isalpha(static_cast<unsigned char>(letter[0])))
                return std::nullopt;
            args.whenConnected =
                static_cast<char>(std::tolower(static_cast<unsigned char>(letter[0])));
        } else if (arg == "--at-most-every" && i + 1 < argc) {
            const std::string value = argv[++i];
            if (value.empty() || value.size() > 5 ||
                !std::all_of(value.begin(), value.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            args.atMostEveryHours = std::stoi(value);
        } else if (!arg.empty() && arg[0] != '-' && args.project.empty()) {
            args.project = arg;
        } else {
            return std::nullopt;
        }
    }
    if (args.project.empty() != args.drives)
        return std::nullopt;
    if (args.atMostEveryHours > 0 && args.whenConnected == 0)
        return std::nullopt;
    return args;
}

// The run in one line for a script: the project, the result (null when the run ended before
// its history row was complete) and the summary numbers.
std::string JsonSummary(const std::string& project, const std::optional<std::string>& result,
                        const RunTotals& t) {
    // Whole milliseconds written by hand: the locale in force may use a decimal comma.
    const long long ms = std::max(0LL, std::llround(t.elapsedMs));
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%03lld", ms / 1000, ms % 1000);
    const auto field = [](const char* name, std::uint64_t value) {
        return std::string(",\"") + name + "\":" + std::to_string(value);
    };
    return "{\"project\":" + JsonQuoted(project) +
           ",\"result\":" + (result ? JsonQuoted(*result) : std::string("null")) +
           field("filesCopied", t.filesNew + t.filesReplaced) + field("filesNew", t.filesNew) +
           field("filesReplaced", t.filesReplaced) + field("bytesCopied", t.bytesCopied) +
           field("filesRemoved", t.filesRemoved) + field("foldersRemoved", t.foldersRemoved) +
           field("entriesSkipped", t.entriesSkipped) + field("errors", t.errors) +
           ",\"elapsedSeconds\":" + seconds + "}";
}

// A run that cannot begin still ends a --json output with its line: a script reads a result of
// null rather than nothing.
int Refused(const Arguments& args, const std::string& project) {
    if (args.json)
        std::cout << JsonSummary(project, std::nullopt, RunTotals{}) << '\n' << std::flush;
    return 1;
}

int PrintDrives() {
    for (const std::string& line : DriveTableLines())
        std::cout << line << '\n';
    return 0;
}

// The run a connected disk starts: the desktop mounts the disk a moment after the device
// appears, so the drive is waited for; a project that ran so within the hours given is not run
// again. The exit code when no run is to be made; nullopt to run.
std::optional<int> RunAtConnection(const Arguments& args, const HostPath& folder) {
    const char letter = args.whenConnected;
    if (ActiveDriveTable().AwaitedVolume(letter).empty() && !ActiveDriveTable().IsPresent(letter)) {
        std::cerr << "velmora-run: drive " << letter << ": is no disk that can be connected\n";
        return Refused(args, args.project);
    }
    for (int waited = 0; !ActiveDriveTable().IsPresent(letter); waited += 2) {
        if (waited >= 90 || gStopSignal != 0) {
            std::cerr << "velmora-run: drive " << letter << ": was not mounted within 90 seconds\n";
            return Refused(args, args.project);
        }
        ::sleep(2);
        RefreshActiveDriveTable();
    }
    if (args.atMostEveryHours <= 0)
        return std::nullopt;
    const HostPath project(std::filesystem::absolute(args.project).lexically_normal().string());
    if (!TakeConnectRun(folder, project, args.atMostEveryHours,
                        static_cast<long long>(std::time(nullptr)), !args.dryRun)) {
        std::cout << "velmora-run: " << project.Text() << " ran at a connection less than "
                  << args.atMostEveryHours << " hours ago: no run now\n";
        return 0;
    }
    return std::nullopt;
}

// The engine plans instead of running; each question of the plan is counted with the answer the
// run would get.
void DryRun(RunEngine& engine, ConsoleRunView& view, ConsoleDialogs& dialogs,
            const RunRequest& request) {
    // A dry run leaves the run log as it is, too.
    view.SetLogToFile(false);
    RunPlan plan;
    engine.DryRun(request, &plan);
    for (const PlannedItem& item : plan.items)
        for (const PlannedStep& step : item.steps)
            if (step.kind == PlannedStepKind::Question)
                dialogs.CountPlannedQuestion(step.path);
}

// The closing lines (the questions answered, the JSON summary) and the exit code.
int Finish(const Arguments& args, const std::string& projectPath,
           const std::optional<std::string>& outcome, const RunTotals& totals,
           const ConsoleDialogs& dialogs) {
    if (dialogs.AnsweredYes() + dialogs.AnsweredNo() > 0)
        std::cout << dialogs.CountLine() << '\n';
    if (args.json)
        std::cout << JsonSummary(projectPath, outcome, totals) << '\n';
    std::cout.flush();
    const bool ok = outcome == std::optional<std::string>(kResultOk);
    return ok && dialogs.AnsweredNo() == 0 ? 0 : 1;
}

// The opened project through the engine, as the run window runs it.
int RunProject(const Arguments& args, const OpenRunOutcome& opened, HandOverState& handOver,
               AppSettings& settings, RunHistory& history, ConsoleDialogs& dialogs) {
    ConsoleRunView view(args.level);
    view.ShowProgressOnStandardError(args.progress);
    RunState run;
    SignalPump pump(run);
    CatchStopSignals();
    RunLog log(&view, run, handOver, settings.LogLocation);
    RunEngine engine(view, pump, run, handOver, log, settings, history);
    engine.TimerRun = args.scheduled;
    if (args.dryRun)
        DryRun(engine, view, dialogs, opened.request);
    else
        engine.run(opened.request);
    const int exitCode =
        Finish(args, opened.request.projectPath, engine.Outcome(), run.Totals, dialogs);
    // A scheduled run that did not begin tells the desktop why, in one line.
    if (args.scheduled && !args.dryRun && !engine.RefusedAtStart().empty()) {
        SendScheduledNotice(
            RefusedStartNotice(opened.request.projectPath, engine.RefusedAtStart()));
        return kExitDidNotStart;
    }
    return exitCode;
}

// The backup compared with the sources, line by line on standard output; a stop signal ends it
// early, and a verification that did not finish is no "OK".
int VerifyProject(const RunRequest& request, const AppSettings& settings) {
    CatchStopSignals();
    const VerifyTotals totals = VerifyBackup(
        request, [](const std::string& line) { std::cout << ShownName(line) << '\n'; },
        [] { return gStopSignal == 0; }, ProgramOwnFiles(settings));
    std::cout.flush();
    return totals.ok() ? 0 : 1;
}

// The settings and the run history of the program folder, then the project, opened by the rules
// a run window opens it by, and its run.
int OpenAndRun(const Arguments& args, const ProgramStart& start, ConsoleDialogs& dialogs) {
    AppSettings settings = LoadProgramSettings(start);
    // A dry run and a verification write nothing anywhere: they leave the history (and the lock
    // beside it) alone.
    RunHistory history;
    if (!args.dryRun && !args.versions && !args.verify) {
        const std::string historyError = LoadRunHistory(settings, history);
        if (!historyError.empty())
            dialogs.Show(BoxType::Error, Buttons::Ok, historyError);
    }
    const auto projectPath =
        DrivePathFromArgument(args.project, HostPath(std::filesystem::current_path().string()));
    if (!projectPath) {
        std::cerr << "velmora-run: " << args.project
                  << (StartsWithDriveLetter(args.project) ? " is no drive path\n"
                                                          : " is on no drive\n");
        return Refused(args, args.project);
    }
    HandOverState handOver;
    const OpenRunOutcome opened =
        CheckProjectForRun(projectPath->Text(), settings.BackupLocation, handOver);
    if (!opened.ok()) {
        dialogs.Show(BoxType::Error, Buttons::Ok, *opened.error);
        if (args.scheduled && !args.dryRun && !args.versions && !args.verify) {
            // Nobody watched it start: its row, its report and its notice say why.
            const StartRefusal refusal{*opened.error,
                                       "the project " + projectPath->Text() + " cannot be opened."};
            const std::string saveError =
                RecordRefusedStart(history, settings, projectPath->Text(), "Timer", refusal);
            if (!saveError.empty())
                dialogs.Show(BoxType::Error, Buttons::Ok, saveError);
            Refused(args, projectPath->Text());
            SendScheduledNotice(RefusedStartNotice(projectPath->Text(), refusal));
            return kExitDidNotStart;
        }
        return Refused(args, projectPath->Text());
    }
    // What reads a backup says first when its disk is not there, instead of finding nothing.
    if (args.versions || args.verify) {
        if (const auto missing =
                MissingDriveText(DestinationLetter(opened.request.project, handOver, settings))) {
            dialogs.Show(BoxType::Error, Buttons::Ok, *missing);
            return Refused(args, projectPath->Text());
        }
    }
    if (args.versions)
        return args.versions->restore
                   ? RestoreVersions(opened.request, handOver.SyncMode, *args.versions)
                   : ListVersions(opened.request, handOver.SyncMode, *args.versions);
    if (args.verify)
        return VerifyProject(opened.request, settings);
    return RunProject(args, opened, handOver, settings, history, dialogs);
}

int Run(const Arguments& args) {
    InitLocaleFromEnvironment();
    std::string error;
    // A dry run and a verification write nothing anywhere, not even a new disk's letter.
    const std::optional<HostPath> folderHost =
        OpenProgramFolder(args.programFolderHost, error, !args.dryRun && !args.verify);
    if (!folderHost) {
        std::cerr << "velmora-run: " << error << '\n';
        return Refused(args, args.project);
    }
    if (args.drives)
        return PrintDrives();
    if (args.whenConnected != 0) {
        if (const std::optional<int> done = RunAtConnection(args, *folderHost))
            return *done;
    }
    const std::optional<ProgramStart> start = ProgramStartIn(*folderHost);
    if (!start) {
        std::cerr << "velmora-run: the program folder " << folderHost->Text()
                  << " is on no drive\n";
        return Refused(args, args.project);
    }
    ConsoleDialogs dialogs(args.yesToConfirmations, args.yesToMassRemoval);
    SetDialogs(&dialogs);
    return OpenAndRun(args, *start, dialogs);
}

}  // namespace
}  // namespace vlm

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    // Asked alone, these answer and end; anywhere else they are a wrong command line.
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "velmora-run " << VELMORA_VERSION << '\n';
        return 0;
    }
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::cout << vlm::kUsage;
        return 0;
    }
    const auto args = vlm::ParseArguments(argc, argv);
    if (!args) {
        std::cerr << vlm::kUsage;
        return 2;
    }
    return vlm::Run(*args);
}
