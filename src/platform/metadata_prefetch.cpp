#include "platform/metadata_prefetch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "platform/host_calls.h"
#include "platform/path_translation.h"

namespace vlm {

namespace {

// Each level of the walk holds its folder open while it goes down: below this depth nothing is
// read ahead, so that the workers never take more than a few dozen descriptors from the run.
constexpr int kDeepestLevel = 24;

// A worker that has looked at this many entries without the medium being read once has found
// its tree in memory: it ends, so that it takes no processor time from the run for nothing.
constexpr std::uint64_t kEntriesToJudgeBy = 1024;

}  // namespace

void MetadataPrefetch::Start(const std::vector<DrivePath>& folders, int workersPerFolder) {
    Stop();
    stop_.store(false);
    const int shares = std::max(1, workersPerFolder);
    for (const DrivePath& folder : folders) {
        // Translated here: the drive table belongs to the run's thread.
        std::optional<HostPath> host = ToHostPath(folder);
        if (!host) {
            continue;
        }
        for (int share = 0; share < shares; ++share) {
            try {
                workers_.emplace_back([this, path = *host, share, shares] {
                    // Read-ahead is only a help: nothing that goes wrong in it may end the run.
                    try {
                        Work(path, share, shares);
                    } catch (...) {
                    }
                });
            } catch (const std::exception&) {
                return;  // no thread to be had: the run goes on with the workers it has
            }
        }
    }
}

void MetadataPrefetch::Stop() {
    stop_.store(true);
    for (std::thread& worker : workers_) {
        worker.join();
    }
    workers_.clear();
}

void MetadataPrefetch::Work(const HostPath& hostFolder, int share, int shares) {
    const int fd = host::OpenFolderQuietly(AT_FDCWD, hostFolder.Text().c_str());
    if (fd >= 0) {
        Walk walk;
        walk.share = share;
        walk.shares = shares;
        walk.blocksAtStart = host::BlocksReadByThisThread();
        Visit(fd, 0, walk);
    }
}

// Looks at every entry of the open folder `folderFd` (taken over and closed), then goes down
// into its sub-folders in name order, as the run's walks do. In the top folder each worker takes
// only its own share of the entries and sub-folders. False once the worker is to end.
bool MetadataPrefetch::Visit(int folderFd, int depth, Walk& walk) {
    DIR* dir = host::ListFolderQuietly(folderFd);
    if (dir == nullptr) {
        host::CloseQuietly(folderFd);
        return !stop_.load(std::memory_order_relaxed);
    }
    const auto mine = [&](std::size_t index) {
        return depth > 0 || index % static_cast<std::size_t>(walk.shares) ==
                                static_cast<std::size_t>(walk.share);
    };
    std::vector<std::string> folders;
    std::size_t index = 0;
    bool goOn = true;
    while (const struct dirent* item = host::ReadDir(dir)) {
        if (stop_.load(std::memory_order_relaxed)) {
            goOn = false;
            break;
        }
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0) {
            continue;
        }
        if (!mine(index++)) {
            continue;
        }
        struct stat st {};
        const bool looked = host::LookQuietly(::dirfd(dir), item->d_name, &st) == 0;
        // Only a real folder is gone into: a link is looked at itself, never followed.
        if (looked && S_ISDIR(st.st_mode)) {
            folders.emplace_back(item->d_name);
        }
        looked_.fetch_add(1, std::memory_order_relaxed);
        if (++walk.looked == kEntriesToJudgeBy &&
            host::BlocksReadByThisThread() == walk.blocksAtStart) {
            goOn = false;
            break;
        }
    }
    if (goOn && depth < kDeepestLevel) {
        std::sort(folders.begin(), folders.end());
        for (const std::string& name : folders) {
            const int sub = host::OpenFolderQuietly(::dirfd(dir), name.c_str());
            if (sub >= 0 && !Visit(sub, depth + 1, walk)) {
                goOn = false;
                break;
            }
        }
    }
    host::CloseDir(dir);
    return goOn && !stop_.load(std::memory_order_relaxed);
}

}  // namespace vlm
