#pragma once
// What a run is asked to do, as the opening rules found it: the project read once, its source
// items with the destination path of each, and its options. The run engine takes it as it is;
// the run window only shows its lists.

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
    // the lines quote). The opening rules accept only items that are drive paths.
    DrivePath ItemPath(std::size_t j) const {
        return j < items.size() ? DrivePath(items[j]) : DrivePath();
    }
    DrivePath DestinationPath(std::size_t j) const { return DrivePath(DestinationOf(j)); }
};

}  // namespace vlm
