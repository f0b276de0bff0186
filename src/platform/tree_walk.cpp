#include "platform/tree_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/file_system.h"
#include "platform/host_calls.h"
#include "platform/host_place.h"
#include "platform/path_translation.h"

namespace vlm {

namespace {

// An open folder, closed on every way out.
class FolderHandle {
public:
    explicit FolderHandle(int fd) : fd_(fd) {}
    ~FolderHandle() {
        if (fd_ >= 0)
            host::Close(fd_);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    int fd() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// The names in the open folder `folderFd`, "." and ".." left out. The names are read first and
// worked on afterwards, so deleting never disturbs the listing.
std::optional<std::vector<std::string>> NamesIn(int folderFd) {
    const int listFd = ::dup(folderFd);
    if (listFd < 0)
        return std::nullopt;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return std::nullopt;
    }
    // fdopendir shares the offset of the descriptor it was given: start at the beginning.
    ::rewinddir(dir);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        struct dirent* item = host::ReadDir(dir);
        if (item == nullptr) {
            const bool complete = errno == 0;
            host::CloseDir(dir);
            if (!complete)
                return std::nullopt;
            return names;
        }
        const std::string_view name = item->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
}

// Opens the real folder `name` inside `parentFd`; a link of that name is never followed.
int OpenSubFolder(int parentFd, const std::string& name) {
    return host::OpenAt(parentFd, name.c_str(), kFolderFlags | O_NOFOLLOW);
}

bool DeleteContents(int folderFd) {
    const auto names = NamesIn(folderFd);
    if (!names)
        return false;
    bool complete = true;
    for (const std::string& name : *names) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                complete = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const FolderHandle sub(OpenSubFolder(folderFd, name));
            if (!sub.IsOpen() || !DeleteContents(sub.fd()))
                complete = false;
            if (IsReadOnlyMode(st.st_mode) ||
                host::UnlinkAt(folderFd, name.c_str(), AT_REMOVEDIR) != 0)
                complete = false;
            continue;
        }
        if ((S_ISREG(st.st_mode) && IsReadOnlyMode(st.st_mode)) ||
            host::UnlinkAt(folderFd, name.c_str(), 0) != 0)
            complete = false;
    }
    return complete;
}

// What a count leaves out, and where it is: the path below the counted folder in drive names.
struct CountLeaving {
    const LeftOutOfSize& leftOut;
    std::string below;

    // True when the entry `name` of the folder at `below` is left out; `below` is then as it was,
    // otherwise it names the entry until Leave.
    bool Skips(const std::string& name, bool isFolder, std::size_t& mark) {
        mark = below.size();
        if (!below.empty())
            below += '\\';
        below += HostNameToDriveName(name).value_or(name);
        if (!leftOut(below, isFolder))
            return false;
        below.resize(mark);
        return true;
    }
    void Leave(std::size_t mark) { below.resize(mark); }
};

// Adds the plain files below the open folder to `totals`; false when `stop` was set before the
// walk was done.
bool CountContents(int folderFd, FolderTreeTotals& totals, const std::atomic<bool>* stop,
                   bool inLostAndFound = false, std::uint64_t enoughFiles = UINT64_MAX,
                   CountLeaving* leaving = nullptr) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        return false;
    if (totals.files - totals.scratchFiles > enoughFiles)
        return false;
    const auto names = NamesIn(folderFd);
    if (!names) {
        ++totals.unreadFolders;
        return true;
    }
    for (const std::string& name : *names) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        std::size_t mark = 0;
        if (leaving != nullptr && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) &&
            leaving->Skips(name, S_ISDIR(st.st_mode), mark))
            continue;
        bool counted = true;
        if (S_ISREG(st.st_mode)) {
            ++totals.files;
            totals.bytes += static_cast<std::uint64_t>(st.st_size);
            if (IsReadOnlyMode(st.st_mode)) {
                ++totals.readOnlyFiles;
                totals.readOnlyBytes += static_cast<std::uint64_t>(st.st_size);
            }
            if (inLostAndFound || IsTemporaryFileName(name)) {
                ++totals.scratchFiles;
                totals.scratchBytes += static_cast<std::uint64_t>(st.st_size);
            }
        } else if (S_ISDIR(st.st_mode)) {
            const FolderHandle sub(OpenSubFolder(folderFd, name));
            if (!sub.IsOpen())
                ++totals.unreadFolders;
            else
                counted =
                    CountContents(sub.fd(), totals, stop, inLostAndFound || name == kLostAndFound,
                                  enoughFiles, leaving);
        }
        if (leaving != nullptr && (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)))
            leaving->Leave(mark);
        if (!counted)
            return false;
    }
    return true;
}

// The path below the open folder (relative, backslash-separated) of its first read-only folder.
std::optional<std::string> ReadOnlyFolderIn(int folderFd) {
    const auto names = NamesIn(folderFd);
    if (!names)
        return std::nullopt;
    for (const std::string& name : *names) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode))
            continue;
        const std::string shown = HostNameToDriveName(name).value_or(name);
        if (IsReadOnlyMode(st.st_mode))
            return shown;
        const FolderHandle sub(OpenSubFolder(folderFd, name));
        if (!sub.IsOpen())
            continue;
        if (auto below = ReadOnlyFolderIn(sub.fd()))
            return shown + "\\" + *below;
    }
    return std::nullopt;
}

// Adds the sizes of the plain files below the open folder that `leftOut` keeps in. `below` is
// the folder's path below the counted one in drive names, empty at the top.
void SizeKeptIn(int folderFd, std::string& below, const LeftOutOfSize& leftOut,
                std::uint64_t largestFile, std::uint64_t& bytes) {
    const auto names = NamesIn(folderFd);
    if (!names)
        return;
    for (const std::string& name : *names) {
        struct stat st {};
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const bool isFolder = S_ISDIR(st.st_mode);
        if (!isFolder && !S_ISREG(st.st_mode))
            continue;
        const std::size_t mark = below.size();
        if (!below.empty())
            below += '\\';
        below += HostNameToDriveName(name).value_or(name);
        if (!leftOut(below, isFolder)) {
            if (!isFolder) {
                const auto size = static_cast<std::uint64_t>(st.st_size);
                if (largestFile == 0 || size <= largestFile)
                    bytes += size;
            } else {
                const FolderHandle sub(OpenSubFolder(folderFd, name));
                if (sub.IsOpen())
                    SizeKeptIn(sub.fd(), below, leftOut, largestFile, bytes);
            }
        }
        below.resize(mark);
    }
}

// The real folder at the drive path `folder`, opened; a link there is refused.
int OpenRealFolder(const DrivePath& folder) {
    const auto place = PlaceOf(folder);
    if (!place)
        return -1;
    return host::OpenAt(place->Folder(), place->Name(), kFolderFlags | O_NOFOLLOW);
}

// The folder at the drive path `folder` opened for reading, following a link only where a named
// path does (outside a walk's top); -1 with errno when it cannot be.
int OpenFolderForCount(const DrivePath& folder) {
    const auto place = PlaceOf(folder);
    if (!place) {
        errno = place.Error().code;
        return -1;
    }
    return ::openat(place->Folder(), place->Name(), kFolderFlags | place->NoFollow());
}

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator==(const Identity&) const = default;
};

Identity IdentityOf(const struct stat& st) {
    return {st.st_dev, st.st_ino};
}

std::string HostParent(const std::string& host) {
    const std::size_t slash = host.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : host.substr(0, slash);
}

// What the host path `host` is (following links), when it exists.
std::optional<Identity> ExistingIdentity(const std::string& host) {
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0)
        return std::nullopt;
    return IdentityOf(st);
}

// The folders a path lies in, from the deepest existing one up to the root, each by identity.
// The way up is the file system's: ".." of each open folder, not the text of the path.
std::vector<Identity> FoldersAbove(std::string host) {
    std::vector<Identity> chain;
    struct stat st {};
    while (::stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        if (host == "/")
            return chain;
        host = HostParent(host);
    }
    int fd = ::open(host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    // A chain deeper than any real one means the walk is going round: stop.
    for (int depth = 0; fd >= 0 && depth < 4096; ++depth) {
        if (::fstat(fd, &st) != 0)
            break;
        const Identity here = IdentityOf(st);
        if (!chain.empty() && chain.back() == here)
            break;  // ".." of the root is the root
        chain.push_back(here);
        const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = up;
    }
    if (fd >= 0)
        ::close(fd);
    return chain;
}

bool Contains(const std::vector<Identity>& chain, const Identity& folder) {
    for (const Identity& id : chain) {
        if (id == folder)
            return true;
    }
    return false;
}

}  // namespace

bool DeleteFolderTree(const DrivePath& folder) {
    {
        const FolderHandle top(OpenRealFolder(folder));
        if (!top.IsOpen())
            return false;
        if (!DeleteContents(top.fd())) {
            return false;
        }
    }
    const auto place = PlaceOf(folder);
    struct stat st {};
    if (!place || ::fstatat(place->Folder(), place->Name(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISDIR(st.st_mode) || IsReadOnlyMode(st.st_mode))
        return false;
    const bool removed = host::UnlinkAt(place->Folder(), place->Name(), AT_REMOVEDIR) == 0;
    ForgetHeldFolders();  // a held descriptor of a folder in the tree would outlive it
    return removed;
}

std::optional<std::uint64_t> FolderTreeSize(const DrivePath& folder,
                                            const std::atomic<bool>* stop) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed))
        return std::nullopt;
    // A path the drive table cannot place opens nothing and counts as empty.
    const FolderHandle top(OpenFolderForCount(folder));
    FolderTreeTotals totals;
    if (top.IsOpen() && !CountContents(top.fd(), totals, stop))
        return std::nullopt;
    return totals.bytes;
}

std::uint64_t FolderTreeSizeLeaving(const DrivePath& folder, const LeftOutOfSize& leftOut,
                                    std::uint64_t largestFile) {
    std::uint64_t bytes = 0;
    std::string below;
    const FolderHandle top(OpenFolderForCount(folder));
    if (top.IsOpen())
        SizeKeptIn(top.fd(), below, leftOut, largestFile, bytes);
    return bytes;
}

FolderTreeTotals CountFolderTree(const DrivePath& folder, std::uint64_t enoughFiles,
                                 const LeftOutOfSize& leftOut) {
    FolderTreeTotals totals;
    const FolderHandle top(OpenFolderForCount(folder));
    std::optional<CountLeaving> leaving;
    if (leftOut)
        leaving.emplace(CountLeaving{leftOut, std::string()});
    if (top.IsOpen())
        CountContents(top.fd(), totals, nullptr, false, enoughFiles, leaving ? &*leaving : nullptr);
    else if (errno != ENOENT)
        ++totals.unreadFolders;
    return totals;
}

std::optional<DrivePath> FindReadOnlyFolder(const DrivePath& folder) {
    const FolderHandle top(OpenRealFolder(folder));
    if (!top.IsOpen())
        return std::nullopt;
    struct stat st {};
    if (::fstat(top.fd(), &st) == 0 && IsReadOnlyMode(st.st_mode))
        return folder;
    if (auto below = ReadOnlyFolderIn(top.fd())) {
        // A name on the way that has no drive name of its own: the folder holding it is named.
        const DrivePath found = folder / *below;
        return found.empty() ? folder : found;
    }
    return std::nullopt;
}

bool FoldersNest(const DrivePath& a, const DrivePath& b) {
    const auto hostA = ToHostPath(a);
    const auto hostB = ToHostPath(b);
    if (!hostA || !hostB)
        return false;
    const auto idA = ExistingIdentity(hostA->Text());
    const auto idB = ExistingIdentity(hostB->Text());
    return (idA && Contains(FoldersAbove(hostB->Text()), *idA)) ||
           (idB && Contains(FoldersAbove(hostA->Text()), *idB));
}

}  // namespace vlm
