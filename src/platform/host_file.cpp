#include "platform/host_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/medium.h"

namespace vlm {

using namespace file_system_support;

HostFile::~HostFile() {
    Close();
}

HostFile::HostFile(HostFile&& other) noexcept
    : fd_(other.fd_), path_(std::move(other.path_)), opened_(other.opened_) {
    other.fd_ = -1;
}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        opened_ = other.opened_;
        other.fd_ = -1;
    }
    return *this;
}

FileError HostFile::ErrnoError() const {
    return Error(errno != 0 ? errno : EIO);
}

FileStatus HostFile::Open(const DrivePath& path, Mode mode) {
    Close();
    path_ = path.Text();
    const FileResult<HostPlace> host = PlaceOf(path);
    if (!host) {
        return host.Error();
    }
    // Non-blocking only so a FIFO cannot hang the open; below a walk's top a link is refused.
    int flags = O_CLOEXEC | O_NONBLOCK | host->NoFollow();
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
            return Error(refusal);
        }
    }
    const int fd = host::OpenAt(host->Folder(), host->Name(), flags, 0666);
    if (fd < 0) {
        return ErrnoError();
    }
    // Only plain files are opened: a folder, FIFO or device is never read or written as one.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int refusal = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        host::Close(fd);
        return Error(refusal);
    }
    // The status flags are the ones just opened with: no need to ask for them first.
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    opened_ = StatusOf(st);
    opened_.permissionsKept = KeepsPermissionsAt(host->Host());
    return {};
}

FileStatus HostFile::Read(void* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (fd_ < 0) {
        return Error(EBADF);
    }
    const ssize_t n = host::Read(fd_, buffer, capacity);
    if (n < 0) {
        return ErrnoError();
    }
    got = static_cast<std::size_t>(n);
    return {};
}

FileStatus HostFile::Write(const void* data, std::size_t length) {
    if (fd_ < 0) {
        return Error(EBADF);
    }
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = host::Write(fd_, bytes, length);
        if (n < 0) {
            return ErrnoError();
        }
        if (n == 0) {
            return Error(ENOSPC);
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return {};
}

FileStatus HostFile::Seek(std::uint64_t offset) {
    if (fd_ < 0) {
        return Error(EBADF);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return ErrnoError();
    }
    return {};
}

FileResult<std::uint64_t> HostFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        return fd_ < 0 ? Error(EBADF) : ErrnoError();
    }
    return static_cast<std::uint64_t>(st.st_size);
}

FileResult<HostFile::Status> HostFile::Stat() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        return fd_ < 0 ? Error(EBADF) : ErrnoError();
    }
    return StatusOf(st);
}

void HostFile::DropCachedPages() {
    // Advice only: a host that ignores it still reads the right bytes, from its cache.
    if (fd_ >= 0) {
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_DONTNEED);
    }
}

FileStatus HostFile::Sync() {
    if (fd_ < 0) {
        return Error(EBADF);
    }
    if (host::Sync(fd_) != 0) {
        return ErrnoError();
    }
    return {};
}

FileStatus HostFile::Close() {
    if (fd_ < 0) {
        return {};
    }
    const int fd = fd_;
    fd_ = -1;
    if (host::Close(fd) != 0) {
        return ErrnoError();
    }
    return {};
}
FileResult<std::string> ReadWholeFile(const DrivePath& path) {
    HostFile file;
    if (FileStatus opened = file.Open(path, HostFile::Mode::Read); !opened) {
        return opened;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (FileStatus read = file.Read(buffer, sizeof buffer, got); !read) {
            return read;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, got);
    }
    if (FileStatus closed = file.Close(); !closed) {
        return closed;
    }
    return content;
}

}  // namespace vlm
