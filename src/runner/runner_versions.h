#pragma once
// The runner's commands on a project's kept versions:
//
//     velmora-run PROJECT --versions PATH
//     velmora-run PROJECT --restore PATH [--to FOLDER] [--as-of "YYYY-MM-DD HH:MM"]
//
// PATH is a source file or folder of the project (a drive path or a path of this system),
// FOLDER where the restored copy goes (without it, where PATH came from). Both only read the
// backup.

#include <string>

#include "core/run_request.h"

namespace vlm {

struct VersionCommand {
    std::string path;  // --versions or --restore
    bool restore = false;
    std::string to;    // --to
    std::string asOf;  // --as-of; empty for the latest
};

// Prints the kept versions of the source path, one a line: the time it was kept, its size in
// bytes and the host path where it is, separated by tabs. 0 unless the path is no source of the
// project; 2 for a wrong PATH.
int ListVersions(const RunRequest& request, bool sync, const VersionCommand& command);
// Restores the source path as it was at --as-of (the latest when none; for a path deleted since,
// its newest kept version) into --to or back in its own folder, printing one line per file. 0
// only when everything was restored.
int RestoreVersions(const RunRequest& request, bool sync, const VersionCommand& command);

}  // namespace vlm
