#pragma once
// What a run says and checks of the disk it writes to before it writes: which volume a letter
// is now, whether it can be written at all, and what its file system can hold.

#include <optional>
#include <string>
#include <vector>

#include "platform/medium.h"
#include "platform/paths.h"

namespace vlm {

// "Drive e: is BACKUP (UUID 1234-ABCD) at /media/alice/BACKUP", or for a letter that stands for
// a plain folder "Drive e: is the folder /srv/backup"; empty for a letter that is not mapped.
std::string DriveVolumeLine(char letter);

// The drive table as `velmora-run --drives` prints it: one present or remembered letter a line,
// its fields separated by tabs: letter, kind, label, UUID, mount folder (or "not connected").
std::vector<std::string> DriveTableLines();

// The name of a drive kind as a person reads it ("Removable", "Fixed", ...).
std::string DriveKindName(int driveType);

// The fatal line of a destination that cannot be written (a file system mounted read-only, a
// folder without the write permission), naming the file system or folder and the cause; nullopt
// when every one of `folders` (drive paths; the nearest existing folder of each is asked) can be
// written.
std::optional<std::string> UnwritableDestination(const std::vector<DrivePath>& folders);

// The refusal of a destination drive that is not there now: "Drive e does not exist! Please
// check project or hardware.", and for a letter that waits for a volume or folder, which; nullopt
// when the drive `letter` (its first character) is present.
std::optional<std::string> MissingDriveText(const std::string& letter);

// What the medium of the destination folder `folder` (a drive path; the nearest existing folder
// is asked) holds, learnt without a probe: for the counts made before or beside a run (the
// free-space estimate, the progress meter's totals), which write nothing and must skip what the
// run skips (a file larger than FAT32 holds). Touches nothing the run has learnt.
MediumTraits MediumAhead(const DrivePath& folder);

// For reading a backup outside a run (a restore, a verification, the versions of a file), where
// nothing may be written: the traits MediumAhead learns for `path`, in force below the folder
// its file system is mounted on, so that the mirror and the versions beside it are read as
// stored.
void LearnMediumForReading(const DrivePath& path);

// The media of one run's destination folders, each learnt once per run, the first time an item
// is to be written there.
class DestinationMedia {
public:
    // Forgets what the last run learnt (a disk may have been swapped since).
    void Clear();
    // The traits of the existing folder `folder` (a drive path), in force below it from now on.
    // `mayProbe` as for LearnMedium: a dry run writes nothing, not even a probe.
    const MediumTraits& For(const DrivePath& folder, bool mayProbe);
    // True the first time it is asked of a drive letter in a run.
    bool FirstOnDrive(char letter);

private:
    std::vector<std::pair<DrivePath, MediumTraits>> known_;
    std::string drivesNamed_;
};

}  // namespace vlm
