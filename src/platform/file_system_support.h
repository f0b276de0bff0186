#pragma once
// What the file-system services share among themselves: how a call fails, the host path of a
// drive path, and the reading of a stat. Not for use outside the platform's file-system files.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_result.h"
#include "platform/folder_listing.h"
#include "platform/host_file.h"
#include "platform/paths.h"

namespace vlm::file_system_support {

// The failure of a call about `path` with the errno the host left (EIO when it left none).
FileError ErrnoError(const DrivePath& path);
FileError Error(int code, const DrivePath& path);

// The host path of a drive path; a refused path behaves like a missing one (ENOENT).
FileResult<HostPath> HostOf(const DrivePath& drivePath);

HostTime ModifiedOf(const struct stat& st);
HostFile::Status StatusOf(const struct stat& st);
std::uint32_t AttributesOf(const struct stat& st, std::string_view name);
EntryKind KindOf(const struct stat& st);
bool StatPath(const HostPath& host, struct stat& st, bool followLinks);
// The host path of a drive path, with what is there in `st`; the error when the path is refused
// or nothing is there.
FileResult<HostPath> HostAndStat(const DrivePath& drivePath, struct stat& st, bool followLinks);

// Temporary names: prefix, twelve random lower-case hex digits, suffix.
inline constexpr std::string_view kTempPrefix = ".~vlm";
inline constexpr std::string_view kTempSuffix = ".tmp";
std::string RandomSuffix();
// A fresh temporary name in the folder `folder`.
HostPath TemporaryPathIn(const HostPath& folder);

// The checks that stand in for the file system's own refusal of writing over a read-only file or
// a directory; they hold for root as well.
int WriteRefusalFor(const HostPath& host);
// What a rename refuses to put a file over: a folder, or a read-only file (not through a link:
// a link at the target is replaced itself). 0 when the target may be replaced or is not there.
int ReplaceRefusalFor(const HostPath& host);
// The bits a copy of an item with `original` bits gets: its owner may always write it, and
// list and enter it when it is a folder, so the next run can bring it up to date (a folder of
// the backup that its owner cannot list could never be mirrored or removed again).
mode_t CopyMode(std::uint32_t original, bool folder);

}  // namespace vlm::file_system_support
