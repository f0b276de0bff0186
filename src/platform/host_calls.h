#pragma once
// The one place where the platform layer calls the host's file-system primitives. Keeping them
// together lets a test build make any of them fail on demand (the fault-injection seam below),
// so that every failure path above can be proved to lose nothing.

#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>

namespace vlm::host {

int Open(const char* path, int flags, mode_t mode = 0);
ssize_t Read(int fd, void* buffer, size_t length);
ssize_t Write(int fd, const void* data, size_t length);
int Close(int fd);
int Sync(int fd);
// syncfs: flushes the whole file system that holds `fd`.
int SyncFileSystem(int fd);
// sync_file_range(SYNC_FILE_RANGE_WRITE): starts writing a range of `fd` to the medium without
// waiting for it. Only a hint: never faulted, and its failure changes nothing.
void StartWriteback(int fd, off_t offset, off_t length);
// ftruncate: gives an open file its length (a sparse copy's holes up to its end); counts as a
// Write.
int SetLength(int fd, off_t length);
// Host files by whole path (the program's own small files): rename and unlink.
int Rename(const char* from, const char* to);
int Unlink(const char* path);
// Entries of the drive model, each a name in an open folder (AT_FDCWD with a whole path):
// renameat, mkdirat and utimensat.
int RenameAt(int fromDir, const char* from, int toDir, const char* to);
int MakeDirAt(int dirFd, const char* name, mode_t mode);
int SetTimesAt(int dirFd, const char* name, const struct timespec times[2], int flags);
// futimens: the same for an open file; counts as a SetTime.
int SetTimesOf(int fd, const struct timespec times[2]);
// Which side of a CopyRange failed.
enum class CopySide {
    Read,     // the source could not be read
    Write,    // the target could not be written (full, read-only medium, ...)
    Unknown,  // the kernel cannot copy between these two files, or said no more than EIO: the
              // caller goes on with Read and Write, which tell the side of a lasting failure
};
// copy_file_range of up to `length` bytes from the current offset of `in` to that of `out`,
// both advanced. Counts as one Read and one Write, and fails where either is made to fail.
ssize_t CopyRange(int in, int out, size_t length, CopySide& failed);
// The same relative to an open folder: openat counts as an Open, unlinkat as a Delete (a
// RemoveDir with AT_REMOVEDIR). The walks that must never be led elsewhere by a path's text
// descend through these.
int OpenAt(int dirFd, const char* name, int flags, mode_t mode = 0);
int UnlinkAt(int dirFd, const char* name, int flags);
// Looks that only warm the caches for a walk to come (MetadataPrefetch): made on worker threads
// beside the run, so never faulted nor counted, and their failures change nothing. Opening never
// follows a link at `name`; LookQuietly is an fstatat that never follows one.
int OpenFolderQuietly(int dirFd, const char* name);
DIR* ListFolderQuietly(int folderFd);  // takes over the descriptor, as fdopendir does
int CloseQuietly(int fd);
int LookQuietly(int dirFd, const char* name, struct stat* st);
// How many 512-byte blocks the calling thread has had read from a medium so far.
long BlocksReadByThisThread();
// fdopendir over a folder opened for reading (OpenAt counted the Open; this takes the
// descriptor over). Reading its entries is not faulted.
DIR* ListFolder(int folderFd);
struct dirent* ReadDir(DIR* dir);
int CloseDir(DIR* dir);

}  // namespace vlm::host

#ifdef VELMORA_FAULT_INJECTION
// Test-only: makes chosen host calls fail. Compiled only into test builds.
#include <functional>

namespace vlm::faults {

enum class Call {
    Open,
    Read,
    Write,
    Close,
    Rename,
    Delete,
    MakeDir,
    RemoveDir,
    SetTime,
    Sync,
    SyncFileSystem,  // the one flush at the end of a run
};

// The `nth` call of `kind` (1-based, counted from this Arm) fails with `errnoValue`, and so do
// the `times - 1` calls after it (times < 0: every call from the nth on). Replaces an earlier
// arming of the same kind.
void Arm(Call kind, int nth, int errnoValue, int times = 1);
// Runs `hook` once, just before the `nth` call of `kind` (1-based, counted from now) is made:
// for a test that changes the tree between two calls of a run, as another process would.
void Hook(Call kind, int nth, std::function<void()> hook);
// Disarms every kind, drops the hook and sets every count to zero.
void Reset();
// Calls of `kind` made since the last Reset (failed ones included).
int Count(Call kind);

}  // namespace vlm::faults
#endif

#include <string>

#include "platform/file_result.h"
#include "platform/paths.h"

namespace vlm::host {

// The whole content of the host file `hostPath` (through the calls above); the error when it
// cannot be read. For the layer's own small files such as drives.ini.
FileResult<std::string> ReadWholeHostFile(const HostPath& hostPath);
// Replaces the host file `hostPath` by `content` in one step (a temporary file beside it, flushed,
// renamed over it). The error when it cannot; the old file is then as it was.
FileStatus WriteWholeHostFile(const HostPath& hostPath, const std::string& content);

}  // namespace vlm::host

namespace vlm {

// The read-only attribute of the drive-path model: the owner may not write.
inline bool IsReadOnlyMode(mode_t mode) {
    return (mode & S_IWUSR) == 0;
}

}  // namespace vlm
