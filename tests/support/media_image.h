#pragma once
// Test support: a real file system in an image file, mounted on a folder for as long as the
// object lives, the way backup disks come from the shop: exFAT and FAT32 through FUSE (and FAT32
// through the kernel where it has vfat), NTFS through ntfs-3g, ext4 loop-mounted. Mounting needs
// root, loop devices and FUSE: where one is missing, Mounted() is false and Skip() says why, so
// the test reports a skip rather than a pass.

#include <string>

namespace vlm::test {

enum class MediumKind { Ext4, ExFat, Fat32Fuse, Fat32Kernel, Ntfs };

const char* MediumName(MediumKind kind);

class MediaImage {
public:
    // Makes a 64 MB image beside `folder` (an existing empty folder) with `label` and mounts it
    // there, read-only when asked.
    MediaImage(MediumKind kind, std::string folder, std::string label = "VLMTEST",
               bool readOnly = false);
    ~MediaImage();
    MediaImage(const MediaImage&) = delete;
    MediaImage& operator=(const MediaImage&) = delete;

    bool Mounted() const { return mounted_; }
    // "skipped: no FUSE", "skipped: not root", ... or why the mount failed.
    const std::string& Skip() const { return skip_; }
    // The file system's UUID as blkid reads it.
    std::string Uuid() const;

    // Unmounts (the image stays); mounts again on another folder.
    void Unmount();
    bool MountOn(const std::string& folder);

private:
    MediumKind kind_;
    std::string folder_;
    std::string image_;
    std::string loop_;
    bool readOnly_;
    bool mounted_ = false;
    std::string skip_;
};

}  // namespace vlm::test
