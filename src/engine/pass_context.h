#pragma once
// What the copy and removal passes work with: the run state they read and set, the report they
// write to, the event pump they call between directory entries, and the sink that decides what
// becomes of what they meet (a run, a dry run or a count). Questions and boxes go through the
// Dialogs in force.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/exclusions.h"
#include "engine/own_files.h"
#include "engine/pass_sink.h"
#include "engine/run_log.h"
#include "engine/run_progress.h"
#include "engine/run_state.h"
#include "engine/run_view.h"
#include "engine/verify_backup.h"
#include "engine/version_store.h"
#include "platform/file_system.h"
#include "platform/medium.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"

namespace vlm {

struct PassContext {
    RunState& run;
    RunLog& log;
    EventPump& pump;
    // Follows each file the copy pass copies, for the window's progress; may be null.
    ProgressMeter* progress = nullptr;
    // What the current item's destination can hold (names without case, bits, ...).
    MediumTraits medium = {};
    // With kept versions on: where the current item's replaced and removed copies go instead of
    // being destroyed; null when they are destroyed.
    VersionKeeper* versions = nullptr;
    // What becomes of what the passes meet: a run by default.
    PassSink sink = PassSink::Apply();
    // The project's exclusions: what they match below an item is neither copied nor removed.
    // Null (or empty) when the project leaves nothing out.
    const ExclusionList* exclusions = nullptr;
    // The program's own changing files, left out of every item that holds them; null: none.
    const ProgramOwnFiles* ownFiles = nullptr;
    // Set once a walk of this run has left one of them out (the report says so once).
    bool* ownFilesNoted = nullptr;
    // With read-back on: each file the copy pass copied, to be read back after the flush.
    std::vector<CopiedFile>* copied = nullptr;
    // With kept versions: removes the oldest kept runs of the destination (not this run's) until
    // at least the bytes asked for are free; the bytes freed. Old versions never cost a backup.
    std::function<std::uint64_t(std::uint64_t)> makeRoom = nullptr;

    // True when the entry `path` (a folder when `isFolder`) below the item folder `itemRoot` is
    // left out. A walk never enters a left-out folder, so the entry alone is asked about.
    bool Excluded(const std::string& itemRoot, const std::string& path, bool isFolder) const {
        if (path.size() <= itemRoot.size())
            return false;
        if (!isFolder && IsOwnFile(path))
            return true;
        if (exclusions == nullptr || exclusions->empty())
            return false;
        return exclusions->ExcludesEntry(std::string_view(path).substr(itemRoot.size() + 1),
                                         isFolder);
    }

    bool IsOwnFile(std::string_view path) const {
        return ownFiles != nullptr && ownFiles->Holds(path);
    }

    // A count's lines are background detail at most: the run after it says everything again.
    void report(const std::string& line, bool important) const {
        if (!sink.Counts())
            log.report(line, important);
        else if (important)
            log.report(line, false);
    }
    // A detail line built only when the log level shows it: `line` makes the text.
    template <typename MakeLine>
    void detail(MakeLine&& line) const {
        if (!sink.Counts() && log.Shows(false))
            log.report(line(), false);
    }
    // "Let pending window messages be handled", then tell whether the run must stop.
    bool PumpAndCheckStop() const {
        pump.ProcessPendingEvents();
        if (progress != nullptr)
            progress->Tick();
        return run.StopRequested;
    }
};

// An event pump with nothing to pump: for callers without a window.
class NoEventPump : public EventPump {
public:
    void ProcessPendingEvents() override {}
};

// A failure a pass cannot go past: the lines said before its box, the box (after `beeps` beeps),
// the lines after it; counted, and the run stops. Every such failure of the passes goes through
// here, so none is shown without being counted or counted without stopping the run.
struct PassFailure {
    std::vector<std::string> linesBefore;
    std::string box;
    std::vector<std::string> linesAfter = {};
    int beeps = 0;
};
void StopForFailure(PassContext& ctx, const PassFailure& failure);

// A source or destination folder that is not there: both passes show the same box, report the
// same line and stop the run.
inline void StopForMissingItem(PassContext& ctx, const DrivePath& path) {
    StopForFailure(ctx, {{},
                         "Fatal error: Item " + path.Text() + " does not exist!",
                         {"FATAL ERROR: Item " + path.Text() + " does not exist!"}});
}

// A dry run meets a question the run would ask, or a place where it would stop: it is named,
// never asked, and kept in the plan. A count passes it by.
void WouldAsk(PassContext& ctx, const std::string& text, bool stops = false);

// A step the run would take, met by a dry run or a count (which touch nothing): a dry run says
// it ("Would create file: ..."), counts it in the run's totals and keeps it in its plan; a count
// adds it up. `path` is the destination file or folder; `files` and `bytes` of a removal are the
// backed-up files (and their bytes) that would go with it. `keepable`: with versions on, what
// goes is kept as a version (a temporary file the program left is not).
void WouldDo(PassContext& ctx, PlannedStepKind kind, const DrivePath& path, std::uint64_t bytes,
             std::uint64_t files = 0, bool keepable = true);

// How a failure that a pass goes past counts in the run's summary.
enum class FailureCount {
    Error,         // a file not copied or removed, a folder not read: the run is no "OK"
    ErrorAndSkip,  // an entry of the walk left out for such a failure
    Skip,          // an entry left out by rule (a link, a name with nothing left)
    ErrorOnly,     // counted as an error before the person is asked whether to go past it
};

// Every failure a pass goes past goes through here: its lines, its count, and in a dry run its
// place in the plan. A count passes it by with its lines as detail: the run after it meets it
// again.
void GoPastFailure(PassContext& ctx, const std::vector<std::string>& lines,
                   FailureCount count = FailureCount::Error);

// An entry the project's exclusions leave out: named at the Extended level and counted for the
// summary (a count only passes by).
void NoteExcluded(PassContext& ctx, const DrivePath& path);

// What the line of a removed or overwritten copy adds when the copy was kept.
inline std::string KeptNote(const PassContext& ctx) {
    return ctx.versions != nullptr ? " (kept as version)" : "";
}
// Removes the file or folder at `path`, or with kept versions on moves it into the run's version
// folder. True when it is gone from the mirror.
inline bool DiscardFromMirror(const PassContext& ctx, const DrivePath& path, bool folder) {
    if (ctx.versions != nullptr)
        return ctx.versions->Keep(path);
    return folder ? static_cast<bool>(DeleteDirTree(path)) : static_cast<bool>(DeleteFile(path));
}

// What the person can do about an error that every run meets again until they act.
inline constexpr const char* kCasePairAdvice =
    "Rename one of the two, or leave one out with an exclusion.";
inline constexpr const char* kRefusedNameAdvice =
    "Rename it, or back up to a disk that keeps such names.";

// The line both passes report with their read-only refusals.
inline constexpr const char* kMakeWritable = "Please make every item on destination writable!!";

// A folder one of the passes cannot list must not pass for an empty one: its line and its box,
// and the run cannot end as "OK" (the estimate does not count it: the real pass after it reads
// the folder again).
void ReportUnreadableFolder(PassContext& ctx, const DrivePath& folder);

// An error-type Yes/No question; No is a stop by the person ("User stop"). True on Yes.
bool ContinueOrStop(PassContext& ctx, const std::string& question);

// A read-only item at the destination keeps the pass from changing it: `line` ("... as it is
// READONLY!") and the line asking to make things writable, counted as an error, then
// `question`, which a dry run names and never asks. False when the person stops the run.
bool AskPastReadOnly(PassContext& ctx, const std::string& line, const std::string& question);

}  // namespace vlm
