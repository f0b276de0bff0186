#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/platform_error.h"

namespace vlm {

using namespace file_system_support;

HostFile::~HostFile() {
    // A file closed on the way out of a failed call must not hide the reason of that failure.
    if (fd_ >= 0) {
        const int reason = LastPlatformError().code;
        Close();
        SetLastPlatformError(reason);
    }
}

HostFile::HostFile(HostFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool HostFile::Open(std::string_view path, Mode mode) {
    Close();
    std::optional<std::string> host = HostOf(path);
    if (!host) {
        return false;
    }
    int flags = O_CLOEXEC | O_NONBLOCK;  // non-blocking only so a FIFO cannot hang the open
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::Truncate:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case Mode::Append:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    if (mode != Mode::Read) {
        if (const int refusal = WriteRefusalFor(*host)) {
            return Fail(refusal);
        }
    }
    const int fd = host::Open(host->c_str(), flags, 0666);
    if (fd < 0) {
        return FailWithErrno();
    }
    // Only plain files are opened: a folder, FIFO or device is never read or written as one.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int refusal = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        host::Close(fd);
        return Fail(refusal);
    }
    // The status flags are the ones just opened with: no need to ask for them first.
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    opened_ = StatusOf(st);
    return Succeed();
}

bool HostFile::Read(void* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    const ssize_t n = host::Read(fd_, buffer, capacity);
    if (n < 0) {
        return FailWithErrno();
    }
    got = static_cast<std::size_t>(n);
    return Succeed();
}

bool HostFile::Write(const void* data, std::size_t length) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = host::Write(fd_, bytes, length);
        if (n < 0) {
            return FailWithErrno();
        }
        if (n == 0) {
            return Fail(ENOSPC);
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return Succeed();
}

bool HostFile::Seek(std::uint64_t offset) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return FailWithErrno();
    }
    return Succeed();
}

std::optional<std::uint64_t> HostFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        SetLastPlatformError(fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<HostFile::Status> HostFile::Stat() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        SetLastPlatformError(fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return StatusOf(st);
}

void HostFile::DropCachedPages() {
    // Advice only: a host that ignores it still reads the right bytes, from its cache.
    if (fd_ >= 0) {
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    }
}

bool HostFile::Sync() {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    if (host::Sync(fd_) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool HostFile::Close() {
    if (fd_ < 0) {
        return true;
    }
    const int fd = fd_;
    fd_ = -1;
    if (host::Close(fd) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}
std::optional<std::string> ReadWholeFile(std::string_view path) {
    HostFile file;
    if (!file.Open(path, HostFile::Mode::Read)) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(buffer, sizeof buffer, got)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, got);
    }
    if (!file.Close()) {
        return std::nullopt;
    }
    return content;
}

}  // namespace vlm
