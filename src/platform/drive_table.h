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
//
// A letter belongs to a disk, as on Windows: a pin may name a volume instead of a folder
// (e=UUID=<uuid> or e=LABEL=<label>, the fstab forms), meaning that volume wherever it is mounted
// now and "not present" while it is not. A volume with a UUID mounted in a place for disks that
// no letter names yet gets the first letter from d: that is neither pinned nor remembered for
// another volume, and is remembered in drives.ini at once, so a letter never moves to another
// disk. Volumes without a UUID (tmpfs, bind and network mounts) take free letters in mount-point
// order, as before.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "platform/volume_identity.h"

namespace vlm {

// The name of the file in the program folder that pins drive letters.
inline constexpr std::string_view kDrivesIniName = "drives.ini";

// A file system mounted in a place for disks, with what is known of its volume.
struct MountedVolume {
    HostPath mountPoint;
    VolumeIdentity identity;
};

// One letter of the table as a person is shown it.
struct DriveDescription {
    enum class Kind {
        Folder,         // pinned to a folder (c: is "/")
        Volume,         // pinned to a volume by UUID or label
        Remembered,     // a volume the table gave this letter and remembers
        Mounted,        // a volume without a UUID, on a free letter while it is mounted
        ProgramFolder,  // the program's own folder, on the last free letter
    };
    char letter = 0;
    Kind kind = Kind::Folder;
    std::optional<std::string> root;  // the host folder now; nullopt: not connected
    std::string pin;                  // the drives.ini value ("UUID=...", a folder)
    VolumeIdentity volume;            // of the volume mounted at root, when known
    bool plain = false;               // [Plain folders]
};

class DriveTable {
public:
    // An empty table: no letter is mapped.
    DriveTable() = default;

    // The table the program uses: c: = "/", the pins of <programFolderHost>/drives.ini, then
    // the mounted removable/extra volumes on the free letters from d:.
    // With `remember` off (a dry run, which writes nothing) a volume seen for the first time has
    // its letter in this table only.
    // An empty `programFolder` (one that is no host path) has no drives.ini that could be trusted.
    static DriveTable Load(const HostPath& programFolder, bool remember = true);
    // The same from the text of a drives.ini and the host's mount points (any order; only those
    // below /media, /run/media and /mnt take letters).
    static DriveTable Build(std::string_view drivesIniText,
                            const std::vector<HostPath>& mountPoints);
    // The same with the volumes' identities: volume pins are resolved, new volumes with a UUID
    // are given a letter and remembered (NewlyRemembered lists them for drives.ini).
    static DriveTable BuildFromVolumes(std::string_view drivesIniText,
                                       const std::vector<MountedVolume>& volumes);

    // Volumes this table gave a letter for the first time: (letter, "UUID=..."), to be written
    // into drives.ini so that the letter stays theirs.
    const std::vector<std::pair<char, std::string>>& NewlyRemembered() const { return remembered_; }
    // Every letter that is mapped or pinned, in order, as a person is shown them.
    std::vector<DriveDescription> Describe() const;
    // What a pinned or remembered letter waits for ("the volume with UUID 1234-ABCD", "the
    // folder /media/alice/BACKUP"), for the message that says it is not connected; empty for
    // other letters.
    std::string AwaitedVolume(char letter) const;
    // The program folder Load read drives.ini from; empty for a table built otherwise.
    const HostPath& ProgramFolder() const { return programFolder_; }

    // Gives the host folder `folder` the last free letter when no mapped root holds it; nothing
    // when one does or no letter is free.
    void CoverProgramFolder(const HostPath& folder);

    // Maps `letter` (either case) to the host folder `hostRoot` (absolute, no trailing '/',
    // except for "/" itself). Replaces an earlier mapping of that letter.
    void Pin(char letter, std::string hostRoot);
    void Unpin(char letter);

    // The host folder of `letter` (either case), whether or not it exists.
    std::optional<std::string> RootOf(char letter) const;

    // True when `letter` is mapped, its host folder exists as a directory and is no mount folder
    // left empty by an unplugged disk.
    bool IsPresent(char letter) const;

    // True when `hostPath`, the host path of a drive path on `letter`, lies on a mount folder with
    // nothing mounted on it: what a run reads there is not the disk's content.
    bool LiesOnUnmountedMount(char letter, const HostPath& hostPath) const;

    // The mount points /etc/fstab lists (Load reads them); a test gives its own.
    void SetFstabMountPoints(std::vector<HostPath> points) { fstabPoints_ = std::move(points); }
    // Declares the folder of `letter` a plain folder (the [Plain folders] section), or not.
    void SetPlainFolder(char letter, bool plain);

private:
    // LiesOnUnmountedMount on a root as the table holds it.
    bool LiesOnUnmountedMountText(char letter, const std::string& hostText) const;

    struct Letter {
        DriveDescription::Kind kind = DriveDescription::Kind::Folder;
        std::string pin;
        VolumeIdentity volume;
    };
    std::array<Letter, 26> letters_{};
    std::vector<std::pair<char, std::string>> remembered_;
    HostPath programFolder_;
    std::array<std::optional<std::string>, 26> roots_;
    // Letters whose pin was damaged: they stay unmapped, and no volume takes them.
    std::array<bool, 26> damaged_{};
    std::array<bool, 26> plain_{};
    std::vector<HostPath> fstabPoints_;
};

// The table in force for the whole process. Starts empty; the program sets it once at start,
// a test sets it to a table over temporary folders.
void SetActiveDriveTable(DriveTable table);
const DriveTable& ActiveDriveTable();
// Reads the table in force again from drives.ini and the mount table, when it was loaded from
// a program folder (a table a test set stays as it is): a disk plugged in since is there.
void RefreshActiveDriveTable(bool remember = true);

// Writes the pins of a person's choice into <programFolderHost>/drives.ini, keeping every other
// line: `value` a folder, "UUID=..." or "LABEL=..."; empty removes the pin (forgets a remembered
// volume). False when the file cannot be written.
bool SaveDrivePin(const HostPath& programFolderHost, char letter, const std::string& value);
bool SavePlainFolder(const HostPath& programFolderHost, char letter, bool plain);

}  // namespace vlm
