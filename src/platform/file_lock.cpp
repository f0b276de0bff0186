#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <optional>

#include "platform/host_calls.h"
#include "platform/path_translation.h"

namespace vlm {

std::string FileLock::LockFilePath(std::string_view path) {
    return std::string(path) + ".lock";
}

FileLock::FileLock(std::string_view path) {
    const std::optional<std::string> host = ToHostPath(LockFilePath(path));
    if (!host)
        return;
    fd_ = host::Open(host->c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
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
