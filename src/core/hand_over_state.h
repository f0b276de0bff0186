#pragma once
// What one window hands to another: owned by the main window for the life of the process and
// handed by reference to the windows, the opening rules and the run engine. It lives in the
// core so that the opening rules can fill it without reaching up into the engine.

#include <string>

namespace vlm {

// What one window hands to another.
struct HandOverState {
    bool SyncMode = false;           // the project being run synchronises
    std::string SyncDest;            // its synchronisation destination
    bool QuickRunRequested = false;  // the command line asked for a quick run
    bool TimerRunRequested = false;  // the scheduler asked for a timed run
    bool TimerArmed = false;         // the scheduler's delay is running
    bool EditorOpen = false;         // a project editor exists: the run report stays silent
};

}  // namespace vlm
