#pragma once
// An open plain file, read and written straight through to the host.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/packed_time.h"

namespace vlm {

// An open file. Reads and writes go straight to the host in the caller's buffer sizes.
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

    // False (and LastPlatformError) when the file cannot be opened in that mode.
    bool Open(std::string_view path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }

    // Reads up to `capacity` bytes; `got` is what was read (0 at the end). False on an error.
    bool Read(void* buffer, std::size_t capacity, std::size_t& got);
    // Writes all `length` bytes. False on an error (a short write is an error).
    bool Write(const void* data, std::size_t length);
    bool Seek(std::uint64_t offset);
    std::optional<std::uint64_t> Size() const;
    // What the open file is: its permission bits, owner, group and exact last-write time.
    struct Status {
        std::uint32_t permissions = 0;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
        HostTime modified;
        std::uint64_t size = 0;
    };
    std::optional<Status> Stat() const;
    // What the file was when Open looked at it (Open looks anyway, to refuse what is no plain
    // file): the same as Stat() right after Open, without asking the host again.
    const Status& StatusWhenOpened() const { return opened_; }
    // Flushes to the medium (fsync).
    bool Sync();
    // Lets the host forget the file's cached pages (posix_fadvise DONTNEED), so that what is
    // read next comes from the medium. Pages not yet flushed stay: flush first.
    void DropCachedPages();
    // Closes; false when the close reported an error. Safe to call twice.
    bool Close();

private:
    friend class AtomicFileWriter;  // adopts the descriptor of its temporary file
    int fd_ = -1;
    Status opened_;
};

// Reads the whole file `path`; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(std::string_view path);

}  // namespace vlm
