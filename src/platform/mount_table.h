#pragma once
// The host's mounted file systems, as /proc/self/mountinfo lists them, and the folders that are
// meant to hold one (an unplugged disk leaves its empty mount folder behind).

#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"

namespace vlm {

struct MountEntry {
    HostPath mountPoint;  // octal escapes (\040 for a blank) already decoded
    std::string fsType;
    std::string source;
    std::string device;  // "major:minor" of the mounted file system ("0:41" for FUSE)
    // The folder of the mounted file system that is seen there, named inside that file system
    // (not on this host): "/" unless a bind mount.
    std::string root;
    bool readOnly = false;  // mounted read-only
};

// The places where desktops and administrators mount disks: <root>/media, <root>/run/media and
// <root>/mnt. The root is "/" on a host; a test gives a folder of its own, so that the disks the
// machine has mounted are never taken for its own.
struct DiskPlaces {
    HostPath root = HostPath("/");
    // True for a mount point below one of the places, where a disk takes a letter of its own.
    bool HoldsVolume(const HostPath& mountPoint) const;
    // True for a folder meant to hold a mounted disk: <mnt>/<name>, <media>/<name>,
    // <media>/<user>/<name> and <run/media>/<user>/<name>.
    bool IsMountFolder(const HostPath& folder) const;
    HostPath Place(std::string_view name) const;
};

// The mount table of this process (/proc/self/mountinfo), or the one in `mountInfoFile`.
std::vector<MountEntry> ReadMountTable();
std::vector<MountEntry> ReadMountTable(const HostPath& mountInfoFile);
// Parses the text of a mountinfo file (split out so it can be tested on fixed text).
std::vector<MountEntry> ParseMountInfo(const std::string& text);

// The mount whose mount point is the longest component-wise prefix of `hostPath`.
const MountEntry* MountContaining(const std::vector<MountEntry>& mounts, const HostPath& hostPath);

// The mount points an fstab text lists (second field, escapes decoded); swap, "none", relative
// entries and spellings no host path has (which no path could lie below) are left out.
std::vector<HostPath> ParseFstabMountPoints(const std::string& text);
std::vector<HostPath> ReadFstabMountPoints();  // of /etc/fstab
std::vector<HostPath> ReadFstabMountPoints(const HostPath& fstabFile);

// The folders at or above `hostPath` that are meant to hold a mounted file system: those
// `fstabPoints` lists and those of `places` (DiskPlaces::IsMountFolder). Folders at or above
// `plainFolder` (one the person declared a plain folder; empty for none) are left out.
// Outermost first.
std::vector<HostPath> MountFoldersHolding(const HostPath& hostPath,
                                          const std::vector<HostPath>& fstabPoints,
                                          const HostPath& plainFolder = {},
                                          const DiskPlaces& places = {});

// True when one of MountFoldersHolding(hostPath, ...) has nothing mounted on it: then `hostPath`
// is the empty folder an unplugged disk left behind, or lies in it, and is no place of that
// disk. An empty `mounts` (the table could not be read) tells nothing: false.
bool LiesOnUnmountedMountPoint(const HostPath& hostPath, const std::vector<MountEntry>& mounts,
                               const std::vector<HostPath>& fstabPoints,
                               const HostPath& plainFolder = {}, const DiskPlaces& places = {});

}  // namespace vlm
