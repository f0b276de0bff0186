#pragma once
// The start both programs make before anything else, in the order each step needs the one
// before: the program folder, the drive table of its drives.ini, the settings file kept there,
// and the run history the settings name.

#include <optional>
#include <string>
#include <string_view>

#include "core/app_settings.h"
#include "core/run_history.h"
#include "platform/paths.h"

namespace vlm {

struct ProgramStart {
    HostPath folderHost;     // the program folder on this system
    DrivePath folder;        // the same folder as a drive path
    DrivePath settingsPath;  // the settings file in it
};

// Decides the program folder — the one `chosenArgument` names when a command line named one
// (as it was typed: absolute, or relative to the current folder), else this program's own — and
// makes its drives.ini the active drive table. Without a folder to use: nullopt, and `error`
// says why ("the program folder ... does not exist"). With `remember` off (a run that writes
// nothing) a disk seen for the first time is not written into drives.ini.
std::optional<HostPath> OpenProgramFolder(std::string_view chosenArgument, std::string& error,
                                          bool remember = true);

// The folder's drive path and its settings file. nullopt when the folder is on no drive.
std::optional<ProgramStart> ProgramStartIn(const HostPath& folderHost);

// The settings of the program folder, its ProgramFolder filled in.
AppSettings LoadProgramSettings(const ProgramStart& start);

// Reads the run history the settings name; "" or the text of what went wrong.
std::string LoadRunHistory(const AppSettings& settings, RunHistory& history);

}  // namespace vlm
