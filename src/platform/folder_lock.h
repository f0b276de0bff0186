#pragma once
// An exclusive lock on a folder, held for as long as the object lives. The lock is the kernel's
// (flock on the folder's own descriptor): it leaves no file in the folder, and it goes with the
// process that held it, however that process ends.

#include "platform/paths.h"

namespace vlm {

class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock();
    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    enum class Result { Locked, HeldElsewhere, Failed };
    // Takes the lock on the real folder `folder` (never a link) without waiting.
    // HeldElsewhere when another holder has it.
    Result TryLock(const DrivePath& folder);
    void Release();

private:
    int fd_ = -1;
};

}  // namespace vlm
