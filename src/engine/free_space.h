#pragma once
// The free-space estimate made before a run, and the free-space lines that end it.

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/project_file.h"
#include "engine/run_state.h"

namespace vlm {

// The destination drive of a run: the first character of SyncDest when synchronising, otherwise
// of the project's "destdrive" value, where "<default>" stands for BackupLocation. Empty when
// that text is empty.
std::string DestinationLetter(const ProjectText& project, const HandOverState& handOver,
                              const AppSettings& settings);

// The estimate of the destination's free bytes after a run onto rewritable media: free bytes +
// what the destination items hold now − what the source items hold. -1 after an error that has
// already been shown in an error box.
std::int64_t checkfutfreesize(const std::string& destinationLetter,
                              const std::vector<std::string>& sourceItems,
                              const std::vector<std::string>& destinationPaths);

// The lines that tell how much of the destination drive is still free. A drive whose total size
// cannot be read (or reads 0) gets one honest line instead of a percentage.
std::vector<std::string> FreeSpaceLines(const std::string& destinationLetter);

}  // namespace vlm
