#pragma once
// The free-space estimate made before a run, and the free-space lines that end it.

#include <cstdint>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "core/exclusions.h"
#include "core/project_file.h"
#include "engine/run_state.h"
#include "platform/paths.h"

namespace vlm {

// The destination drive of a run: the first character of SyncDest when synchronising, otherwise
// of the project's "destdrive" value, where "<default>" stands for BackupLocation. Empty when
// that text is empty.
std::string DestinationLetter(const ProjectText& project, const HandOverState& handOver,
                              const AppSettings& settings);

// What a run mirrors of the item at `path`: a file whole, a folder without what `exclusions`
// leave out (left-out entries are neither copied from the source nor removed from the backup,
// so they count on neither side); 0 when nothing is there. With `largestFile` (not 0), a file
// larger than that is left out as well: the run does not copy it to a medium that cannot hold it.
std::uint64_t MirroredItemSize(const DrivePath& path, const ExclusionList& exclusions,
                               std::uint64_t largestFile = 0);

// The estimate of the destination's free bytes after a run onto rewritable media: free bytes +
// what the destination items hold now − what the source items hold, both without what
// `exclusions` leave out and without the source files larger than their destination's medium
// holds. -1 after an error that has already been shown in an error box.
std::int64_t checkfutfreesize(const std::string& destinationLetter,
                              const std::vector<std::string>& sourceItems,
                              const std::vector<std::string>& destinationPaths,
                              const ExclusionList& exclusions);

// False for a drive whose medium tells no sizes at all (fusefat says 0 of 0 bytes): an estimate
// from its free space says nothing of what fits.
bool DriveTellsItsSpace(const std::string& destinationLetter);

// The lines that tell how much of the destination drive is still free. A drive whose total size
// cannot be read (or reads 0) gets one honest line instead of a percentage.
std::vector<std::string> FreeSpaceLines(const std::string& destinationLetter);

}  // namespace vlm
