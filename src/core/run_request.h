#pragma once
// What a run is asked to do, as the opening rules found it: the project read once, its source
// items with the destination path of each, and its options. The run engine takes it as it is;
// the run window only shows its lists.

#include <optional>
#include <string>
#include <vector>

#include "core/project_file.h"
#include "platform/paths.h"

namespace vlm {

struct RunRequest {
    std::string projectPath;                // vlmfnL: the path as passed to the opening
    ProjectText project;                    // the file as the opening read it
    std::vector<std::string> items;         // srcLB, in project order
    std::vector<std::string> destinations;  // destLB, one per item (DestPathFor)
    RunOptions options;                     // "confirm", "precalc", "longnames"
    std::string destkind;                   // "destkind", compared exactly

    // The destination path of item `j`; empty when there is none.
    std::string DestinationOf(std::size_t j) const {
        return j < destinations.size() ? destinations[j] : std::string();
    }
    // Item `j` and its destination as drive paths, for the file system (the texts above are what
    // the lines quote). Nothing when the text is no drive path: a destination drive typed without
    // its colon ("e") gives "e\VLMcopy_drive_c\Data", which names no place, and whoever asks
    // must say so with the text, never work on an empty path in its stead.
    std::optional<DrivePath> ItemPath(std::size_t j) const {
        return j < items.size() ? DrivePath::Parse(items[j]) : std::nullopt;
    }
    std::optional<DrivePath> DestinationPath(std::size_t j) const {
        return j < destinations.size() ? DrivePath::Parse(destinations[j]) : std::nullopt;
    }
};

}  // namespace vlm
