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
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, false); !host) {
        return host.Error();
    }
    return EntryFrom(st, std::string(path.Name()));
}

std::uint32_t GetFileAttributes(const DrivePath& path) {
    struct stat st {};
    if (!PlaceAndStat(path, st, true)) {
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
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, true); !host) {
        return host.Error();
    }
    return PackHostTime(st.st_mtime);
}

FileResult<DateTime> GetFileDateTime(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, true); !host) {
        return host.Error();
    }
    return HostTimeToDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

FileResult<HostTime> GetFileHostTime(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, true); !host) {
        return host.Error();
    }
    return ModifiedOf(st);
}

FileResult<DateTime> GetCreationDateTime(const DrivePath& path) {
    const FileResult<HostPlace> host = PlaceOf(path);
    if (!host) {
        return host.Error();
    }
    struct statx stx {};
    if (::statx(host->Folder(), host->Name(), host->AtNoFollow(), STATX_BTIME | STATX_MTIME,
                &stx) != 0) {
        return ErrnoError(path);
    }
    const struct statx_timestamp& when =
        (stx.stx_mask & STATX_BTIME) != 0 ? stx.stx_btime : stx.stx_mtime;
    return HostTimeToDateTime(static_cast<std::time_t>(when.tv_sec), when.tv_nsec);
}

FileStatus SetFileTimePacked(const DrivePath& path, PackedTime packed) {
    struct stat st {};
    const FileResult<HostPlace> host = PlaceAndStat(path, st, true);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    struct timespec times[2]{};
    times[1].tv_sec = UnpackToHostTime(packed);
    times[0] = times[1];  // both given, as a copy's time is
    if (host::SetTimesAt(host->Folder(), host->Name(), times, host->AtNoFollow()) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus DeleteFile(const DrivePath& path) {
    struct stat st {};
    const FileResult<HostPlace> host = PlaceAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (S_ISDIR(st.st_mode)) {
        return Error(EISDIR, path);
    }
    if (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    if (host::UnlinkAt(host->Folder(), host->Name(), 0) != 0) {
        return ErrnoError(path);
    }
    // A held folder reached through this link would outlive it.
    if (S_ISLNK(st.st_mode)) {
        ForgetHeldFolders();
    }
    return {};
}

FileStatus CreateDirectory(const DrivePath& path) {
    const FileResult<HostPlace> host = PlaceOf(path);
    if (!host) {
        return host.Error();
    }
    if (host::MakeDirAt(host->Folder(), host->Name(), 0777) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus RemoveDirectory(const DrivePath& path) {
    struct stat st {};
    const FileResult<HostPlace> host = PlaceAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(st.st_mode)) {
        return Error(ENOTDIR, path);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    const int removed = host::UnlinkAt(host->Folder(), host->Name(), AT_REMOVEDIR);
    const int reason = errno;
    ForgetHeldFolders();  // a held descriptor of the folder would outlive it
    if (removed != 0) {
        return Error(reason != 0 ? reason : EIO, path);
    }
    return {};
}

FileResult<std::uint32_t> GetFilePermissions(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, true); !host) {
        return host.Error();
    }
    return static_cast<std::uint32_t>(st.st_mode & 07777);
}

std::uint64_t PlainFileSize(const DrivePath& path) {
    struct stat st {};
    if (FileResult<HostPlace> host = PlaceAndStat(path, st, true); !host || !S_ISREG(st.st_mode))
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

FileStatus UpdatePermissions(const DrivePath& path, std::uint32_t original) {
    struct stat st {};
    const FileResult<HostPlace> host = PlaceAndStat(path, st, false);
    if (!host) {
        return host.Error();
    }
    if (!KeepsPermissionsAt(host->Host())) {
        return {};
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return Error(EACCES, path);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Error(EACCES, path);
    }
    const mode_t wanted = CopyMode(original, S_ISDIR(st.st_mode));
    if ((st.st_mode & 07777) != wanted &&
        ::fchmodat(host->Folder(), host->Name(), wanted, host->AtNoFollow()) != 0) {
        return ErrnoError(path);
    }
    return {};
}

FileStatus CopyFolderPermissions(const DrivePath& source, const DrivePath& folder) {
    struct stat from {};
    const FileResult<HostPlace> original = PlaceAndStat(source, from, true);
    if (!original) {
        return original.Error();
    }
    struct stat to {};
    const FileResult<HostPlace> host = PlaceAndStat(folder, to, false);
    if (!host) {
        return host.Error();
    }
    if (!S_ISDIR(to.st_mode)) {
        return Error(ENOTDIR, folder);
    }
    // Nothing to give where either side has no bits of its own.
    if (!KeepsPermissionsAt(host->Host()) || !KeepsPermissionsAt(original->Host())) {
        return {};
    }
    // Owner and group first: changing them may clear the set-id bits that the mode then sets.
    if (from.st_uid != to.st_uid || from.st_gid != to.st_gid) {
        // only where permitted
        (void)::fchownat(host->Folder(), host->Name(), from.st_uid, from.st_gid,
                         AT_SYMLINK_NOFOLLOW);
    }
    if (::fchmodat(host->Folder(), host->Name(), CopyMode(from.st_mode, true),
                   host->AtNoFollow()) != 0) {
        return ErrnoError(folder);
    }
    return {};
}

FileStatus RenameCaseOnly(const DrivePath& from, const DrivePath& to) {
    const FileResult<HostPlace> hostFrom = PlaceOf(from);
    if (!hostFrom) {
        return hostFrom.Error();
    }
    const FileResult<HostPlace> hostTo = PlaceOf(to);
    if (!hostTo) {
        return hostTo.Error();
    }
    const int folder = hostFrom->Folder();
    const std::string between = hostFrom->Beside(TemporaryName());
    int failed = 0;
    const DrivePath* about = &to;
    if (host::RenameAt(folder, hostFrom->Name(), folder, between.c_str()) != 0) {
        failed = errno;
        about = &from;
    } else if (host::RenameAt(folder, between.c_str(), hostTo->Folder(), hostTo->Name()) != 0) {
        failed = errno;
        // back to where it was
        (void)host::RenameAt(folder, between.c_str(), folder, hostFrom->Name());
    }
    ForgetHeldFolders();  // what moved may have been a folder
    if (failed != 0) {
        return Error(failed, *about);
    }
    return {};
}

FileStatus RenameReplacing(const DrivePath& from, const DrivePath& to) {
    const FileResult<HostPlace> hostFrom = PlaceOf(from);
    if (!hostFrom) {
        return hostFrom.Error();
    }
    const FileResult<HostPlace> hostTo = PlaceOf(to);
    if (!hostTo) {
        return hostTo.Error();
    }
    if (const int refusal = ReplaceRefusalFor(*hostTo)) {
        return Error(refusal, to);
    }
    if (host::RenameAt(hostFrom->Folder(), hostFrom->Name(), hostTo->Folder(), hostTo->Name()) !=
        0) {
        return ErrnoError(to);
    }
    ForgetHeldFolders();  // what moved may have been a folder
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
