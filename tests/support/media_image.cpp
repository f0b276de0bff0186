#include "support/media_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace vlm::test {

namespace {

bool Run(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        out += buffer;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

bool HasTool(const char* tool) {
    return Run(std::string("command -v ") + tool);
}

bool KernelHas(const std::string& type) {
    std::ifstream in("/proc/filesystems");
    std::string line;
    while (std::getline(in, line))
        if (line.size() >= type.size() &&
            line.compare(line.size() - type.size(), type.size(), type) == 0)
            return true;
    return Run("modprobe " + type);
}

bool UsesFuse(MediumKind kind) {
    return kind == MediumKind::ExFat || kind == MediumKind::Fat32Fuse || kind == MediumKind::Ntfs;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

const char* MediumName(MediumKind kind) {
    switch (kind) {
        case MediumKind::Ext4:
            return "ext4";
        case MediumKind::ExFat:
            return "exFAT (FUSE)";
        case MediumKind::Fat32Fuse:
            return "FAT32 (FUSE)";
        case MediumKind::Fat32Kernel:
            return "FAT32 (kernel)";
        case MediumKind::Ntfs:
            return "NTFS (ntfs-3g)";
    }
    return "?";
}

MediaImage::MediaImage(MediumKind kind, std::string folder, std::string label, bool readOnly)
    : kind_(kind), folder_(std::move(folder)), image_(folder_ + ".img"), readOnly_(readOnly) {
    if (::geteuid() != 0) {
        skip_ = "skipped: not root, no file system can be mounted";
        return;
    }
    if (UsesFuse(kind) && ::access("/dev/fuse", R_OK | W_OK) != 0) {
        skip_ = "skipped: no FUSE";
        return;
    }
    if (!UsesFuse(kind) || kind == MediumKind::ExFat) {
        if (::access("/dev/loop-control", R_OK | W_OK) != 0) {
            skip_ = "skipped: no loop devices";
            return;
        }
    }
    if (kind == MediumKind::Fat32Kernel && !KernelHas("vfat")) {
        skip_ = "skipped: the kernel has no vfat";
        return;
    }
    const char* tools[] = {"mkfs.ext4", "mkfs.exfat", "mkfs.vfat", "mkfs.vfat", "mkfs.ntfs"};
    const char* mkfs = tools[static_cast<int>(kind)];
    if (!HasTool(mkfs)) {
        skip_ = std::string("skipped: ") + mkfs + " missing";
        return;
    }
    const std::string make[] = {
        "mkfs.ext4 -q -F -L " + Quoted(label), "mkfs.exfat -L " + Quoted(label),
        "mkfs.vfat -F 32 -n " + Quoted(label), "mkfs.vfat -F 32 -n " + Quoted(label),
        "mkfs.ntfs -F -q -L " + Quoted(label)};
    if (!Run("truncate -s 64M " + Quoted(image_)) ||
        !Run(make[static_cast<int>(kind)] + " " + Quoted(image_))) {
        skip_ = std::string("cannot make the ") + MediumName(kind) + " image " + image_;
        return;
    }
    MountOn(folder_);
}

MediaImage::~MediaImage() {
    Unmount();
    ::unlink(image_.c_str());
}

bool MediaImage::MountOn(const std::string& folder) {
    folder_ = folder;
    const std::string ro = readOnly_ ? ",ro" : "";
    bool ok = false;
    switch (kind_) {
        case MediumKind::Ext4:
            ok = Run("mount -o loop" + ro + " " + Quoted(image_) + " " + Quoted(folder_));
            break;
        case MediumKind::ExFat:
            // exfat-fuse wants a block device.
            loop_ = Output("losetup -f --show " + Quoted(image_));
            ok =
                !loop_.empty() && Run("mount.exfat-fuse " + std::string(readOnly_ ? "-o ro " : "") +
                                      loop_ + " " + Quoted(folder_));
            break;
        case MediumKind::Fat32Fuse:
            ok = Run("fusefat -o " + std::string(readOnly_ ? "ro" : "rw+") + " " + Quoted(image_) +
                     " " + Quoted(folder_));
            break;
        case MediumKind::Fat32Kernel:
            ok = Run("mount -t vfat -o loop,utf8" + ro + " " + Quoted(image_) + " " +
                     Quoted(folder_));
            break;
        case MediumKind::Ntfs:
            ok = Run("ntfs-3g " + std::string(readOnly_ ? "-o ro " : "") + Quoted(image_) + " " +
                     Quoted(folder_));
            break;
    }
    mounted_ = ok;
    if (!ok && skip_.empty())
        skip_ = std::string("cannot mount the ") + MediumName(kind_) + " image on " + folder_;
    return ok;
}

void MediaImage::Unmount() {
    if (mounted_) {
        // FUSE file systems write their last changes out when they are unmounted.
        for (int attempt = 0; attempt < 20 && !Run("umount " + Quoted(folder_)); ++attempt)
            ::usleep(100'000);
        mounted_ = false;
    }
    if (!loop_.empty()) {
        Run("losetup -d " + loop_);
        loop_.clear();
    }
}

std::string MediaImage::Uuid() const {
    return Output("blkid -s UUID -o value " + Quoted(image_));
}

}  // namespace vlm::test
