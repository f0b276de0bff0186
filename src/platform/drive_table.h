#pragma once
// The drive letters a–z and the host folders they stand for.
//
// Everything above the platform layer thinks in drive paths ("c:\Data\Docs"). The table says
// which host folder each letter is: c: is "/" unless pinned otherwise, letters pinned in
// drives.ini (section [Drives], key = letter, value = host folder) come next, and the volumes
// mounted under /media, /run/media and /mnt take the free letters from d: on. A pinned letter
// whose folder does not exist is a drive that is "not present"; so is one whose pinned value
// holds a control character: a damaged drives.ini is never cut into a shorter path that would
// stand for another folder. So is one whose folder is a mount folder with nothing mounted on it
// (see MountFoldersHolding): an unplugged disk leaves its empty folder behind, and a run must
// not take that for the disk. A letter listed in the section [Plain folders] with the value
// "yes" (e=yes) is a plain folder wherever it lies, and is never asked about mounts.
//
// A letter belongs to a disk, as on Windows: a pin may name a volume instead of a folder
// (e=UUID=<uuid> or e=LABEL=<label>, the fstab forms, or e=SOURCE=<source> TYPE=<type> for a
// file system without a UUID: a network share, a tmpfs, a FUSE mount), meaning that volume
// wherever it is mounted now and "not present" while it is not. A pin that matches two
// connected disks is no drive at all until one goes: a run never guesses between them.
// A volume mounted in a place for disks that no letter names yet gets the first letter from d:
// that is neither pinned nor remembered for another volume, and is remembered in drives.ini at
// once (with its label, under [Labels]), so a letter never moves to another disk. When drives.ini
// cannot be written the letter is shown but is no drive a run can use. A volume that cannot be
// told apart from another mount (two tmpfs named alike, a device whose UUID cannot be read) gets
// no letter: its name would not find it again.
//
// What is mounted is read from the table's DriveSources: the machine's, or those a test gives
// (drive-sources.ini in the program folder), so that no test ever sees the machine's disks.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/mount_table.h"
#include "platform/paths.h"
#include "platform/volume_identity.h"

namespace vlm {

// The name of the file in the program folder that pins drive letters.
inline constexpr std::string_view kDrivesIniName = "drives.ini";

// Where the table learns what is mounted.
struct DriveSources {
    HostPath mountTable = HostPath("/proc/self/mountinfo");
    HostPath fstab = HostPath("/etc/fstab");
    // A folder of udev records named b<major>:<minor>; empty: the machine's udev database.
    HostPath udevRecords;
    DiskPlaces places;
    // Only mounts at or below this folder are seen; empty: every mount.
    HostPath onlyBelow;

    // The mount table as these sources see it.
    std::vector<MountEntry> Mounts() const;
    // The sources drive-sources.ini in `programFolder` names, for what it names; the machine's
    // for the rest, and when there is no such file (as on every installation).
    static DriveSources ForProgramFolder(const HostPath& programFolder);
    // The text of such a file (section [Sources]: mount table, fstab, udev records, disk
    // places, only below).
    static DriveSources Parse(std::string_view text);
};
inline constexpr const char* kDriveSourcesFile = "drive-sources.ini";

// A mounted file system, with what is known of its volume.
struct MountedVolume {
    HostPath mountPoint;
    VolumeIdentity identity;
    std::string device{};  // "major:minor": two mounts of one device are one disk
};

// One letter of the table as a person is shown it.
struct DriveDescription {
    enum class Kind {
        Folder,         // pinned to a folder (c: is "/")
        Volume,         // pinned to a volume (by UUID, label or source), or remembered for it
        ProgramFolder,  // the program's own folder, on the last free letter
    };
    char letter = 0;
    Kind kind = Kind::Folder;
    std::optional<std::string> root;  // the host folder now; nullopt: not connected
    std::string pin;                  // the drives.ini value ("UUID=...", a folder)
    VolumeIdentity volume;            // of the volume mounted at root, when known
    bool plain = false;               // [Plain folders]
    // Why no run may use the letter although a disk is there (two disks match its pin; its
    // letter could not be remembered); empty otherwise.
    std::string refusal;
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
    // The same from the given sources instead of those the program folder names.
    static DriveTable Load(const HostPath& programFolder, bool remember,
                           const DriveSources& sources);
    // The same from the text of a drives.ini and the host's mount points (any order; only those
    // below /media, /run/media and /mnt take letters; each is its own volume).
    static DriveTable Build(std::string_view drivesIniText,
                            const std::vector<HostPath>& mountPoints);
    // The same with the volumes' identities: volume pins are resolved, new volumes are given a
    // letter and remembered (NewlyRemembered lists them for drives.ini).
    static DriveTable BuildFromVolumes(std::string_view drivesIniText,
                                       const std::vector<MountedVolume>& volumes,
                                       const DiskPlaces& places = {});

    // Volumes this table gave a letter for the first time: (letter, "UUID=..."), to be written
    // into drives.ini so that the letter stays theirs.
    const std::vector<std::pair<char, std::string>>& NewlyRemembered() const { return remembered_; }
    // Why no run may use `letter` although a disk is connected (DriveDescription::refusal),
    // as a whole sentence with what to do; empty when nothing stands in the way.
    std::string Refusal(char letter) const;
    // The label drives.ini keeps for the volume of `letter` ([Labels]); empty when none.
    std::string RememberedLabel(char letter) const;
    const DriveSources& Sources() const { return sources_; }
    void SetSources(DriveSources sources) { sources_ = std::move(sources); }
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
    // Folders an earlier run saw a disk mounted on (kMountFoldersFile): mount folders too.
    void AddSeenMountFolders(const std::vector<HostPath>& folders);
    const std::vector<HostPath>& SeenMountFolders() const { return seenMounts_; }
    // Declares the folder of `letter` a plain folder (the [Plain folders] section), or not.
    void SetPlainFolder(char letter, bool plain);

private:
    // LiesOnUnmountedMount on a root as the table holds it.
    bool LiesOnUnmountedMountText(char letter, const std::string& hostText) const;

    // Gives up the letters of NewlyRemembered: drives.ini cannot keep them (`why`).
    void CannotRemember(const std::string& why);

    struct Letter {
        DriveDescription::Kind kind = DriveDescription::Kind::Folder;
        std::string pin;
        VolumeIdentity volume;
        std::string label;                  // [Labels]
        std::vector<MountedVolume> rivals;  // the connected disks its pin matches, when two
        std::string unremembered;           // why its letter could not be remembered
    };
    std::array<Letter, 26> letters_{};
    std::vector<std::pair<char, std::string>> remembered_;
    HostPath programFolder_;
    std::array<std::optional<std::string>, 26> roots_;
    // Letters whose pin was damaged: they stay unmapped, and no volume takes them.
    std::array<bool, 26> damaged_{};
    std::array<bool, 26> plain_{};
    std::vector<HostPath> fstabPoints_;
    std::vector<HostPath> seenMounts_;
    DriveSources sources_;
};

// The file in the program folder that lists, one a line, the folders inside source items where
// a run saw a disk mounted.
inline constexpr const char* kMountFoldersFile = "mount-folders.txt";

// Notes the folders at or below `hostFolders` (a run's source items) that have a disk mounted
// on them now, in the table in force and in its program folder's kMountFoldersFile: when the
// disk is away later, its empty folder is known for what it is, even where fstab does not name
// it. False when the file could not be written.
bool RememberMountFoldersBelow(const std::vector<HostPath>& hostFolders);

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
// Keeps the label of the volume a letter is pinned to ([Labels]); empty removes it.
bool SaveDriveLabel(const HostPath& programFolderHost, char letter, const std::string& label);
bool SavePlainFolder(const HostPath& programFolderHost, char letter, bool plain);

}  // namespace vlm
