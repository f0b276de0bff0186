#include "platform/file_system_support.h"

#include <cerrno>
#include <random>

#include "platform/host_calls.h"

namespace vlm::file_system_support {

FileError ErrnoError(const DrivePath& path) {
    return Error(errno != 0 ? errno : EIO, path);
}

FileError Error(int code, const DrivePath& path) {
    return FileError{code, path.Text()};
}

HostTime ModifiedOf(const struct stat& st) {
    return {static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::int32_t>(st.st_mtim.tv_nsec)};
}

HostFile::Status StatusOf(const struct stat& st) {
    return {static_cast<std::uint32_t>(st.st_mode & 07777), static_cast<std::uint32_t>(st.st_uid),
            static_cast<std::uint32_t>(st.st_gid), ModifiedOf(st),
            static_cast<std::uint64_t>(st.st_size)};
}

std::uint32_t AttributesOf(const struct stat& st, std::string_view name) {
    std::uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) {
        attributes |= kAttrDirectory;
    } else if (S_ISREG(st.st_mode)) {
        attributes |= kAttrArchive;
    }
    if (!S_ISLNK(st.st_mode) && IsReadOnlyMode(st.st_mode)) {
        attributes |= kAttrReadOnly;
    }
    if (!name.empty() && name[0] == '.') {
        attributes |= kAttrHidden;
    }
    return attributes;
}

EntryKind KindOf(const struct stat& st) {
    if (S_ISREG(st.st_mode)) {
        return EntryKind::File;
    }
    if (S_ISDIR(st.st_mode)) {
        return EntryKind::Directory;
    }
    return S_ISLNK(st.st_mode) ? EntryKind::Link : EntryKind::Special;
}

bool StatAt(const HostPlace& place, struct stat& st, bool followLinks) {
    const int flags = followLinks ? place.AtNoFollow() : AT_SYMLINK_NOFOLLOW;
    return ::fstatat(place.Folder(), place.Name(), &st, flags) == 0;
}

FileResult<HostPlace> PlaceAndStat(const DrivePath& drivePath, struct stat& st, bool followLinks) {
    FileResult<HostPlace> place = PlaceOf(drivePath);
    if (place && !StatAt(*place, st, followLinks)) {
        return ErrnoError(drivePath);
    }
    return place;
}

std::string RandomSuffix() {
    static std::mt19937_64 generator{std::random_device{}()};
    static const char kDigits[] = "0123456789abcdef";
    std::uint64_t bits = generator();
    std::string suffix;
    for (int i = 0; i < 12; ++i) {
        suffix += kDigits[bits & 15];
        bits >>= 4;
    }
    return suffix;
}

std::string TemporaryName() {
    return std::string(kTempPrefix) + RandomSuffix() + std::string(kTempSuffix);
}

// The checks that stand in for the file system's own refusal of writing over a read-only file or
// a directory; they hold for root as well.
int WriteRefusalFor(const HostPlace& place) {
    struct stat st {};
    if (!StatAt(place, st, true)) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    if (!S_ISREG(st.st_mode)) {
        return EACCES;
    }
    return IsReadOnlyMode(st.st_mode) ? EACCES : 0;
}

// What a rename refuses to put a file over: a folder, or a read-only file (not through a link:
// a link at the target is replaced itself). 0 when the target may be replaced or is not there.
int ReplaceRefusalFor(const HostPlace& place) {
    struct stat st {};
    if (!StatAt(place, st, false)) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    return S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode) ? EACCES : 0;
}

// The bits a copy of an item with `original` bits gets: its owner may always write it, and
// list and enter it when it is a folder, so the next run can bring it up to date (a folder of
// the backup that its owner cannot list could never be mirrored or removed again).
mode_t CopyMode(std::uint32_t original, bool folder) {
    return static_cast<mode_t>(original & 07777) | S_IWUSR | (folder ? S_IRUSR | S_IXUSR : 0);
}

}  // namespace vlm::file_system_support
