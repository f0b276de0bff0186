#pragma once
// Writing a whole file safely: to a temporary file beside it, renamed over it when complete.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_result.h"
#include "platform/host_file.h"
#include "platform/host_place.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

namespace vlm {

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
// writer is destroyed without a successful Commit, the temporary file is removed. Its failures
// name the target's drive path.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file beside `target`. The error when it cannot be created, or when
    // `target` is a read-only file or a directory (then TargetRefused() is true).
    FileStatus Begin(const DrivePath& target, Durability durability = Durability::SyncEachFile);
    // Whether the last Begin failed because of what is at the target (a folder: EISDIR, a
    // read-only file: EACCES) rather than because the temporary file could not be made.
    bool TargetRefused() const { return targetRefused_; }
    // Whether the last Commit failed at giving the file its name: the one step where a medium
    // can refuse the name itself.
    bool RenameFailed() const { return renameFailed_; }
    FileStatus Write(const void* data, std::size_t length);
    // What ended a CopyFrom, and the error of a failed one (naming the source for ReadFailed).
    enum class CopyOutcome { Done, ReadFailed, WriteFailed, Stopped };
    struct CopyResult {
        CopyOutcome outcome = CopyOutcome::Done;
        FileError error;
    };
    // Told between the pieces of a copy how many bytes are in so far. Returning false stops the
    // copy: the temporary file is removed and the target left as it was.
    using CopyProgress = bool (*)(void* context, std::uint64_t bytesSoFar);
    // Writes the rest of `source` (from its current offset to its end). The kernel copies the
    // bytes itself where it can; otherwise they pass through a buffer. A sparse source copied
    // from its start keeps its holes: only its data is written. On a failure the temporary file
    // is removed.
    CopyResult CopyFrom(HostFile& source, CopyProgress progress = nullptr, void* context = nullptr);
    FileStatus Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Gives the temporary file the permission bits of `status` (kept writable by its owner: the
    // read-only bit of an original is not carried to its copy) and, where this process may, its
    // owner and group. Before Commit, so the new file never shows more than it should.
    FileStatus KeepPermissions(const HostFile::Status& status);
    // Flushes (SyncEachFile), optionally stamps the temporary file with `stamp`, closes it and
    // renames it over the target. On failure the target is untouched and the temporary file is
    // gone.
    FileStatus Commit(std::optional<PackedTime> stamp = std::nullopt);
    // The same, giving the file the exact last-write time `modified`.
    FileStatus Commit(HostTime modified);
    // Removes the temporary file and leaves the target as it was.
    void Abort();

    // The temporary file's whole host path, for a caller that hands it to the desktop.
    const HostPath& TemporaryPath() const { return tempPath_; }

private:
    void StartWriteback();
    // Copies up to `limit` bytes (to the end of `source` when it ends first) from the current
    // offsets of both files.
    CopyResult CopyPiece(HostFile& source, std::uint64_t limit, CopyProgress progress,
                         void* context);
    CopyResult CopySparse(HostFile& source, std::uint64_t size, CopyProgress progress,
                          void* context);
    FileStatus CommitStamped(const struct timespec* modified);
    // Ends the writing for good: the temporary file removed, `error` returned.
    FileError GiveUp(FileError error);
    FileError Error(int code) const { return FileError{code, targetName_}; }
    // Where the target is now, and the temporary file beside it: asked again at each step, as
    // the folder's descriptor is only borrowed.
    struct Places {
        HostPlace target;
        std::string temporary;  // a name in target.Folder(), or a whole host path
    };
    std::optional<Places> PlacesNow() const;

    std::string targetName_;  // the target's drive path, for the errors
    DrivePath targetDrive_;
    HostPath target_;
    std::string tempName_;  // the temporary file's name in the target's folder
    HostPath tempPath_;
    HostFile file_;
    Durability durability_ = Durability::SyncEachFile;
    std::uint64_t written_ = 0;         // bytes written to the temporary file
    std::uint64_t writebackStart_ = 0;  // of those, the ones already sent on to the medium
    bool failed_ = false;
    bool targetRefused_ = false;
    bool renameFailed_ = false;
};

// Flushes to the medium everything written to the file system that holds `path` (a folder or a
// file; syncfs). What Deferred writers leave to their caller. The error when the flush failed.
FileStatus SyncFileSystemOf(const DrivePath& path);

// Writes `content` as the whole file `path` through an AtomicFileWriter.
FileStatus WriteFileAtomically(const DrivePath& path, std::string_view content);

// True for the names AtomicFileWriter gives its temporary files (".~vlm", twelve lower-case hex
// digits, ".tmp"), so that a run can recognise (and clear away) what a killed process left
// behind. A person's own file that merely starts and ends the same way is not one.
bool IsTemporaryFileName(std::string_view name);

}  // namespace vlm
