#include "platform/drive_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

#include "platform/host_calls.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
#include "platform/paths.h"
#include "platform/profile_file.h"
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

bool IsVolumeFolder(const std::string& mountPoint) {
    for (const char* base : {"/media", "/run/media", "/mnt"}) {
        if (HostPath(mountPoint).IsAtOrBelow(HostPath(base)) && mountPoint != base) {
            return true;
        }
    }
    return false;
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
// own, but a volume pin finds its volume wherever it is mounted: then every mount is asked.
std::vector<MountedVolume> MountedVolumes(bool everywhere) {
    std::vector<MountedVolume> volumes;
    for (const MountEntry& mount : ReadMountTable()) {
        if (everywhere || IsVolumeFolder(mount.mountPoint.Text()))
            volumes.push_back({mount.mountPoint, IdentifyVolume(mount)});
    }
    return volumes;
}

bool HoldsVolumePin(const ProfileFile& ini) {
    VolumeReference reference;
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const auto value = ini.Get("Drives", std::string(1, letter));
        if (value && ParseVolumeReference(*value, reference))
            return true;
    }
    return false;
}

// Sets one key of drives.ini as it is on the disk now, keeping every other line.
bool UpdateDrivesIni(const HostPath& programFolder, const std::string& section, char letter,
                     const std::optional<std::string>& value) {
    if (programFolder.empty())
        return false;
    const HostPath path = IniPathIn(programFolder);
    ProfileFile ini = ProfileFile::Parse(host::ReadWholeHostFile(path).value_or(std::string()));
    if (value)
        ini.Set(section, std::string(1, letter), *value);
    else
        ini.Remove(section, std::string(1, letter));
    return static_cast<bool>(host::WriteWholeHostFile(path, ini.Text()));
}

}  // namespace

DriveTable DriveTable::Load(const HostPath& programFolder, bool remember) {
    const HostPath& folder = programFolder;
    std::string iniText;
    if (!folder.empty()) {
        iniText = host::ReadWholeHostFile(IniPathIn(folder)).value_or(std::string());
    }
    DriveTable table =
        BuildFromVolumes(iniText, MountedVolumes(HoldsVolumePin(ProfileFile::Parse(iniText))));
    table.SetFstabMountPoints(ReadFstabMountPoints());
    if (!folder.empty()) {
        table.programFolder_ = folder;
        // A volume keeps the letter it was given from now on, in every process of the program.
        for (const auto& [letter, reference] : table.remembered_)
            if (remember)
                UpdateDrivesIni(folder, "Drives", letter, reference);
        table.CoverProgramFolder(folder);
    }
    return table;
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
    for (const HostPath& mountPoint : mountPoints)
        volumes.push_back({mountPoint, {}});
    return BuildFromVolumes(drivesIniText, volumes);
}

DriveTable DriveTable::BuildFromVolumes(std::string_view drivesIniText,
                                        const std::vector<MountedVolume>& volumesIn) {
    DriveTable table;
    table.Pin('c', "/");

    std::vector<MountedVolume> volumes = volumesIn;
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const MountedVolume& a, const MountedVolume& b) {
                         return a.mountPoint.Text() < b.mountPoint.Text();
                     });

    const ProfileFile ini = ProfileFile::Parse(drivesIniText);
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
            // That volume wherever it is mounted now; not present while it is not.
            table.roots_[index].reset();
            entry = Letter{DriveDescription::Kind::Volume, *value, {}};
            for (const MountedVolume& volume : volumes) {
                if (reference.Matches(volume.identity)) {
                    table.roots_[index] = NormaliseRoot(volume.mountPoint.Text());
                    entry.volume = volume.identity;
                    break;
                }
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

    const auto mapped = [&](const MountedVolume& volume) {
        for (std::size_t i = 0; i < table.roots_.size(); ++i) {
            if (table.roots_[i] && *table.roots_[i] == volume.mountPoint.Text())
                return true;
            // The same volume mounted a second time keeps its one letter.
            if (volume.identity.Known() && table.letters_[i].volume.uuid == volume.identity.uuid)
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
    // Volumes with a UUID first: the letter each gets is theirs from now on.
    for (const bool withUuid : {true, false}) {
        std::size_t next = 'd' - 'a';
        for (const MountedVolume& volume : volumes) {
            if (volume.identity.Known() != withUuid || !IsVolumeFolder(volume.mountPoint.Text()) ||
                mapped(volume)) {
                continue;
            }
            next = freeLetter(next);
            if (next >= table.roots_.size()) {
                break;
            }
            table.roots_[next] = NormaliseRoot(volume.mountPoint.Text());
            Letter& entry = table.letters_[next];
            entry.volume = volume.identity;
            if (withUuid) {
                entry.kind = DriveDescription::Kind::Volume;
                entry.pin = "UUID=" + volume.identity.uuid;
                table.remembered_.emplace_back(static_cast<char>('a' + next), entry.pin);
            } else {
                entry.kind = DriveDescription::Kind::Mounted;
            }
        }
    }
    return table;
}

std::vector<DriveDescription> DriveTable::Describe() const {
    std::vector<DriveDescription> drives;
    const std::vector<MountEntry> mounts = ReadMountTable();
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
                    drive.volume = IdentifyVolume(mount);
        }
        drive.plain = plain_[i];
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
    return reference.by == VolumeReference::By::Uuid ? "the volume with UUID " + reference.value
                                                     : "the volume labelled " + reference.value;
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
           !LiesOnUnmountedMountText(letter, *root);
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
    if (MountFoldersHolding(path, fstabPoints_, plainFolder).empty())
        return false;
    return LiesOnUnmountedMountPoint(path, ReadMountTable(), fstabPoints_, plainFolder);
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
        ActiveTableStorage() = DriveTable::Load(folder, remember);
}

bool SaveDrivePin(const HostPath& programFolderHost, char letter, const std::string& value) {
    if (!LetterIndex(letter) || HoldsControlCharacter(value))
        return false;
    return UpdateDrivesIni(programFolderHost, "Drives", LowerAscii(letter),
                           value.empty() ? std::nullopt : std::optional<std::string>(value));
}

bool SavePlainFolder(const HostPath& programFolderHost, char letter, bool plain) {
    if (!LetterIndex(letter))
        return false;
    return UpdateDrivesIni(programFolderHost, "Plain folders", LowerAscii(letter),
                           plain ? std::optional<std::string>("yes") : std::nullopt);
}

}  // namespace vlm
