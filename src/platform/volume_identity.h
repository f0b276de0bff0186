#pragma once
// Which volume a mounted file system is: its UUID, label and type, read the way the desktop
// reads them. udev keeps them for every block device it has seen (/run/udev/data); where udev
// has nothing (a loop device set up by hand, a container without udev, a disk image mounted
// through FUSE) libblkid reads them from the device itself.

#include <string>

#include "platform/mount_table.h"

namespace vlm {

struct VolumeIdentity {
    std::string uuid;    // empty: the file system has none (tmpfs, bind, network mounts)
    std::string label;   // as the person gave it, blanks included
    std::string fsType;  // "ext4", "exfat", "vfat", "ntfs", ...; empty when unknown

    bool Known() const { return !uuid.empty(); }
};

// The identity of the file system mounted by `mount`. A bind mount (a folder of another file
// system), a pseudo or network file system has none.
VolumeIdentity IdentifyVolume(const MountEntry& mount);

// The identity that a udev database record ("E:ID_FS_UUID=..." lines) gives.
VolumeIdentity ParseUdevRecord(const std::string& text);

// "UUID=<uuid>" / "LABEL=<label>" (the fstab forms) as a drives.ini value names a volume.
struct VolumeReference {
    enum class By { Uuid, Label } by = By::Uuid;
    std::string value;
    bool Matches(const VolumeIdentity& identity) const;
    std::string Text() const;  // back to the fstab form
};
// The reference a drives.ini value holds; false when it names a folder instead.
bool ParseVolumeReference(const std::string& value, VolumeReference& reference);

}  // namespace vlm
