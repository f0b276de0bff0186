#pragma once
// The run engine's process-wide state. The main window owns it (and the hand-over state beside
// it) for the life of the process and hands both to the windows and the engine by reference.

#include <cstdint>
#include <string>

#include "core/hand_over_state.h"

namespace vlm {

// The run engine's state: one set per process, since one project runs at a time.
struct RunState {
    bool StopRequested = false;   // the run must stop at its next check
    bool RunActive = false;       // a run is in progress (Cancel and ESC ask before stopping)
    bool ConfirmOn = true;        // ask before overwriting or deleting
    bool PrecalcOn = true;        // estimate the future free space first
    bool LongNamesOn = true;      // clean and cut destination file names
    bool VirtualCopy = false;     // the copy pass only counts, touching nothing
    std::int64_t FutureFree = 0;  // the running estimate of a virtual pass, in bytes
    // A file of this run could not be copied or removed, or a folder not read: the pass went
    // on, but the run did not do all its work and must not end as "OK".
    bool FilesFailed = false;
    // Something was created, replaced or removed at the destination: the run flushes it to the
    // medium before it can end as "OK".
    bool DestinationWritten = false;
};


}  // namespace vlm
