#pragma once
// What the file-system services share among themselves: how a call ends, the host path of a
// drive path, and the reading of a stat. Not for use outside the platform's file-system files.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/folder_listing.h"
#include "platform/host_file.h"

namespace vlm::file_system_support {

// Every public call ends through one of these, so LastPlatformError always tells about the
// last call.
bool Succeed();
bool Fail(int code);
bool FailWithErrno();

// The host path of a drive path; a refused path behaves like a missing one.
std::optional<std::string> HostOf(std::string_view drivePath);

HostTime ModifiedOf(const struct stat& st);
HostFile::Status StatusOf(const struct stat& st);
std::uint32_t AttributesOf(const struct stat& st, std::string_view name);
EntryKind KindOf(const struct stat& st);
bool StatPath(const std::string& host, struct stat& st, bool followLinks);
// The host path of a drive path, with what is there in `st`; nullopt, with the error recorded,
// when the path is refused or nothing is there.
std::optional<std::string> HostAndStat(std::string_view drivePath, struct stat& st,
                                       bool followLinks);
std::string ParentFolder(const std::string& host);

// Temporary names: prefix, twelve random lower-case hex digits, suffix.
inline constexpr std::string_view kTempPrefix = ".~vlm";
inline constexpr std::string_view kTempSuffix = ".tmp";
std::string RandomSuffix();

// The checks that stand in for the file system's own refusal of writing over a read-only file or
// a directory; they hold for root as well.
int WriteRefusalFor(const std::string& host);
// What a rename refuses to put a file over: a folder, or a read-only file (not through a link:
// a link at the target is replaced itself). 0 when the target may be replaced or is not there.
int ReplaceRefusalFor(const std::string& host);
// The bits a copy of an item with `original` bits gets: its owner may always write it, and
// list and enter it when it is a folder, so the next run can bring it up to date (a folder of
// the backup that its owner cannot list could never be mirrored or removed again).
mode_t CopyMode(std::uint32_t original, bool folder);

}  // namespace vlm::file_system_support
