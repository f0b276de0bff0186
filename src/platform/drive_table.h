#pragma once
// The drive letters a–z and the host folders they stand for.
//
// Everything above the platform layer thinks in drive paths ("c:\Data\Docs"). The table says
// which host folder each letter is: c: is "/" unless pinned otherwise, letters pinned in
// drives.ini (section [Drives], key = letter, value = host folder) come next, and the mounted
// volumes under /media, /run/media and /mnt take the free letters from d: on, in mount-point
// order. A pinned letter whose folder does not exist is a drive that is "not present"; so is one
// whose pinned value holds a control character: a damaged drives.ini is never cut into a
// shorter path that would stand for another folder. So is one whose folder is a mount folder
// with nothing mounted on it (see MountFoldersHolding): an unplugged disk leaves its empty
// folder behind, and a run must not take that for the disk. A letter listed in the section
// [Plain folders] with the value "yes" (e=yes) is a plain folder wherever it lies, and is never
// asked about mounts.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

class DriveTable {
public:
    // An empty table: no letter is mapped.
    DriveTable() = default;

    // The table the program uses: c: = "/", the pins of <programFolderHost>/drives.ini, then
    // the mounted removable/extra volumes on the free letters from d:.
    static DriveTable Load(const std::string& programFolderHost);
    // The same from the text of a drives.ini and the host's mount points (any order; only those
    // below /media, /run/media and /mnt take letters).
    static DriveTable Build(std::string_view drivesIniText,
                            const std::vector<std::string>& mountPoints);

    // Gives the host folder `folder` (absolute, normalised) the last free letter when no mapped
    // root holds it; nothing when one does or no letter is free.
    void CoverProgramFolder(const std::string& folder);

    // Maps `letter` (either case) to the host folder `hostRoot` (absolute, no trailing '/',
    // except for "/" itself). Replaces an earlier mapping of that letter.
    void Pin(char letter, std::string hostRoot);
    void Unpin(char letter);

    // The host folder of `letter` (either case), whether or not it exists.
    std::optional<std::string> RootOf(char letter) const;

    // True when `letter` is mapped, its host folder exists as a directory and is no mount folder
    // left empty by an unplugged disk.
    bool IsPresent(char letter) const;

    // True when the host path `hostPath` of a drive path on `letter` lies on a mount folder with
    // nothing mounted on it: what a run reads there is not the disk's content.
    bool LiesOnUnmountedMount(char letter, const std::string& hostPath) const;

    // The mount points /etc/fstab lists (Load reads them); a test gives its own.
    void SetFstabMountPoints(std::vector<std::string> points) { fstabPoints_ = std::move(points); }
    // Declares the folder of `letter` a plain folder (the [Plain folders] section), or not.
    void SetPlainFolder(char letter, bool plain);

private:
    std::array<std::optional<std::string>, 26> roots_;
    // Letters whose pin was damaged: they stay unmapped, and no volume takes them.
    std::array<bool, 26> damaged_{};
    std::array<bool, 26> plain_{};
    std::vector<std::string> fstabPoints_;
};

// The table in force for the whole process. Starts empty; the program sets it once at start,
// a test sets it to a table over temporary folders.
void SetActiveDriveTable(DriveTable table);
const DriveTable& ActiveDriveTable();

}  // namespace vlm
