#pragma once
// What the copy and removal passes work with: the run state they read and set, the report they
// write to, and the event pump they call between directory entries. Questions and boxes go
// through the Dialogs in force.

#include <string>
#include <vector>

#include "engine/run_log.h"
#include "engine/run_progress.h"
#include "engine/run_state.h"
#include "engine/run_view.h"
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

    void report(const std::string& line, bool important) const { log.report(line, important); }
    // A detail line built only when the log level shows it: `line` makes the text.
    template <typename MakeLine>
    void detail(MakeLine&& line) const {
        if (log.Shows(false))
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
inline void StopForMissingItem(PassContext& ctx, const std::string& path) {
    StopForFailure(ctx, {{},
                         "Fatal error: Item " + path + " does not exist!",
                         {"FATAL ERROR: Item " + path + " does not exist!"}});
}

// A dry run meets a question the run would ask, or a place where it would stop: it is named,
// never asked, and kept in the plan.
inline void WouldAsk(PassContext& ctx, const std::string& text, bool stops = false) {
    ctx.report((stops ? "Would stop: " : "Would ask: ") + text, true);
    ctx.run.NotePlanned(PlannedStepKind::Question, text);
    if (stops && ctx.run.Plan != nullptr)
        ctx.run.Plan->wouldStop = true;
}

// What the line of a removed or overwritten copy adds when the copy was kept.
inline std::string KeptNote(const PassContext& ctx) {
    return ctx.versions != nullptr ? " (kept as version)" : "";
}
// Removes the file or folder at `path`, or with kept versions on moves it into the run's version
// folder. True when it is gone from the mirror.
inline bool DiscardFromMirror(const PassContext& ctx, const std::string& path, bool folder) {
    if (ctx.versions != nullptr)
        return ctx.versions->Keep(DrivePath(path));
    return folder ? DeleteDirTree(path) : DeleteFile(path);
}

// The line both passes report with their read-only refusals.
inline constexpr const char* kMakeWritable = "Please make every item on destination writable!!";

// A folder one of the passes cannot list must not pass for an empty one: its line and its box,
// and the run cannot end as "OK" (the estimate does not count it: the real pass after it reads
// the folder again).
void ReportUnreadableFolder(PassContext& ctx, const std::string& folder);

// An error-type Yes/No question; No is a stop by the person ("User stop"). True on Yes.
bool ContinueOrStop(PassContext& ctx, const std::string& question);

// A read-only item at the destination keeps the pass from changing it: `line` ("... as it is
// READONLY!") and the line asking to make things writable, counted as an error, then
// `question`, which a dry run names and never asks. False when the person stops the run.
bool AskPastReadOnly(PassContext& ctx, const std::string& line, const std::string& question);

}  // namespace vlm
