#pragma once
// The run engine's process-wide state. The main window owns it (and the hand-over state beside
// it) for the life of the process and hands both to the windows and the engine by reference.

#include <cstdint>
#include <string>
#include <utility>

#include "core/hand_over_state.h"
#include "engine/run_plan.h"

namespace vlm {

// What a run did, counted as the passes work, for the summary at its end. The estimate's
// virtual pass counts nothing; a dry run counts what the run would do.
struct RunTotals {
    std::uint64_t filesNew = 0;       // "Created file"
    std::uint64_t filesReplaced = 0;  // "Overwritten file"
    std::uint64_t bytesCopied = 0;
    std::uint64_t filesRemoved = 0;    // "Removed file"
    std::uint64_t foldersRemoved = 0;  // "Removed dir", each with all it held
    std::uint64_t entriesSkipped = 0;  // links, special files, entries that cannot be read or named
    std::uint64_t errors = 0;  // files not copied or removed, folders not read, fatal errors
    double elapsedMs = 0;      // set by the closing lines
};

// The run engine's state: one set per process, since one project runs at a time.
struct RunState {
    bool StopRequested = false;  // the run must stop at its next check
    // The run stopped because something failed, not because the person stopped it.
    bool StoppedByFailure = false;
    bool RunActive = false;    // a run is in progress (Cancel and ESC ask before stopping)
    bool ConfirmOn = true;     // ask before overwriting or deleting
    bool PrecalcOn = true;     // estimate the future free space first
    bool LongNamesOn = true;   // clean and cut destination file names
    bool VirtualCopy = false;  // the copy pass only counts, touching nothing
    // With VirtualCopy: a dry run. Both passes touch nothing and report each file they would
    // create, overwrite or remove, and each folder they would remove, and count it.
    bool DryRun = false;
    // With DryRun: the project asks before overwriting or deleting, so the plan names each
    // such question.
    bool DryRunConfirm = false;
    // With DryRun: where the passes set down each step, in the last item; null keeps nothing.
    RunPlan* Plan = nullptr;
    std::int64_t FutureFree = 0;  // the running estimate of a virtual pass, in bytes
    // A file of this run could not be copied or removed, or a folder not read: the pass went
    // on, but the run did not do all its work and must not end as "OK".
    bool FilesFailed = false;
    // Something was created, replaced or removed at the destination: the run flushes it to the
    // medium before it can end as "OK".
    bool DestinationWritten = false;
    RunTotals Totals;

    // The state of a count beside a run (the progress count, the guard's count): a dry run that
    // asks nothing, with the run's name cleaning.
    static RunState SilentCount(bool longNames) {
        RunState count;
        count.VirtualCopy = true;
        count.DryRun = true;
        count.ConfirmOn = false;
        count.LongNamesOn = longNames;
        return count;
    }

    // A failure the run cannot go past: it stops, and its result says it failed.
    void StopForFailure() {
        StopRequested = true;
        StoppedByFailure = true;
    }
    // The virtual copy of the free-space estimate on a CD-like medium: the real passes follow
    // and say everything again, so it reports and counts nothing of its own. A dry run is no
    // estimate: it meets and counts every failure the run would meet.
    bool Estimating() const { return VirtualCopy && !DryRun; }
    // A file could not be copied or removed, or a folder not read: counted, and the run is no
    // "OK".
    void NoteError() {
        if (Estimating())
            return;
        FilesFailed = true;
        ++Totals.errors;
    }
    // A dry run's step, kept in the plan when there is one.
    void NotePlanned(PlannedStepKind kind, std::string path, std::uint64_t bytes = 0,
                     std::uint64_t files = 0) {
        if (Plan != nullptr && !Plan->items.empty())
            Plan->items.back().steps.push_back(PlannedStep{kind, std::move(path), bytes, files});
    }
    // An entry the passes leave alone (counted only; whether that fails the run is the caller's).
    void NoteSkipped() {
        if (!Estimating())
            ++Totals.entriesSkipped;
    }
};

}  // namespace vlm
