#pragma once
// What the restore window shows of a project's backup, in the terms of the source: the folders
// and files of each source item as they are in the backup now, or as they were at the start of
// a kept run (the mirror with the kept versions laid over it), the versions of one file, and
// putting a file or folder back. No window here: the window asks, this answers.
//
//     RestoreBrowser backup(request.items, request.destinations, versionsOn);
//     for (const BrowsedEntry& e : backup.List("c:\\Data\\Docs", backup.RunTimes().front()))
//         ...

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/packed_time.h"

namespace vlm {

// One source item of the project and where its backup is.
struct BackedUpItem {
    std::string source;  // "c:\Data\Docs"
    std::string backup;  // "e:\VLMcopy_drive_c\Data\Docs"
};

// A file or folder of the backup as of a time.
struct BrowsedEntry {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;
    HostTime modified;
    std::string from;  // the drive path its content is read from: the mirror or a kept version
};

// One version of a file: the one in the backup now, or one a run kept when it replaced or
// removed it.
struct FileVersion {
    std::string keptBy;  // the start of the run that kept it ("2026-12-08 01.40.12"); empty: now
    std::uint64_t size = 0;
    HostTime modified;
    std::string from;
};

class RestoreBrowser {
public:
    RestoreBrowser(std::vector<BackedUpItem> items, bool versionsOn);

    const std::vector<BackedUpItem>& Items() const { return items_; }
    bool VersionsOn() const { return versionsOn_; }
    // True when the backup of at least one item exists.
    bool HasBackup() const;

    // The starts of the kept runs, newest first; empty when none was kept.
    std::vector<std::string> RunTimes() const;
    // The entries of the source folder `folder` (an item or a folder below one) as they were
    // at the start of the kept run `asOf`, or as they are now when `asOf` is empty. Folders
    // first, then files, each in listing order. A file item's own entry when `folder` is one.
    std::vector<BrowsedEntry> List(const std::string& folder, const std::string& asOf) const;
    // The entry of the source path `path` as of `asOf`; nullopt when the backup has none then.
    std::optional<BrowsedEntry> Find(const std::string& path, const std::string& asOf) const;
    // The versions of the source file `file`: the backup's own first (when it has one), then
    // the kept ones, newest first.
    std::vector<FileVersion> Versions(const std::string& file) const;

    // The item that holds the source path `path`, or null.
    const BackedUpItem* ItemOf(const std::string& path) const;

private:
    std::vector<BackedUpItem> items_;
    bool versionsOn_;
};

// How a restore went, for the window's status line.
struct RestoreCount {
    int restored = 0;   // files written
    int unchanged = 0;  // files already there as they are in the backup
    int skipped = 0;    // newer files the person chose to keep
    int failed = 0;
    std::vector<std::string> failures;  // one line each
};

// Puts the source path `path` as of `asOf` (a file, or a folder with everything in it then) at
// the drive path `target`. A file already there that differs is kept aside beside it
// (KeptAsideName) before it is replaced; one that is newer is replaced only when the person says
// Yes. Restored files get their times and permission bits back.
void RestorePath(const RestoreBrowser& backup, const std::string& path, const std::string& target,
                 const std::string& asOf, RestoreCount& count);
// The same for one chosen version of a file.
void RestoreVersion(const FileVersion& version, const std::string& target, RestoreCount& count);

// Where a file replaced by a restore is kept: beside it, "report.txt" becoming
// "report (before restore 2026-12-08 01.40.12).txt", with " 2", " 3"... when that is taken.
std::string KeptAsideName(const std::string& path, const std::string& when);

}  // namespace vlm
