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

namespace vlm {

using namespace file_system_support;

namespace {

// A deferred file sends its bytes on to the medium in pieces of this size while it is written.
constexpr std::uint64_t kWritebackChunk = 8u << 20;

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
    Abort();
}

FileError AtomicFileWriter::GiveUp(FileError error) {
    failed_ = true;
    Abort();
    if (error.code == 0) {
        error.code = EIO;
    }
    return error;
}

FileStatus AtomicFileWriter::Begin(const DrivePath& target, Durability durability) {
    Abort();
    failed_ = false;
    durability_ = durability;
    targetRefused_ = false;
    renameFailed_ = false;
    written_ = 0;
    writebackStart_ = 0;
    targetName_ = target.Text();
    FileResult<HostPlace> host = PlaceOf(target);
    if (!host) {
        return host.Error();
    }
    if (const int refusal = ReplaceRefusalFor(*host)) {
        targetRefused_ = true;
        return Error(refusal);
    }
    const HostPath folder = host->Host().Parent();
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = TemporaryName();
        HostPath candidate = folder / name;
        // 0666 so the umask, not this program, decides who may read the new file.
        const int fd = host::OpenAt(host->Folder(), host->Beside(name).c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            targetDrive_ = target;
            target_ = host->Host();
            // Where the medium may keep a rename without the data before it, a copy left to
            // one flush at the end could outlive a power cut as its size and time without its
            // bytes, in the place of the good old copy, and the next run would take it for a good
            // copy: it is flushed before its rename instead.
            if (durability_ == Durability::Deferred && !KeepsWriteOrderAt(target_))
                durability_ = Durability::SyncEachFile;
            tempName_ = std::move(name);
            tempPath_ = std::move(candidate);
            file_.fd_ = fd;
            file_.path_ = targetName_;
            return {};
        }
        if (errno != EEXIST) {
            return Error(errno);
        }
    }
    return Error(EEXIST);
}

FileStatus AtomicFileWriter::Write(const void* data, std::size_t length) {
    if (failed_ || !file_.IsOpen()) {
        return Error(failed_ ? EIO : EBADF);
    }
    if (FileStatus written = file_.Write(data, length); !written) {
        return GiveUp(written.Error());
    }
    written_ += length;
    if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
        StartWriteback();
    }
    return {};
}

// A deferred file is flushed later with everything else the caller wrote. Sending the bytes of a
// large file on their way while it is still being copied keeps that one flush from having to
// write a whole big file at the end; small files are left to the flush.
void AtomicFileWriter::StartWriteback() {
    host::StartWriteback(file_.fd_, static_cast<off_t>(writebackStart_),
                         static_cast<off_t>(written_ - writebackStart_));
    writebackStart_ = written_;
}

AtomicFileWriter::CopyResult AtomicFileWriter::CopyFrom(HostFile& source, CopyProgress progress,
                                                        void* context) {
    if (failed_ || !file_.IsOpen() || !source.IsOpen()) {
        return {CopyOutcome::WriteFailed, Error(failed_ ? EIO : EBADF)};
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

AtomicFileWriter::CopyResult AtomicFileWriter::CopySparse(HostFile& source, std::uint64_t size,
                                                          CopyProgress progress, void* context) {
    const auto giveUp = [this, &source](int code) {
        return CopyResult{CopyOutcome::ReadFailed, GiveUp(source.Error(code))};
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
        CopyResult piece =
            CopyPiece(source, static_cast<std::uint64_t>(hole - data), progress, context);
        if (piece.outcome != CopyOutcome::Done) {
            return piece;
        }
        at = hole;
    }
    // The holes up to the end, and the length the file had when it was opened.
    if (host::SetLength(file_.fd_, static_cast<off_t>(size)) != 0) {
        return {CopyOutcome::WriteFailed, GiveUp(Error(errno))};
    }
    written_ = size;
    return {};
}

AtomicFileWriter::CopyResult AtomicFileWriter::CopyPiece(HostFile& source, std::uint64_t limit,
                                                         CopyProgress progress, void* context) {
    std::uint64_t left = limit;
    // The kernel copies without the bytes passing through this process. Pieces of the writeback
    // size, so that a large file is sent on to the medium while it is copied.
    while (left > 0) {
        host::CopySide side = host::CopySide::Unknown;
        const ssize_t copied = host::CopyRange(
            source.fd_, file_.fd_, static_cast<std::size_t>(std::min(kWritebackChunk, left)), side);
        if (copied == 0) {
            return {};
        }
        if (copied < 0) {
            if (side == host::CopySide::Unknown) {
                break;  // the buffer below goes on from where the kernel stopped
            }
            if (side == host::CopySide::Read) {
                return {CopyOutcome::ReadFailed, GiveUp(source.Error(errno))};
            }
            return {CopyOutcome::WriteFailed, GiveUp(Error(errno))};
        }
        written_ += static_cast<std::uint64_t>(copied);
        left -= static_cast<std::uint64_t>(copied);
        if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
            StartWriteback();
        }
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return {CopyOutcome::Stopped, {}};
        }
    }
    constexpr std::size_t kBufferSize = 524288;
    std::unique_ptr<char[]> buffer;
    while (left > 0) {
        if (!buffer) {
            buffer.reset(new char[kBufferSize]);
        }
        std::size_t got = 0;
        FileStatus read =
            source.Read(buffer.get(),
                        static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, left)), got);
        if (!read) {
            return {CopyOutcome::ReadFailed, GiveUp(read.Error())};
        }
        if (got == 0) {
            return {};
        }
        if (FileStatus written = Write(buffer.get(), got); !written) {
            // Write has removed the temporary file
            return {CopyOutcome::WriteFailed, written.Error()};
        }
        left -= got;
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return {CopyOutcome::Stopped, {}};
        }
    }
    return {};
}

FileStatus AtomicFileWriter::KeepPermissions(const HostFile::Status& status) {
    if (failed_ || !file_.IsOpen()) {
        return Error(failed_ ? EIO : EBADF);
    }
    // A medium without permission bits and owners (exFAT, FAT) has nothing to keep, and a copy
    // of a file from one has nothing to take: it gets a new file's bits.
    if (!KeepsPermissionsAt(target_) || !status.permissionsKept) {
        return {};
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
        return {};
    }
    if (::fchmod(file_.fd_, wanted) != 0) {
        return Error(errno);
    }
    return {};
}

FileStatus AtomicFileWriter::Commit(std::optional<PackedTime> stamp) {
    if (!stamp) {
        return CommitStamped(nullptr);
    }
    struct timespec modified {};
    modified.tv_sec = UnpackToHostTime(*stamp);
    return CommitStamped(&modified);
}

FileStatus AtomicFileWriter::Commit(HostTime modified) {
    struct timespec exact {};
    exact.tv_sec = static_cast<time_t>(modified.seconds);
    exact.tv_nsec = modified.nanoseconds;
    return CommitStamped(&exact);
}

FileStatus AtomicFileWriter::CommitStamped(const struct timespec* modified) {
    if (failed_ || !file_.IsOpen()) {
        const int code = failed_ ? EIO : EBADF;
        Abort();
        return Error(code);
    }
    // A medium that keeps the years 1980 to 2107 only is given a time it can hold in every time
    // zone: what it makes of another one (exfat-fuse clamps, fusefat wraps 1970 round to 2098)
    // would differ from the original at every run.
    struct timespec clamped {};
    if (modified != nullptr && KeepsFatYearsOnlyAt(target_)) {
        const HostTime kept =
            ClampToFatYears({modified->tv_sec, static_cast<std::int32_t>(modified->tv_nsec)});
        clamped.tv_sec = static_cast<time_t>(kept.seconds);
        clamped.tv_nsec = kept.nanoseconds;
        modified = &clamped;
    }
    // The time is set on the open file, which saves a lookup of its path; nothing written
    // after it could move it, and with SyncEachFile the flush below carries it too.
    if (modified != nullptr) {
        // Both times given: a medium asked to keep one of them may store "now" in the other
        // (exfat-fuse does), and the next run would copy the file again.
        const struct timespec times[2] = {*modified, *modified};
        if (host::SetTimesOf(file_.fd_, times) != 0) {
            return GiveUp(Error(errno));
        }
    }
    if (durability_ == Durability::SyncEachFile) {
        if (FileStatus synced = file_.Sync(); !synced) {
            return GiveUp(synced.Error());
        }
    }
    if (durability_ == Durability::Deferred && writebackStart_ > 0 && written_ > writebackStart_) {
        StartWriteback();
    }
    if (FileStatus closed = file_.Close(); !closed) {
        return GiveUp(closed.Error());
    }
    const std::optional<Places> places = PlacesNow();
    if (!places) {
        return GiveUp(Error(errno != 0 ? errno : EIO));
    }
    // The target may have turned read-only or become a folder since Begin.
    if (const int refusal = ReplaceRefusalFor(places->target)) {
        return GiveUp(Error(refusal));
    }
    if (host::RenameAt(places->target.Folder(), places->temporary.c_str(), places->target.Folder(),
                       places->target.Name()) != 0) {
        renameFailed_ = true;
        return GiveUp(Error(errno));
    }
    // A FAT medium through FUSE writes its directory entry, time and all, when the file is
    // closed: the time the copy must carry is given again to the closed file.
    if (modified != nullptr && SetsTimesAfterCloseAt(target_)) {
        const struct timespec times[2] = {*modified, *modified};
        (void)host::SetTimesAt(places->target.Folder(), places->target.Name(), times,
                               places->target.AtNoFollow());
    }
    tempName_.clear();
    tempPath_ = HostPath();
    target_ = HostPath();
    return {};
}

std::optional<AtomicFileWriter::Places> AtomicFileWriter::PlacesNow() const {
    FileResult<HostPlace> place = PlaceOf(targetDrive_);
    if (!place) {
        errno = place.Error().code;
        return std::nullopt;
    }
    std::string temporary = place->Beside(tempName_);
    return Places{std::move(*place), std::move(temporary)};
}

void AtomicFileWriter::Abort() {
    file_.Close();
    if (!tempName_.empty()) {
        if (const std::optional<Places> places = PlacesNow()) {
            host::UnlinkAt(places->target.Folder(), places->temporary.c_str(), 0);
        }
        tempName_.clear();
        tempPath_ = HostPath();
    }
    target_ = HostPath();
}

FileStatus SyncFileSystemOf(const DrivePath& path) {
    const FileResult<HostPlace> host = PlaceOf(path);
    if (!host) {
        return host.Error();
    }
    // Non-blocking only so a FIFO at `path` cannot hang the open.
    const int fd = host::OpenAt(host->Folder(), host->Name(),
                                O_RDONLY | O_CLOEXEC | O_NONBLOCK | host->NoFollow());
    if (fd < 0) {
        return ErrnoError(path);
    }
    bool synced = host::SyncFileSystem(fd) == 0;
    int reason = errno;
    // The kernel does not hand syncfs on to a file system in a process of its own (FUSE: exFAT,
    // NTFS, FAT sticks as often mounted): a flush of the folder reaches it, and such media flush
    // all they hold on it.
    if (synced && !KeepsWriteOrderAt(host->Host()) && host::Sync(fd) != 0 && errno != EINVAL &&
        errno != EROFS) {
        synced = false;
        reason = errno;
    }
    host::Close(fd);
    return synced ? FileStatus() : FileStatus(Error(reason, path));
}

FileStatus WriteFileAtomically(const DrivePath& path, std::string_view content) {
    AtomicFileWriter writer;
    FileStatus status = writer.Begin(path);
    if (status) {
        status = writer.Write(content);
    }
    return status ? writer.Commit() : status;
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
