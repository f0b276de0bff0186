#include "platform/drive_table.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <vector>

#include "platform/host_calls.h"
#include "platform/mount_table.h"
#include "platform/path_translation.h"
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
        if (IsSameOrBelow(mountPoint, base) && mountPoint != base) {
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

}  // namespace

DriveTable DriveTable::Load(const std::string& programFolderHost) {
    // A relative program folder has no drives.ini that could be trusted.
    const std::string folder = NormaliseRoot(programFolderHost);
    std::string iniText;
    if (!folder.empty()) {
        const std::string iniPath = (folder == "/" ? std::string() : folder) + "/drives.ini";
        iniText = host::ReadWholeHostFile(iniPath).value_or(std::string());
    }
    std::vector<std::string> mountPoints;
    for (const MountEntry& mount : ReadMountTable()) {
        mountPoints.push_back(mount.mountPoint);
    }
    DriveTable table = Build(iniText, mountPoints);
    table.SetFstabMountPoints(ReadFstabMountPoints());
    if (!folder.empty()) {
        table.CoverProgramFolder(folder);
    }
    return table;
}

void DriveTable::CoverProgramFolder(const std::string& folder) {
    const bool covered =
        std::any_of(roots_.begin(), roots_.end(), [&](const std::optional<std::string>& root) {
            return root && IsSameOrBelow(folder, *root);
        });
    if (covered) {
        return;
    }
    // The settings, the run history and the recent lists live in the program's folder, so it
    // must be reachable by a drive path even when drives.ini pins c: elsewhere. It gets the last
    // free letter, away from the letters that mounted volumes take from d: on.
    for (std::size_t index = roots_.size(); index-- > 0;) {
        if (!roots_[index] && !damaged_[index]) {
            roots_[index] = folder;
            return;
        }
    }
}

DriveTable DriveTable::Build(std::string_view drivesIniText,
                             const std::vector<std::string>& mountPoints) {
    DriveTable table;
    table.Pin('c', "/");

    const ProfileFile ini = ProfileFile::Parse(drivesIniText);
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        std::optional<std::string> value = ini.Get("Drives", std::string(1, letter));
        if (!value) {
            continue;
        }
        if (HoldsControlCharacter(*value)) {
            table.damaged_[static_cast<std::size_t>(letter - 'a')] = true;
            continue;
        }
        std::string root = NormaliseRoot(*value);
        if (!root.empty()) {
            table.Pin(letter, root);
        }
    }
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const std::optional<std::string> value = ini.Get("Plain folders", std::string(1, letter));
        table.SetPlainFolder(letter, value && IsYes(*value));
    }

    std::vector<std::string> volumes;
    for (const std::string& mountPoint : mountPoints) {
        if (IsVolumeFolder(mountPoint)) {
            volumes.push_back(mountPoint);
        }
    }
    std::sort(volumes.begin(), volumes.end());
    volumes.erase(std::unique(volumes.begin(), volumes.end()), volumes.end());

    std::size_t next = 'd' - 'a';
    for (const std::string& volume : volumes) {
        const bool alreadyMapped =
            std::any_of(table.roots_.begin(), table.roots_.end(),
                        [&](const std::optional<std::string>& r) { return r && *r == volume; });
        if (alreadyMapped) {
            continue;
        }
        while (next < table.roots_.size() && (table.roots_[next] || table.damaged_[next])) {
            ++next;
        }
        if (next >= table.roots_.size()) {
            break;
        }
        table.roots_[next] = volume;
    }
    return table;
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
    return root && ::stat(root->c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           !LiesOnUnmountedMount(letter, *root);
}

bool DriveTable::LiesOnUnmountedMount(char letter, const std::string& hostPath) const {
    const std::optional<std::size_t> index = LetterIndex(letter);
    const std::optional<std::string> root = RootOf(letter);
    if (!index || !root)
        return false;
    const std::string plainFolder = plain_[*index] ? *root : std::string();
    // Most paths lie in no mount folder at all: the mount table is read only for those that do.
    if (MountFoldersHolding(hostPath, fstabPoints_, plainFolder).empty())
        return false;
    return LiesOnUnmountedMountPoint(hostPath, ReadMountTable(), fstabPoints_, plainFolder);
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

}  // namespace vlm
