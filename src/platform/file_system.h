#pragma once
// File-system services behind a Windows-like face. Every path is a drive path; a path the
// drive table refuses behaves like a path where nothing exists (and sets ENOENT).
//
// Read-only is the owner-write bit, and the rules Windows enforces are enforced here for every
// caller, root included: a read-only file is not deleted, opened for writing, time-stamped or
// replaced by a rename; a read-only folder is not removed. Nothing here makes an item writable.
//
// Links and special files (FIFO, socket, device) are classified without following them. Only
// the attribute and time queries of a *named* path follow a link, as a source item named by the
// person may be one; a walk never does.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/packed_time.h"

struct stat;

namespace vlm {

// Attribute bits, as the program knows them.
inline constexpr std::uint32_t kAttrReadOnly = 1;
inline constexpr std::uint32_t kAttrHidden = 2;  // a name with a leading dot
inline constexpr std::uint32_t kAttrSystem = 4;  // never set on this platform
inline constexpr std::uint32_t kAttrVolumeId = 8;
inline constexpr std::uint32_t kAttrDirectory = 16;
inline constexpr std::uint32_t kAttrArchive = 32;  // set on every plain file
inline constexpr std::uint32_t kAttrAnyFile = 63;  // the mask that lists everything
inline constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

enum class EntryKind {
    File,       // a plain file
    Directory,  // a real directory (never a link to one)
    Link,       // a symbolic link, whatever it points at
    Special,    // FIFO, socket, character or block device
};

// Permission bits not looked at.
inline constexpr std::uint32_t kPermissionsUnknown = 0xFFFFFFFFu;

struct DirEntry {
    std::string name;  // one component, as HostNameToDriveName shows the host name
    EntryKind kind = EntryKind::File;
    std::uint32_t attributes = 0;  // kAttr* bits; links and special files carry no directory bit
    std::uint64_t size = 0;        // true 64-bit size of a plain file, 0 otherwise
    PackedTime time = 0;           // last-write time, packed
    HostTime modified;             // last-write time, exact
    // The host's permission bits (0 is a file nobody may read or write); kPermissionsUnknown in
    // a NamesAndKinds listing.
    std::uint32_t permissions = kPermissionsUnknown;
};

// An entry that a listing found but cannot give: its attributes could not be read (a folder that
// may be listed but not entered), or its host name already holds a character of the stand-in
// range and so has no drive name of its own. A walk must report it, never pass over it.
struct UnlistedEntry {
    std::string name;  // as a person reads it, on one line
    int error = 0;     // errno of the failed look; 0 for a name without a drive name
};

// How much a listing tells about each entry.
enum class ListDetail {
    // Everything: attributes (read-only included), size and time, one stat per entry.
    Full,
    // Only what the folder itself records: name, kind and the directory and hidden bits (a stat
    // only where the file system does not record the kind). Read-only, size and time stay 0.
    // For walks that compare names and kinds, such as finding what a mirror holds too much.
    NamesAndKinds,
};

// One folder's listing kept compact: every name in one buffer, and per entry only what the
// chosen detail holds (12 bytes for names and kinds, 36 with sizes and times), so that a folder of
// 100,000 files is walked in a few megabytes. Same entries, order and rules as ListDirectory,
// which is made from it.
class FolderListing {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Lists `folder` as ListDirectory does; false (the listing empty) when it cannot be read.
    bool Read(std::string_view folder, std::uint32_t mask, ListDetail detail = ListDetail::Full,
              std::vector<UnlistedEntry>* unlisted = nullptr);

    std::size_t size() const { return slots_.size(); }
    bool empty() const { return slots_.empty(); }
    std::string_view Name(std::size_t i) const {
        return std::string_view(names_).substr(slots_[i].nameStart, slots_[i].nameLength);
    }
    EntryKind Kind(std::size_t i) const { return static_cast<EntryKind>(slots_[i].kind); }
    // The entry at `i` as a DirEntry of its own.
    DirEntry Entry(std::size_t i) const;
    // The index of the entry named exactly `name` (case-sensitive), npos when there is none.
    std::size_t Find(std::string_view name) const;
    // The same for names asked in the listing's own order, as a walk of another listing asks
    // them: the search starts at `from`, which moves past every entry ordered before `name`. A
    // name asked out of order is still found, by a search of the whole listing.
    std::size_t FindFrom(std::string_view name, std::size_t& from) const;

private:
    // Bits not looked at, in a slot's 16 bits (the host's bits take 12).
    static constexpr std::uint16_t kSlotPermissionsUnknown = 0xFFFF;
    struct Slot {
        std::uint32_t nameStart;
        std::uint32_t nameLength;
        std::uint8_t kind;
        std::uint8_t attributes;
        std::uint16_t permissions;
    };
    struct Details {
        std::uint64_t size;
        std::int64_t seconds;
        std::int32_t nanoseconds;
        PackedTime time;
    };
    void Add(std::string_view name, EntryKind kind, std::uint32_t attributes,
             const struct stat* st);
    void Sort();

    std::string names_;
    std::vector<Slot> slots_;
    std::vector<Details> details_;  // parallel to slots_ in a full listing, empty otherwise
};

// FindFirstFile/FindNextFile over the folder `folder`: every entry except "." and "..", sorted
// by name folded to upper case, ties in byte order. `mask` works as the Windows attribute mask:
// plain files are always listed, hidden/system/directory entries only when their bit is in the
// mask (so 63 lists everything and 39 lists no folders). False when the folder cannot be read.
// Entries that cannot be given go to `unlisted` when the caller asks for them; an entry that is
// gone between reading the folder and looking at it is neither listed nor unlisted.
bool ListDirectory(std::string_view folder, std::uint32_t mask, std::vector<DirEntry>& entries,
                   ListDetail detail = ListDetail::Full,
                   std::vector<UnlistedEntry>* unlisted = nullptr);

// The entry named exactly `name` (the host's own, case-sensitive comparison) in a listing made
// by ListDirectory; nullptr when the listing has none.
const DirEntry* FindListedEntry(const std::vector<DirEntry>& entries, std::string_view name);

// The entry at `path` itself, without following a link. nullopt when nothing is there.
std::optional<DirEntry> QueryEntry(std::string_view path);

// GetFileAttributes: the attribute bits of `path`, following a link; kInvalidAttributes when
// nothing is there.
std::uint32_t GetFileAttributes(std::string_view path);

// FileExists (true only for something that is not a directory) and DirectoryExists, following
// links as a named path does.
bool FileExists(std::string_view path);
bool DirectoryExists(std::string_view path);

// The last-write time of `path` (following a link), packed; nullopt when it cannot be read.
std::optional<PackedTime> GetFileTimePacked(std::string_view path);
// The last-write time of `path`, as a local DateTime (for date-time texts).
std::optional<DateTime> GetFileDateTime(std::string_view path);
// The last-write time of `path` (following a link), exact; nullopt when it cannot be read.
std::optional<HostTime> GetFileHostTime(std::string_view path);
// When `path` (following a link) was made, as a local DateTime: the file system's birth time
// where it records one, the last-write time where it does not.
std::optional<DateTime> GetCreationDateTime(std::string_view path);
// Sets the host modification time of `path` from a packed stamp. Refused on a read-only file.
bool SetFileTimePacked(std::string_view path, PackedTime packed);

// DeleteFile: removes a file, a link (the link itself) or a special file; never a directory.
// Refused on a read-only file.
bool DeleteFile(std::string_view path);
// CreateDirectory: one new folder whose parent exists. False when anything exists at `path`.
bool CreateDirectory(std::string_view path);
// RemoveDirectory: an empty, writable folder.
bool RemoveDirectory(std::string_view path);
// The permission bits of `path` (following a link); nullopt when nothing is there.
std::optional<std::uint32_t> GetFilePermissions(std::string_view path);
// Brings the permission bits of the copy `path` (a file or real folder, never a link) to those of
// its original, `original`, kept writable (and, for a folder, enterable) by the owner. A copy
// that is read-only is left as it is: nothing here makes a read-only item writable.
bool UpdatePermissions(std::string_view path, std::uint32_t original);
// Gives the real folder `folder` (never a link) the permission bits of `source` (following a
// link, as a source item may be one), kept writable and enterable by its owner so that the next
// run can work in it, and the owner and group of `source` where this process may set them.
bool CopyFolderPermissions(std::string_view source, std::string_view folder);
// Gives the file or real folder `from` the name `to` that differs from it only in case, on a
// medium that takes both for one name: through a temporary name, as such a medium may take a
// direct rename for nothing to do. False when nothing was renamed.
bool RenameCaseOnly(std::string_view from, std::string_view to);
// Renames `from` over `to` in one step (same drive). Refused when `to` is a read-only file or a
// directory.
bool RenameReplacing(std::string_view from, std::string_view to);

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
    // Closes; false when the close reported an error. Safe to call twice.
    bool Close();

private:
    friend class AtomicFileWriter;  // adopts the descriptor of its temporary file
    int fd_ = -1;
    Status opened_;
};

// When the bytes of a safely written file reach the medium.
enum class Durability {
    // Commit flushes the file before the rename: for the program's own files (projects,
    // settings, history, recent lists), which must survive a power cut the moment they are saved.
    SyncEachFile,
    // Commit only renames: the file is the old one or the complete new one, and the writer of
    // many files flushes them all at once afterwards (SyncFileSystemOf). For a run's copies.
    Deferred,
};

// Writes a whole file safely: the bytes go to a temporary file in the target's folder, which
// replaces the target only when it is complete. Until Commit, the target is untouched; when the
// writer is destroyed without a successful Commit, the temporary file is removed.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file beside `target`. False when it cannot be created, or when
    // `target` is a read-only file or a directory (then TargetRefused() is true).
    bool Begin(std::string_view target, Durability durability = Durability::SyncEachFile);
    // Whether the last Begin failed because of what is at the target (a folder: EISDIR, a
    // read-only file: EACCES) rather than because the temporary file could not be made.
    bool TargetRefused() const { return targetRefused_; }
    // Whether the last Commit failed at giving the file its name: the one step where a medium
    // can refuse the name itself.
    bool RenameFailed() const { return renameFailed_; }
    bool Write(const void* data, std::size_t length);
    // What ended a CopyFrom.
    enum class CopyOutcome { Done, ReadFailed, WriteFailed, Stopped };
    // Told between the pieces of a copy how many bytes are in so far. Returning false stops the
    // copy: the temporary file is removed and the target left as it was.
    using CopyProgress = bool (*)(void* context, std::uint64_t bytesSoFar);
    // Writes the rest of `source` (from its current offset to its end). The kernel copies the
    // bytes itself where it can; otherwise they pass through a buffer. A sparse source copied
    // from its start keeps its holes: only its data is written. On a failure the temporary file
    // is removed and LastPlatformError tells why.
    CopyOutcome CopyFrom(HostFile& source, CopyProgress progress = nullptr,
                         void* context = nullptr);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Gives the temporary file the permission bits of `status` (kept writable by its owner: the
    // read-only bit of an original is not carried to its copy) and, where this process may, its
    // owner and group. Before Commit, so the new file never shows more than it should.
    bool KeepPermissions(const HostFile::Status& status);
    // Flushes (SyncEachFile), optionally stamps the temporary file with `stamp`, closes it and
    // renames it over the target. On failure the target is untouched and the temporary file is
    // gone.
    bool Commit(std::optional<PackedTime> stamp = std::nullopt);
    // The same, giving the file the exact last-write time `modified`.
    bool Commit(HostTime modified);
    // Removes the temporary file and leaves the target as it was.
    void Abort();

    const std::string& TemporaryPath() const { return tempPath_; }

private:
    void StartWriteback();
    // Copies up to `limit` bytes (to the end of `source` when it ends first) from the current
    // offsets of both files.
    CopyOutcome CopyPiece(HostFile& source, std::uint64_t limit, CopyProgress progress,
                          void* context);
    CopyOutcome CopySparse(HostFile& source, std::uint64_t size, CopyProgress progress,
                           void* context);
    bool CommitStamped(const struct timespec* modified);

    std::string target_;
    std::string tempPath_;
    HostFile file_;
    Durability durability_ = Durability::SyncEachFile;
    std::uint64_t written_ = 0;         // bytes written to the temporary file
    std::uint64_t writebackStart_ = 0;  // of those, the ones already sent on to the medium
    bool failed_ = false;
    bool targetRefused_ = false;
    bool renameFailed_ = false;
};

// Flushes to the medium everything written to the file system that holds `path` (a folder or a
// file; syncfs). What Deferred writers leave to their caller. False when the flush failed.
bool SyncFileSystemOf(std::string_view path);

// Writes `content` as the whole file `path` through an AtomicFileWriter.
bool WriteFileAtomically(std::string_view path, std::string_view content);
// Reads the whole file `path`; nullopt when it cannot be read.
std::optional<std::string> ReadWholeFile(std::string_view path);

// True for the names AtomicFileWriter gives its temporary files (".~vlm", twelve lower-case hex
// digits, ".tmp"), so that a run can recognise (and clear away) what a killed process left
// behind. A person's own file that merely starts and ends the same way is not one.
bool IsTemporaryFileName(std::string_view name);

// The folder that fsck keeps at the root of a file system for what it salvages: nothing in it is
// a person's file, and a freshly made file system holds it, empty.
inline constexpr std::string_view kLostAndFound = "lost+found";
// True when the drive path `path` is such a folder or lies in one.
bool InLostAndFound(std::string_view path);

}  // namespace vlm
