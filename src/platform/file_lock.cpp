#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>

#include "platform/host_calls.h"
#include "platform/path_translation.h"

namespace vlm {

namespace {

// The byte that stands for `key`: a 64-bit FNV-1a hash, kept below the largest file offset.
// Two keys that meet at one byte only make a dead run's row wait for the other run's end.
off_t KeyOffset(std::string_view key) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : key) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return static_cast<off_t>(hash >> 2);
}

// Open-file-description locks: a lock belongs to its descriptor, so closing another descriptor of
// the file in this process does not touch it.
struct flock KeyRange(std::string_view key, short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = KeyOffset(key);
    range.l_len = 1;
    return range;
}

}  // namespace

DrivePath FileLock::LockFilePath(const DrivePath& path) {
    return path.WithSuffix(".lock");
}

FileLock::FileLock(const DrivePath& path) {
    const std::optional<HostPath> host = ToHostPath(LockFilePath(path));
    if (!host)
        return;
    fd_ = host::Open(host->Text().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return;
    int result = 0;
    do {
        result = ::flock(fd_, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        host::Close(fd_);
        fd_ = -1;
    }
}

FileLock::~FileLock() {
    if (fd_ >= 0)
        host::Close(fd_);  // closing the last descriptor releases the lock
}

}  // namespace vlm

namespace vlm {

DrivePath KeyLock::MarkFilePath(const DrivePath& path) {
    return path.WithSuffix(".running");
}

// The mark's descriptors are opened directly: they are no part of the history's own reads and
// writes, whose host calls tests count and fail on purpose.
bool KeyLock::Hold(const DrivePath& path, std::string_view key) {
    Release();
    const std::optional<HostPath> host = ToHostPath(KeyLock::MarkFilePath(path));
    if (!host)
        return false;
    fd_ = ::open(host->Text().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    struct flock range = KeyRange(key, F_WRLCK);
    if (::fcntl(fd_, F_OFD_SETLK, &range) != 0) {
        Release();
        return false;
    }
    return true;
}

void KeyLock::Release() {
    if (fd_ >= 0) {
        ::close(fd_);  // the descriptor's locks go with it
        fd_ = -1;
    }
}

bool KeyLock::IsHeld(const DrivePath& path, std::string_view key) {
    const std::optional<HostPath> host = ToHostPath(KeyLock::MarkFilePath(path));
    if (!host)
        return false;
    const int fd = ::open(host->Text().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Asking needs no write lock of one's own: a read lock is tested against the holder's.
    struct flock range = KeyRange(key, F_RDLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace vlm
