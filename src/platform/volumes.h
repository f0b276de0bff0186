#pragma once
// Drives as volumes: which are present, what kind each is, how much space they have.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/paths.h"

namespace vlm {

// GetDriveType codes.
enum DriveTypeCode : int {
    kDriveUnknown = 0,
    kDriveNoRootDir = 1,
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// The type of drive `letter` (either case): tmpfs/ramfs → RAM disk, nfs/cifs/smb/sshfs →
// network, iso9660/udf → CD/DVD, a block device flagged removable or on USB → removable,
// anything else → fixed; a letter that is not present → no root dir.
int GetDriveTypeCode(char letter);

// The letters (lower case, in order) of the drives that are present.
std::string PresentDriveLetters();

// True when the drive path `drivePath` lies on a mount folder with nothing mounted on it (see
// DriveTable::LiesOnUnmountedMount): the folder an unplugged disk left behind is no item of it.
bool IsOnMissingDisk(const DrivePath& drivePath);

// Bytes available to the caller and total bytes of the volume holding drive `letter`, from
// statvfs; -1 when the drive is not present or cannot be asked.
std::int64_t DiskFreeBytes(char letter);
std::int64_t DiskTotalBytes(char letter);

}  // namespace vlm
