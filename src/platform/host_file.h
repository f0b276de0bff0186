#pragma once
// An open plain file, read and written straight through to the host.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_result.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

namespace vlm {

// An open file. Reads and writes go straight to the host in the caller's buffer sizes. Every
// failure names the drive path the file was opened by.
class HostFile {
public:
    enum class Mode {
        Read,      // existing file, read-only
        Truncate,  // create or truncate, write-only; refused on a read-only file
        Append,    // create when missing, write at the end; refused on a read-only file
    };

    HostFile() = default;
    ~HostFile();
    HostFile(HostFile&& other) noexcept;
    HostFile& operator=(HostFile&& other) noexcept;
    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // The error when the file cannot be opened in that mode.
    FileStatus Open(const DrivePath& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to `capacity` bytes; `got` is what was read (0 at the end).
    FileStatus Read(void* buffer, std::size_t capacity, std::size_t& got);
    // Writes all `length` bytes (a short write is an error).
    FileStatus Write(const void* data, std::size_t length);
    FileStatus Seek(std::uint64_t offset);
    FileResult<std::uint64_t> Size() const;
    // What the open file is: its permission bits, owner, group and exact last-write time.
    struct Status {
        std::uint32_t permissions = 0;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
        HostTime modified;
        std::uint64_t size = 0;
        // False when the file's medium has no bits or owners of its own (exFAT, FAT, NTFS
        // through FUSE): what it shows is its mount's mask, nothing to give a copy.
        bool permissionsKept = true;
    };
    FileResult<Status> Stat() const;
    // What the file was when Open looked at it (Open looks anyway, to refuse what is no plain
    // file): the same as Stat() right after Open, without asking the host again.
    const Status& StatusWhenOpened() const { return opened_; }
    // Flushes to the medium (fsync).
    FileStatus Sync();
    // Lets the host forget the file's cached pages (posix_fadvise DONTNEED), so that what is
    // read next comes from the medium. Pages not yet flushed stay: flush first.
    void DropCachedPages();
    // Closes; the error when the close reported one. Safe to call twice.
    FileStatus Close();

private:
    friend class AtomicFileWriter;  // adopts the descriptor of its temporary file
    // The error `code` about this file.
    FileError Error(int code) const { return FileError{code, path_}; }
    FileError ErrnoError() const;

    int fd_ = -1;
    std::string path_;  // the drive path it was opened by, for its errors
    Status opened_;
};

// Reads the whole file `path`; the error when it cannot be read.
FileResult<std::string> ReadWholeFile(const DrivePath& path);

}  // namespace vlm
