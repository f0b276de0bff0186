#include "platform/folder_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/file_system_support.h"
#include "platform/host_calls.h"
#include "platform/medium.h"
#include "platform/path_translation.h"

namespace vlm {

using namespace file_system_support;

namespace {

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

}  // namespace

FileStatus FolderListing::Read(const DrivePath& folder, std::uint32_t mask, ListDetail detail,
                               std::vector<UnlistedEntry>* unlisted) {
    if (unlisted != nullptr) {
        unlisted->clear();
    }
    names_.clear();
    slots_.clear();
    details_.clear();
    const FileResult<HostPlace> host = PlaceOf(folder);
    if (!host) {
        return host.Error();
    }
    const int opened = host::OpenAt(host->Folder(), host->Name(),
                                    O_RDONLY | O_DIRECTORY | O_CLOEXEC | host->NoFollow());
    DIR* dir = opened >= 0 ? host::ListFolder(opened) : nullptr;
    if (dir == nullptr) {
        const FileError failed = ErrnoError(folder);
        if (opened >= 0) {
            host::CloseQuietly(opened);
        }
        return failed;
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
                return Error(saved, folder);
            }
            break;
        }
        const std::string_view hostName = item->d_name;
        if (hostName == "." || hostName == "..") {
            continue;
        }
        std::optional<std::string> name = HostNameToDriveName(hostName);
        if (!name && StoresStandInsAt(host->Host())) {
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
    return {};
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

FileStatus ListDirectory(const DrivePath& folder, std::uint32_t mask,
                         std::vector<DirEntry>& entries, ListDetail detail,
                         std::vector<UnlistedEntry>* unlisted) {
    entries.clear();
    FolderListing listing;
    if (FileStatus read = listing.Read(folder, mask, detail, unlisted); !read) {
        return read;
    }
    entries.reserve(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        entries.push_back(listing.Entry(i));
    }
    return {};
}

const DirEntry* FindListedEntry(const std::vector<DirEntry>& entries, std::string_view name) {
    // The listing's order is a total order on names, so an exact name is found by halving.
    const auto at = std::lower_bound(entries.begin(), entries.end(), name,
                                     [](const DirEntry& entry, std::string_view wanted) {
                                         return ListedBefore(entry.name, wanted);
                                     });
    return at != entries.end() && at->name == name ? &*at : nullptr;
}

}  // namespace vlm
