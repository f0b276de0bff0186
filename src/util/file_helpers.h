#pragma once
// Item queries, folder operations and copying on drive paths.

#include <atomic>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/paths.h"

namespace vlm {

// An I/O failure while copying; the message names the file and the cause. Some failures also
// carry the notice the person is shown first, in a box of its own, before the failure is said
// again where it is caught: the helper only words it, whoever catches the failure shows it.
class CopyError : public std::runtime_error {
public:
    explicit CopyError(const std::string& message, std::string notice = {})
        : std::runtime_error(message), notice_(std::move(notice)) {}
    // Empty when the failure has no box of its own.
    const std::string& Notice() const { return notice_; }

private:
    std::string notice_;
};

// The destination is full (or the person's quota used up): what frees room may let the copy be
// made after all.
class NoSpaceLeft : public CopyError {
public:
    using CopyError::CopyError;
};

// The destination refused the copy's name (too long, a reserved name, a character its file
// system cannot hold): only this file is not backed up; the run goes on.
class NameRefused : public CopyError {
public:
    using CopyError::CopyError;
};

// The file is larger than the destination's file system holds (EFBIG: FAT32 ends at 4 GiB): only
// this file is not backed up; the run goes on.
class FileTooLarge : public CopyError {
public:
    using CopyError::CopyError;
};

// True when the error `code` of making the entry at the drive path `path` is its medium refusing
// the name rather than a failed write.
bool IsNameRefusal(int code, const DrivePath& path);

// The source file was gone when the copy came to it: deleted or moved since its folder was
// listed. Nothing of the backup failed; the walk reports it and goes on.
class SourceVanished : public CopyError {
public:
    using CopyError::CopyError;
};

// The source changed every time it was copied (a file being written): no copy of it was kept,
// the old copy is as it was. The walk reports it and goes on.
class SourceChanging : public CopyError {
public:
    using CopyError::CopyError;
};

// A copy that its watcher stopped (the person stopped the run): nothing of it is left, and the
// old copy is as it was. No failure of the copy.
class CopyStopped : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Follows the copy of one file: told between its pieces how many bytes are in so far. Returning
// false stops the copy.
class CopyWatcher {
public:
    virtual ~CopyWatcher() = default;
    virtual bool Copied(std::uint64_t bytesSoFar) = 0;
};

// 'n' nothing, 'd' a directory, 'f' anything else (attributes read following a link).
char ItemKind(const DrivePath& path);
// 0 when no file exists at `path`; otherwise its true 64-bit size.
std::int64_t FileSizeOf(const DrivePath& path);
// The sum of all file sizes below `path` (hidden ones included; links and special files count 0
// and are never followed).
std::uint64_t DirSize(const DrivePath& path);
// The same walk for a caller on another thread that may lose interest: `stop` is read at every
// folder, and once it is true the walk ends with nullopt.
std::optional<std::uint64_t> DirSizeUnlessStopped(const DrivePath& path,
                                                  const std::atomic<bool>& stop);
// 0 for 'n', DirSize for 'd', FileSizeOf for 'f'.
std::uint64_t ItemSize(const DrivePath& path);
// Empty for 'n'; otherwise the last-write time as DateTimeText.
std::string ItemDateText(const DrivePath& path);

// Creates `path` and every missing parent. True when `path` is a directory afterwards.
bool ForceDirChain(const DrivePath& path);
// Deletes everything below `path` and `path` itself, going on past failures. False when any
// part could not be removed, and when `path` is not an existing directory.
bool DeleteDirTree(const DrivePath& path);

// Copies `src` to `dst` and gives the copy the modification time of `src`. The copy is written
// under a temporary name beside `dst` and replaces it only when complete; on any failure the old
// `dst` is untouched, no temporary file is left, and CopyError is raised. A source that cannot be
// opened or read, and a copy that cannot be begun, carry their notice (CopyError::Notice). The copy
// is not flushed to the medium one file at a time: whoever copies calls SyncFileSystemOf
// afterwards. The copy carries the exact modification time and the permission bits of `src` (kept
// writable by its owner), and its owner and group where the process may set them. A source that is
// gone raises SourceVanished, without a box. A source that changes while it is copied is copied
// again, and after a few tries raises SourceChanging, without a box. A `watcher` that says stop
// raises CopyStopped.
void CopyFileKeepAge(const DrivePath& src, const DrivePath& dst, CopyWatcher* watcher = nullptr);

}  // namespace vlm
