#include "platform/volume_identity.h"

#include <blkid/blkid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cctype>
#include <sstream>

#include "platform/host_calls.h"

namespace vlm {

namespace {

// udev writes labels with "\x20" for a blank (ID_FS_LABEL_ENC); ID_FS_LABEL has them replaced
// by '_', which no person typed.
std::string DecodeUdevText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// What libblkid reads from the superblock of `device` (a block device or an image file). Needs
// read access to it: as an ordinary user only udev's record serves.
VolumeIdentity ProbeWithBlkid(const std::string& device) {
    VolumeIdentity identity;
    blkid_probe probe = blkid_new_probe_from_filename(device.c_str());
    if (probe == nullptr)
        return identity;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe,
                                      BLKID_SUBLKS_UUID | BLKID_SUBLKS_LABEL | BLKID_SUBLKS_TYPE);
    if (blkid_do_safeprobe(probe) == 0) {
        const char* value = nullptr;
        if (blkid_probe_lookup_value(probe, "UUID", &value, nullptr) == 0 && value != nullptr)
            identity.uuid = value;
        if (blkid_probe_lookup_value(probe, "LABEL", &value, nullptr) == 0 && value != nullptr)
            identity.label = value;
        if (blkid_probe_lookup_value(probe, "TYPE", &value, nullptr) == 0 && value != nullptr)
            identity.fsType = value;
    }
    blkid_free_probe(probe);
    return identity;
}

bool ParseDeviceNumber(const std::string& text, unsigned& major, unsigned& minor) {
    std::istringstream in(text);
    char colon = 0;
    return static_cast<bool>(in >> major >> colon >> minor) && colon == ':';
}

VolumeIdentity IdentifyBlockDevice(unsigned major, unsigned minor, const std::string& path) {
    const std::string number = std::to_string(major) + ":" + std::to_string(minor);
    if (const auto record = host::ReadWholeHostFile(HostPath("/run/udev/data/b" + number))) {
        VolumeIdentity identity = ParseUdevRecord(*record);
        if (identity.Known())
            return identity;
    }
    return ProbeWithBlkid(path.empty() ? "/dev/block/" + number : path);
}

}  // namespace

VolumeIdentity ParseUdevRecord(const std::string& text) {
    VolumeIdentity identity;
    std::string plainLabel;
    std::istringstream lines(text);
    std::string line;
    const auto take = [&](const std::string& key, std::string& into) {
        const std::string prefix = "E:" + key + "=";
        if (line.rfind(prefix, 0) == 0)
            into = line.substr(prefix.size());
    };
    while (std::getline(lines, line)) {
        take("ID_FS_UUID", identity.uuid);
        take("ID_FS_LABEL", plainLabel);
        take("ID_FS_LABEL_ENC", identity.label);
        take("ID_FS_TYPE", identity.fsType);
    }
    identity.label = identity.label.empty() ? plainLabel : DecodeUdevText(identity.label);
    return identity;
}

VolumeIdentity IdentifyVolume(const MountEntry& mount) {
    // A bind mount shows a folder of a volume that has its own mount: the letter goes with that.
    if (mount.root != "/" && !mount.root.empty())
        return {};
    struct stat st {};
    if (!mount.source.empty() && mount.source[0] == '/' && ::stat(mount.source.c_str(), &st) == 0) {
        // A FUSE file system names its device or image file as its source.
        if (S_ISBLK(st.st_mode))
            return IdentifyBlockDevice(major(st.st_rdev), minor(st.st_rdev), mount.source);
        if (S_ISREG(st.st_mode))
            return ProbeWithBlkid(mount.source);
    }
    unsigned major = 0;
    unsigned minor = 0;
    // Pseudo, network and most FUSE file systems have an anonymous device (major 0).
    if (!ParseDeviceNumber(mount.device, major, minor) || major == 0)
        return {};
    return IdentifyBlockDevice(major, minor, {});
}

bool VolumeReference::Matches(const VolumeIdentity& identity) const {
    if (by == By::Label)
        return !identity.label.empty() && identity.label == value;
    // UUIDs are written in either case (FAT's "0A3E-C26D", ext4's lower-case hex).
    if (identity.uuid.size() != value.size() || value.empty())
        return false;
    for (std::size_t i = 0; i < value.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(value[i])) !=
            std::tolower(static_cast<unsigned char>(identity.uuid[i])))
            return false;
    return true;
}

std::string VolumeReference::Text() const {
    return (by == By::Uuid ? "UUID=" : "LABEL=") + value;
}

bool ParseVolumeReference(const std::string& value, VolumeReference& reference) {
    for (const auto& [prefix, by] : {std::pair{"UUID=", VolumeReference::By::Uuid},
                                     std::pair{"LABEL=", VolumeReference::By::Label}}) {
        const std::string p(prefix);
        if (value.size() > p.size() && value.compare(0, p.size(), p) == 0) {
            reference.by = by;
            reference.value = value.substr(p.size());
            return true;
        }
    }
    return false;
}

}  // namespace vlm
