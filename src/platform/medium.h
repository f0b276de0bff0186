#pragma once
// What a destination's file system can hold, learnt once per run before anything is written:
// whether it tells names apart by case, which characters of a name it refuses, whether it keeps
// permission bits and owners, how fine its times are, and whether it may be written at all.
//
// The common local file systems of this platform are known by their type. Every other one —
// exFAT, FAT, NTFS, above all through FUSE, where the type says little — is asked by a probe: a
// file of the program's own temporary name, made in the destination folder and removed again.
//
// The file services read the media in use from here: on a medium that refuses the characters a
// drive name shows as stand-ins, names are stored with the stand-ins (the convention that other
// Windows-on-Unix layers use) and read back as they are; permission bits and owners are neither
// set nor compared where the medium has none.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/packed_time.h"
#include "platform/paths.h"

namespace vlm {

struct MediumTraits {
    std::string fileSystem;            // "ext4", "exfat", "vfat", "fuseblk", ...
    bool caseInsensitive = false;      // "A.txt" and "a.txt" are one name
    bool storesStandIns = false;       // refuses \ : * ? " < > | or control characters in names
    bool keepsPermissions = true;      // permission bits and owners
    std::int64_t timeStepNs = 1;       // the finest time step it stores
    bool setsTimesAfterClose = false;  // a time given to an open file may not last its close
    // Not a POSIX file system: beyond a name's length it refuses names by rules of its own,
    // with whatever error its driver picks (EPERM, ENOENT, EINVAL, ...).
    bool refusesNames = false;
    int notWritable = 0;            // errno when the folder cannot be written (EROFS, EACCES)
    std::uint64_t largestFile = 0;  // the largest file it holds, in bytes; 0: no limit
    // Keeps the times of the years 1980 to 2107 only (FAT, exFAT): a copy is given its
    // original's time clamped into them, and compared as such (see ClampToFatYears).
    bool fatYearsOnly = false;
    // Writes a file's data to the medium before a later rename or time of that file (the
    // journaling file systems with ordered data). Elsewhere a power cut can leave a renamed copy
    // with its size and time but without its bytes, so a copy is flushed before its rename.
    bool keepsWriteOrder = true;

    bool operator==(const MediumTraits&) const = default;
};

// The traits of the file system that holds the existing folder `hostFolder`. With `mayProbe`, a
// file system its type does not tell about is asked by a probe that makes and removes a file
// there; without, it is taken for a POSIX one (what a dry run, which writes nothing, sees).
MediumTraits LearnMedium(const HostPath& hostFolder, bool mayProbe = true);
// The same for the folder `drivePath`, whose traits are then in force below it.
MediumTraits LearnMediumOf(const DrivePath& drivePath, bool mayProbe = true);

// The traits a run found for the folder `hostFolder` are in force below it until ForgetMedia.
void UseMediumBelow(const HostPath& hostFolder, const MediumTraits& traits);
void ForgetMedia();
// The questions the file services ask of every path they write: the answer of the traits in
// force there, or that of a local POSIX file system where none were learnt.
bool StoresStandInsAt(const HostPath& hostPath);
bool KeepsPermissionsAt(const HostPath& hostPath);
bool SetsTimesAfterCloseAt(const HostPath& hostPath);
bool KeepsFatYearsOnlyAt(const HostPath& hostPath);
bool KeepsWriteOrderAt(const HostPath& hostPath);
// Whether the error `code` of making an entry at `hostPath` is its medium refusing the name.
bool IsNameRefusalAt(int code, const HostPath& hostPath);

// The coarsest step at which a copy's time is compared as the medium keeps it: NTFS's 100 ns.
// A medium that keeps coarser times (FAT, exFAT, whole seconds) or that was not asked is
// compared in 2-second steps, the packed stamp's.
inline constexpr std::int64_t kFinestComparedStepNs = 100;
// Whether a copy of age `copy` kept on a medium of `traits` is as old as its original of age
// `source`: the same instant at the medium's step where it keeps times to kFinestComparedStepNs
// or finer, so that a change of the same size within two seconds of the copy is still seen;
// the same 2-second step of UTC elsewhere (FAT's times, clamped to its years where it keeps only
// those).
bool SameAgeOnMedium(const MediumTraits& traits, const FileAge& copy, const FileAge& source);

// The traits a person reads: "exfat: names without case, no permission bits, times in steps of
// 10 ms".
std::string DescribeMedium(const MediumTraits& traits);

}  // namespace vlm
