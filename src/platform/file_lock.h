#pragma once
// An exclusive lock that serialises the writers of one file across processes.
//
// The lock is taken on a file of its own beside the locked one ("<name>.lock"), never on the
// file itself: the program's files are replaced by renaming a new file over them, so a lock on
// the old file's inode would not be seen by a writer that opened the new one. The host holds
// the lock for the open descriptor and releases it when the process ends in any way, so a
// killed writer never leaves the file locked.

#include <string_view>

#include "platform/paths.h"

namespace vlm {

class FileLock {
public:
    // Waits until the lock beside `path` is ours. When the lock file cannot be
    // created (a read-only or missing folder), the lock is not held: Held() says so, and the
    // caller's own write fails or succeeds on its own.
    explicit FileLock(const DrivePath& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool Held() const { return fd_ >= 0; }

    // The lock file for `path`.
    static DrivePath LockFilePath(const DrivePath& path);

private:
    int fd_ = -1;
};

// A mark that this process is still at work on one thing (a key such as a run's identity),
// kept in a file of its own beside `path` ("<name>.running") as a lock on one byte chosen by the
// key. Any other process, or another KeyLock of this one, can see whether the key is held; the
// host drops the mark when the holder releases it or ends in any way, so a killed process never
// holds one. It is not the file of FileLock: where a whole-file lock is emulated by a lock on
// every byte (NFS), the two would wait for each other.
class KeyLock {
public:
    KeyLock() = default;
    ~KeyLock() { Release(); }
    KeyLock(const KeyLock&) = delete;
    KeyLock& operator=(const KeyLock&) = delete;

    // False when the lock file cannot be made or the key is held elsewhere.
    bool Hold(const DrivePath& path, std::string_view key);
    void Release();
    // Whether another holder has the key. A missing lock file holds nothing, and is not made.
    static bool IsHeld(const DrivePath& path, std::string_view key);
    // The file that holds the marks for `path`.
    static DrivePath MarkFilePath(const DrivePath& path);

private:
    int fd_ = -1;
};

}  // namespace vlm
