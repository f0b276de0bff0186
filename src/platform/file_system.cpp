#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <random>

#include "platform/host_calls.h"
#include "platform/medium.h"
#include "platform/path_translation.h"
#include "platform/platform_error.h"

namespace vlm {

namespace {

// Every public call ends through one of these two, so LastPlatformError always tells about the
// last call.
bool Succeed() {
    SetLastPlatformError(0);
    return true;
}

bool Fail(int code) {
    SetLastPlatformError(code);
    return false;
}

bool FailWithErrno() {
    return Fail(errno != 0 ? errno : EIO);
}

// The host path of a drive path; a refused path behaves like a missing one.
std::optional<std::string> HostOf(std::string_view drivePath) {
    std::optional<std::string> host = ToHostPath(drivePath);
    if (!host) {
        SetLastPlatformError(ENOENT);
    }
    return host;
}

// The last component of a drive path ("" for a drive root).
std::string LastComponent(std::string_view drivePath) {
    const std::size_t slash = drivePath.find_last_of('\\');
    if (slash == std::string_view::npos) {
        return {};
    }
    return std::string(drivePath.substr(slash + 1));
}

// A host name that cannot be a drive name, as a person reads it on one line.
std::string UnlistedName(std::string_view hostName) {
    std::string shown;
    for (const char c : hostName) {
        if (static_cast<unsigned char>(c) < 0x20) {
            shown += StandInFor(c);
        } else {
            shown += c;
        }
    }
    return shown;
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

// Windows lists an entry when none of its hidden, system, volume or directory bits is missing
// from the mask.
bool PassesMask(std::uint32_t attributes, std::uint32_t mask) {
    const std::uint32_t selective = kAttrHidden | kAttrSystem | kAttrVolumeId | kAttrDirectory;
    return (attributes & selective & ~mask) == 0;
}

char UpperFolded(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The order an NTFS volume lists names in: folded to upper case, ties in byte order. Compares
// in place, since a listing sorts every folder of every walk.
bool ListedBefore(std::string_view a, std::string_view b) {
    const std::size_t common = std::min(a.size(), b.size());
    // Names in one folder tend to share long beginnings: equal bytes need no folding.
    std::size_t firstDifference = 0;
    while (firstDifference + sizeof(std::uint64_t) <= common &&
           std::memcmp(a.data() + firstDifference, b.data() + firstDifference,
                       sizeof(std::uint64_t)) == 0) {
        firstDifference += sizeof(std::uint64_t);
    }
    while (firstDifference < common && a[firstDifference] == b[firstDifference]) {
        ++firstDifference;
    }
    for (std::size_t i = firstDifference; i < common; ++i) {
        const auto fa = static_cast<unsigned char>(UpperFolded(a[i]));
        const auto fb = static_cast<unsigned char>(UpperFolded(b[i]));
        if (fa != fb) {
            return fa < fb;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    // Equal when folded: byte order breaks the tie, decided at the first differing byte.
    return firstDifference < common && static_cast<unsigned char>(a[firstDifference]) <
                                           static_cast<unsigned char>(b[firstDifference]);
}

// The kind of an entry as the folder records it, without a stat; nullopt when the file system
// does not record it (DT_UNKNOWN).
std::optional<EntryKind> KindFromDirent(unsigned char type) {
    switch (type) {
        case DT_REG:
            return EntryKind::File;
        case DT_DIR:
            return EntryKind::Directory;
        case DT_LNK:
            return EntryKind::Link;
        case DT_FIFO:
        case DT_SOCK:
        case DT_CHR:
        case DT_BLK:
            return EntryKind::Special;
        default:
            return std::nullopt;
    }
}

// The attribute bits of an entry known by its name and kind only.
std::uint32_t NameAndKindAttributes(EntryKind kind, std::string_view name) {
    std::uint32_t attributes = 0;
    if (kind == EntryKind::Directory) {
        attributes |= kAttrDirectory;
    } else if (kind == EntryKind::File) {
        attributes |= kAttrArchive;
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

bool StatPath(const std::string& host, struct stat& st, bool followLinks) {
    return (followLinks ? ::stat(host.c_str(), &st) : ::lstat(host.c_str(), &st)) == 0;
}

// The host path of a drive path, with what is there in `st`; nullopt, with the error recorded,
// when the path is refused or nothing is there.
std::optional<std::string> HostAndStat(std::string_view drivePath, struct stat& st,
                                       bool followLinks) {
    std::optional<std::string> host = HostOf(drivePath);
    if (host && !StatPath(*host, st, followLinks)) {
        FailWithErrno();
        return std::nullopt;
    }
    return host;
}

std::string ParentFolder(const std::string& host) {
    const std::size_t slash = host.find_last_of('/');
    return slash == 0 ? std::string("/") : host.substr(0, slash);
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

// A deferred file sends its bytes on to the medium in pieces of this size while it is written.
constexpr std::uint64_t kWritebackChunk = 8u << 20;

constexpr std::string_view kTempPrefix = ".~vlm";
constexpr std::string_view kTempSuffix = ".tmp";

// The checks that stand in for the file system's own refusal of writing over a read-only file or
// a directory; they hold for root as well.
int WriteRefusalFor(const std::string& host) {
    struct stat st {};
    if (!StatPath(host, st, true)) {
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
int ReplaceRefusalFor(const std::string& host) {
    struct stat st {};
    if (!StatPath(host, st, false)) {
        return 0;
    }
    if (S_ISDIR(st.st_mode)) {
        return EISDIR;
    }
    return S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode) ? EACCES : 0;
}

}  // namespace

bool FolderListing::Read(std::string_view folder, std::uint32_t mask, ListDetail detail,
                         std::vector<UnlistedEntry>* unlisted) {
    if (unlisted != nullptr) {
        unlisted->clear();
    }
    names_.clear();
    slots_.clear();
    details_.clear();
    std::optional<std::string> host = HostOf(folder);
    if (!host) {
        return false;
    }
    DIR* dir = host::OpenDir(host->c_str());
    if (dir == nullptr) {
        return FailWithErrno();
    }
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        struct dirent* item = host::ReadDir(dir);
        if (item == nullptr) {
            if (errno != 0) {
                const int saved = errno;
                host::CloseDir(dir);
                names_.clear();
                slots_.clear();
                details_.clear();
                return Fail(saved);
            }
            break;
        }
        const std::string_view hostName = item->d_name;
        if (hostName == "." || hostName == "..") {
            continue;
        }
        std::optional<std::string> name = HostNameToDriveName(hostName);
        if (!name && StoresStandInsAt(*host)) {
            name = StoredNameToDriveName(hostName);
        }
        if (!name) {
            if (unlisted != nullptr) {
                unlisted->push_back({UnlistedName(hostName), 0});
            }
            continue;
        }
        const std::optional<EntryKind> recorded =
            detail == ListDetail::NamesAndKinds ? KindFromDirent(item->d_type) : std::nullopt;
        if (recorded) {
            const std::uint32_t attributes = NameAndKindAttributes(*recorded, *name);
            if (PassesMask(attributes, mask)) {
                Add(*name, *recorded, attributes, nullptr);
            }
            continue;
        }
        // Never following a link: a link must not be taken for what it points at.
        struct stat st {};
        if (::fstatat(dirFd, item->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            // Gone since it was listed, or there but not to be looked at (a folder that may be
            // read but not entered): the second must not vanish without a word.
            if (errno != ENOENT && unlisted != nullptr) {
                unlisted->push_back({std::move(*name), errno});
            }
            continue;
        }
        const EntryKind kind = KindOf(st);
        const std::uint32_t attributes = detail == ListDetail::Full
                                             ? AttributesOf(st, *name)
                                             : NameAndKindAttributes(kind, *name);
        if (PassesMask(attributes, mask)) {
            Add(*name, kind, attributes, detail == ListDetail::Full ? &st : nullptr);
        }
    }
    host::CloseDir(dir);
    Sort();
    // A wide folder's listing is kept while the walk reads the folder beside it: room left over
    // by growing is given back first.
    if (slots_.capacity() - slots_.size() > 4096) {
        names_.shrink_to_fit();
        slots_.shrink_to_fit();
        details_.shrink_to_fit();
    }
    return Succeed();
}

void FolderListing::Add(std::string_view name, EntryKind kind, std::uint32_t attributes,
                        const struct stat* st) {
    const auto start = static_cast<std::uint32_t>(names_.size());
    names_.append(name);
    slots_.push_back({start, static_cast<std::uint32_t>(name.size()),
                      static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(attributes),
                      static_cast<std::uint16_t>(st != nullptr ? st->st_mode & 07777
                                                               : kSlotPermissionsUnknown)});
    if (st != nullptr) {
        details_.push_back({kind == EntryKind::File ? static_cast<std::uint64_t>(st->st_size) : 0,
                            static_cast<std::int64_t>(st->st_mtim.tv_sec),
                            static_cast<std::int32_t>(st->st_mtim.tv_nsec),
                            PackHostTime(st->st_mtime)});
    }
}

// Sorts into ListedBefore's order. Each name gives a key of its first 12 bytes folded, packed
// into two numbers that compare like those bytes: most names of a folder differ within them, and
// the rest are compared in full. The names stay where they are; only the small slots move, in
// place, so that sorting a wide folder needs no second copy of its listing.
void FolderListing::Sort() {
    struct Key {
        std::uint64_t high;      // folded bytes 0 to 7
        std::uint32_t low;       // folded bytes 8 to 11
        std::uint32_t position;  // the entry's place in the listing as read
    };
    const auto packFolded = [](std::string_view name, std::size_t from, std::size_t count) {
        std::uint64_t packed = 0;
        for (std::size_t i = from; i < from + count; ++i) {
            // Past the end counts as 0, below every byte a name can hold: a name that is the
            // beginning of another comes first, as in ListedBefore.
            const auto byte =
                i < name.size() ? static_cast<unsigned char>(UpperFolded(name[i])) : 0;
            packed = (packed << 8) | byte;
        }
        return packed;
    };
    std::vector<Key> keys;
    keys.reserve(slots_.size());
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        const std::string_view name = Name(i);
        keys.push_back({packFolded(name, 0, 8), static_cast<std::uint32_t>(packFolded(name, 8, 4)),
                        static_cast<std::uint32_t>(i)});
    }
    std::sort(keys.begin(), keys.end(), [this](const Key& a, const Key& b) {
        if (a.high != b.high) {
            return a.high < b.high;
        }
        if (a.low != b.low) {
            return a.low < b.low;
        }
        return ListedBefore(Name(a.position), Name(b.position));
    });
    // keys[i].position is the entry that belongs at i: each cycle of that permutation is
    // followed once, and a place that is done points at itself.
    const bool withDetails = !details_.empty();
    for (std::size_t start = 0; start < keys.size(); ++start) {
        if (keys[start].position == start) {
            continue;
        }
        const Slot slot = slots_[start];
        const Details details = withDetails ? details_[start] : Details{};
        std::size_t at = start;
        for (;;) {
            const std::size_t from = keys[at].position;
            keys[at].position = static_cast<std::uint32_t>(at);
            if (from == start) {
                slots_[at] = slot;
                if (withDetails) {
                    details_[at] = details;
                }
                break;
            }
            slots_[at] = slots_[from];
            if (withDetails) {
                details_[at] = details_[from];
            }
            at = from;
        }
    }
}

DirEntry FolderListing::Entry(std::size_t i) const {
    DirEntry entry;
    entry.name = std::string(Name(i));
    entry.kind = Kind(i);
    entry.attributes = slots_[i].attributes;
    entry.permissions = slots_[i].permissions == kSlotPermissionsUnknown ? kPermissionsUnknown
                                                                         : slots_[i].permissions;
    if (!details_.empty()) {
        const Details& details = details_[i];
        entry.size = details.size;
        entry.time = details.time;
        entry.modified = {details.seconds, details.nanoseconds};
    }
    return entry;
}

std::size_t FolderListing::Find(std::string_view name) const {
    // The listing's order is a total order on names, so an exact name is found by halving.
    std::size_t low = 0;
    std::size_t high = slots_.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (ListedBefore(Name(middle), name)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low < slots_.size() && Name(low) == name ? low : npos;
}

std::size_t FolderListing::FindFrom(std::string_view name, std::size_t& from) const {
    if (from > 0 && from <= slots_.size() && !ListedBefore(Name(from - 1), name)) {
        return Find(name);  // asked out of order
    }
    while (from < slots_.size() && ListedBefore(Name(from), name)) {
        ++from;
    }
    return from < slots_.size() && Name(from) == name ? from : npos;
}

bool ListDirectory(std::string_view folder, std::uint32_t mask, std::vector<DirEntry>& entries,
                   ListDetail detail, std::vector<UnlistedEntry>* unlisted) {
    entries.clear();
    FolderListing listing;
    if (!listing.Read(folder, mask, detail, unlisted)) {
        return false;
    }
    entries.reserve(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        entries.push_back(listing.Entry(i));
    }
    return true;
}

const DirEntry* FindListedEntry(const std::vector<DirEntry>& entries, std::string_view name) {
    // The listing's order is a total order on names, so an exact name is found by halving.
    const auto at = std::lower_bound(entries.begin(), entries.end(), name,
                                     [](const DirEntry& entry, std::string_view wanted) {
                                         return ListedBefore(entry.name, wanted);
                                     });
    return at != entries.end() && at->name == name ? &*at : nullptr;
}

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

// The bits a copy of an item with `original` bits gets: its owner may always write it, and
// list and enter it when it is a folder, so the next run can bring it up to date (a folder of
// the backup that its owner cannot list could never be mirrored or removed again).
mode_t CopyMode(std::uint32_t original, bool folder) {
    return static_cast<mode_t>(original & 07777) | S_IWUSR | (folder ? S_IRUSR | S_IXUSR : 0);
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

// ---- HostFile ----

HostFile::~HostFile() {
    // A file closed on the way out of a failed call must not hide the reason of that failure.
    if (fd_ >= 0) {
        const int reason = LastPlatformError().code;
        Close();
        SetLastPlatformError(reason);
    }
}

HostFile::HostFile(HostFile&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

HostFile& HostFile::operator=(HostFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool HostFile::Open(std::string_view path, Mode mode) {
    Close();
    std::optional<std::string> host = HostOf(path);
    if (!host) {
        return false;
    }
    int flags = O_CLOEXEC | O_NONBLOCK;  // non-blocking only so a FIFO cannot hang the open
    switch (mode) {
        case Mode::Read:
            flags |= O_RDONLY;
            break;
        case Mode::Truncate:
            flags |= O_WRONLY | O_CREAT | O_TRUNC;
            break;
        case Mode::Append:
            flags |= O_WRONLY | O_CREAT | O_APPEND;
            break;
    }
    if (mode != Mode::Read) {
        if (const int refusal = WriteRefusalFor(*host)) {
            return Fail(refusal);
        }
    }
    const int fd = host::Open(host->c_str(), flags, 0666);
    if (fd < 0) {
        return FailWithErrno();
    }
    // Only plain files are opened: a folder, FIFO or device is never read or written as one.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int refusal = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        host::Close(fd);
        return Fail(refusal);
    }
    // The status flags are the ones just opened with: no need to ask for them first.
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    opened_ = StatusOf(st);
    return Succeed();
}

bool HostFile::Read(void* buffer, std::size_t capacity, std::size_t& got) {
    got = 0;
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    const ssize_t n = host::Read(fd_, buffer, capacity);
    if (n < 0) {
        return FailWithErrno();
    }
    got = static_cast<std::size_t>(n);
    return Succeed();
}

bool HostFile::Write(const void* data, std::size_t length) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = host::Write(fd_, bytes, length);
        if (n < 0) {
            return FailWithErrno();
        }
        if (n == 0) {
            return Fail(ENOSPC);
        }
        bytes += n;
        length -= static_cast<std::size_t>(n);
    }
    return Succeed();
}

bool HostFile::Seek(std::uint64_t offset) {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return FailWithErrno();
    }
    return Succeed();
}

std::optional<std::uint64_t> HostFile::Size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        SetLastPlatformError(fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::optional<HostFile::Status> HostFile::Stat() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
        SetLastPlatformError(fd_ < 0 ? EBADF : errno);
        return std::nullopt;
    }
    return StatusOf(st);
}

bool HostFile::Sync() {
    if (fd_ < 0) {
        return Fail(EBADF);
    }
    if (host::Sync(fd_) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool HostFile::Close() {
    if (fd_ < 0) {
        return true;
    }
    const int fd = fd_;
    fd_ = -1;
    if (host::Close(fd) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

// ---- AtomicFileWriter ----

AtomicFileWriter::~AtomicFileWriter() {
    const PlatformError saved = LastPlatformError();
    Abort();
    SetLastPlatformError(saved.code);
}

bool AtomicFileWriter::Begin(std::string_view target, Durability durability) {
    Abort();
    failed_ = false;
    durability_ = durability;
    targetRefused_ = false;
    renameFailed_ = false;
    written_ = 0;
    writebackStart_ = 0;
    std::optional<std::string> host = HostOf(target);
    if (!host) {
        return false;
    }
    if (const int refusal = ReplaceRefusalFor(*host)) {
        targetRefused_ = true;
        return Fail(refusal);
    }
    const std::string folder = ParentFolder(*host);
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string candidate = (folder == "/" ? std::string() : folder) + "/" +
                                std::string(kTempPrefix) + RandomSuffix() +
                                std::string(kTempSuffix);
        // 0666 so the umask, not this program, decides who may read the new file.
        const int fd = host::Open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            target_ = *host;
            tempPath_ = std::move(candidate);
            file_.fd_ = fd;
            return Succeed();
        }
        if (errno != EEXIST) {
            return FailWithErrno();
        }
    }
    return Fail(EEXIST);
}

bool AtomicFileWriter::Write(const void* data, std::size_t length) {
    if (failed_ || !file_.IsOpen()) {
        return Fail(failed_ ? EIO : EBADF);
    }
    if (!file_.Write(data, length)) {
        failed_ = true;
        const int code = LastPlatformError().code;
        Abort();
        return Fail(code);
    }
    written_ += length;
    if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
        StartWriteback();
    }
    return true;
}

// A deferred file is flushed later with everything else the caller wrote. Sending the bytes of a
// large file on their way while it is still being copied keeps that one flush from having to
// write a whole big file at the end; small files are left to the flush.
void AtomicFileWriter::StartWriteback() {
    host::StartWriteback(file_.fd_, static_cast<off_t>(writebackStart_),
                         static_cast<off_t>(written_ - writebackStart_));
    writebackStart_ = written_;
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopyFrom(HostFile& source, CopyProgress progress,
                                                         void* context) {
    if (failed_ || !file_.IsOpen() || !source.IsOpen()) {
        Fail(failed_ ? EIO : EBADF);
        return CopyOutcome::WriteFailed;
    }
    // A disk image or a database file may be mostly holes: its copy keeps them, instead of
    // writing every zero of them to the backup. Small files are never worth the look.
    constexpr std::uint64_t kSparseLookFrom = 1u << 20;
    const std::uint64_t size = source.opened_.size;
    if (size >= kSparseLookFrom && ::lseek(source.fd_, 0, SEEK_CUR) == 0) {
        const off_t firstHole = ::lseek(source.fd_, 0, SEEK_HOLE);
        ::lseek(source.fd_, 0, SEEK_SET);
        if (firstHole >= 0 && static_cast<std::uint64_t>(firstHole) < size) {
            return CopySparse(source, size, progress, context);
        }
    }
    return CopyPiece(source, UINT64_MAX, progress, context);
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopySparse(HostFile& source, std::uint64_t size,
                                                           CopyProgress progress, void* context) {
    const auto giveUp = [this](int code) {
        failed_ = true;
        Abort();
        Fail(code);
        return CopyOutcome::ReadFailed;
    };
    off_t at = 0;
    while (static_cast<std::uint64_t>(at) < size) {
        const off_t data = ::lseek(source.fd_, at, SEEK_DATA);
        if (data < 0) {
            if (errno == ENXIO) {
                break;  // nothing but a hole up to the end
            }
            return giveUp(errno);
        }
        const off_t hole = ::lseek(source.fd_, data, SEEK_HOLE);
        if (hole < 0 || ::lseek(source.fd_, data, SEEK_SET) < 0 ||
            ::lseek(file_.fd_, data, SEEK_SET) < 0) {
            return giveUp(errno);
        }
        written_ = static_cast<std::uint64_t>(data);
        const CopyOutcome piece =
            CopyPiece(source, static_cast<std::uint64_t>(hole - data), progress, context);
        if (piece != CopyOutcome::Done) {
            return piece;
        }
        at = hole;
    }
    // The holes up to the end, and the length the file had when it was opened.
    if (host::SetLength(file_.fd_, static_cast<off_t>(size)) != 0) {
        const int code = errno != 0 ? errno : EIO;
        failed_ = true;
        Abort();
        Fail(code);
        return CopyOutcome::WriteFailed;
    }
    written_ = size;
    return CopyOutcome::Done;
}

AtomicFileWriter::CopyOutcome AtomicFileWriter::CopyPiece(HostFile& source, std::uint64_t limit,
                                                          CopyProgress progress, void* context) {
    const auto giveUp = [this](CopyOutcome outcome) {
        const int code = LastPlatformError().code != 0 ? LastPlatformError().code : EIO;
        failed_ = true;
        Abort();
        Fail(code);
        return outcome;
    };
    std::uint64_t left = limit;
    // The kernel copies without the bytes passing through this process. Pieces of the writeback
    // size, so that a large file is sent on to the medium while it is copied.
    while (left > 0) {
        host::CopySide side = host::CopySide::Unknown;
        const ssize_t copied = host::CopyRange(
            source.fd_, file_.fd_, static_cast<std::size_t>(std::min(kWritebackChunk, left)), side);
        if (copied == 0) {
            return CopyOutcome::Done;
        }
        if (copied < 0) {
            if (side == host::CopySide::Unknown) {
                break;  // the buffer below goes on from where the kernel stopped
            }
            SetLastPlatformError(errno != 0 ? errno : EIO);
            return giveUp(side == host::CopySide::Read ? CopyOutcome::ReadFailed
                                                       : CopyOutcome::WriteFailed);
        }
        written_ += static_cast<std::uint64_t>(copied);
        left -= static_cast<std::uint64_t>(copied);
        if (durability_ == Durability::Deferred && written_ - writebackStart_ >= kWritebackChunk) {
            StartWriteback();
        }
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return CopyOutcome::Stopped;
        }
    }
    constexpr std::size_t kBufferSize = 524288;
    std::unique_ptr<char[]> buffer;
    while (left > 0) {
        if (!buffer) {
            buffer.reset(new char[kBufferSize]);
        }
        std::size_t got = 0;
        if (!source.Read(buffer.get(),
                         static_cast<std::size_t>(std::min<std::uint64_t>(kBufferSize, left)),
                         got)) {
            return giveUp(CopyOutcome::ReadFailed);
        }
        if (got == 0) {
            return CopyOutcome::Done;
        }
        if (!Write(buffer.get(), got)) {
            return CopyOutcome::WriteFailed;  // Write has removed the temporary file
        }
        left -= got;
        if (progress != nullptr && !progress(context, written_)) {
            Abort();
            return CopyOutcome::Stopped;
        }
    }
    return CopyOutcome::Done;
}

bool AtomicFileWriter::KeepPermissions(const HostFile::Status& status) {
    if (failed_ || !file_.IsOpen()) {
        return Fail(failed_ ? EIO : EBADF);
    }
    // A medium without permission bits and owners (exFAT, FAT) has nothing to keep.
    if (!KeepsPermissionsAt(tempPath_)) {
        return Succeed();
    }
    struct stat st {};
    const bool known = ::fstat(file_.fd_, &st) == 0;
    if (known && (st.st_uid != status.owner || st.st_gid != status.group)) {
        (void)::fchown(file_.fd_, status.owner, status.group);  // only where permitted
    }
    // A new file usually has the wanted bits already (0644 from 0666 and the common umask). A
    // change of owner may have cleared set-id bits, so only an unchanged owner skips the call.
    const mode_t wanted = CopyMode(status.permissions, false);
    if (known && st.st_uid == status.owner && st.st_gid == status.group &&
        (st.st_mode & 07777) == wanted) {
        return Succeed();
    }
    if (::fchmod(file_.fd_, wanted) != 0) {
        return FailWithErrno();
    }
    return Succeed();
}

bool AtomicFileWriter::Commit(std::optional<PackedTime> stamp) {
    if (!stamp) {
        return CommitStamped(nullptr);
    }
    struct timespec modified {};
    modified.tv_sec = UnpackToHostTime(*stamp);
    return CommitStamped(&modified);
}

bool AtomicFileWriter::Commit(HostTime modified) {
    struct timespec exact {};
    exact.tv_sec = static_cast<time_t>(modified.seconds);
    exact.tv_nsec = modified.nanoseconds;
    return CommitStamped(&exact);
}

bool AtomicFileWriter::CommitStamped(const struct timespec* modified) {
    if (failed_ || !file_.IsOpen()) {
        Abort();
        return Fail(failed_ ? EIO : EBADF);
    }
    const auto giveUp = [this]() {
        const int code = LastPlatformError().code != 0 ? LastPlatformError().code : EIO;
        failed_ = true;
        Abort();
        return Fail(code);
    };
    // The time is set on the open file, which saves a lookup of its path; nothing written
    // after it could move it, and with SyncEachFile the flush below carries it too.
    if (modified != nullptr) {
        // Both times given: a medium asked to keep one of them may store "now" in the other
        // (exfat-fuse does), and the next run would copy the file again.
        const struct timespec times[2] = {*modified, *modified};
        if (host::SetTimesOf(file_.fd_, times) != 0) {
            SetLastPlatformError(errno);
            return giveUp();
        }
    }
    if (durability_ == Durability::SyncEachFile && !file_.Sync()) {
        return giveUp();
    }
    if (durability_ == Durability::Deferred && writebackStart_ > 0 && written_ > writebackStart_) {
        StartWriteback();
    }
    if (!file_.Close()) {
        return giveUp();
    }
    // The target may have turned read-only or become a folder since Begin.
    if (const int refusal = ReplaceRefusalFor(target_)) {
        SetLastPlatformError(refusal);
        return giveUp();
    }
    if (host::Rename(tempPath_.c_str(), target_.c_str()) != 0) {
        SetLastPlatformError(errno);
        renameFailed_ = true;
        return giveUp();
    }
    // A FAT medium through FUSE writes its directory entry, time and all, when the file is
    // closed: the time the copy must carry is given again to the closed file.
    if (modified != nullptr && SetsTimesAfterCloseAt(target_)) {
        const struct timespec times[2] = {*modified, *modified};
        (void)host::SetTimes(target_.c_str(), times, 0);
    }
    tempPath_.clear();
    target_.clear();
    return Succeed();
}

void AtomicFileWriter::Abort() {
    file_.Close();
    if (!tempPath_.empty()) {
        host::Unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    target_.clear();
}

bool SyncFileSystemOf(std::string_view path) {
    std::optional<std::string> host = HostOf(path);
    if (!host) {
        return false;
    }
    // Non-blocking only so a FIFO at `path` cannot hang the open.
    const int fd = host::Open(host->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return FailWithErrno();
    }
    const bool synced = host::SyncFileSystem(fd) == 0;
    const int reason = errno;
    host::Close(fd);
    return synced ? Succeed() : Fail(reason != 0 ? reason : EIO);
}

bool WriteFileAtomically(std::string_view path, std::string_view content) {
    AtomicFileWriter writer;
    return writer.Begin(path) && writer.Write(content) && writer.Commit();
}

std::optional<std::string> ReadWholeFile(std::string_view path) {
    HostFile file;
    if (!file.Open(path, HostFile::Mode::Read)) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    for (;;) {
        std::size_t got = 0;
        if (!file.Read(buffer, sizeof buffer, got)) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, got);
    }
    if (!file.Close()) {
        return std::nullopt;
    }
    return content;
}

bool IsTemporaryFileName(std::string_view name) {
    constexpr std::size_t kDigits = 12;  // as RandomSuffix makes them
    if (name.size() != kTempPrefix.size() + kDigits + kTempSuffix.size() ||
        name.substr(0, kTempPrefix.size()) != kTempPrefix ||
        name.substr(name.size() - kTempSuffix.size()) != kTempSuffix) {
        return false;
    }
    const std::string_view digits = name.substr(kTempPrefix.size(), kDigits);
    return std::all_of(digits.begin(), digits.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
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
