#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/medium.h"

namespace vlm {

using namespace file_system_support;

namespace {

DirEntry EntryFrom(const struct stat& st, std::string name) {
    DirEntry entry;
    entry.attributes = AttributesOf(st, name);
    entry.name = std::move(name);
    if (S_ISREG(st.st_mode)) {
        entry.kind = EntryKind::File;
        entry.size = static_cast<std::uint64_t>(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
        entry.kind = EntryKind::Directory;
    } else if (S_ISLNK(st.st_mode)) {
        entry.kind = EntryKind::Link;
    } else {
        entry.kind = EntryKind::Special;
    }
    entry.time = PackHostTime(st.st_mtime);
    entry.modified = ModifiedOf(st);
    entry.permissions = static_cast<std::uint32_t>(st.st_mode & 07777);
    return entry;
}

}  // namespace

FileResult<DirEntry> QueryEntry(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPath> host = HostAndStat(path, st, false); !host) {
        return host.Error();
    }
    return EntryFrom(st, std::string(path.Name()));
}

std::uint32_t GetFileAttributes(const DrivePath& path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return kInvalidAttributes;
    }
    return AttributesOf(st, std::string(path.Name()));
}

bool FileExists(const DrivePath& path) {
    const std::uint32_t attributes = GetFileAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(const DrivePath& path) {
    const std::uint32_t attributes = GetFileAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

FileResult<PackedTime> GetFileTimePacked(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPath> host = HostAndStat(path, st, true); !host) {
        return host.Error();
    }
    return PackHostTime(st.st_mtime);
}

FileResult<DateTime> GetFileDateTime(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPath> host = HostAndStat(path, st, true); !host) {
        return host.Error();
    }
    return HostTimeToDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

FileResult<HostTime> GetFileHostTime(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPath> host = HostAndStat(path, st, true); !host) {
        return host.Error();
    }
    return ModifiedOf(st);
}

FileResult<DateTime> GetCreationDateTime(const DrivePath& path) {
    const FileResult<HostPath> host = HostOf(path);
    if (!host) {
        return host.Error();
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, host->Text().c_str(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0) {
        return ErrnoError(path);
    }
    const struct statx_timestamp& when =
        (stx.stx_mask & STATX_BTIME) != 0 ? stx.stx_btime : stx.stx_mtime;
    return HostTimeToDateTime(static_cast<std::time_t>(when.tv_sec), when.tv_nsec);
}

FileStatus SetFileTimePacked(const DrivePath& path, PackedTime packed) {
    struct stat st {};
    const FileResult<HostPath> host = HostAndStat(path, st, true);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    struct timespec times[2]{};
    times[1].tv_sec = UnpackToHostTime(packed);
    times[0] = times[1];  // both given, as a copy's time is
    if (host::SetTimes(host->Text().c_str(), times, 0) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus DeleteFile(const DrivePath& path) {
    struct stat st {};
    const FileResult<HostPath> host = HostAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (S_ISDIR(st.st_mode)) {
        return Error(EISDIR, path);
    }
    if (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    if (host::Unlink(host->Text().c_str()) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus CreateDirectory(const DrivePath& path) {
    const FileResult<HostPath> host = HostOf(path);
    if (!host) {
        return host.Error();
    }
    if (host::MakeDir(host->Text().c_str(), 0777) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus RemoveDirectory(const DrivePath& path) {
    struct stat st {};
    const FileResult<HostPath> host = HostAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(st.st_mode)) {
        return Error(ENOTDIR, path);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    if (host::RemoveDir(host->Text().c_str()) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileResult<std::uint32_t> GetFilePermissions(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPath> host = HostAndStat(path, st, true); !host) {
        return host.Error();
    }
    return static_cast<std::uint32_t>(st.st_mode & 07777);
}

FileStatus UpdatePermissions(const DrivePath& path, std::uint32_t original) {
    struct stat st {};
    const FileResult<HostPath> host = HostAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (!KeepsPermissionsAt(*host)) {
        return {};
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return Error(EACCES, path);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    const mode_t wanted = CopyMode(original, S_ISDIR(st.st_mode));
    if ((st.st_mode & 07777) != wanted && ::chmod(host->Text().c_str(), wanted) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus CopyFolderPermissions(const DrivePath& source, const DrivePath& folder) {
    struct stat from {};
    if (FileResult<HostPath> original = HostAndStat(source, from, true); !original) {
        return original.Error();
    }
    struct stat to {};
    const FileResult<HostPath> host = HostAndStat(folder, to, false);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(to.st_mode)) {
        return Error(ENOTDIR, folder);
    }
    if (!KeepsPermissionsAt(*host)) {
        return {};
    }
    // Owner and group first: changing them may clear the set-id bits that the mode then sets.
    if (from.st_uid != to.st_uid || from.st_gid != to.st_gid) {
        (void)::lchown(host->Text().c_str(), from.st_uid, from.st_gid);  // only where permitted
    }
    if (::chmod(host->Text().c_str(), CopyMode(from.st_mode, true)) != 0) {
        return ErrnoError(folder);
    }
    return {};
}

FileStatus RenameCaseOnly(const DrivePath& from, const DrivePath& to) {
    const FileResult<HostPath> hostFrom = HostOf(from);
    const FileResult<HostPath> hostTo = HostOf(to);
    if (!hostFrom) {
        return hostFrom.Error();
    }
    if (!hostTo) {
        return hostTo.Error();
    }
    const std::string between = TemporaryPathIn(hostFrom->Parent()).Text();
    if (host::Rename(hostFrom->Text().c_str(), between.c_str()) != 0) {
        return ErrnoError(from);
    }
    if (host::Rename(between.c_str(), hostTo->Text().c_str()) != 0) {
        const int saved = errno;
        (void)host::Rename(between.c_str(), hostFrom->Text().c_str());  // back to where it was
        return Error(saved, to);
    }
    return {};
}

FileStatus RenameReplacing(const DrivePath& from, const DrivePath& to) {
    const FileResult<HostPath> hostFrom = HostOf(from);
    if (!hostFrom) {
        return hostFrom.Error();
    }
    const FileResult<HostPath> hostTo = HostOf(to);
    if (!hostTo) {
        return hostTo.Error();
    }
    if (const int refusal = ReplaceRefusalFor(*hostTo)) {
        return Error(refusal, to);
    }
    if (host::Rename(hostFrom->Text().c_str(), hostTo->Text().c_str()) != 0) {
        return ErrnoError(to);
    }
    return {};
}

bool InLostAndFound(const DrivePath& drivePath) {
    std::string_view path = drivePath.Text();
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        if (path.substr(0, end) == kLostAndFound)
            return true;
        path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
    }
    return false;
}

}  // namespace vlm
