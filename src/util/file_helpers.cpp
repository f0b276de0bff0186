#include "util/file_helpers.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/medium.h"
#include "platform/path_translation.h"
#include "platform/tree_walk.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

std::string ErrorText(const FileError& error) {
    const std::string text = error.Text();
    return text.empty() ? std::string("unknown error") : text;
}

// The size of a file named through a link: the link is followed, as for any path the person
// named, but only a plain file at its end has a size.
std::int64_t SizeThroughLink(const DrivePath& path) {
    return static_cast<std::int64_t>(PlainFileSize(path));
}

// True when a call failed with `failure` because nothing is at `path` any more, and nothing is
// there now: a file deleted or moved while the run was under way, not one that failed to open.
bool IsGone(const FileError& failure, const std::string& path) {
    return failure.code == ENOENT && !QueryEntry(DrivePath(path));
}

// The notices of the copy, each shown before the failure it tells of ends the copy.
std::string CannotOpenForReadingNotice(const std::string& source) {
    return "Fatal error! Could not open file for reading: " + source +
           ". Please close the program causing this or check network settings with your system "
           "administrator!";
}

std::string CannotOpenForWritingNotice(const std::string& target) {
    return "Fatal error! Could not open file for writing: " + target +
           ". Possibly bad section on destination. Try renaming, moving or removing the source "
           "or change destination media. Exiting procedure!";
}

std::string CannotReadNotice(const std::string& source) {
    return "Fatal error! Could not perform blockread: " + source +
           ". Please close the program causing this or check network settings with your system "
           "administrator!";
}

}  // namespace

char ItemKind(const DrivePath& path) {
    std::uint32_t attributes = GetFileAttributes(path);
    if (attributes == kInvalidAttributes)
        return 'n';
    return (attributes & kAttrDirectory) != 0 ? 'd' : 'f';
}

std::int64_t FileSizeOf(const DrivePath& path) {
    auto entry = QueryEntry(path);
    if (!entry)
        return 0;
    switch (entry->kind) {
        case EntryKind::File:
            return static_cast<std::int64_t>(entry->size);
        case EntryKind::Link:
            return SizeThroughLink(path);
        case EntryKind::Directory:
        case EntryKind::Special:
            return 0;
    }
    return 0;
}

std::optional<std::uint64_t> DirSizeUnlessStopped(const DrivePath& path,
                                                  const std::atomic<bool>& stop) {
    // Links and special files below the folder are never followed: their targets are counted
    // where they live, if at all.
    return FolderTreeSize(path, &stop);
}

std::uint64_t DirSize(const DrivePath& path) {
    const std::atomic<bool> never{false};
    return *DirSizeUnlessStopped(path, never);
}

std::uint64_t ItemSize(const DrivePath& path) {
    switch (ItemKind(path)) {
        case 'd':
            return DirSize(path);
        case 'f':
            return static_cast<std::uint64_t>(std::max<std::int64_t>(FileSizeOf(path), 0));
        default:
            return 0;
    }
}

std::string ItemDateText(const DrivePath& path) {
    const char kind = ItemKind(path);
    if (kind == 'n')
        return {};
    // A folder shows when it was made, a file when it was last written.
    auto when = kind == 'd' ? GetCreationDateTime(path) : GetFileDateTime(path);
    return when ? DateTimeText(*when) : std::string();
}

bool ForceDirChain(const DrivePath& folder) {
    if (folder.empty())
        return false;
    if (DirectoryExists(folder))
        return true;
    // A drive whose root is not there gets no folders.
    if (folder.IsRoot())
        return false;
    if (!ForceDirChain(folder.Parent()))
        return false;
    // Someone else may have made it in the meantime; what counts is that it is there.
    return CreateDirectory(folder) || DirectoryExists(folder);
}

bool DeleteDirTree(const DrivePath& folder) {
    // A drive root is never deleted, and only a real folder is walked: a link to a folder is
    // never deleted through. The walk goes by folder handles, so no path text can lead it
    // round in circles or out of the tree.
    if (folder.IsRoot())
        return false;
    return DeleteFolderTree(folder);
}

bool IsNameRefusal(int code, const DrivePath& path) {
    // FAT through FUSE answers EPERM, exfat-fuse ENOENT for a parent that is there: only on such
    // a medium are those errors a refused name.
    const std::optional<HostPath> host = ToHostPath(path);
    return host && IsNameRefusalAt(code, *host);
}

namespace {

CopyError CopyFailure(const std::string& source, const std::string& target,
                      const std::string& cause, std::string notice = {}) {
    return CopyError("Could not copy " + source + " to " + target + ": " + cause,
                     std::move(notice));
}

// The open file tells its size, bits and time: one look at the source, not one by its path and
// more of the open file, and the time is that of the bytes copied.
HostFile::Status OpenSource(HostFile& in, const std::string& source, const std::string& target) {
    if (const FileStatus opened = in.Open(DrivePath(source), HostFile::Mode::Read); !opened) {
        if (IsGone(opened.Error(), source))
            throw SourceVanished("Could not copy " + source + ": it is gone");
        throw CopyFailure(source, target, ErrorText(opened.Error()),
                          CannotOpenForReadingNotice(source));
    }
    return in.StatusWhenOpened();
}

// A run copies thousands of files: on a medium that keeps the order of writes it flushes them
// once when it has written them all, not one by one. Until then the rename still leaves the old
// copy or the complete new one, and a copy that a power cut empties has the wrong size, which the
// next run sees. (Elsewhere the writer flushes each copy before its rename.) What is at
// the destination itself is looked at by the writer: a link there is replaced, never written
// through; a folder or a read-only file is never replaced.
void BeginCopy(AtomicFileWriter& out, const HostFile::Status& status, const std::string& source,
               const std::string& target) {
    if (const FileStatus begun = out.Begin(DrivePath(target), Durability::Deferred); !begun) {
        if (out.TargetRefused()) {
            throw CopyFailure(source, target,
                              begun.Error().code == EISDIR ? "the destination is a folder"
                                                           : "the destination is read-only");
        }
        throw CopyFailure(source, target, ErrorText(begun.Error()),
                          CannotOpenForWritingNotice(target));
    }
    // The copy shows no more than its original: a private key stays private, a script stays
    // runnable.
    if (const FileStatus kept = out.KeepPermissions(status); !kept) {
        out.Abort();
        throw CopyFailure(source, target, ErrorText(kept.Error()));
    }
}

void CopyBytes(AtomicFileWriter& out, HostFile& in, CopyWatcher* watcher, const std::string& source,
               const std::string& target) {
    const auto tell = [](void* context, std::uint64_t bytesSoFar) {
        return static_cast<CopyWatcher*>(context)->Copied(bytesSoFar);
    };
    const AtomicFileWriter::CopyResult copied =
        watcher != nullptr ? out.CopyFrom(in, tell, watcher) : out.CopyFrom(in);
    switch (copied.outcome) {
        case AtomicFileWriter::CopyOutcome::Done:
            return;
        case AtomicFileWriter::CopyOutcome::Stopped:
            throw CopyStopped("The copy of " + source + " to " + target + " was stopped");
        case AtomicFileWriter::CopyOutcome::ReadFailed:
            throw CopyFailure(source, target, ErrorText(copied.error), CannotReadNotice(source));
        case AtomicFileWriter::CopyOutcome::WriteFailed:
            if (copied.error.code == EFBIG)
                throw FileTooLarge("Could not copy " + source + " to " + target + ": " +
                                   ErrorText(copied.error));
            if (copied.error.code == ENOSPC || copied.error.code == EDQUOT)
                throw NoSpaceLeft("Could not copy " + source + " to " + target + ": " +
                                  ErrorText(copied.error));
            throw CopyFailure(source, target, ErrorText(copied.error));
    }
}

// One attempt of CopyFileKeepAge. False when the source changed while it was copied: the copy
// would hold a mix of old and new bytes under the old time, which no later run would see as
// outdated, so it is thrown away and the target left as it was.
bool CopyOnce(const DrivePath& src, const DrivePath& dst, CopyWatcher* watcher) {
    const std::string& source = src.Text();
    const std::string& target = dst.Text();
    HostFile in;
    const HostFile::Status status = OpenSource(in, source, target);
    AtomicFileWriter out;
    BeginCopy(out, status, source, target);
    CopyBytes(out, in, watcher, source, target);
    const FileResult<HostFile::Status> after = in.Stat();
    if (after && (after->size != status.size || !(after->modified == status.modified))) {
        out.Abort();
        return false;
    }
    in.Close();
    if (const FileStatus committed = out.Commit(status.modified); !committed) {
        const FileError& error = committed.Error();
        // The temporary file took its own name; the copy's name is first asked for here.
        if (out.RenameFailed() && IsNameRefusal(error.code, dst))
            throw NameRefused("Could not copy " + source + " to " + target + ": " +
                              ErrorText(error));
        if (error.code == ENOSPC || error.code == EDQUOT)
            throw NoSpaceLeft("Could not copy " + source + " to " + target + ": " +
                              ErrorText(error));
        throw CopyFailure(source, target, ErrorText(error));
    }
    return true;
}

}  // namespace

void CopyFileKeepAge(const DrivePath& src, const DrivePath& dst, CopyWatcher* watcher) {
    // A file being written (a log, a download) gets a few tries to hold still.
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (CopyOnce(src, dst, watcher))
            return;
    }
    throw SourceChanging("Could not copy " + src.Text() + " to " + dst.Text() +
                         ": it changed while it was being copied");
}

}  // namespace vlm
