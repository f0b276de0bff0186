#pragma once
// Reads ahead what a run is about to ask the file system about a folder tree: each folder's
// entries and each entry's attributes, on worker threads beside the run. On a tree whose
// folders and attributes are not in memory (the first run after a start, a disk that was away),
// the run's walks would wait for the medium at every folder one after the other; with the same
// looks made ahead, several waits overlap and the walks find most answers in memory.
//
// The looks only warm the caches: the run still asks for everything itself, in its own order,
// and nothing it reports depends on the workers. They never follow a link, never write, and are
// no host calls that a test can make fail. A worker ends by itself when its first folders were
// all in memory already (there is nothing to win), at the end of its tree, or at Stop.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/paths.h"

namespace vlm {

class MetadataPrefetch {
public:
    MetadataPrefetch() = default;
    // Starts `workersPerFolder` workers for each of `folders` that can be translated; the
    // workers of one folder share its sub-folders out between them.
    explicit MetadataPrefetch(const std::vector<DrivePath>& folders, int workersPerFolder = 2) {
        Start(folders, workersPerFolder);
    }
    ~MetadataPrefetch() { Stop(); }
    MetadataPrefetch(const MetadataPrefetch&) = delete;
    MetadataPrefetch& operator=(const MetadataPrefetch&) = delete;

    void Start(const std::vector<DrivePath>& folders, int workersPerFolder = 2);
    // Tells every worker to end at its next entry and waits until each has ended.
    void Stop();

    // Entries looked at so far, by all workers together.
    std::uint64_t EntriesLooked() const { return looked_.load(std::memory_order_relaxed); }

private:
    struct Walk {
        // In the top folder this worker takes every entry whose place modulo `shares` is `share`.
        int share = 0;
        int shares = 1;
        long blocksAtStart = 0;    // what the worker's thread had read before it began
        std::uint64_t looked = 0;  // entries this worker looked at
    };
    void Work(const HostPath& hostFolder, int share, int shares);
    bool Visit(int folderFd, int depth, Walk& walk);

    std::atomic<bool> stop_{false};
    std::atomic<std::uint64_t> looked_{0};
    std::vector<std::thread> workers_;
};

}  // namespace vlm
