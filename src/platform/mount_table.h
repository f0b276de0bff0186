#pragma once
// The host's mounted file systems, as /proc/self/mountinfo lists them.

#include <string>
#include <vector>

namespace vlm {

struct MountEntry {
    std::string mountPoint;  // octal escapes (\040 for a blank) already decoded
    std::string fsType;
    std::string source;
};

std::vector<MountEntry> ReadMountTable();
// Parses the text of a mountinfo file (split out so it can be tested on fixed text).
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The mount whose mount point is the longest component-wise prefix of the absolute `hostPath`.
const MountEntry* MountContaining(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath);

// True when `path` is `folder` itself or lies below it (component boundaries respected).
bool IsSameOrBelow(const std::string& path, const std::string& folder);

}  // namespace vlm
