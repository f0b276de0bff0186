#include "platform/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/path_translation.h"

namespace vlm {

FolderLock::~FolderLock() {
    Release();
}

FolderLock::FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

FolderLock::Result FolderLock::TryLock(const DrivePath& folder) {
    Release();
    const std::optional<HostPath> host = ToHostPath(folder);
    if (!host)
        return Result::Failed;
    const int fd = ::open(host->Text().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return Result::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool busy = errno == EWOULDBLOCK;
        ::close(fd);
        return busy ? Result::HeldElsewhere : Result::Failed;
    }
    fd_ = fd;
    return Result::Locked;
}

void FolderLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the last descriptor releases the lock
        fd_ = -1;
    }
}

}  // namespace vlm
