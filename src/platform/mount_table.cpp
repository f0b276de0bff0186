#include "platform/mount_table.h"

#include <fstream>
#include <sstream>

namespace vlm {

namespace {

std::string DecodeOctalEscapes(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

bool IsSameOrBelow(const std::string& path, const std::string& folder) {
    if (folder == "/") {
        return !path.empty() && path[0] == '/';
    }
    if (path.compare(0, folder.size(), folder) != 0) {
        return false;
    }
    return path.size() == folder.size() || path[folder.size()] == '/';
}

std::vector<MountEntry> ParseMountInfo(const std::string& text) {
    // Fields: id parent major:minor root mount-point options [optional...] - type source ...
    std::vector<MountEntry> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> parts;
        std::string part;
        while (fields >> part) {
            parts.push_back(part);
        }
        std::size_t dash = 0;
        for (std::size_t i = 6; i < parts.size(); ++i) {
            if (parts[i] == "-") {
                dash = i;
                break;
            }
        }
        if (dash == 0 || dash + 1 >= parts.size()) {
            continue;
        }
        MountEntry entry;
        entry.mountPoint = DecodeOctalEscapes(parts[4]);
        entry.fsType = dash + 1 < parts.size() ? parts[dash + 1] : "";
        entry.source = dash + 2 < parts.size() ? DecodeOctalEscapes(parts[dash + 2]) : "";
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::vector<MountEntry> ReadMountTable() {
    std::ifstream in("/proc/self/mountinfo");
    std::stringstream text;
    text << in.rdbuf();
    return ParseMountInfo(text.str());
}

const MountEntry* MountContaining(const std::vector<MountEntry>& mounts,
                                  const std::string& hostPath) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        // A later mount on the same point hides the earlier one, so ">=" keeps the last.
        if (IsSameOrBelow(hostPath, m.mountPoint) &&
            (best == nullptr || m.mountPoint.size() >= best->mountPoint.size())) {
            best = &m;
        }
    }
    return best;
}

}  // namespace vlm
