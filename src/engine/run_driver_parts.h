#pragma once
// What the run driver's parts share: the start-up checks (run_driver.cpp), the item loop
// (run_items.cpp), the closing lines (run_closing.cpp) and the dry run (dry_run.cpp). Only those
// files include it.

#include <stdexcept>
#include <string>

#include "engine/run_log.h"
#include "platform/paths.h"

namespace vlm::run_parts {

// What a source item is for a run. One in the empty folder an unplugged disk left behind is not
// there: read as an empty folder, it would have its whole backup removed.
char SourceKind(const DrivePath& item);

// Makes every folder from `base` (exclusive; the place the person chose, which may be reached
// through a link) down to `folder` a real folder. Nothing below the base is ever followed: a
// link found where a folder of the backup belongs is removed (the link itself, never its target)
// and a real folder made in its place, with a line naming it. False when a folder cannot be made
// or a file stands in the way.
bool MakeRealFolderChain(const DrivePath& base, const DrivePath& folder, RunLog& log,
                         bool& written);

// What a dry run foresees of making an item's folder: the folder is there or can be made, as no
// file or special file stands where it or a folder above it belongs (a link there is replaced).
bool FolderCanBeMade(const DrivePath& folder);

// The history could not be saved: the run is abandoned where it stands.
class HistorySaveFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vlm::run_parts
