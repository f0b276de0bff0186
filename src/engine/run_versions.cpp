// The run driver's part in kept versions: a keeper for each item whose project keeps them, and
// at the end of the run the pruning of what is older than the project's days.

#include <algorithm>

#include "engine/run_driver.h"

namespace vlm {

std::unique_ptr<VersionKeeper> RunEngine::KeeperFor(const DrivePath& source,
                                                    const DrivePath& destination) {
    if (!request_.options.versions)
        return nullptr;
    const std::optional<VersionStore> store =
        VersionStore::For(source, destination, handOver_.SyncMode);
    if (!store) {
        // A synchronisation into a drive's root has no place beside it for versions.
        report("No versions can be kept for " + destination.Text() +
                   "; replaced and removed files there "
                   "are not kept!",
               true);
        return nullptr;
    }
    return std::make_unique<VersionKeeper>(*store, versionsStart_);
}

DateTime RunEngine::FreeVersionsStart() const {
    const std::vector<VersionStore> stores = VersionStores();
    const auto taken = [&](DateTime start) {
        const std::string name = VersionRunName(start);
        return std::any_of(stores.begin(), stores.end(), [&](const VersionStore& store) {
            return QueryEntry(store.Root() / name) || QueryEntry(store.AddedListOf(name));
        });
    };
    constexpr DateTime kSecond = 1.0 / 86400;
    DateTime start = startTime_;
    while (taken(start))
        start += kSecond;
    return start;
}

// The stores of this run's items, each once.
std::vector<VersionStore> RunEngine::VersionStores() const {
    std::vector<VersionStore> stores;
    if (!request_.options.versions)
        return stores;
    for (const VersionedItem& item : VersionedItems(request_, handOver_.SyncMode))
        if (std::none_of(stores.begin(), stores.end(),
                         [&](const VersionStore& s) { return s.Root() == item.store.Root(); }))
            stores.push_back(item.store);
    return stores;
}

// What the pruning at the end of this run will free, for the estimate.
std::uint64_t RunEngine::VersionBytesPruned() const {
    std::uint64_t bytes = 0;
    for (const VersionStore& store : VersionStores())
        bytes += PrunableBytes(store, request_.options.versionDays, NowLocal());
    return bytes;
}

// Versions older than the project's days go, oldest first; only after a run that did its work.
void RunEngine::PruneKeptVersions() {
    if (run_.StopRequested || !passes_.sink.Touches() || fatalError_)
        return;
    for (const VersionStore& store : VersionStores()) {
        PruneOlderThan(
            store, request_.options.versionDays, NowLocal(),
            [&](const KeptRun& kept, bool removed) {
                run_.DestinationWritten = true;
                if (removed)
                    report("Removed kept versions of " + kept.name + ": " + kept.folder.Text(),
                           false);
                else
                    // An error line never goes with a run that ends "OK".
                    GoPastFailure(passes_, {"ERROR: unable to remove all kept versions in " +
                                            kept.folder.Text() + "!!"});
            });
    }
}

}  // namespace vlm
