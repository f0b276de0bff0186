#pragma once
// Listing a folder as FindFirstFile does: entries, their attribute bits and their order.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_result.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

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

    // Lists `folder` as ListDirectory does; the error (the listing empty) when it cannot be read.
    FileStatus Read(const DrivePath& folder, std::uint32_t mask,
                    ListDetail detail = ListDetail::Full,
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
// mask (so 63 lists everything and 39 lists no folders). The error when the folder cannot be
// read.
// Entries that cannot be given go to `unlisted` when the caller asks for them; an entry that is
// gone between reading the folder and looking at it is neither listed nor unlisted.
FileStatus ListDirectory(const DrivePath& folder, std::uint32_t mask,
                         std::vector<DirEntry>& entries, ListDetail detail = ListDetail::Full,
                         std::vector<UnlistedEntry>* unlisted = nullptr);

// The entry named exactly `name` (the host's own, case-sensitive comparison) in a listing made
// by ListDirectory; nullptr when the listing has none.
const DirEntry* FindListedEntry(const std::vector<DirEntry>& entries, std::string_view name);

}  // namespace vlm
