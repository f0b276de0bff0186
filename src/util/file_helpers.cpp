#include "util/file_helpers.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/medium.h"
#include "platform/path_translation.h"
#include "platform/platform_error.h"
#include "platform/tree_walk.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// The one copy buffer never grows beyond this, whatever the file size.
constexpr std::uint64_t kMaxCopyBuffer = 524287;  // 0x7FFFF
// Up to this many bytes a range is read in one piece.
constexpr std::int64_t kSingleBlockLimit = 100000;

std::string LastErrorText() {
    const PlatformError& error = LastPlatformError();
    return error.text.empty() ? std::string("unknown error") : error.text;
}

// The size of a file named through a link: the link is followed, as for any path the person
// named, but only a plain file at its end has a size.
std::int64_t SizeThroughLink(std::string_view path) {
    auto host = ToHostPath(path);
    if (!host)
        return 0;
    std::error_code error;
    if (!std::filesystem::is_regular_file(*host, error))
        return 0;
    auto size = std::filesystem::file_size(*host, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

// True when the last call failed because nothing is at `path` any more, and nothing is there
// now: a file deleted or moved while the run was under way, not one that failed to open.
bool IsGone(const std::string& path) {
    if (LastPlatformError().code != ENOENT)
        return false;
    const PlatformError failure = LastPlatformError();
    const bool gone = !QueryEntry(path).has_value();
    SetLastPlatformError(failure.code);
    return gone;
}

// The boxes of the block copy, each shown before the failure it tells of ends the copy. Both copy
// routines show them, so a file that cannot be read looks the same to the person either way.
void ShowCannotOpenForReading(const std::string& source) {
    ShowErrorBox("Fatal error! Could not open file for reading: " + source +
                 ". Please close the program causing this or check network settings with your "
                 "system administrator!");
}

void ShowCannotOpenForWriting(const std::string& target) {
    ShowErrorBox("Fatal error! Could not open file for writing: " + target +
                 ". Possibly bad section on destination. Try renaming, moving or removing the "
                 "source or change destination media. Exiting procedure!");
}

void ShowCannotRead(const std::string& source) {
    ShowErrorBox("Fatal error! Could not perform blockread: " + source +
                 ". Please close the program causing this or check network settings with your "
                 "system administrator!");
}

}  // namespace

char ItemKind(std::string_view path) {
    std::uint32_t attributes = GetFileAttributes(path);
    if (attributes == kInvalidAttributes)
        return 'n';
    return (attributes & kAttrDirectory) != 0 ? 'd' : 'f';
}

std::int64_t FileSizeOf(std::string_view path) {
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

std::optional<std::uint64_t> DirSizeUnlessStopped(std::string_view path,
                                                  const std::atomic<bool>& stop) {
    // Links and special files below the folder are never followed: their targets are counted
    // where they live, if at all.
    return FolderTreeSize(DrivePath(path), &stop);
}

std::uint64_t DirSize(std::string_view path) {
    const std::atomic<bool> never{false};
    return *DirSizeUnlessStopped(path, never);
}

std::uint64_t ItemSize(std::string_view path) {
    switch (ItemKind(path)) {
        case 'd':
            return DirSize(path);
        case 'f':
            return static_cast<std::uint64_t>(std::max<std::int64_t>(FileSizeOf(path), 0));
        default:
            return 0;
    }
}

std::string ItemDateText(std::string_view path) {
    const char kind = ItemKind(path);
    if (kind == 'n')
        return {};
    // A folder shows when it was made, a file when it was last written.
    auto when = kind == 'd' ? GetCreationDateTime(path) : GetFileDateTime(path);
    return when ? DateTimeText(*when) : std::string();
}

bool ForceDirChain(std::string_view path) {
    std::string folder = StripTrailingBackslash(path);
    if (DirectoryExists(folder))
        return true;
    if (folder.size() < 2 || !DirectoryExists(folder.substr(0, 2)))
        return false;
    auto lastBackslash = folder.rfind('\\');
    if (lastBackslash == std::string::npos)
        return false;
    std::string parent = folder.substr(0, lastBackslash);
    if (!DirectoryExists(parent) && !ForceDirChain(parent))
        return false;
    // Someone else may have made it in the meantime; what counts is that it is there.
    return CreateDirectory(folder) || DirectoryExists(folder);
}

bool DeleteDirTree(std::string_view path) {
    const DrivePath folder(path);
    // A drive root is never deleted, and only a real folder is walked: a link to a folder is
    // never deleted through. The walk goes by folder handles, so no path text can lead it
    // round in circles or out of the tree.
    if (folder.IsRoot())
        return false;
    return DeleteFolderTree(folder);
}

void fpieceapp(std::string_view src, std::int64_t from, std::int64_t to, std::string_view dst) {
    const std::string source(src);
    const std::string target(dst);
    if (!FileExists(source)) {
        ShowErrorBox("Error: file does not exist: " + source);
        return;
    }

    std::int64_t wanted = to - from + 1;
    std::uint64_t bufferSize = wanted > kSingleBlockLimit
                                   ? kMaxCopyBuffer
                                   : (wanted > 0 ? static_cast<std::uint64_t>(wanted) : 1);

    HostFile in;
    if (!in.Open(source, HostFile::Mode::Read)) {
        std::string cause = LastErrorText();
        ShowCannotOpenForReading(source);
        throw CopyError("Could not open " + source + " for reading: " + cause);
    }

    std::uint64_t sourceSize = in.Size().value_or(0);
    if (to < 0 || sourceSize < static_cast<std::uint64_t>(to))
        BeepTimes(2);

    // Only bytes that were in the source when it was opened are copied: when source and
    // destination are one file, the bytes appended here must not be read back again.
    std::uint64_t start = from > 1 ? static_cast<std::uint64_t>(from - 1) : 0;
    std::uint64_t available = sourceSize > start ? sourceSize - start : 0;
    std::uint64_t remaining =
        std::min<std::uint64_t>(wanted > 0 ? static_cast<std::uint64_t>(wanted) : 0, available);
    bufferSize = std::min(bufferSize, kMaxCopyBuffer);

    const bool sameFile = source == target;
    if (!in.Seek(start)) {
        std::string cause = LastErrorText();
        throw CopyError("Could not read " + source + ": " + cause);
    }
    HostFile out;
    if (!out.Open(target, HostFile::Mode::Append)) {
        ShowCannotOpenForWriting(target);
        return;
    }

    auto buffer = std::make_unique<char[]>(bufferSize);
    while (true) {
        std::size_t got = 0;
        if (!in.Read(buffer.get(), bufferSize, got)) {
            std::string cause = LastErrorText();
            ShowCannotRead(source);
            throw CopyError("Could not read " + source + ": " + cause);
        }
        std::uint64_t keep = std::min<std::uint64_t>(got, remaining);
        if (keep > 0 && !out.Write(buffer.get(), keep)) {
            std::string cause = LastErrorText();
            throw CopyError("Could not write " + target + ": " + cause);
        }
        remaining -= keep;
        if (got < bufferSize || remaining == 0)
            break;
    }

    if (!in.Close() && !sameFile) {
        ShowErrorBox("Fatal error! Could not close file after reading: " + source + ".");
    }
    if (!out.Close()) {
        // A failed close can mean that written data never reached the medium.
        std::string cause = LastErrorText();
        if (sameFile) {
            ShowErrorBox("Fatal error! Could not close file after writing in case 2: " + source +
                         ". Please contact program vendor.");
        } else {
            ShowErrorBox("Fatal error! Could not close file after writing: " + target + ".");
        }
        throw CopyError("Could not write " + target + ": " + cause);
    }
}

bool IsNameRefusal(int code, std::string_view path) {
    // FAT through FUSE answers EPERM, exfat-fuse ENOENT for a parent that is there: only on such
    // a medium are those errors a refused name.
    const std::optional<std::string> host = ToHostPath(path);
    return host && IsNameRefusalAt(code, *host);
}

namespace {

// One attempt of CopyFileKeepAge. False when the source changed while it was copied: the copy
// would hold a mix of old and new bytes under the old time, which no later run would see as
// outdated, so it is thrown away and the target left as it was.
bool CopyOnce(const std::string& source, const std::string& target, CopyWatcher* watcher) {
    auto fail = [&](const std::string& cause) {
        return CopyError("Could not copy " + source + " to " + target + ": " + cause);
    };

    // The open file tells its size, bits and time: one look at the source, not one by its path
    // and more of the open file, and the time is that of the bytes copied.
    HostFile in;
    if (!in.Open(source, HostFile::Mode::Read)) {
        if (IsGone(source))
            throw SourceVanished("Could not copy " + source + ": it is gone");
        std::string cause = LastErrorText();
        ShowCannotOpenForReading(source);
        throw fail(cause);
    }
    const HostFile::Status status = in.StatusWhenOpened();

    // A run copies thousands of files: it flushes them to the medium once when it has written
    // them all, not one by one. Until then the rename still leaves the old copy or the complete
    // new one, and a copy that a power cut empties has the wrong size, which the next run sees.
    // What is at the destination itself is looked at by the writer: a link there is replaced,
    // never written through; a folder or a read-only file is never replaced.
    AtomicFileWriter out;
    if (!out.Begin(target, Durability::Deferred)) {
        if (out.TargetRefused()) {
            throw fail(LastPlatformError().code == EISDIR ? "the destination is a folder"
                                                          : "the destination is read-only");
        }
        std::string cause = LastErrorText();
        ShowCannotOpenForWriting(target);
        throw fail(cause);
    }
    // The copy shows no more than its original: a private key stays private, a script stays
    // runnable.
    if (!out.KeepPermissions(status)) {
        std::string cause = LastErrorText();
        out.Abort();
        throw fail(cause);
    }

    const auto tell = [](void* context, std::uint64_t bytesSoFar) {
        return static_cast<CopyWatcher*>(context)->Copied(bytesSoFar);
    };
    switch (watcher != nullptr ? out.CopyFrom(in, tell, watcher) : out.CopyFrom(in)) {
        case AtomicFileWriter::CopyOutcome::Done:
            break;
        case AtomicFileWriter::CopyOutcome::Stopped:
            throw CopyStopped("The copy of " + source + " to " + target + " was stopped");
        case AtomicFileWriter::CopyOutcome::ReadFailed: {
            std::string cause = LastErrorText();
            ShowCannotRead(source);
            throw fail(cause);
        }
        case AtomicFileWriter::CopyOutcome::WriteFailed:
            throw fail(LastErrorText());
    }
    const std::optional<HostFile::Status> after = in.Stat();
    if (after && (after->size != status.size || !(after->modified == status.modified))) {
        out.Abort();
        return false;
    }
    in.Close();
    if (!out.Commit(status.modified)) {
        // The temporary file took its own name; the copy's name is first asked for here.
        if (out.RenameFailed() && IsNameRefusal(LastPlatformError().code, target))
            throw NameRefused("Could not copy " + source + " to " + target + ": " +
                              LastErrorText());
        throw fail(LastErrorText());
    }
    return true;
}

}  // namespace

void CopyFileKeepAge(std::string_view src, std::string_view dst, CopyWatcher* watcher) {
    const std::string source(src);
    const std::string target(dst);
    // A file being written (a log, a download) gets a few tries to hold still.
    constexpr int kAttempts = 3;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (CopyOnce(source, target, watcher))
            return;
    }
    throw SourceChanging("Could not copy " + source + " to " + target +
                         ": it changed while it was being copied");
}

}  // namespace vlm
