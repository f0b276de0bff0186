#include "platform/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "platform/drive_table.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"

namespace vlm {

namespace {

std::optional<std::string> PresentRoot(char letter) {
    const DriveTable& table = ActiveDriveTable();
    if (!table.IsPresent(letter)) {
        return std::nullopt;
    }
    return table.RootOf(letter);
}

std::string RealPathOf(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

bool FileSaysOne(const std::string& path) {
    std::ifstream in(path);
    int value = 0;
    return static_cast<bool>(in >> value) && value == 1;
}

// A block device is removable when the kernel flags the disk so, or when it sits on USB.
bool IsRemovableDevice(dev_t device) {
    const std::string sysPath =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    const std::string devicePath = RealPathOf(sysPath);
    if (devicePath == sysPath) {
        return false;  // no block device behind it
    }
    if (devicePath.find("/usb") != std::string::npos) {
        return true;
    }
    // A partition carries no flag of its own; its disk is the parent folder.
    return FileSaysOne(devicePath + "/removable") || FileSaysOne(devicePath + "/../removable");
}

int TypeOfFileSystem(std::string_view fsType) {
    if (fsType == "tmpfs" || fsType == "ramfs") {
        return kDriveRamDisk;
    }
    for (std::string_view remote :
         {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs", "fuse.sshfs", "9p", "afs"}) {
        if (fsType == remote) {
            return kDriveRemote;
        }
    }
    if (fsType == "iso9660" || fsType == "udf") {
        return kDriveCdRom;
    }
    return kDriveUnknown;
}

}  // namespace

int GetDriveTypeCode(char letter) {
    std::optional<std::string> root = PresentRoot(letter);
    if (!root) {
        return kDriveNoRootDir;
    }
    const std::vector<MountEntry> mounts = ReadMountTable();
    if (const MountEntry* mount = MountContaining(mounts, HostPath(RealPathOf(*root)))) {
        if (const int code = TypeOfFileSystem(mount->fsType); code != kDriveUnknown) {
            return code;
        }
    }
    struct stat st {};
    if (::stat(root->c_str(), &st) == 0 && IsRemovableDevice(st.st_dev)) {
        return kDriveRemovable;
    }
    return kDriveFixed;
}

std::string PresentDriveLetters() {
    std::string letters;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        if (ActiveDriveTable().IsPresent(letter)) {
            letters += letter;
        }
    }
    return letters;
}

bool IsOnMissingDisk(const DrivePath& drivePath) {
    const std::optional<HostPath> host = ToHostPath(drivePath);
    return host && ActiveDriveTable().LiesOnUnmountedMount(drivePath.Letter(), *host);
}

std::int64_t DiskFreeBytes(char letter) {
    std::optional<std::string> root = PresentRoot(letter);
    struct statvfs info {};
    if (!root || ::statvfs(root->c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

std::int64_t DiskTotalBytes(char letter) {
    std::optional<std::string> root = PresentRoot(letter);
    struct statvfs info {};
    if (!root || ::statvfs(root->c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(info.f_blocks) * static_cast<std::int64_t>(info.f_frsize);
}

}  // namespace vlm
