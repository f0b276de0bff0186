#include "dialogs/restore_browser.h"

#include <algorithm>

#include "util/file_helpers.h"

namespace vlm {

namespace {

// A time after every run: the backup as it is now.
constexpr DateTime kLatest = 1e7;

}  // namespace

RestoreBrowser::RestoreBrowser(std::vector<BackedUpItem> items, bool versionsOn, bool sync)
    : items_(std::move(items)), versionsOn_(versionsOn) {
    for (const BackedUpItem& item : items_) {
        const DrivePath backup(item.backup);
        // A synchronisation into a drive's root keeps no versions: its store reads the mirror
        // alone.
        stores_.push_back(VersionStore::For(DrivePath(item.source), backup, sync)
                              .value_or(VersionStore(backup.Parent(), DrivePath())));
        LearnBackupMediaForReading(backup, stores_.back());
    }
}

bool RestoreBrowser::HasBackup() const {
    return std::any_of(items_.begin(), items_.end(), [](const BackedUpItem& item) {
        return ItemKind(DrivePath(item.backup)) != 'n';
    });
}

std::optional<RestoreBrowser::Located> RestoreBrowser::Locate(const std::string& text) const {
    const DrivePath path(text);
    for (std::size_t j = 0; j < items_.size(); ++j) {
        const DrivePath item(items_[j].source);
        const DrivePath backup(items_[j].backup);
        if (item.empty() || backup.empty())
            continue;
        if (DrivePath mirror = path.Rebased(item, backup); !mirror.empty())
            return Located{&stores_[j], std::move(mirror)};
    }
    return std::nullopt;
}

DateTime RestoreBrowser::TimeOf(const std::string& asOf) const {
    return asOf.empty() ? kLatest : ParseVersionRunName(asOf).value_or(kLatest);
}

std::vector<std::string> RestoreBrowser::RunTimes() const {
    std::vector<std::string> names;
    for (const VersionStore& store : stores_)
        for (const KeptRun& run : store.Runs())
            names.push_back(run.name);
    // The names sort as the times they stand for.
    std::sort(names.begin(), names.end(), std::greater<>());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::optional<ItemAsOf> RestoreBrowser::Find(const std::string& path,
                                             const std::string& asOf) const {
    const std::optional<Located> located = Locate(path);
    if (!located)
        return std::nullopt;
    return located->store->ItemAt(located->mirrorPath, TimeOf(asOf));
}

std::vector<ItemAsOf> RestoreBrowser::List(const std::string& folder,
                                           const std::string& asOf) const {
    const std::optional<Located> located = Locate(folder);
    if (!located)
        return {};
    return located->store->ListAt(located->mirrorPath, TimeOf(asOf));
}

std::vector<ItemAsOf> RestoreBrowser::Deleted(const std::string& folder) const {
    const std::optional<Located> located = Locate(folder);
    if (!located)
        return {};
    return located->store->DeletedIn(located->mirrorPath);
}

std::vector<KeptVersion> RestoreBrowser::Versions(const std::string& file) const {
    const std::optional<Located> located = Locate(file);
    if (!located)
        return {};
    std::vector<KeptVersion> versions = located->store->VersionsOf(located->mirrorPath);
    std::reverse(versions.begin(), versions.end());
    return versions;
}

RestoreOutcome RestoreBrowser::Restore(const std::string& path, const std::string& asOf,
                                       const std::string& into,
                                       const ReplaceNewerQuestion& replaceNewer) const {
    const std::optional<Located> located = Locate(path);
    if (!located)
        return {0, 1, {"The backup holds no " + path}};
    DateTime time = TimeOf(asOf);
    if (asOf.empty())
        time = located->store->NewestKeptWhenGone(located->mirrorPath).value_or(time);
    return RestoreAt(*located->store, located->mirrorPath, time, DrivePath(into), replaceNewer);
}

RestoreOutcome RestoreBrowser::RestoreVersion(const std::string& path, const KeptVersion& version,
                                              const std::string& into,
                                              const ReplaceNewerQuestion& replaceNewer) const {
    const std::optional<Located> located = Locate(path);
    if (!located)
        return {0, 1, {"The backup holds no " + path}};
    // What a path held at the start of the run that kept it is that run's version.
    return RestoreAt(*located->store, located->mirrorPath, version.kept, DrivePath(into),
                     replaceNewer);
}

}  // namespace vlm
