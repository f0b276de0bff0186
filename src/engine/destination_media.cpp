#include "engine/destination_media.h"

#include <cerrno>

#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
#include "platform/platform_error.h"
#include "platform/utf8_text.h"
#include "platform/volumes.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

std::string ParentOf(const std::string& drivePath) {
    const auto slash = drivePath.find_last_of('\\');
    if (slash == std::string::npos || slash <= 2)
        return drivePath.substr(0, 2) + "\\";
    return drivePath.substr(0, slash);
}

// The folder itself, or the nearest one above it that exists: where the run's first folder
// would be made.
std::string NearestExistingFolder(std::string folder) {
    folder = StripTrailingBackslash(folder);
    while (folder.size() > 3) {
        const auto entry = QueryEntry(DrivePath(folder));
        if (entry && entry->kind == EntryKind::Directory)
            return folder;
        folder = ParentOf(folder);
    }
    return folder.size() == 2 ? folder + "\\" : folder;
}

}  // namespace

std::string DriveVolumeLine(char letter) {
    for (const DriveDescription& drive : ActiveDriveTable().Describe()) {
        if (drive.letter != LowerAscii(letter) || !drive.root)
            continue;
        const std::string name = std::string("Drive ") + drive.letter + ": is ";
        // A share or tmpfs the letter was given to is named as the letter remembers it.
        if (!drive.volume.Known() && drive.kind == DriveDescription::Kind::Volume)
            return name + drive.volume.source + " (" + drive.volume.mountType + ") at " +
                   *drive.root;
        if (!drive.volume.Known())
            return name + "the folder " + *drive.root;
        const std::string label =
            drive.volume.label.empty() ? "a volume without a label" : drive.volume.label;
        return name + label + " (UUID " + drive.volume.uuid + ") at " + *drive.root;
    }
    return {};
}

std::string DriveKindName(int driveType) {
    switch (driveType) {
        case kDriveRemovable:
            return "Removable";
        case kDriveFixed:
            return "Fixed";
        case kDriveRemote:
            return "Network";
        case kDriveCdRom:
            return "CD/DVD";
        case kDriveRamDisk:
            return "RAMDISK";
        default:
            return "Not present";
    }
}

std::vector<std::string> DriveTableLines() {
    std::vector<std::string> lines;
    for (const DriveDescription& drive : ActiveDriveTable().Describe()) {
        const bool present = drive.root && ActiveDriveTable().IsPresent(drive.letter);
        // A disk that is away is shown with the label it was remembered with.
        const std::string remembered = ActiveDriveTable().RememberedLabel(drive.letter);
        const std::string label = !drive.volume.label.empty() ? drive.volume.label
                                  : remembered.empty()        ? "-"
                                                              : remembered;
        VolumeReference awaited;
        const bool pinnedVolume = ParseVolumeReference(drive.pin, awaited);
        std::string uuid = drive.volume.uuid;
        if (uuid.empty() && pinnedVolume && awaited.by == VolumeReference::By::Uuid)
            uuid = awaited.value;
        lines.push_back(std::string(1, drive.letter) + ":\t" +
                        DriveKindName(present ? GetDriveTypeCode(drive.letter) : kDriveNoRootDir) +
                        "\t" +
                        (label == "-" && pinnedVolume && awaited.by == VolumeReference::By::Label
                             ? awaited.value
                             : label) +
                        "\t" + (uuid.empty() ? "-" : uuid) + "\t" +
                        (present                 ? *drive.root
                         : drive.refusal.empty() ? std::string("not connected")
                                                 : "not usable: " + drive.refusal));
    }
    return lines;
}

std::optional<std::string> UnwritableDestination(const std::vector<DrivePath>& folders) {
    for (const DrivePath& folder : folders) {
        const std::string existing = NearestExistingFolder(folder.Text());
        const std::optional<HostPath> host = ToHostPath(DrivePath(existing));
        if (!host)
            continue;
        const MediumTraits traits = LearnMedium(*host, false);
        if (traits.notWritable == 0)
            continue;
        const std::vector<MountEntry> mounts = ReadMountTable();
        const MountEntry* mount = MountContaining(mounts, *host);
        const std::string where =
            traits.notWritable == EROFS && mount != nullptr
                ? "the " + traits.fileSystem + " file system at " + mount->mountPoint.Text()
                : "the folder " + existing;
        return "FATAL ERROR: Nothing can be written to " + folder.Text() + ": " + where +
               " cannot be written (" + PlatformErrorText(traits.notWritable) + ")!";
    }
    return std::nullopt;
}

std::optional<std::string> MissingDriveText(const std::string& letter) {
    if (!letter.empty() && PresentDriveLetters().find(LowerAscii(letter)[0]) != std::string::npos)
        return std::nullopt;
    if (const std::string refusal =
            letter.empty() ? std::string() : ActiveDriveTable().Refusal(letter[0]);
        !refusal.empty())
        return "Drive " + letter + " cannot be used! " + refusal;
    const std::string awaited =
        letter.empty() ? std::string() : ActiveDriveTable().AwaitedVolume(letter[0]);
    return "Drive " + letter + " does not exist! Please check project or hardware." +
           (awaited.empty() ? "" : " It is " + awaited + ", which is not connected.");
}

namespace {

// The host path of the nearest folder of `path` that is there.
std::optional<HostPath> NearestExistingHost(const DrivePath& path) {
    return ToHostPath(DrivePath(NearestExistingFolder(path.Text())));
}

}  // namespace

MediumTraits MediumAhead(const DrivePath& folder) {
    const std::optional<HostPath> host = NearestExistingHost(folder);
    return host ? LearnMedium(*host, false) : MediumTraits{};
}

void LearnMediumForReading(const DrivePath& path) {
    const std::optional<HostPath> host = NearestExistingHost(path);
    if (!host)
        return;
    const std::vector<MountEntry> mounts = ReadMountTable();
    const MountEntry* mount = MountContaining(mounts, *host);
    UseMediumBelow(mount != nullptr ? mount->mountPoint : *host, LearnMedium(*host, false));
}

void DestinationMedia::Clear() {
    known_.clear();
    drivesNamed_.clear();
    ForgetMedia();
}

bool DestinationMedia::FirstOnDrive(char letter) {
    letter = LowerAscii(letter);
    if (drivesNamed_.find(letter) != std::string::npos)
        return false;
    drivesNamed_ += letter;
    return true;
}

const MediumTraits& DestinationMedia::For(const DrivePath& folder, bool mayProbe) {
    for (const auto& [known, traits] : known_)
        if (known == folder)
            return traits;
    known_.emplace_back(folder, LearnMediumOf(folder, mayProbe));
    return known_.back().second;
}

}  // namespace vlm
