#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/medium.h"
#include "platform/platform_error.h"

namespace vlm {

using namespace file_system_support;

namespace {

// The last component of a drive path ("" for a drive root).
std::string LastComponent(std::string_view drivePath) {
    const std::size_t slash = drivePath.find_last_of('\\');
    if (slash == std::string_view::npos) {
        return {};
    }
    return std::string(drivePath.substr(slash + 1));
}

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

std::optional<DirEntry> QueryEntry(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, false)) {
        return std::nullopt;
    }
    Succeed();
    return EntryFrom(st, LastComponent(path));
}

std::uint32_t GetFileAttributes(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return kInvalidAttributes;
    }
    Succeed();
    return AttributesOf(st, LastComponent(path));
}

bool FileExists(std::string_view path) {
    const std::uint32_t attributes = GetFileAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) == 0;
}

bool DirectoryExists(std::string_view path) {
    const std::uint32_t attributes = GetFileAttributes(path);
    return attributes != kInvalidAttributes && (attributes & kAttrDirectory) != 0;
}

std::optional<PackedTime> GetFileTimePacked(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return std::nullopt;
    }
    Succeed();
    return PackHostTime(st.st_mtime);
}

std::optional<DateTime> GetFileDateTime(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return std::nullopt;
    }
    Succeed();
    return HostTimeToDateTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

std::optional<HostTime> GetFileHostTime(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return std::nullopt;
    }
    Succeed();
    return ModifiedOf(st);
}

std::optional<DateTime> GetCreationDateTime(std::string_view path) {
    const std::optional<std::string> host = HostOf(path);
    if (!host) {
        return std::nullopt;
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, host->c_str(), 0, STATX_BTIME | STATX_MTIME, &stx) != 0) {
        FailWithErrno();
        return std::nullopt;
    }
    Succeed();
    const struct statx_timestamp& when =
        (stx.stx_mask & STATX_BTIME) != 0 ? stx.stx_btime : stx.stx_mtime;
    return HostTimeToDateTime(static_cast<std::time_t>(when.tv_sec), when.tv_nsec);
}

bool SetFileTimePacked(std::string_view path, PackedTime packed) {
    struct stat st {};
    const std::optional<std::string> host = HostAndStat(path, st, true);
    if (!host) {
        return false;
    }
    if (!S_ISDIR(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Fail(EACCES);
    }
    struct timespec times[2]{};
    times[1].tv_sec = UnpackToHostTime(packed);
    times[0] = times[1];  // both given, as a copy's time is
    if (host::SetTimes(host->c_str(), times, 0) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool DeleteFile(std::string_view path) {
    struct stat st {};
    const std::optional<std::string> host = HostAndStat(path, st, false);
    if (!host) {
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        return Fail(EISDIR);
    }
    if (S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        return Fail(EACCES);
    }
    if (host::Unlink(host->c_str()) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool CreateDirectory(std::string_view path) {
    std::optional<std::string> host = HostOf(path);
    if (!host) {
        return false;
    }
    if (host::MakeDir(host->c_str(), 0777) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool RemoveDirectory(std::string_view path) {
    struct stat st {};
    const std::optional<std::string> host = HostAndStat(path, st, false);
    if (!host) {
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        return Fail(ENOTDIR);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Fail(EACCES);
    }
    if (host::RemoveDir(host->c_str()) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

std::optional<std::uint32_t> GetFilePermissions(std::string_view path) {
    struct stat st {};
    if (!HostAndStat(path, st, true)) {
        return std::nullopt;
    }
    Succeed();
    return static_cast<std::uint32_t>(st.st_mode & 07777);
}

bool UpdatePermissions(std::string_view path, std::uint32_t original) {
    struct stat st {};
    const std::optional<std::string> host = HostAndStat(path, st, false);
    if (!host) {
        return false;
    }
    if (!KeepsPermissionsAt(*host)) {
        return Succeed();
    }
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        return Fail(EACCES);
    }
    if (IsReadOnlyMode(st.st_mode)) {
        return Fail(EACCES);
    }
    const mode_t wanted = CopyMode(original, S_ISDIR(st.st_mode));
    if ((st.st_mode & 07777) != wanted && ::chmod(host->c_str(), wanted) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool CopyFolderPermissions(std::string_view source, std::string_view folder) {
    struct stat from {};
    if (!HostAndStat(source, from, true)) {
        return false;
    }
    struct stat to {};
    const std::optional<std::string> host = HostAndStat(folder, to, false);
    if (!host) {
        return false;
    }
    if (!S_ISDIR(to.st_mode)) {
        return Fail(ENOTDIR);
    }
    if (!KeepsPermissionsAt(*host)) {
        return Succeed();
    }
    // Owner and group first: changing them may clear the set-id bits that the mode then sets.
    if (from.st_uid != to.st_uid || from.st_gid != to.st_gid) {
        (void)::lchown(host->c_str(), from.st_uid, from.st_gid);  // only where permitted
    }
    if (::chmod(host->c_str(), CopyMode(from.st_mode, true)) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool RenameCaseOnly(std::string_view from, std::string_view to) {
    const std::optional<std::string> hostFrom = HostOf(from);
    const std::optional<std::string> hostTo = HostOf(to);
    if (!hostFrom || !hostTo) {
        return false;
    }
    const std::string between = ParentFolder(*hostFrom) + "/" + std::string(kTempPrefix) +
                                RandomSuffix() + std::string(kTempSuffix);
    if (host::Rename(hostFrom->c_str(), between.c_str()) != 0) {
        return FailWithErrno();
    }
    if (host::Rename(between.c_str(), hostTo->c_str()) != 0) {
        const int saved = errno;
        (void)host::Rename(between.c_str(), hostFrom->c_str());  // back to where it was
        return Fail(saved);
    }
    return Succeed();
}

bool RenameReplacing(std::string_view from, std::string_view to) {
    std::optional<std::string> hostFrom = HostOf(from);
    if (!hostFrom) {
        return false;
    }
    std::optional<std::string> hostTo = HostOf(to);
    if (!hostTo) {
        return false;
    }
    if (const int refusal = ReplaceRefusalFor(*hostTo)) {
        return Fail(refusal);
    }
    if (host::Rename(hostFrom->c_str(), hostTo->c_str()) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool InLostAndFound(std::string_view path) {
    while (!path.empty()) {
        const std::size_t end = path.find('\\');
        if (path.substr(0, end) == kLostAndFound)
            return true;
        path.remove_prefix(end == std::string_view::npos ? path.size() : end + 1);
    }
    return false;
}

}  // namespace vlm
