#pragma once
// File-system services behind a Windows-like face. Every path is a drive path; the empty path and
// one the drive table cannot place behave like a path where nothing exists (ENOENT). A failed
// call returns its error: errno and the drive path it was about.
//
// Read-only is the owner-write bit, and the rules Windows enforces are enforced here for every
// caller, root included: a read-only file is not deleted, opened for writing, time-stamped or
// replaced by a rename; a read-only folder is not removed. Nothing here makes an item writable.
//
// Links and special files (FIFO, socket, device) are classified without following them. Only
// the attribute and time queries of a *named* path follow a link, as a source item named by the
// person may be one; a walk never does.
//
// The listing, the open file and the safe writer have headers of their own, included here so that
// one include gives every file-system service.

#include <cstdint>
#include <string_view>

#include "platform/atomic_file_writer.h"
#include "platform/file_result.h"
#include "platform/folder_listing.h"
#include "platform/host_file.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

namespace vlm {

// The entry at `path` itself, without following a link. the error when nothing is there.
FileResult<DirEntry> QueryEntry(const DrivePath& path);

// GetFileAttributes: the attribute bits of `path`, following a link; kInvalidAttributes when
// nothing is there.
std::uint32_t GetFileAttributes(const DrivePath& path);

// FileExists (true only for something that is not a directory) and DirectoryExists, following
// links as a named path does.
bool FileExists(const DrivePath& path);
bool DirectoryExists(const DrivePath& path);

// The last-write time of `path` (following a link), packed; the error when it cannot be read.
FileResult<PackedTime> GetFileTimePacked(const DrivePath& path);
// The last-write time of `path`, as a local DateTime (for date-time texts).
FileResult<DateTime> GetFileDateTime(const DrivePath& path);
// The last-write time of `path` (following a link), exact; the error when it cannot be read.
FileResult<HostTime> GetFileHostTime(const DrivePath& path);
// When `path` (following a link) was made, as a local DateTime: the file system's birth time
// where it records one, the last-write time where it does not.
FileResult<DateTime> GetCreationDateTime(const DrivePath& path);
// Sets the host modification time of `path` from a packed stamp. Refused on a read-only file.
FileStatus SetFileTimePacked(const DrivePath& path, PackedTime packed);

// DeleteFile: removes a file, a link (the link itself) or a special file; never a directory.
// Refused on a read-only file.
FileStatus DeleteFile(const DrivePath& path);
// CreateDirectory: one new folder whose parent exists. Fails when anything exists at `path`.
FileStatus CreateDirectory(const DrivePath& path);
// RemoveDirectory: an empty, writable folder.
FileStatus RemoveDirectory(const DrivePath& path);
// The permission bits of `path` (following a link); the error when nothing is there.
FileResult<std::uint32_t> GetFilePermissions(const DrivePath& path);
// The size of the plain file at `path` (following a link); 0 for anything else or nothing.
std::uint64_t PlainFileSize(const DrivePath& path);
// Brings the permission bits of the copy `path` (a file or real folder, never a link) to those of
// its original, `original`, kept writable (and, for a folder, enterable) by the owner. A copy
// that is read-only is left as it is: nothing here makes a read-only item writable.
FileStatus UpdatePermissions(const DrivePath& path, std::uint32_t original);
// Gives the real folder `folder` (never a link) the permission bits of `source` (following a
// link, as a source item may be one), kept writable and enterable by its owner so that the next
// run can work in it, and the owner and group of `source` where this process may set them.
FileStatus CopyFolderPermissions(const DrivePath& source, const DrivePath& folder);
// Gives the file or real folder `from` the name `to` that differs from it only in case, on a
// medium that takes both for one name: through a temporary name, as such a medium may take a
// direct rename for nothing to do. Fails when nothing was renamed.
FileStatus RenameCaseOnly(const DrivePath& from, const DrivePath& to);
// Renames `from` over `to` in one step (same drive). Refused when `to` is a read-only file or a
// directory.
FileStatus RenameReplacing(const DrivePath& from, const DrivePath& to);

// The folder that fsck keeps at the root of a file system for what it salvages: nothing in it is
// a person's file, and a freshly made file system holds it, empty.
inline constexpr std::string_view kLostAndFound = "lost+found";
// True when the drive path `path` is such a folder or lies in one.
bool InLostAndFound(const DrivePath& path);

}  // namespace vlm
