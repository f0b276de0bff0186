#include "platform/mount_table.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

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

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// How many components `folder` has below `base`; 0 when it is not below it.
std::size_t DepthBelow(const std::string& folder, const std::string& base) {
    if (folder == base || !HostPath(folder).IsAtOrBelow(HostPath(base)))
        return 0;
    return 1 +
           static_cast<std::size_t>(std::count(
               folder.begin() + static_cast<std::ptrdiff_t>(base.size()) + 1, folder.end(), '/'));
}

}  // namespace

HostPath DiskPlaces::Place(std::string_view name) const {
    return root.IsRoot() || root.empty() ? HostPath("/" + std::string(name)) : root / name;
}

bool DiskPlaces::HoldsVolume(const HostPath& mountPoint) const {
    for (const char* name : {"media", "run/media", "mnt"})
        if (DepthBelow(mountPoint.Text(), Place(name).Text()) > 0)
            return true;
    return false;
}

// /mnt/<name>, /media/<name> (usbmount and the like), /media/<user>/<name> and
// /run/media/<user>/<name> (udisks).
bool DiskPlaces::IsMountFolder(const HostPath& folder) const {
    const std::size_t underMedia = DepthBelow(folder.Text(), Place("media").Text());
    return DepthBelow(folder.Text(), Place("mnt").Text()) == 1 || underMedia == 1 ||
           underMedia == 2 || DepthBelow(folder.Text(), Place("run/media").Text()) == 2;
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
        entry.mountPoint = HostPath(DecodeOctalEscapes(parts[4]));
        entry.device = parts[2];
        entry.root = DecodeOctalEscapes(parts[3]);
        const std::string options = "," + parts[5] + ",";
        entry.readOnly = options.find(",ro,") != std::string::npos;
        entry.fsType = dash + 1 < parts.size() ? parts[dash + 1] : "";
        entry.source = dash + 2 < parts.size() ? DecodeOctalEscapes(parts[dash + 2]) : "";
        mounts.push_back(std::move(entry));
    }
    return mounts;
}

std::vector<MountEntry> ReadMountTable() {
    return ReadMountTable(HostPath("/proc/self/mountinfo"));
}

std::vector<MountEntry> ReadMountTable(const HostPath& mountInfoFile) {
    return ParseMountInfo(ReadText(mountInfoFile.Text()));
}

std::vector<HostPath> ParseFstabMountPoints(const std::string& text) {
    // Fields: source mount-point type options dump pass; '#' starts a comment line.
    std::vector<HostPath> points;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source;
        std::string point;
        if (!(fields >> source >> point) || source[0] == '#')
            continue;
        // "none", "swap" and relative entries are no host paths.
        if (std::optional<HostPath> parsed = HostPath::Parse(DecodeOctalEscapes(point)))
            points.push_back(std::move(*parsed));
    }
    return points;
}

std::vector<HostPath> ReadFstabMountPoints() {
    return ReadFstabMountPoints(HostPath("/etc/fstab"));
}

std::vector<HostPath> ReadFstabMountPoints(const HostPath& fstabFile) {
    return ParseFstabMountPoints(ReadText(fstabFile.Text()));
}

std::vector<HostPath> MountFoldersHolding(const HostPath& hostPath,
                                          const std::vector<HostPath>& fstabPoints,
                                          const HostPath& plainFolder, const DiskPlaces& places) {
    std::vector<HostPath> folders;
    const std::string& text = hostPath.Text();
    for (std::size_t end = text.find('/', 1); !hostPath.IsRoot() && !text.empty();
         end = text.find('/', end + 1)) {
        HostPath folder(std::string_view(text).substr(0, end));
        // The person said this folder is a plain one: it, and what holds it, are not asked.
        const bool plain = plainFolder.IsAtOrBelow(folder);
        if (!plain &&
            (places.IsMountFolder(folder) ||
             std::find(fstabPoints.begin(), fstabPoints.end(), folder) != fstabPoints.end()))
            folders.push_back(std::move(folder));
        if (end == std::string::npos)
            break;
    }
    return folders;
}

bool LiesOnUnmountedMountPoint(const HostPath& hostPath, const std::vector<MountEntry>& mounts,
                               const std::vector<HostPath>& fstabPoints,
                               const HostPath& plainFolder, const DiskPlaces& places) {
    if (mounts.empty())
        return false;
    const std::vector<HostPath> folders =
        MountFoldersHolding(hostPath, fstabPoints, plainFolder, places);
    if (folders.empty())
        return false;
    // The innermost mount holding the path lies at or below every mount folder that has its
    // disk mounted; a mount folder below it has nothing mounted on it.
    const MountEntry* holder = MountContaining(mounts, hostPath);
    const std::size_t mounted = holder != nullptr ? holder->mountPoint.Text().size() : 0;
    return folders.back().Text().size() > mounted;
}

const MountEntry* MountContaining(const std::vector<MountEntry>& mounts, const HostPath& hostPath) {
    const MountEntry* best = nullptr;
    for (const MountEntry& m : mounts) {
        // A later mount on the same point hides the earlier one, so ">=" keeps the last.
        if (hostPath.IsAtOrBelow(m.mountPoint) &&
            (best == nullptr || m.mountPoint.Text().size() >= best->mountPoint.Text().size())) {
            best = &m;
        }
    }
    return best;
}

}  // namespace vlm
