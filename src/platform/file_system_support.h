#pragma once
// What the file-system services share among themselves: how a call fails, the host place of a
// drive path, and the reading of a stat. Not for use outside the platform's file-system files.

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file_result.h"
#include "platform/folder_listing.h"
#include "platform/host_file.h"
#include "platform/host_place.h"
#include "platform/paths.h"

namespace vlm::file_system_support {

// The failure of a call about `path` with the errno the host left (EIO when it left none).
FileError ErrnoError(const DrivePath& path);
FileError Error(int code, const DrivePath& path);


HostTime ModifiedOf(const struct stat& st);
HostFile::Status StatusOf(const struct stat& st);
std::uint32_t AttributesOf(const struct stat& st, std::string_view name);
EntryKind KindOf(const struct stat& st);
// fstatat at the place; a link at it is followed only when `followLinks` and the place is not
// below a walk's top.
bool StatAt(const HostPlace& place, struct stat& st, bool followLinks);
// The place of a drive path, with what is there in `st`; the error when the path is refused or
// nothing is there.
FileResult<HostPlace> PlaceAndStat(const DrivePath& drivePath, struct stat& st, bool followLinks);

// Temporary names: prefix, twelve random lower-case hex digits, suffix.
inline constexpr std::string_view kTempPrefix = ".~vlm";
inline constexpr std::string_view kTempSuffix = ".tmp";
std::string RandomSuffix();
// A fresh temporary name.
std::string TemporaryName();

// The checks that stand in for the file system's own refusal of writing over a read-only file or
// a directory; they hold for root as well.
int WriteRefusalFor(const HostPlace& place);
// What a rename refuses to put a file over: a folder, or a read-only file (not through a link:
// a link at the target is replaced itself). 0 when the target may be replaced or is not there.
int ReplaceRefusalFor(const HostPlace& place);
// The bits a copy of an item with `original` bits gets: its owner may always write it, and
// list and enter it when it is a folder, so the next run can bring it up to date (a folder of
// the backup that its owner cannot list could never be mirrored or removed again).
mode_t CopyMode(std::uint32_t original, bool folder);

}  // namespace vlm::file_system_support
