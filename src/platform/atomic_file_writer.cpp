#include "platform/atomic_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/medium.h"
#include "platform/platform_error.h"

namespace vlm {

using namespace file_system_support;

namespace {

// A deferred file sends its bytes on to the medium in pieces of this size while it is written.
constexpr std::uint64_t kWritebackChunk = 8u << 20;

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
    const PlatformError saved = LastPlatformError();
    Abort();
    SetLastPlatformError(saved.code);
}

bool AtomicFileWriter::Begin(std::string_view target, Durability durability) {
    Abort();
    failed_ = false;
    durability_ = durability;
    targetRefused_ = false;
    renameFailed_ = false;
    written_ = 0;
    writebackStart_ = 0;
    std::optional<std::string> host = HostOf(target);
    if (!host) {
        return false;
    }
    if (const int refusal = ReplaceRefusalFor(*host)) {
        targetRefused_ = true;
        return Fail(refusal);
    }
    const std::string folder = ParentFolder(*host);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = (folder == "/" ? std::string() : folder) + "/" +
                                std::string(kTempPrefix) + RandomSuffix() +
                                std::string(kTempSuffix);
        // 0666 so the umask, not this program, decides who may read the new file.
        const int fd = host::Open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            target_ = *host;
            tempPath_ = std::move(candidate);
            file_.fd_ = fd;
            return Succeed();
        }
        if (errno != EEXIST) {
            return FailWithErrno();
        }
    }
    return Fail(EEXIST);
}

bool AtomicFileWriter::Write(const void* data, std::size_t length) {
    if (failed_ || !file_.IsOpen()) {
        return Fail(failed_ ? EIO : EBADF);
    }
    if (!file_.Write(data, length)) {
        failed_ = true;
        const int code = LastPlatformError().code;
        Abort();
        return Fail(code);
    }
    written_ += length;
    if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
        StartWriteback();
    }
    return true;
}

// A deferred file is flushed later with everything else the caller wrote. Sending the bytes of a
// large file on their way while it is still being copied keeps that one flush from having to
// write a whole big file at the end; small files are left to the flush.
void AtomicFileWriter::StartWriteback() {
    host::StartWriteback(file_.fd_, static_cast<off_t>(writebackStart_),
                         static_cast<off_t>(written_ - writebackStart_));
    writebackStart_ = written_;
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopyFrom(HostFile& source, CopyProgress progress,
                                                         void* context) {
    if (failed_ || !file_.IsOpen() || !source.IsOpen()) {
        Fail(failed_ ? EIO : EBADF);
        return CopyOutcome::WriteFailed;
    }
    // A disk image or a database file may be mostly holes: its copy keeps them, instead of
    // writing every zero of them to the backup. Small files are never worth the look.
    constexpr std::uint64_t kSparseLookFrom = 1u << 20;
    const std::uint64_t size = source.opened_.size;
    if (size >= kSparseLookFrom && ::lseek(source.fd_, 0, SEEK_CUR) == 0) {
        const off_t firstHole = ::lseek(source.fd_, 0, SEEK_HOLE);
        ::lseek(source.fd_, 0, SEEK_SET);
        if (firstHole >= 0 && static_cast<std::uint64_t>(firstHole) < size) {
            return CopySparse(source, size, progress, context);
        }
    }
    return CopyPiece(source, UINT64_MAX, progress, context);
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopySparse(HostFile& source, std::uint64_t size,
                                                           CopyProgress progress, void* context) {
    const auto giveUp = [this](int code) {
        failed_ = true;
        Abort();
        Fail(code);
        return CopyOutcome::ReadFailed;
    };
    off_t at = 0;
    while (static_cast<std::uint64_t>(at) < size) {
        const off_t data = ::lseek(source.fd_, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break;  // nothing but a hole up to the end
            }
            return giveUp(errno);
        }
        const off_t hole = ::lseek(source.fd_, data, SEEK_HOLE);
        if (hole < 0 || ::lseek(source.fd_, data, SEEK_SET) < 0 ||
            ::lseek(file_.fd_, data, SEEK_SET) < 0) {
            return giveUp(errno);
        }
        written_ = static_cast<std::uint64_t>(data);
        const CopyOutcome piece =
            CopyPiece(source, static_cast<std::uint64_t>(hole - data), progress, context);
        if (piece != CopyOutcome::Done) {
            return piece;
        }
        at = hole;
    }
    // The holes up to the end, and the length the file had when it was opened.
    if (host::SetLength(file_.fd_, static_cast<off_t>(size)) != 0) {
        const int code = errno != 0 ? errno : EIO;
        failed_ = true;
        Abort();
        Fail(code);
        return CopyOutcome::WriteFailed;
    }
    written_ = size;
    return CopyOutcome::Done;
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopyPiece(HostFile& source, std::uint64_t limit,
                                                          CopyProgress progress, void* context) {
    const auto giveUp = [this](CopyOutcome outcome) {
        const int code = LastPlatformError().code != 0 ? LastPlatformError().code : EIO;
        failed_ = true;
        Abort();
        Fail(code);
        return outcome;
    };
    std::uint64_t left = limit;
    // The kernel copies without the bytes passing through this process. Pieces of the writeback
    // size, so that a large file is sent on to the medium while it is copied.
    while (left > 0) {
        host::CopySide side = host::CopySide::Unknown;
        const ssize_t copied = host::CopyRange(
            source.fd_, file_.fd_, static_cast<std::size_t>(std::min(kWritebackChunk, left)), side);
        if (copied == 0) {
            return CopyOutcome::Done;
        }
        if (copied < 0) {
            if (side == host::CopySide::Unknown) {
                break;  // the buffer below goes on from where the kernel stopped
            }
            SetLastPlatformError(errno != 0 ? errno : EIO);
            return giveUp(side == host::CopySide::Read ? CopyOutcome::ReadFailed
                                                       : CopyOutcome::WriteFailed);
        }
        written_ += static_cast<std::uint64_t>(copied);
        left -= static_cast<std::uint64_t>(copied);
        if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
            StartWriteback();
        }
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return CopyOutcome::Stopped;
        }
    }
    constexpr std::size_t kBufferSize = 524288;
    std::unique_ptr<char[]> buffer;
    while (left > 0) {
        if (!buffer) {
            buffer.reset(new char[kBufferSize]);
        }
        std::size_t got = 0;
        if (!source.Read(buffer.get(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, left)),
                         got)) {
            return giveUp(CopyOutcome::ReadFailed);
        }
        if (got == 0) {
            return CopyOutcome::Done;
        }
        if (!Write(buffer.get(), got)) {
            return CopyOutcome::WriteFailed;  // Write has removed the temporary file
        }
        left -= got;
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return CopyOutcome::Stopped;
        }
    }
    return CopyOutcome::Done;
}

bool AtomicFileWriter::KeepPermissions(const HostFile::Status& status) {
    if (failed_ || !file_.IsOpen()) {
        return Fail(failed_ ? EIO : EBADF);
    }
    // A medium without permission bits and owners (exFAT, FAT) has nothing to keep.
    if (!KeepsPermissionsAt(tempPath_)) {
        return Succeed();
    }
    struct stat st {};
    const bool known = ::fstat(file_.fd_, &st) == 0;
    if (known && (st.st_uid != status.owner || st.st_gid != status.group)) {
        (void)::fchown(file_.fd_, status.owner, status.group);  // only where permitted
    }
    // A new file usually has the wanted bits already (0644 from 0666 and the common umask). A
    // change of owner may have cleared set-id bits, so only an unchanged owner skips the call.
    const mode_t wanted = CopyMode(status.permissions, false);
    if (known && st.st_uid == status.owner && st.st_gid == status.group &&
        (st.st_mode & 07777) == wanted) {
        return Succeed();
    }
    if (::fchmod(file_.fd_, wanted) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool AtomicFileWriter::Commit(std::optional<PackedTime> stamp) {
    if (!stamp) {
        return CommitStamped(nullptr);
    }
    struct timespec modified {};
    modified.tv_sec = UnpackToHostTime(*stamp);
    return CommitStamped(&modified);
}

bool AtomicFileWriter::Commit(HostTime modified) {
    struct timespec exact {};
    exact.tv_sec = static_cast<time_t>(modified.seconds);
    exact.tv_nsec = modified.nanoseconds;
    return CommitStamped(&exact);
}

bool AtomicFileWriter::CommitStamped(const struct timespec* modified) {
    if (failed_ || !file_.IsOpen()) {
        Abort();
        return Fail(failed_ ? EIO : EBADF);
    }
    const auto giveUp = [this]() {
        const int code = LastPlatformError().code != 0 ? LastPlatformError().code : EIO;
        failed_ = true;
        Abort();
        return Fail(code);
    };
    // The time is set on the open file, which saves a lookup of its path; nothing written
    // after it could move it, and with SyncEachFile the flush below carries it too.
    if (modified != nullptr) {
        // Both times given: a medium asked to keep one of them may store "now" in the other
        // (exfat-fuse does), and the next run would copy the file again.
        const struct timespec times[2] = {*modified, *modified};
        if (host::SetTimesOf(file_.fd_, times) != 0) {
            SetLastPlatformError(errno);
            return giveUp();
        }
    }
    if (durability_ == Durability::SyncEachFile && !file_.Sync()) {
        return giveUp();
    }
    if (durability_ == Durability::Deferred && writebackStart_ > 0 && written_ > writebackStart_) {
        StartWriteback();
    }
    if (!file_.Close()) {
        return giveUp();
    }
    // The target may have turned read-only or become a folder since Begin.
    if (const int refusal = ReplaceRefusalFor(target_)) {
        SetLastPlatformError(refusal);
        return giveUp();
    }
    if (host::Rename(tempPath_.c_str(), target_.c_str()) != 0) {
        SetLastPlatformError(errno);
        renameFailed_ = true;
        return giveUp();
    }
    // A FAT medium through FUSE writes its directory entry, time and all, when the file is
    // closed: the time the copy must carry is given again to the closed file.
    if (modified != nullptr && SetsTimesAfterCloseAt(target_)) {
        const struct timespec times[2] = {*modified, *modified};
        (void)host::SetTimes(target_.c_str(), times, 0);
    }
    tempPath_.clear();
    target_.clear();
    return Succeed();
}

void AtomicFileWriter::Abort() {
    file_.Close();
    if (!tempPath_.empty()) {
        host::Unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    target_.clear();
}

bool SyncFileSystemOf(std::string_view path) {
    std::optional<std::string> host = HostOf(path);
    if (!host) {
        return false;
    }
    // Non-blocking only so a FIFO at `path` cannot hang the open.
    const int fd = host::Open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return FailWithErrno();
    }
    const bool synced = host::SyncFileSystem(fd) == 0;
    const int reason = errno;
    host::Close(fd);
    return synced ? Succeed() : Fail(reason != 0 ? reason : EIO);
}

bool WriteFileAtomically(std::string_view path, std::string_view content) {
    AtomicFileWriter writer;
    return writer.Begin(path) && writer.Write(content) && writer.Commit();
}
bool IsTemporaryFileName(std::string_view name) {
    constexpr std::size_t kDigits = 12;  // as RandomSuffix makes them
    if (name.size() != kTempPrefix.size() + kDigits + kTempSuffix.size() ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
        return false;
    }
    const std::string_view digits = name.substr(kTempPrefix.size(), kDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace vlm
