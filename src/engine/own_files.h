#pragma once
// The files the program itself keeps changing while it works: the run history and the kept
// reports of its runs, the settings, drives.ini and the drive table's other files, the
// recent-projects lists, the run log and the program's temporary and lock files beside them. A
// backup of a folder that holds the program folder (a home folder) leaves them out: each run would
// otherwise find them changed, keep the last ones as versions, and a verification would call them
// different. The projects beside them are the person's own and are backed up.

#include <optional>
#include <string>
#include <string_view>

#include "core/app_settings.h"
#include "platform/paths.h"

namespace vlm {

// The report line, said once per run at the Extended level when a walk met one of them.
inline constexpr const char* kOwnFilesLeftOut =
    "The program's own files (run history, settings, drives.ini, recent lists, log) are left out "
    "of the backup";

class ProgramOwnFiles {
public:
    // None: nothing is the program's own.
    ProgramOwnFiles() = default;
    // Those of the program folder and the log folder of `settings`.
    explicit ProgramOwnFiles(const AppSettings& settings);

    // True when the file at the drive path `path` is one of them. Asked of every file a walk
    // meets: the name alone rules out nearly all of them before a path is translated.
    bool Holds(std::string_view path) const;

private:
    std::string settingsName_;  // "velmora.ini"
    std::optional<HostPath> programFolder_;
    std::optional<HostPath> logFolder_;
    std::optional<HostPath> reportsFolder_;  // the kept reports of the runs
    std::string reportsFolderTail_;          // "\\Reports\\": how a path in it ends its folder
};

}  // namespace vlm
