#pragma once
// Kept versions: what a run with versions on would have deleted or overwritten at a destination
// is moved, before, into a dated folder beside the mirror, and stays there until it is pruned.
//
// Layout. For a mirror folder x:\VLMcopy_drive_c the versions live in x:\VLMversions_drive_c:
//
//     x:\VLMversions_drive_c\2026-12-08 01.30.00\Data\Docs\letter.txt
//     x:\VLMversions_drive_c\2026-12-08 01.30.00.added
//
// one folder per run that kept anything, named after the run's start (local time), holding each
// kept item at the same path below the drive as in the mirror; beside it a text file that names,
// one a line, what that run added to the mirror, so that the backup as it was before that run
// can be told without the files that only came later. A synchronising project's destination
// D (e:\Mirror\Data) keeps its versions beside it, in e:\Mirror\VLMversions_Data, each item at its
// path below e:\Mirror (so "Data\..."); a synchronisation into a drive's root keeps none. Both
// folders sit on the mirror's own drive, so keeping is a rename: nothing is copied, and no
// space is taken until the versions are pruned. Everything is plain files a person can read
// without the program.
//
// Reading. The content at a time T of a mirror path P is found in the kept runs after T, oldest
// first: the first run that kept P holds it as it was at T; when the first run that touched P
// added it, P did not exist at T; when none touched it, the mirror holds it as it was.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/run_request.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

namespace vlm {

// The name of a run's version folder: its start as "YYYY-MM-DD HH.MM.SS".
std::string VersionRunName(DateTime runStart);
// The start a version folder's name stands for; nullopt for a name of another form.
std::optional<DateTime> ParseVersionRunName(std::string_view name);
// "YYYY-MM-DD HH:MM" (seconds optional) as the runner takes it for --as-of; nullopt otherwise.
std::optional<DateTime> ParseAsOfText(std::string_view text);
// "YYYY-MM-DD HH:MM:SS", the time of a version as the runner prints it.
std::string VersionTimeText(DateTime value);

// One run's version folder.
struct KeptRun {
    std::string name;  // "2026-12-08 01.30.00"
    DateTime start = 0;
    DrivePath folder;  // x:\VLMversions_drive_c\2026-12-08 01.30.00
};

// One kept version of a mirror path.
struct KeptVersion {
    DateTime kept = 0;  // the start of the run that replaced or removed it
    bool folder = false;
    std::uint64_t size = 0;  // a folder: all files below it
    DateTime modified = 0;   // the last-write time of the kept item
    DrivePath place;         // where it is now
};

// What a mirror path held at some time, and where that content is now.
struct ItemAsOf {
    std::string name;
    bool folder = false;
    std::uint64_t size = 0;  // a file's size; 0 for a folder
    DateTime modified = 0;
    DrivePath place;  // in the mirror, or in a run's version folder
    // Neither a file nor a folder (a link, FIFO, device or socket where the backup should hold
    // one): listed only when asked for, so that a restore can name what it cannot bring back.
    bool other = false;
};

// The versions of one mirror folder (a project item's destination and what lies below it).
class VersionStore {
public:
    // The store of the destination `destination` of the source item `source`: for the standard
    // destination tree the VLMversions_drive_<letter> beside its VLMcopy_drive_<letter>; for a
    // synchronising project (`sync`) the VLMversions_<name> beside the destination. nullopt when
    // the destination is no such path (or a synchronisation into a drive's root).
    static std::optional<VersionStore> For(const DrivePath& source, const DrivePath& destination,
                                           bool sync);
    // A store from its two folders: `base`, below which mirror paths are taken, and `root`.
    VersionStore(DrivePath base, DrivePath root) : base_(std::move(base)), root_(std::move(root)) {}

    // The folder the relative paths are taken from: x:\VLMcopy_drive_c (sync: D's parent).
    const DrivePath& Base() const { return base_; }
    // x:\VLMversions_drive_c
    const DrivePath& Root() const { return root_; }
    // The folder that holds both the mirror and the versions (x:\, or a synchronisation's
    // destination's parent): whatever reads or changes the backup is reached from there folder by
    // folder, and no link below it is followed.
    DrivePath Top() const { return root_.empty() ? base_ : root_.Parent(); }
    // The place of mirror path `path` in the version folder of the run named `runName` (for Base
    // itself the run's folder); the empty path when `path` is not at or below Base.
    DrivePath PlaceIn(std::string_view runName, const DrivePath& path) const;
    // "<Root>\<runName>.added": the list of what that run added to the mirror.
    DrivePath AddedListOf(std::string_view runName) const;

    // The runs that kept something, oldest first.
    std::vector<KeptRun> Runs() const;
    // The kept versions of mirror path `path`, oldest first.
    std::vector<KeptVersion> VersionsOf(const DrivePath& path) const;
    // What mirror path `path` held at `time` (mirror and versions overlaid); nullopt when nothing
    // was there.
    std::optional<ItemAsOf> ItemAt(const DrivePath& path, DateTime time,
                                   bool withOthers = false) const;
    // The entries of mirror folder `folder` as they were at `time`, in listing order; with
    // `withOthers` also the entries that are neither file nor folder, marked `other`.
    std::vector<ItemAsOf> ListAt(const DrivePath& folder, DateTime time,
                                 bool withOthers = false) const;
    // The time to restore mirror path `path` as of, when the backup no longer holds it but kept
    // versions of it: the start of the run that kept the newest; nullopt otherwise.
    std::optional<DateTime> NewestKeptWhenGone(const DrivePath& path) const;
    // The files once in mirror folder `folder` that are not there now but have kept versions,
    // each as its newest version holds it, in listing order.
    std::vector<ItemAsOf> DeletedIn(const DrivePath& folder) const;
    // The folder that holds the backup's copies: x:\VLMcopy_drive_c, or a synchronisation's
    // destination.
    DrivePath Mirror() const;
    // Why a restore into `targetFolder` of mirror path `path` must not begin (the target lies in
    // the backup, in its versions, or in what is restored); empty when it may.
    std::string TargetRefusal(const DrivePath& path, const DrivePath& targetFolder) const;

private:
    // Whether run `run` added mirror path `path` (its list read once and kept).
    bool Added(const KeptRun& run, const DrivePath& path) const;

    DrivePath base_;
    DrivePath root_;
    mutable std::vector<std::pair<std::string, std::vector<std::string>>> addedLists_;
};

// A project's source item with its mirror and the store of its versions.
struct VersionedItem {
    DrivePath source;  // c:\Data\Docs
    DrivePath mirror;  // e:\VLMcopy_drive_c\Data\Docs
    VersionStore store;
    // The mirror path of `sourcePath` (at or below `source`); empty when outside.
    DrivePath MirrorOf(const DrivePath& sourcePath) const;
};
// The items of a project opened for a run (`sync`: it synchronises) whose backups can keep
// versions, in project order.
std::vector<VersionedItem> VersionedItems(const RunRequest& request, bool sync);
// The item that holds the source path `sourcePath`; nullopt when none does.
std::optional<VersionedItem> ItemHolding(const RunRequest& request, bool sync,
                                         const DrivePath& sourcePath);

// Before a backup is read outside a run (a restore, the versions of a file): what the media of
// the mirror `mirror` and of `store` hold, learnt without writing there, so that names kept
// there with stand-ins are found as stored.
void LearnBackupMediaForReading(const DrivePath& mirror, const VersionStore& store);

// Keeps, for one run and one store, what the passes would destroy: each Keep moves an item into
// the run's version folder (made with its chain on the first Keep), each NoteAdded names a path
// the run created. The added names are written when the keeper is flushed or goes.
class VersionKeeper {
public:
    VersionKeeper(VersionStore store, DateTime runStart);
    ~VersionKeeper();
    VersionKeeper(const VersionKeeper&) = delete;
    VersionKeeper& operator=(const VersionKeeper&) = delete;

    const VersionStore& Store() const { return store_; }
    const std::string& RunName() const { return runName_; }
    // Moves the file or folder (whole) at mirror path `path` to its place in this run's folder,
    // a rename on the same drive. False when it could not be moved (a read-only file, as one
    // that could not be deleted; a place already taken; a link in the place of a folder on the
    // way; a failed rename): `path` is then as it was.
    bool Keep(const DrivePath& path);
    // After a Keep that failed because a link stands in the place of the versions folder or of a
    // folder below it: the error line that names the link and `path`; empty otherwise.
    const std::string& Refusal() const { return refusal_; }
    // The place `path` would be kept at (for a dry run).
    DrivePath PlaceOf(const DrivePath& path) const { return store_.PlaceIn(runName_, path); }
    // `path` was created by this run.
    void NoteAdded(const DrivePath& path);
    // Appends the names noted so far to the run's added list. False when it, or an earlier
    // batch, could not be written: the backup as of earlier times would then show those names.
    bool Flush();

private:
    DrivePath LinkOnTheWay(const DrivePath& folder) const;

    VersionStore store_;
    std::string runName_;
    std::vector<std::string> added_;
    bool listLost_ = false;
    std::string refusal_;
};

// Pruning: the runs of `store` that started more than `days` days before `now`.
std::vector<KeptRun> RunsOlderThan(const VersionStore& store, int days, DateTime now);
// The bytes pruning them frees.
std::uint64_t PrunableBytes(const VersionStore& store, int days, DateTime now);
// Removes one kept run: its folder, then the list of what it added. False when any part stayed.
bool RemoveKeptRun(const VersionStore& store, const KeptRun& run);
// How many of the kept runs whose sizes are `bytesOldestFirst` must go, oldest first, to free
// `needed` bytes: all of them when even that is not enough.
std::size_t KeptRunsToFree(const std::vector<std::uint64_t>& bytesOldestFirst,
                           std::uint64_t needed);
// Removes those runs, oldest first, telling `removed` of each (with whether all of it went).
// False when any part could not be removed.
bool PruneOlderThan(const VersionStore& store, int days, DateTime now,
                    const std::function<void(const KeptRun&, bool removed)>& told = {});

// Restoring a mirror path as it was at a time to a folder outside the backup.
struct RestoreOutcome {
    std::uint64_t filesRestored = 0;
    std::uint64_t filesFailed = 0;   // could not be copied, or a newer file was kept
    std::vector<std::string> lines;  // one per file restored, replaced, kept or failed
    bool ok() const { return filesFailed == 0; }
};
// Copies what mirror path `path` held at `time` into `targetFolder` under its own name (a folder
// with all it held then), each file with its time and bits. A target in the backup, in its
// versions or in what is restored is refused before anything is written; what is neither file
// nor folder there is named and counted as not restored. A file already there that is newer
// than the one restored is replaced only when `replaceNewer` says so (asked with its path); a
// file replaced is first renamed aside, to "<name> (before restore YYYY-MM-DD HH.MM.SS)". The
// mirror and the versions are only read.
RestoreOutcome RestoreAt(const VersionStore& store, const DrivePath& path, DateTime time,
                         const DrivePath& targetFolder,
                         const std::function<bool(const std::string&)>& replaceNewer);

}  // namespace vlm
