#pragma once
// The run engine's process-wide state. The main window owns it (and the hand-over state beside
// it) for the life of the process and hands both to the windows and the engine by reference.

#include <cstdint>
#include <string>
#include <utility>

#include "core/hand_over_state.h"

namespace vlm {

// What a run did, counted as the passes work, for the summary at its end. A count beside the run
// adds nothing here; a dry run counts what the run would do.
struct RunTotals {
    std::uint64_t filesNew = 0;       // "Created file"
    std::uint64_t filesReplaced = 0;  // "Overwritten file"
    std::uint64_t bytesCopied = 0;
    std::uint64_t filesRemoved = 0;    // "Removed file"
    std::uint64_t foldersRemoved = 0;  // "Removed dir", each with all it held
    std::uint64_t entriesSkipped = 0;  // links, special files, entries that cannot be read or named
    std::uint64_t errors = 0;  // files not copied or removed, folders not read, fatal errors
    double elapsedMs = 0;      // set by the closing lines
    std::uint64_t entriesExcluded = 0;  // left out by the project's exclusions ("Excluded")
};

// The run engine's state: one set per process, since one project runs at a time.
struct RunState {
    bool StopRequested = false;  // the run must stop at its next check
    // The run stopped because something failed, not because the person stopped it.
    bool StoppedByFailure = false;
    bool RunActive = false;   // a run is in progress (Cancel and ESC ask before stopping)
    bool ConfirmOn = true;    // ask before overwriting or deleting
    bool PrecalcOn = true;    // estimate the future free space first
    bool LongNamesOn = true;  // clean and cut destination file names
    // The editor's estimate for write-once media walks the items now, with the drive letters
    // it started with: the drive table stays as it is, and no timed run starts meanwhile.
    bool EstimateRunning = false;
    // A file of this run could not be copied or removed, or a folder not read: the pass went
    // on, but the run did not do all its work and must not end as "OK".
    bool FilesFailed = false;
    // Something was created, replaced or removed at the destination: the run flushes it to the
    // medium before it can end as "OK".
    bool DestinationWritten = false;
    RunTotals Totals;

    // A failure the run cannot go past: it stops, and its result says it failed.
    void StopForFailure() {
        StopRequested = true;
        StoppedByFailure = true;
    }
};

}  // namespace vlm
