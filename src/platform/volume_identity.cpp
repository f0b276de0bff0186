#include "platform/volume_identity.h"

#include <blkid/blkid.h>
#include <libudev.h>
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

// What the machine's udev database holds for the block device major:minor; nothing without udev.
VolumeIdentity AskUdev(unsigned major, unsigned minor) {
    VolumeIdentity identity;
    udev* context = udev_new();
    if (context == nullptr)
        return identity;
    if (udev_device* device = udev_device_new_from_devnum(context, 'b', makedev(major, minor))) {
        const auto property = [device](const char* key) {
            const char* value = udev_device_get_property_value(device, key);
            return value != nullptr ? std::string(value) : std::string();
        };
        identity.uuid = property("ID_FS_UUID");
        const std::string encoded = property("ID_FS_LABEL_ENC");
        identity.label = encoded.empty() ? property("ID_FS_LABEL") : DecodeUdevText(encoded);
        identity.fsType = property("ID_FS_TYPE");
        udev_device_unref(device);
    }
    udev_unref(context);
    return identity;
}

VolumeIdentity IdentifyBlockDevice(unsigned major, unsigned minor, const std::string& path,
                                   const HostPath& udevRecords) {
    const std::string number = std::to_string(major) + ":" + std::to_string(minor);
    VolumeIdentity identity;
    if (udevRecords.empty())
        identity = AskUdev(major, minor);
    else if (const auto record = host::ReadWholeHostFile(udevRecords / ("b" + number)))
        identity = ParseUdevRecord(*record);
    if (identity.Known())
        return identity;
    // Records given in place of udev's are a test's: only a device its mount names is read.
    if (path.empty() && !udevRecords.empty())
        return identity;
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

namespace {

VolumeIdentity IdentifyMountedVolume(const MountEntry& mount, const HostPath& udevRecords) {
    struct stat st {};
    if (!mount.source.empty() && mount.source[0] == '/' && ::stat(mount.source.c_str(), &st) == 0) {
        // A FUSE file system names its device or image file as its source.
        if (S_ISBLK(st.st_mode))
            return IdentifyBlockDevice(major(st.st_rdev), minor(st.st_rdev), mount.source,
                                       udevRecords);
        if (S_ISREG(st.st_mode))
            return ProbeWithBlkid(mount.source);
    }
    unsigned major = 0;
    unsigned minor = 0;
    // Pseudo, network and most FUSE file systems have an anonymous device (major 0).
    if (!ParseDeviceNumber(mount.device, major, minor) || major == 0)
        return {};
    return IdentifyBlockDevice(major, minor, {}, udevRecords);
}

}  // namespace

VolumeIdentity IdentifyVolume(const MountEntry& mount, const HostPath& udevRecords) {
    // A bind mount shows a folder of a volume that has its own mount: the UUID goes with that,
    // and the bind mount is known by its source and folder, as findmnt writes them.
    const bool bind = mount.root != "/" && !mount.root.empty();
    VolumeIdentity identity = bind ? VolumeIdentity{} : IdentifyMountedVolume(mount, udevRecords);
    identity.source = bind ? mount.source + "[" + mount.root + "]" : mount.source;
    identity.mountType = mount.fsType;
    return identity;
}

VolumeReference LastingReference(const VolumeIdentity& identity) {
    if (identity.Known())
        return {VolumeReference::By::Uuid, identity.uuid, {}};
    return {VolumeReference::By::Source, identity.source, identity.mountType};
}

bool VolumeReference::Matches(const VolumeIdentity& identity) const {
    if (by == By::Source)
        return identity.source == value && identity.mountType == type;
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
    if (by == By::Source)
        return "SOURCE=" + value + " TYPE=" + type;
    return (by == By::Uuid ? "UUID=" : "LABEL=") + value;
}

bool ParseVolumeReference(const std::string& value, VolumeReference& reference) {
    // A source may hold blanks ("//nas/Family Photos"); a file-system type never does.
    const std::string source = "SOURCE=";
    const std::size_t type = value.rfind(" TYPE=");
    if (value.compare(0, source.size(), source) == 0 && type != std::string::npos &&
        type > source.size() && type + 6 < value.size()) {
        reference.by = VolumeReference::By::Source;
        reference.value = value.substr(source.size(), type - source.size());
        reference.type = value.substr(type + 6);
        return true;
    }
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
