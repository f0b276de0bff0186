#include "platform/host_calls.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#ifdef VELMORA_FAULT_INJECTION
#include <array>
#include <mutex>
#endif

namespace vlm {

#ifdef VELMORA_FAULT_INJECTION
namespace faults {
namespace {

struct Arming {
    int count = 0;      // calls since Reset
    int failFrom = 0;   // 0: not armed; otherwise the count at which failures start
    int failTimes = 0;  // how many fail from there; < 0 for all
    int errnoValue = 0;
};

constexpr std::size_t kKinds = static_cast<std::size_t>(Call::SyncFileSystem) + 1;
std::mutex gMutex;
std::array<Arming, kKinds> gArmings;
struct PendingHook {
    Call kind = Call::Open;
    int at = 0;  // the count at which it runs; 0: none
    std::function<void()> run;
};
PendingHook gHook;

}  // namespace

void Arm(Call kind, int nth, int errnoValue, int times) {
    std::lock_guard lock(gMutex);
    Arming& a = gArmings[static_cast<std::size_t>(kind)];
    a.failFrom = nth > 0 ? a.count + nth : 0;
    a.failTimes = times;
    a.errnoValue = errnoValue;
}

void Hook(Call kind, int nth, std::function<void()> hook) {
    std::lock_guard lock(gMutex);
    gHook = {kind, gArmings[static_cast<std::size_t>(kind)].count + nth, std::move(hook)};
}

void Reset() {
    std::lock_guard lock(gMutex);
    gArmings.fill(Arming{});
    gHook = PendingHook{};
}

int Count(Call kind) {
    std::lock_guard lock(gMutex);
    return gArmings[static_cast<std::size_t>(kind)].count;
}

// Counts one call of `kind`; true (with errno set) when this call is to fail.
static bool ShouldFail(Call kind) {
    std::unique_lock lock(gMutex);
    Arming& a = gArmings[static_cast<std::size_t>(kind)];
    ++a.count;
    if (gHook.at != 0 && gHook.kind == kind && gHook.at == a.count) {
        // Run outside the lock: the hook may make host calls of its own.
        const std::function<void()> hook = std::move(gHook.run);
        gHook = PendingHook{};
        lock.unlock();
        hook();
        lock.lock();
    }
    if (a.failFrom == 0 || a.count < a.failFrom) {
        return false;
    }
    if (a.failTimes >= 0 && a.count >= a.failFrom + a.failTimes) {
        return false;
    }
    errno = a.errnoValue;
    return true;
}

}  // namespace faults

#define VLM_FAULT_POINT(kind, failValue)              \
    do {                                              \
        if (faults::ShouldFail(faults::Call::kind)) { \
            return failValue;                         \
        }                                             \
    } while (0)
#else
#define VLM_FAULT_POINT(kind, failValue) \
    do {                                 \
    } while (0)
#endif

namespace host {

int Open(const char* path, int flags, mode_t mode) {
    VLM_FAULT_POINT(Open, -1);
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t Read(int fd, void* buffer, size_t length) {
    VLM_FAULT_POINT(Read, -1);
    ssize_t got;
    do {
        got = ::read(fd, buffer, length);
    } while (got < 0 && errno == EINTR);
    return got;
}

ssize_t Write(int fd, const void* data, size_t length) {
    VLM_FAULT_POINT(Write, -1);
    ssize_t put;
    do {
        put = ::write(fd, data, length);
    } while (put < 0 && errno == EINTR);
    return put;
}

int Close(int fd) {
#ifdef VELMORA_FAULT_INJECTION
    // A failed close still releases the descriptor, as the kernel's does.
    if (faults::ShouldFail(faults::Call::Close)) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return -1;
    }
#endif
    return ::close(fd);
}

int Sync(int fd) {
    VLM_FAULT_POINT(Sync, -1);
    return ::fsync(fd);
}

int SetLength(int fd, off_t length) {
    VLM_FAULT_POINT(Write, -1);
    return ::ftruncate(fd, length);
}

int SyncFileSystem(int fd) {
    VLM_FAULT_POINT(SyncFileSystem, -1);
    return ::syncfs(fd);
}

void StartWriteback(int fd, off_t offset, off_t length) {
    ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

int Rename(const char* from, const char* to) {
    VLM_FAULT_POINT(Rename, -1);
    return ::rename(from, to);
}

int Unlink(const char* path) {
    VLM_FAULT_POINT(Delete, -1);
    return ::unlink(path);
}

int OpenAt(int dirFd, const char* name, int flags, mode_t mode) {
    VLM_FAULT_POINT(Open, -1);
    int fd;
    do {
        fd = ::openat(dirFd, name, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int UnlinkAt(int dirFd, const char* name, int flags) {
#ifdef VELMORA_FAULT_INJECTION
    if (faults::ShouldFail((flags & AT_REMOVEDIR) != 0 ? faults::Call::RemoveDir
                                                       : faults::Call::Delete)) {
        return -1;
    }
#endif
    return ::unlinkat(dirFd, name, flags);
}

int RenameAt(int fromDir, const char* from, int toDir, const char* to) {
    VLM_FAULT_POINT(Rename, -1);
    return ::renameat(fromDir, from, toDir, to);
}

int MakeDirAt(int dirFd, const char* name, mode_t mode) {
    VLM_FAULT_POINT(MakeDir, -1);
    return ::mkdirat(dirFd, name, mode);
}

int SetTimesAt(int dirFd, const char* name, const struct timespec times[2], int flags) {
    VLM_FAULT_POINT(SetTime, -1);
    return ::utimensat(dirFd, name, times, flags);
}

int SetTimesOf(int fd, const struct timespec times[2]) {
    VLM_FAULT_POINT(SetTime, -1);
    return ::futimens(fd, times);
}

ssize_t CopyRange(int in, int out, size_t length, CopySide& failed) {
    failed = CopySide::Read;
    VLM_FAULT_POINT(Read, -1);
    failed = CopySide::Write;
    VLM_FAULT_POINT(Write, -1);
    ssize_t copied;
    do {
        copied = ::copy_file_range(in, nullptr, out, nullptr, length, 0);
    } while (copied < 0 && errno == EINTR);
    if (copied < 0) {
        switch (errno) {
            case ENOSPC:
            case EDQUOT:
            case EFBIG:
            case EROFS:
                failed = CopySide::Write;
                break;
            default:
                failed = CopySide::Unknown;
                break;
        }
    }
    return copied;
}

int OpenFolderQuietly(int dirFd, const char* name) {
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

DIR* ListFolderQuietly(int folderFd) {
    return ::fdopendir(folderFd);
}

int CloseQuietly(int fd) {
    return ::close(fd);
}

int LookQuietly(int dirFd, const char* name, struct stat* st) {
    return ::fstatat(dirFd, name, st, AT_SYMLINK_NOFOLLOW);
}

long BlocksReadByThisThread() {
    struct rusage usage {};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : 0;
}

DIR* ListFolder(int folderFd) {
    return ::fdopendir(folderFd);
}

struct dirent* ReadDir(DIR* dir) {
    return ::readdir(dir);
}

int CloseDir(DIR* dir) {
    return ::closedir(dir);
}

}  // namespace host
}  // namespace vlm

namespace vlm::host {

FileResult<std::string> ReadWholeHostFile(const HostPath& hostPath) {
    const auto failed = [&hostPath](int code) { return FileError{code, hostPath.Text()}; };
    const int fd = Open(hostPath.Text().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return failed(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close(fd);
        return failed(S_ISDIR(st.st_mode) ? EISDIR : EACCES);
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t got = Read(fd, buffer, sizeof buffer);
        if (got < 0) {
            const int saved = errno;
            Close(fd);
            return failed(saved);
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    if (Close(fd) != 0) {
        return failed(errno);
    }
    return content;
}

FileStatus WriteWholeHostFile(const HostPath& hostPath, const std::string& content) {
    const std::string temporary = hostPath.Text() + ".~new";
    const int fd = Open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return FileError{errno, hostPath.Text()};
    int failure = 0;
    if (Write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        failure = errno != 0 ? errno : ENOSPC;
    if (Sync(fd) != 0 && failure == 0)
        failure = errno;
    if (Close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure == 0 && Rename(temporary.c_str(), hostPath.Text().c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        Unlink(temporary.c_str());
        return FileError{failure, hostPath.Text()};
    }
    return {};
}

}  // namespace vlm::host
