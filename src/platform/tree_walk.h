#pragma once
// Walks of whole folder trees that descend by directory handle (openat, unlinkat relative to
// the open parent), never by composing path texts: nothing a name or a damaged path holds can
// make them revisit a folder or leave the tree, and no link below the starting folder is ever
// entered. Paths are drive paths.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/paths.h"

namespace vlm {

// Deletes everything below the real folder `folder` (never through a link), then the folder
// itself, going on past failures. The read-only rules hold: a read-only file is not deleted, a
// read-only folder is emptied but not removed. False when anything stayed, and when `folder` is
// no real folder.
bool DeleteFolderTree(const DrivePath& folder);

// The sum of the sizes of all plain files below `folder` (hidden ones included). `folder` itself
// may be a link, as a source item named by the person may be; nothing below it is followed.
// nullopt when `stop` was set before the walk was done.
std::optional<std::uint64_t> FolderTreeSize(const DrivePath& folder,
                                            const std::atomic<bool>* stop = nullptr);

// Asked of each entry below a counted folder: true when the entry (a folder when `isFolder`),
// named by its path below that folder in drive names ("sub\name.txt"), is left out of the size,
// and for a folder all that lies in it.
using LeftOutOfSize = std::function<bool(std::string_view below, bool isFolder)>;
// The sum of the sizes of the plain files below `folder` that `leftOut` keeps in, walked like
// FolderTreeSize. With `largestFile` (not 0), a file larger than that is left out too.
std::uint64_t FolderTreeSizeLeaving(const DrivePath& folder, const LeftOutOfSize& leftOut,
                                    std::uint64_t largestFile = 0);

// How many plain files lie below `folder` (at any depth), and the sum of their sizes; walked
// like FolderTreeSize.
struct FolderTreeTotals {
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    // Folders that could not be looked into: what they hold is not counted.
    std::uint64_t unreadFolders = 0;
    // The read-only plain files among them, and their bytes: what a removal of the tree leaves.
    std::uint64_t readOnlyFiles = 0;
    std::uint64_t readOnlyBytes = 0;
    // The files among them that are no part of a backup, and their bytes: the program's own
    // temporary files, and whatever lies in a `lost+found` folder.
    std::uint64_t scratchFiles = 0;
    std::uint64_t scratchBytes = 0;
};
// `enoughFiles`: the count ends once more than that many files are counted that are part of a
// backup (the totals are then only a lower bound): for a caller that only needs to know whether
// a tree holds more than so many. With `leftOut`, what it leaves out (a folder with all it holds)
// is not counted at all.
FolderTreeTotals CountFolderTree(const DrivePath& folder, std::uint64_t enoughFiles = UINT64_MAX,
                                 const LeftOutOfSize& leftOut = {});

// The first read-only folder at or below the real folder `folder`, in the
// order the host lists them; nullopt when there is none.
std::optional<DrivePath> FindReadOnlyFolder(const DrivePath& folder);

// True when one of `a` and `b` is the other or lies inside it on the file system, whatever the
// path texts say: each folder is known by its device and inode, and the way up from a path is
// the file system's own (".." of each folder), so links and bind mounts are seen. A path that
// does not exist yet counts from the deepest part of it that does.
bool FoldersNest(const DrivePath& a, const DrivePath& b);

}  // namespace vlm
