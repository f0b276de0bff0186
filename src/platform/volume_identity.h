#pragma once
// Which volume a mounted file system is: its UUID, label and type, read the way the desktop
// reads them. udev keeps them for every block device it has seen (asked through libudev); where
// udev has nothing (a loop device set up by hand, a container without udev, a disk image mounted
// through FUSE) libblkid reads them from the device itself. A file system without a UUID (a
// network share, a tmpfs) is known by its mount's source and type.

#include <string>

#include "platform/mount_table.h"

namespace vlm {

struct VolumeIdentity {
    std::string uuid;    // empty: the file system has none (tmpfs, bind, network mounts)
    std::string label;   // as the person gave it, blanks included
    std::string fsType;  // "ext4", "exfat", "vfat", "ntfs", ...; empty when unknown
    // The mount's source ("server:/export", "//nas/share", an image file, a tmpfs's name; a bind
    // mount's with its folder, "/dev/sda1[/srv]") and type ("nfs4", "fuse.fusefat").
    std::string source{};
    std::string mountType{};

    bool Known() const { return !uuid.empty(); }
};

// The identity of the file system mounted by `mount`. A bind mount (a folder of another file
// system), a pseudo or network file system has no UUID. `udevRecords`: a folder of udev records
// named b<major>:<minor> to read instead of the machine's udev database (a test's own).
VolumeIdentity IdentifyVolume(const MountEntry& mount, const HostPath& udevRecords = {});

// The identity that a udev database record ("E:ID_FS_UUID=..." lines) gives.
VolumeIdentity ParseUdevRecord(const std::string& text);

// "UUID=<uuid>" / "LABEL=<label>" (the fstab forms) as a drives.ini value names a volume;
// "SOURCE=<source> TYPE=<type>" names a file system without a UUID by its mount's source and
// type.
struct VolumeReference {
    enum class By { Uuid, Label, Source } by = By::Uuid;
    std::string value;
    std::string type;  // By::Source only
    bool Matches(const VolumeIdentity& identity) const;
    std::string Text() const;  // back to the drives.ini form
};
// What identifies the volume for good: its UUID, else its mount's source and type.
VolumeReference LastingReference(const VolumeIdentity& identity);
// The reference a drives.ini value holds; false when it names a folder instead.
bool ParseVolumeReference(const std::string& value, VolumeReference& reference);

}  // namespace vlm
