#pragma once
// What the restore window shows of a project's backup, in the terms of the source: the folders
// and files of each source item as they are in the backup now, or as they were just before a
// kept run changed them (the mirror with that run's and later runs' versions laid over it, read
// through the version store), the kept versions of one file, and putting a file or folder back.
// No window here: the window asks, this answers.
//
//     RestoreBrowser backup({{"c:\\Data", "e:\\VLMcopy_drive_c\\Data"}}, true, false);
//     for (const ItemAsOf& entry : backup.List("c:\\Data", backup.RunTimes().front()))
//         ...

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/version_store.h"

namespace vlm {

// One source item of the project and where its backup is.
struct BackedUpItem {
    std::string source;  // "c:\Data\Docs"
    std::string backup;  // "e:\VLMcopy_drive_c\Data\Docs"
};

// Asked before a newer file at `path` is replaced; true: replace it (it is set aside first).
using ReplaceNewerQuestion = std::function<bool(const std::string& path)>;

class RestoreBrowser {
public:
    // `sync`: the project synchronises, so its one item's backup is the destination itself.
    RestoreBrowser(std::vector<BackedUpItem> items, bool versionsOn, bool sync);

    const std::vector<BackedUpItem>& Items() const { return items_; }
    bool VersionsOn() const { return versionsOn_; }
    // True when the backup of at least one item exists.
    bool HasBackup() const;

    // The names of the kept runs of every item ("2026-12-08 01.30.00"), newest first.
    std::vector<std::string> RunTimes() const;
    // What the source path `path` held just before the kept run `asOf` started, or holds in the
    // backup now when `asOf` is empty; nullopt when the backup had nothing there then.
    std::optional<ItemAsOf> Find(const std::string& path, const std::string& asOf) const;
    // The entries of the source folder `folder` at that time, in listing order.
    std::vector<ItemAsOf> List(const std::string& folder, const std::string& asOf) const;
    // The files deleted from the source folder `folder` whose versions were kept, each as its
    // newest version holds it.
    std::vector<ItemAsOf> Deleted(const std::string& folder) const;
    // The versions of the source file `file` the runs kept, newest first.
    std::vector<KeptVersion> Versions(const std::string& file) const;

    // Puts what `path` held at `asOf` (a folder with all it held) into the folder `into` under
    // its own name, each file with its time and bits; a file there that differs is set aside
    // first, a newer one only when `replaceNewer` says so. As of now, a file the backup no longer
    // holds comes from its newest kept version.
    RestoreOutcome Restore(const std::string& path, const std::string& asOf,
                           const std::string& into, const ReplaceNewerQuestion& replaceNewer) const;
    // The same for the kept version `version` of the file `path`.
    RestoreOutcome RestoreVersion(const std::string& path, const KeptVersion& version,
                                  const std::string& into,
                                  const ReplaceNewerQuestion& replaceNewer) const;

private:
    struct Located {
        const VersionStore* store;
        DrivePath mirrorPath;
    };
    // The store of the item that holds `path`, and the mirror path of `path`.
    std::optional<Located> Locate(const std::string& path) const;
    // The time `asOf` stands for: the run's start, or a time after every run.
    DateTime TimeOf(const std::string& asOf) const;

    std::vector<BackedUpItem> items_;
    std::vector<VersionStore> stores_;  // one per item
    bool versionsOn_;
};

}  // namespace vlm
