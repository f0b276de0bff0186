#include "platform/drive_table.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <vector>

#include "platform/file_result.h"
#include "platform/host_calls.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
#include "platform/paths.h"
#include "platform/platform_error.h"
#include "platform/profile_file.h"
#include "platform/text_lines.h"
#include "platform/utf8_text.h"

namespace vlm {

namespace {

std::optional<std::size_t> LetterIndex(char letter) {
    const char lower = LowerAscii(letter);
    if (lower < 'a' || lower > 'z') {
        return std::nullopt;
    }
    return static_cast<std::size_t>(lower - 'a');
}

// "/x/y/" → "/x/y"; "/" stays; relative folders and folders holding a control character (a
// NUL would cut the path short on the host) are refused (empty result).
std::string NormaliseRoot(std::string root) {
    if (root.empty() || root[0] != '/' || HoldsControlCharacter(root)) {
        return {};
    }
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    return root;
}

bool IsYes(const std::string& value) {
    std::string lower;
    for (char c : value)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == "yes" || lower == "1";
}

DriveTable& ActiveTableStorage() {
    static DriveTable table;
    return table;
}

HostPath IniPathIn(const HostPath& folder) {
    return folder / kDrivesIniName;
}

// The mounted file systems with their volumes. Only the places for disks take letters of their
// own, but a volume pin finds its volume wherever it is mounted: then every mount is asked. A
// mount elsewhere is known by its source and type alone, which the mount table says.
std::vector<MountedVolume> MountedVolumes(const DriveSources& sources, bool everywhere) {
    std::vector<MountedVolume> volumes;
    for (const MountEntry& mount : sources.Mounts()) {
        VolumeIdentity identity;
        const bool seen =
            sources.onlyBelow.empty() || mount.mountPoint.IsAtOrBelow(sources.onlyBelow);
        if (seen && (everywhere || sources.places.HoldsVolume(mount.mountPoint))) {
            identity = IdentifyVolume(mount, sources.udevRecords);
        } else {
            identity.source = mount.source;
            identity.mountType = mount.fsType;
        }
        volumes.push_back({mount.mountPoint, std::move(identity), mount.device});
    }
    return volumes;
}

bool HoldsVolumePin(const ProfileFile& ini) {
    VolumeReference reference;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const auto value = ini.Get("Drives", std::string(1, letter));
        if (value && ParseVolumeReference(*value, reference) &&
            reference.by != VolumeReference::By::Source)
            return true;
    }
    return false;
}

// The connected disks `reference` names: one per device, in mount-point order.
std::vector<MountedVolume> DisksMatching(const VolumeReference& reference,
                                         const std::vector<MountedVolume>& volumes) {
    std::vector<MountedVolume> disks;
    for (const MountedVolume& volume : volumes) {
        if (!reference.Matches(volume.identity))
            continue;
        const bool seen = std::any_of(disks.begin(), disks.end(), [&](const MountedVolume& disk) {
            return disk.device == volume.device;
        });
        if (!seen)
            disks.push_back(volume);
    }
    return disks;
}

// "BACKUP (UUID 1234-ABCD) at /media/a/BACKUP", "server:/export (nfs4) at /mnt/nas".
std::string DiskName(const MountedVolume& disk) {
    const VolumeIdentity& v = disk.identity;
    std::string name = v.Known() ? (v.label.empty() ? "a volume without a label" : v.label) +
                                       " (UUID " + v.uuid + ")"
                                 : v.source + " (" + v.mountType + ")";
    return name + " at " + disk.mountPoint.Text();
}

struct IniChange {
    std::string section;
    char letter;
    std::optional<std::string> value;  // nullopt: removed
};

// Sets keys of drives.ini as it is on the disk now, keeping every other line, in one write.
FileStatus UpdateDrivesIni(const HostPath& programFolder, const std::vector<IniChange>& changes) {
    if (programFolder.empty())
        return FileStatus(FileError{EINVAL, "no program folder"});
    const HostPath path = IniPathIn(programFolder);
    ProfileFile ini = ProfileFile::Parse(host::ReadWholeHostFile(path).value_or(std::string()));
    for (const IniChange& change : changes) {
        if (change.value)
            ini.Set(change.section, std::string(1, change.letter), *change.value);
        else
            ini.Remove(change.section, std::string(1, change.letter));
    }
    return host::WriteWholeHostFile(path, ini.Text());
}

// Why drives.ini in `programFolder` could not be written now, without writing it; empty when
// it could.
std::string WhyDrivesIniIsNotWritable(const HostPath& programFolder) {
    const HostPath path = IniPathIn(programFolder);
    struct stat st {};
    if (::stat(path.Text().c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return PlatformErrorText(EISDIR);
    // The file is replaced by a new one beside it: the folder must take it.
    if (::access(programFolder.Text().c_str(), W_OK) != 0)
        return PlatformErrorText(errno);
    return {};
}

}  // namespace

DriveTable DriveTable::Load(const HostPath& programFolder, bool remember) {
    return Load(programFolder, remember, DriveSources::ForProgramFolder(programFolder));
}

DriveTable DriveTable::Load(const HostPath& programFolder, bool remember,
                            const DriveSources& sources) {
    const HostPath& folder = programFolder;
    std::string iniText;
    if (!folder.empty()) {
        iniText = host::ReadWholeHostFile(IniPathIn(folder)).value_or(std::string());
    }
    DriveTable table = BuildFromVolumes(
        iniText, MountedVolumes(sources, HoldsVolumePin(ProfileFile::Parse(iniText))),
        sources.places);
    table.sources_ = sources;
    table.SetFstabMountPoints(ReadFstabMountPoints(sources.fstab));
    if (folder.empty()) {
        table.CannotRemember("there is no program folder to keep drives.ini in");
        return table;
    }
    table.programFolder_ = folder;
    if (const auto seen = host::ReadWholeHostFile(folder / kMountFoldersFile)) {
        std::vector<HostPath> folders;
        for (std::string_view line : SplitLines(*seen))
            if (std::optional<HostPath> path = HostPath::Parse(std::string(line)))
                folders.push_back(*path);
        table.AddSeenMountFolders(folders);
    }
    if (!table.remembered_.empty()) {
        // A volume keeps the letter it was given from now on, in every process of the program.
        // A letter that cannot be kept is no letter a run may use: the next start could give it
        // to another disk.
        std::string why;
        if (remember) {
            std::vector<IniChange> changes;
            for (const auto& [letter, reference] : table.remembered_) {
                changes.push_back({"Drives", letter, reference});
                const std::string& label =
                    table.letters_[static_cast<std::size_t>(letter - 'a')].volume.label;
                if (!label.empty())
                    changes.push_back({"Labels", letter, label});
            }
            const FileStatus written = UpdateDrivesIni(folder, changes);
            if (!written)
                why = PlatformErrorText(written.Error().code);
        } else {
            why = WhyDrivesIniIsNotWritable(folder);
        }
        if (!why.empty())
            table.CannotRemember(IniPathIn(folder).Text() + " cannot be written (" + why + ")");
    }
    table.CoverProgramFolder(folder);
    return table;
}

void DriveTable::AddSeenMountFolders(const std::vector<HostPath>& folders) {
    for (const HostPath& folder : folders)
        if (std::find(seenMounts_.begin(), seenMounts_.end(), folder) == seenMounts_.end())
            seenMounts_.push_back(folder);
}

bool RememberMountFoldersBelow(const std::vector<HostPath>& hostFolders) {
    DriveTable& table = ActiveTableStorage();
    std::vector<HostPath> fresh;
    for (const MountEntry& mount : table.Sources().Mounts()) {
        const bool below = std::any_of(
            hostFolders.begin(), hostFolders.end(),
            [&](const HostPath& folder) { return mount.mountPoint.IsAtOrBelow(folder); });
        const auto& seen = table.SeenMountFolders();
        if (below && std::find(seen.begin(), seen.end(), mount.mountPoint) == seen.end() &&
            std::find(fresh.begin(), fresh.end(), mount.mountPoint) == fresh.end())
            fresh.push_back(mount.mountPoint);
    }
    if (fresh.empty())
        return true;
    table.AddSeenMountFolders(fresh);
    if (table.ProgramFolder().empty())
        return true;
    std::string text;
    for (const HostPath& folder : table.SeenMountFolders())
        text += folder.Text() + "\n";
    return static_cast<bool>(
        host::WriteWholeHostFile(table.ProgramFolder() / kMountFoldersFile, text));
}

void DriveTable::CannotRemember(const std::string& why) {
    for (const auto& [letter, reference] : remembered_)
        letters_[static_cast<std::size_t>(letter - 'a')].unremembered = why;
    remembered_.clear();
}

void DriveTable::CoverProgramFolder(const HostPath& folder) {
    const bool covered =
        std::any_of(roots_.begin(), roots_.end(), [&](const std::optional<std::string>& root) {
            return root && folder.IsAtOrBelow(HostPath(*root));
        });
    if (covered) {
        return;
    }
    // The settings, the run history and the recent lists live in the program's folder, so it
    // must be reachable by a drive path even when drives.ini pins c: elsewhere. It gets the last
    // free letter, away from the letters that mounted volumes take from d: on.
    for (std::size_t index = roots_.size(); index-- > 0;) {
        if (!roots_[index] && !damaged_[index] && letters_[index].pin.empty()) {
            roots_[index] = folder.Text();
            letters_[index].kind = DriveDescription::Kind::ProgramFolder;
            return;
        }
    }
}

DriveTable DriveTable::Build(std::string_view drivesIniText,
                             const std::vector<HostPath>& mountPoints) {
    std::vector<MountedVolume> volumes;
    for (const HostPath& mountPoint : mountPoints) {
        MountedVolume volume{mountPoint, {}, mountPoint.Text()};
        volume.identity.source = mountPoint.Text();
        volumes.push_back(std::move(volume));
    }
    return BuildFromVolumes(drivesIniText, volumes);
}

DriveTable DriveTable::BuildFromVolumes(std::string_view drivesIniText,
                                        const std::vector<MountedVolume>& volumesIn,
                                        const DiskPlaces& places) {
    DriveTable table;
    table.Pin('c', "/");
    table.sources_.places = places;

    std::vector<MountedVolume> volumes = volumesIn;
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const MountedVolume& a, const MountedVolume& b) {
                         return a.mountPoint.Text() < b.mountPoint.Text();
                     });

    const ProfileFile ini = ProfileFile::Parse(drivesIniText);
    std::array<std::optional<VolumeReference>, 26> references;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const auto index = static_cast<std::size_t>(letter - 'a');
        std::optional<std::string> value = ini.Get("Drives", std::string(1, letter));
        if (!value) {
            continue;
        }
        if (HoldsControlCharacter(*value)) {
            table.damaged_[index] = true;
            continue;
        }
        Letter& entry = table.letters_[index];
        VolumeReference reference;
        if (ParseVolumeReference(*value, reference)) {
            // That volume wherever it is mounted now; not present while it is not, nor while
            // two disks answer to it.
            table.roots_[index].reset();
            entry = Letter{DriveDescription::Kind::Volume, *value, {}, {}, {}, {}};
            entry.label = ini.Get("Labels", std::string(1, letter)).value_or(std::string());
            references[index] = reference;
            std::vector<MountedVolume> disks = DisksMatching(reference, volumes);
            if (disks.size() == 1) {
                table.roots_[index] = NormaliseRoot(disks[0].mountPoint.Text());
                entry.volume = disks[0].identity;
            } else if (disks.size() > 1) {
                entry.rivals = std::move(disks);
            }
            continue;
        }
        std::string root = NormaliseRoot(*value);
        if (!root.empty()) {
            table.Pin(letter, root);
            entry.pin = root;
        }
    }
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::optional<std::string> value = ini.Get("Plain folders", std::string(1, letter));
        table.SetPlainFolder(letter, value && IsYes(*value));
    }

    // A volume is spoken for when a letter's pin names it or a letter's folder is its mount.
    const auto spokenFor = [&](const MountedVolume& volume) {
        for (std::size_t i = 0; i < table.roots_.size(); ++i) {
            if (table.roots_[i] && *table.roots_[i] == volume.mountPoint.Text())
                return true;
            if (references[i] && references[i]->Matches(volume.identity))
                return true;
        }
        return false;
    };
    // A free letter is one that nothing is pinned to and no volume is remembered on.
    const auto freeLetter = [&](std::size_t from) {
        while (from < table.roots_.size() &&
               (table.roots_[from] || table.damaged_[from] || !table.letters_[from].pin.empty()))
            ++from;
        return from;
    };
    std::size_t next = 'd' - 'a';
    for (const MountedVolume& volume : volumes) {
        if (!places.HoldsVolume(volume.mountPoint) || spokenFor(volume))
            continue;
        const VolumeReference reference = LastingReference(volume.identity);
        // A device node's name passes to whichever disk is plugged in next; a name that two
        // disks answer to would find neither again. Such a volume gets no letter.
        if ((reference.by == VolumeReference::By::Source &&
             (reference.value.empty() || reference.value.rfind("/dev/", 0) == 0)) ||
            DisksMatching(reference, volumes).size() != 1)
            continue;
        next = freeLetter(next);
        if (next >= table.roots_.size())
            break;
        table.roots_[next] = NormaliseRoot(volume.mountPoint.Text());
        Letter& entry = table.letters_[next];
        entry.kind = DriveDescription::Kind::Volume;
        entry.volume = volume.identity;
        entry.pin = reference.Text();
        entry.label = volume.identity.label;
        references[next] = reference;
        table.remembered_.emplace_back(static_cast<char>('a' + next), entry.pin);
    }
    return table;
}

std::vector<DriveDescription> DriveTable::Describe() const {
    std::vector<DriveDescription> drives;
    const std::vector<MountEntry> mounts = sources_.Mounts();
    for (std::size_t i = 0; i < roots_.size(); ++i) {
        const Letter& entry = letters_[i];
        if (!roots_[i] && entry.pin.empty())
            continue;
        DriveDescription drive;
        drive.letter = static_cast<char>('a' + i);
        drive.kind = entry.kind;
        drive.root = roots_[i];
        drive.pin = entry.pin;
        drive.volume = entry.volume;
        // A folder pinned where a disk is mounted is that disk for the person.
        if (!drive.volume.Known() && drive.root && *drive.root != "/") {
            for (const MountEntry& mount : mounts)
                if (mount.mountPoint.Text() == *drive.root)
                    drive.volume = IdentifyVolume(mount, sources_.udevRecords);
        }
        drive.plain = plain_[i];
        drive.refusal = Refusal(drive.letter);
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::string DriveTable::AwaitedVolume(char letter) const {
    const std::optional<std::size_t> index = LetterIndex(letter);
    if (index && letters_[*index].kind == DriveDescription::Kind::Folder && roots_[*index] &&
        !letters_[*index].pin.empty())
        return "the folder " + *roots_[*index];
    if (!index || letters_[*index].kind != DriveDescription::Kind::Volume)
        return {};
    VolumeReference reference;
    if (!ParseVolumeReference(letters_[*index].pin, reference))
        return {};
    const std::string& label = letters_[*index].label;
    switch (reference.by) {
        case VolumeReference::By::Uuid:
            return label.empty() ? "the volume with UUID " + reference.value
                                 : "the volume " + label + " with UUID " + reference.value;
        case VolumeReference::By::Label:
            return "the volume labelled " + reference.value;
        case VolumeReference::By::Source:
            return "the " + reference.type + " file system " + reference.value;
    }
    return {};
}

std::string DriveTable::Refusal(char letter) const {
    const std::optional<std::size_t> index = LetterIndex(letter);
    if (!index)
        return {};
    const Letter& entry = letters_[*index];
    const std::string drive = std::string("Drive ") + LowerAscii(letter) + ":";
    if (entry.rivals.size() > 1) {
        std::string names;
        for (std::size_t i = 0; i < entry.rivals.size(); ++i)
            names += (i == 0                         ? ""
                      : i + 1 == entry.rivals.size() ? " and "
                                                     : ", ") +
                     DiskName(entry.rivals[i]);
        return drive + " is " + AwaitedVolume(letter) + ", and " +
               std::to_string(entry.rivals.size()) + " connected disks are: " + names +
               ". Unplug all but one, or pin " + LowerAscii(letter) +
               ": to one disk in Options > Drives.";
    }
    if (!entry.unremembered.empty() && roots_[*index]) {
        MountedVolume disk{HostPath(*roots_[*index]), entry.volume, {}};
        return drive + " would be " + DiskName(disk) +
               ", seen for the first time, but the letter cannot be remembered: " +
               entry.unremembered +
               ". Let the program write drives.ini in its folder (or free space there), then "
               "start the run again.";
    }
    return {};
}

std::string DriveTable::RememberedLabel(char letter) const {
    const std::optional<std::size_t> index = LetterIndex(letter);
    return index ? letters_[*index].label : std::string();
}

void DriveTable::Pin(char letter, std::string hostRoot) {
    if (std::optional<std::size_t> index = LetterIndex(letter)) {
        std::string root = NormaliseRoot(std::move(hostRoot));
        if (root.empty()) {
            roots_[*index].reset();
        } else {
            roots_[*index] = std::move(root);
        }
    }
}

void DriveTable::Unpin(char letter) {
    if (std::optional<std::size_t> index = LetterIndex(letter)) {
        roots_[*index].reset();
    }
}

std::optional<std::string> DriveTable::RootOf(char letter) const {
    if (std::optional<std::size_t> index = LetterIndex(letter)) {
        return roots_[*index];
    }
    return std::nullopt;
}

bool DriveTable::IsPresent(char letter) const {
    std::optional<std::string> root = RootOf(letter);
    struct stat st {};
    // The root is checked as the table holds it: a pinned folder is taken as drives.ini writes
    // it, even in a spelling that no host path has.
    return root && ::stat(root->c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           Refusal(letter).empty() && !LiesOnUnmountedMountText(letter, *root);
}

bool DriveTable::LiesOnUnmountedMount(char letter, const HostPath& hostPath) const {
    return LiesOnUnmountedMountText(letter, hostPath.Text());
}

bool DriveTable::LiesOnUnmountedMountText(char letter, const std::string& hostText) const {
    const std::optional<std::size_t> index = LetterIndex(letter);
    const std::optional<std::string> root = RootOf(letter);
    if (!index || !root)
        return false;
    // A root as drives.ini spells it ("/media/a//B") is asked about as the host reads it.
    const auto tidy = [](const std::string& text) {
        return HostPath(std::filesystem::path(text).lexically_normal().string());
    };
    const HostPath path = tidy(hostText);
    const HostPath plainFolder = plain_[*index] ? tidy(*root) : HostPath();
    // Most paths lie in no mount folder at all: the mount table is read only for those that do.
    std::vector<HostPath> points = fstabPoints_;
    points.insert(points.end(), seenMounts_.begin(), seenMounts_.end());
    if (MountFoldersHolding(path, points, plainFolder, sources_.places).empty())
        return false;
    return LiesOnUnmountedMountPoint(path, sources_.Mounts(), points, plainFolder, sources_.places);
}

void DriveTable::SetPlainFolder(char letter, bool plain) {
    if (std::optional<std::size_t> index = LetterIndex(letter)) {
        plain_[*index] = plain;
    }
}

void SetActiveDriveTable(DriveTable table) {
    ActiveTableStorage() = std::move(table);
}

const DriveTable& ActiveDriveTable() {
    return ActiveTableStorage();
}

void RefreshActiveDriveTable(bool remember) {
    const HostPath folder = ActiveTableStorage().ProgramFolder();
    if (!folder.empty())
        ActiveTableStorage() = DriveTable::Load(folder, remember, ActiveTableStorage().Sources());
}

bool SaveDrivePin(const HostPath& programFolderHost, char letter, const std::string& value) {
    if (!LetterIndex(letter) || HoldsControlCharacter(value))
        return false;
    // A new pin says nothing of the label the old one was remembered with.
    return static_cast<bool>(UpdateDrivesIni(
        programFolderHost, {{"Drives", LowerAscii(letter),
                             value.empty() ? std::nullopt : std::optional<std::string>(value)},
                            {"Labels", LowerAscii(letter), std::nullopt}}));
}

bool SaveDriveLabel(const HostPath& programFolderHost, char letter, const std::string& label) {
    if (!LetterIndex(letter) || HoldsControlCharacter(label))
        return false;
    return static_cast<bool>(UpdateDrivesIni(
        programFolderHost, {{"Labels", LowerAscii(letter),
                             label.empty() ? std::nullopt : std::optional<std::string>(label)}}));
}

bool SavePlainFolder(const HostPath& programFolderHost, char letter, bool plain) {
    if (!LetterIndex(letter))
        return false;
    return static_cast<bool>(UpdateDrivesIni(
        programFolderHost, {{"Plain folders", LowerAscii(letter),
                             plain ? std::optional<std::string>("yes") : std::nullopt}}));
}

std::vector<MountEntry> DriveSources::Mounts() const {
    std::vector<MountEntry> mounts = ReadMountTable(mountTable);
    // The root mount stays, as the one that holds everything else.
    if (!onlyBelow.empty())
        std::erase_if(mounts, [this](const MountEntry& mount) {
            return !mount.mountPoint.IsRoot() && !mount.mountPoint.IsAtOrBelow(onlyBelow);
        });
    return mounts;
}

DriveSources DriveSources::Parse(std::string_view text) {
    const ProfileFile file = ProfileFile::Parse(text);
    DriveSources sources;
    const auto take = [&](const char* key, HostPath& into) {
        if (const auto value = file.Get("Sources", key))
            if (std::optional<HostPath> path = HostPath::Parse(*value))
                into = *path;
    };
    take("mount table", sources.mountTable);
    take("fstab", sources.fstab);
    take("udev records", sources.udevRecords);
    take("disk places", sources.places.root);
    take("only below", sources.onlyBelow);
    return sources;
}

DriveSources DriveSources::ForProgramFolder(const HostPath& programFolder) {
    if (programFolder.empty())
        return {};
    const auto text = host::ReadWholeHostFile(programFolder / kDriveSourcesFile);
    return text ? Parse(*text) : DriveSources{};
}

}  // namespace vlm
