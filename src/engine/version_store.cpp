#include "engine/version_store.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "engine/destination_media.h"
#include "platform/file_system.h"
#include "platform/host_place.h"
#include "platform/utf8_text.h"
#include "util/file_helpers.h"

namespace vlm {

namespace {

constexpr std::string_view kCopyFolderPrefix = "VLMcopy_drive_";
constexpr std::string_view kVersionsFolderPrefix = "VLMversions_";
constexpr std::string_view kAddedListSuffix = ".added";
// One day as DateTime counts it.
constexpr DateTime kDay = 1.0;

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int Number(std::string_view digits) {
    int n = 0;
    for (char c : digits)
        n = n * 10 + (c - '0');
    return n;
}

// "YYYY-MM-DD" + `between` + "HH" + `sep` + "MM" (+ `sep` + "SS" when `seconds`), checked and
// made a local DateTime.
std::optional<DateTime> ParseStamp(std::string_view text, char sep, bool secondsRequired) {
    const bool withSeconds = text.size() == 19;
    if (!(withSeconds || (!secondsRequired && text.size() == 16)))
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != sep ||
        (withSeconds && text[16] != sep))
        return std::nullopt;
    const auto field = [&](std::size_t at, std::size_t n) { return text.substr(at, n); };
    for (const auto& [at, n] : {std::pair{0, 4}, {5, 2}, {8, 2}, {11, 2}, {14, 2}})
        if (!AllDigits(field(at, n)))
            return std::nullopt;
    if (withSeconds && !AllDigits(field(17, 2)))
        return std::nullopt;
    LocalFields f{Number(field(0, 4)),
                  Number(field(5, 2)),
                  Number(field(8, 2)),
                  Number(field(11, 2)),
                  Number(field(14, 2)),
                  withSeconds ? Number(field(17, 2)) : 0,
                  0};
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31 || f.hour > 23 || f.minute > 59 ||
        f.second > 59)
        return std::nullopt;
    return MakeDateTime(f);
}

std::string StampText(DateTime value, char sep) {
    const LocalFields f = SplitDateTime(value);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d%c%02d%c%02d", f.year, f.month, f.day,
                  f.hour, sep, f.minute, sep, f.second);
    return text;
}

DateTime ModifiedOf(const DirEntry& entry) {
    return HostTimeToDateTime(static_cast<std::time_t>(entry.modified.seconds),
                              entry.modified.nanoseconds);
}

// The order a listing gives: names folded to upper case, ties in byte order.
bool ListedBefore(const std::string& a, const std::string& b) {
    const std::string fa = FoldCase(a), fb = FoldCase(b);
    return fa != fb ? fa < fb : a < b;
}

// A file or a real folder: what a backup holds and a restore brings back (links and special
// files are never backed up).
bool IsBackedUpKind(const DirEntry& entry) {
    return entry.kind == EntryKind::File || entry.kind == EntryKind::Directory;
}

ItemAsOf ItemFrom(const DirEntry& entry, std::string name, DrivePath place) {
    ItemAsOf item;
    item.name = std::move(name);
    item.folder = entry.kind == EntryKind::Directory;
    item.size = item.folder ? 0 : entry.size;
    item.modified = ModifiedOf(entry);
    item.place = std::move(place);
    return item;
}

}  // namespace

std::string VersionRunName(DateTime runStart) {
    return StampText(runStart, '.');
}

std::optional<DateTime> ParseVersionRunName(std::string_view name) {
    return ParseStamp(name, '.', true);
}

std::optional<DateTime> ParseAsOfText(std::string_view text) {
    return ParseStamp(text, ':', false);
}

std::string VersionTimeText(DateTime value) {
    return StampText(value, ':');
}

std::optional<VersionStore> VersionStore::For(const DrivePath& source, const DrivePath& destination,
                                              bool sync) {
    if (source.empty() || destination.empty())
        return std::nullopt;
    if (sync) {
        // Beside the destination, on its drive; a drive's root has no beside.
        if (destination.IsRoot())
            return std::nullopt;
        const DrivePath base = destination.Parent();
        DrivePath root =
            base / (std::string(kVersionsFolderPrefix) + std::string(destination.Name()));
        if (root.empty())
            return std::nullopt;
        return VersionStore(base, std::move(root));
    }
    // The destination is <somewhere>\VLMcopy_drive_<letter> + the source after its drive: what
    // is left when that tail is taken off is the per-drive folder.
    const std::string& destText = destination.Text();
    const std::string tail = source.IsRoot() ? std::string() : source.Text().substr(2);
    if (destText.size() <= tail.size() ||
        destText.compare(destText.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    const std::optional<DrivePath> base =
        DrivePath::Parse(std::string_view(destText).substr(0, destText.size() - tail.size()));
    if (!base || base->IsRoot() ||
        base->Name().substr(0, kCopyFolderPrefix.size()) != kCopyFolderPrefix)
        return std::nullopt;
    DrivePath root = base->Parent() / ("VLMversions_drive_" +
                                       std::string(base->Name().substr(kCopyFolderPrefix.size())));
    if (root.empty())
        return std::nullopt;
    return VersionStore(*base, std::move(root));
}

DrivePath VersionStore::PlaceIn(std::string_view runName, const DrivePath& path) const {
    return path.Rebased(base_, root_ / runName);
}

DrivePath VersionStore::AddedListOf(std::string_view runName) const {
    return root_ / (std::string(runName) + std::string(kAddedListSuffix));
}

std::vector<KeptRun> VersionStore::Runs() const {
    const WalkTop top{Top()};
    std::vector<DirEntry> entries;
    std::vector<KeptRun> runs;
    if (!ListDirectory(root_, kAttrAnyFile, entries, ListDetail::NamesAndKinds))
        return runs;
    for (const DirEntry& entry : entries) {
        // A run that kept something has its folder; one that only added, its list alone.
        std::string_view name = entry.name;
        if (entry.kind == EntryKind::File && name.size() > kAddedListSuffix.size() &&
            name.substr(name.size() - kAddedListSuffix.size()) == kAddedListSuffix)
            name.remove_suffix(kAddedListSuffix.size());
        else if (entry.kind != EntryKind::Directory)
            continue;
        const std::optional<DateTime> start = ParseVersionRunName(name);
        if (!start)
            continue;
        if (!runs.empty() && runs.back().name == name)
            continue;  // the folder and its list
        runs.push_back(KeptRun{std::string(name), *start, root_ / name});
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const KeptRun& a, const KeptRun& b) { return a.start < b.start; });
    runs.erase(std::unique(runs.begin(), runs.end(),
                           [](const KeptRun& a, const KeptRun& b) { return a.name == b.name; }),
               runs.end());
    return runs;
}

std::vector<KeptVersion> VersionStore::VersionsOf(const DrivePath& path) const {
    const WalkTop top{Top()};
    std::vector<KeptVersion> versions;
    for (const KeptRun& run : Runs()) {
        const DrivePath place = PlaceIn(run.name, path);
        const std::optional<DirEntry> entry = QueryEntry(place);
        if (!entry || !IsBackedUpKind(*entry))
            continue;
        KeptVersion version;
        version.kept = run.start;
        version.folder = entry->kind == EntryKind::Directory;
        version.size = version.folder ? DirSize(place) : entry->size;
        version.modified = ModifiedOf(*entry);
        version.place = place;
        versions.push_back(std::move(version));
    }
    return versions;
}

bool VersionStore::Added(const KeptRun& run, const DrivePath& path) const {
    auto list = std::find_if(addedLists_.begin(), addedLists_.end(),
                             [&](const auto& l) { return l.first == run.name; });
    if (list == addedLists_.end()) {
        const WalkTop top{Top()};
        std::vector<std::string> lines;
        if (const auto text = ReadWholeFile(AddedListOf(run.name))) {
            std::size_t pos = 0;
            while (pos < text->size()) {
                std::size_t end = text->find('\n', pos);
                if (end == std::string::npos)
                    end = text->size();
                // A list cut off by a power cut may end in bytes that never reached the medium
                // (zeros): such a line names nothing.
                std::string line = text->substr(pos, end - pos);
                if (!line.empty() && line.find('\0') == std::string::npos)
                    lines.push_back(std::move(line));
                pos = end + 1;
            }
        }
        std::sort(lines.begin(), lines.end());
        addedLists_.emplace_back(run.name, std::move(lines));
        list = std::prev(addedLists_.end());
    }
    const DrivePath place = PlaceIn(run.name, path);
    if (place.empty() || place == run.folder)
        return false;
    // The list holds the paths below the run's folder.
    const std::string relative = place.Text().substr(run.folder.Text().size() + 1);
    return std::binary_search(list->second.begin(), list->second.end(), relative);
}

namespace {

// What `path` held at `time`, given the store's runs; with `withOthers` also an entry that is
// neither file nor folder, marked.
std::optional<ItemAsOf> ItemAtAmong(const VersionStore& store, const std::vector<KeptRun>& runs,
                                    const std::function<bool(const KeptRun&)>& added,
                                    const DrivePath& path, DateTime time, bool withOthers) {
    const std::string name(path.Name());
    const auto shown = [&](const std::optional<DirEntry>& entry,
                           const DrivePath& place) -> std::optional<ItemAsOf> {
        if (!entry || !(IsBackedUpKind(*entry) || withOthers))
            return std::nullopt;
        ItemAsOf item = ItemFrom(*entry, name, place);
        item.other = !IsBackedUpKind(*entry);
        return item;
    };
    for (const KeptRun& run : runs) {
        // A run that started at `time` or later had not yet changed anything at `time`.
        if (run.start < time)
            continue;
        const DrivePath place = store.PlaceIn(run.name, path);
        if (auto item = shown(QueryEntry(place), place))
            return item;
        if (added(run))
            return std::nullopt;  // it came later
    }
    return shown(QueryEntry(path), path);
}

}  // namespace

std::optional<ItemAsOf> VersionStore::ItemAt(const DrivePath& path, DateTime time,
                                             bool withOthers) const {
    const WalkTop top{Top()};
    return ItemAtAmong(
        *this, Runs(), [&](const KeptRun& run) { return Added(run, path); }, path, time,
        withOthers);
}

std::vector<ItemAsOf> VersionStore::ListAt(const DrivePath& folder, DateTime time,
                                           bool withOthers) const {
    const WalkTop top{Top()};
    const std::vector<KeptRun> runs = Runs();
    // Every name the folder had then is in the mirror now or in a run after `time`.
    std::vector<std::string> names;
    std::vector<DirEntry> entries;
    const auto addNames = [&](const DrivePath& at) {
        entries.clear();
        if (ListDirectory(at, kAttrAnyFile, entries, ListDetail::NamesAndKinds))
            for (const DirEntry& entry : entries)
                names.push_back(entry.name);
    };
    addNames(folder);
    for (const KeptRun& run : runs)
        if (run.start >= time)
            addNames(PlaceIn(run.name, folder));
    std::sort(names.begin(), names.end(), ListedBefore);
    names.erase(std::unique(names.begin(), names.end()), names.end());

    std::vector<ItemAsOf> items;
    for (const std::string& name : names) {
        const DrivePath path = folder / name;
        if (auto item = ItemAtAmong(
                *this, runs, [&](const KeptRun& run) { return Added(run, path); }, path, time,
                withOthers))
            items.push_back(std::move(*item));
    }
    return items;
}

std::optional<DateTime> VersionStore::NewestKeptWhenGone(const DrivePath& path) const {
    constexpr DateTime kAfterEveryRun = 1e7;
    if (ItemAt(path, kAfterEveryRun, true))
        return std::nullopt;
    const std::vector<KeptVersion> versions = VersionsOf(path);
    if (versions.empty())
        return std::nullopt;
    return versions.back().kept;
}

std::vector<ItemAsOf> VersionStore::DeletedIn(const DrivePath& folder) const {
    const WalkTop top{Top()};
    std::vector<ItemAsOf> items;
    std::vector<DirEntry> entries;
    const std::vector<KeptRun> runs = Runs();
    // Newest first: the first run that kept a name holds its newest version.
    for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
        const DrivePath kept = PlaceIn(run->name, folder);
        entries.clear();
        if (kept.empty() || !ListDirectory(kept, kAttrAnyFile, entries, ListDetail::Full))
            continue;
        for (const DirEntry& entry : entries) {
            if (entry.kind != EntryKind::File || QueryEntry(folder / entry.name) ||
                std::any_of(items.begin(), items.end(),
                            [&](const ItemAsOf& item) { return item.name == entry.name; }))
                continue;
            items.push_back(ItemFrom(entry, entry.name, kept / entry.name));
        }
    }
    std::sort(items.begin(), items.end(),
              [](const ItemAsOf& a, const ItemAsOf& b) { return ListedBefore(a.name, b.name); });
    return items;
}

DrivePath VersionStore::Mirror() const {
    if (root_.empty() || base_.Name().substr(0, kCopyFolderPrefix.size()) == kCopyFolderPrefix)
        return base_;
    // A synchronisation's versions folder is named after its destination.
    return base_ / root_.Name().substr(kVersionsFolderPrefix.size());
}

std::string VersionStore::TargetRefusal(const DrivePath& path,
                                        const DrivePath& targetFolder) const {
    const std::string refused = "ERROR: Nothing restored: " + targetFolder.Text() + " is ";
    if (!root_.empty() && targetFolder.IsAtOrBelow(root_))
        return refused + "inside the kept versions " + root_.Text() + "!";
    if (targetFolder.IsAtOrBelow(path))
        return refused + "inside " + path.Text() + ", which is restored!";
    if (const DrivePath mirror = Mirror(); !mirror.empty() && targetFolder.IsAtOrBelow(mirror))
        return refused + "inside the backup " + mirror.Text() + "!";
    return std::string();
}

DrivePath VersionedItem::MirrorOf(const DrivePath& sourcePath) const {
    return sourcePath.Rebased(source, mirror);
}

std::vector<VersionedItem> VersionedItems(const RunRequest& request, bool sync) {
    std::vector<VersionedItem> items;
    for (std::size_t j = 0; j < request.items.size(); ++j) {
        DrivePath source(request.items[j]);
        DrivePath mirror(request.DestinationOf(j));
        if (auto store = VersionStore::For(source, mirror, sync))
            items.push_back(VersionedItem{std::move(source), std::move(mirror), std::move(*store)});
    }
    return items;
}

std::optional<VersionedItem> ItemHolding(const RunRequest& request, bool sync,
                                         const DrivePath& sourcePath) {
    for (VersionedItem& item : VersionedItems(request, sync))
        if (sourcePath.IsAtOrBelow(item.source))
            return std::move(item);
    return std::nullopt;
}

void LearnBackupMediaForReading(const DrivePath& mirror, const VersionStore& store) {
    LearnMediumForReading(mirror);
    if (!store.Root().empty())
        LearnMediumForReading(store.Root());
}

VersionKeeper::VersionKeeper(VersionStore store, DateTime runStart)
    : store_(std::move(store)), runName_(VersionRunName(runStart)) {}

VersionKeeper::~VersionKeeper() {
    Flush();
}

// The first folder from the versions folder down to `folder` that is a link; empty when none is.
DrivePath VersionKeeper::LinkOnTheWay(const DrivePath& folder) const {
    std::vector<DrivePath> chain;
    for (DrivePath at = folder; !at.empty() && at.IsAtOrBelow(store_.Root()); at = at.Parent()) {
        chain.push_back(at);
        if (at == store_.Root())
            break;
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const std::optional<DirEntry> entry = QueryEntry(*it);
        if (!entry)
            break;
        if (entry->kind == EntryKind::Link)
            return *it;
    }
    return DrivePath();
}

bool VersionKeeper::Keep(const DrivePath& path) {
    refusal_.clear();
    const WalkTop top{store_.Top()};
    const DrivePath place = PlaceOf(path);
    const std::optional<DirEntry> entry = QueryEntry(path);
    // The per-drive folder itself is never moved: it holds every item of its drive.
    if (place.empty() || path == store_.Base() || !entry)
        return false;
    // What could not be deleted cannot be kept either: a read-only file stays where it is.
    if (entry->kind != EntryKind::Directory && (entry->attributes & kAttrReadOnly) != 0)
        return false;
    // A link in the place of a folder of the versions would carry the copy out of the backup.
    if (const DrivePath link = LinkOnTheWay(place.Parent()); !link.empty()) {
        refusal_ = "ERROR: " + link.Text() +
                   " is a link, not a folder of the backup: " + path.Text() +
                   " not kept as version, left as it was!";
        return false;
    }
    // A place taken already (the same path kept twice in one run) is never overwritten.
    if (QueryEntry(place) || !ForceDirChain(place.Parent()))
        return false;
    return static_cast<bool>(RenameReplacing(path, place));
}

void VersionKeeper::NoteAdded(const DrivePath& path) {
    const DrivePath place = PlaceOf(path);
    if (!place.empty() && path != store_.Base())
        added_.push_back(place.Text().substr(store_.Root().Text().size() + runName_.size() + 2));
    // A first backup adds every file: the names go out in batches, not all at the end.
    if (added_.size() >= 4096)
        Flush();
}

bool VersionKeeper::Flush() {
    if (added_.empty())
        return !listLost_;
    std::string text;
    for (const std::string& line : added_)
        text.append(line).append("\n");
    added_.clear();
    const WalkTop top{store_.Top()};
    HostFile file;
    const bool written = ForceDirChain(store_.Root()) &&
                         file.Open(store_.AddedListOf(runName_), HostFile::Mode::Append) &&
                         file.Write(text.data(), text.size()) && file.Close();
    listLost_ = listLost_ || !written;
    return !listLost_;
}

std::vector<KeptRun> RunsOlderThan(const VersionStore& store, int days, DateTime now) {
    std::vector<KeptRun> runs = store.Runs();
    const DateTime limit = now - days * kDay;
    runs.erase(std::remove_if(runs.begin(), runs.end(),
                              [&](const KeptRun& run) { return run.start >= limit; }),
               runs.end());
    return runs;
}

std::uint64_t PrunableBytes(const VersionStore& store, int days, DateTime now) {
    const WalkTop top{store.Top()};
    std::uint64_t bytes = 0;
    for (const KeptRun& run : RunsOlderThan(store, days, now))
        bytes += ItemSize(run.folder);
    return bytes;
}

bool RemoveKeptRun(const VersionStore& store, const KeptRun& run) {
    bool removed = ItemKind(run.folder) != 'd' || DeleteDirTree(run.folder);
    const DrivePath list = store.AddedListOf(run.name);
    // The list goes only with its folder: without it the folder's versions would read wrong.
    if (removed && QueryEntry(list))
        removed = static_cast<bool>(DeleteFile(list));
    return removed;
}

std::size_t KeptRunsToFree(const std::vector<std::uint64_t>& bytesOldestFirst,
                           std::uint64_t needed) {
    std::size_t count = 0;
    std::uint64_t freed = 0;
    while (freed < needed && count < bytesOldestFirst.size())
        freed += bytesOldestFirst[count++];
    return count;
}

bool PruneOlderThan(const VersionStore& store, int days, DateTime now,
                    const std::function<void(const KeptRun&, bool removed)>& told) {
    const WalkTop top{store.Top()};
    bool all = true;
    for (const KeptRun& run : RunsOlderThan(store, days, now)) {
        const bool removed = RemoveKeptRun(store, run);
        all = all && removed;
        if (told)
            told(run, removed);
    }
    return all;
}

namespace {

class Restorer {
public:
    Restorer(const VersionStore& store, DateTime time,
             const std::function<bool(const std::string&)>& replaceNewer, bool fatYearsOnly)
        : store_(store),
          time_(time),
          replaceNewer_(replaceNewer),
          now_(NowLocal()),
          fatYearsOnly_(fatYearsOnly) {}

    void Item(const DrivePath& path, const ItemAsOf& item, const DrivePath& target) {
        if (item.other)
            Failed("ERROR: Not restored: " + item.place.Text() +
                   " is no file or folder (a link, FIFO, device or socket)");
        else if (item.folder)
            Folder(path, item, target);
        else
            File(item, target);
    }
    RestoreOutcome outcome;

private:
    void Failed(std::string line) {
        ++outcome.filesFailed;
        outcome.lines.push_back(std::move(line));
    }

    void Folder(const DrivePath& path, const ItemAsOf& item, const DrivePath& target) {
        const bool existed = QueryEntry(target).has_value();
        if (!ForceDirChain(target)) {
            Failed("ERROR: Unable to create directory " + target.Text());
            return;
        }
        // A folder the restore makes gets the bits it had; one that is there stays as its owner
        // keeps it now.
        if (!existed)
            CopyFolderPermissions(item.place, target);
        for (const ItemAsOf& child : store_.ListAt(path, time_, true))
            Item(path / child.name, child, target / child.name);
    }

    void File(const ItemAsOf& item, const DrivePath& target) {
        if (const std::optional<DirEntry> there = QueryEntry(target)) {
            if (!PutAside(item, target, *there))
                return;
        }
        try {
            CopyFileKeepAge(item.place, target);
            ++outcome.filesRestored;
            outcome.lines.push_back("Restored file: " + target.Text());
        } catch (const CopyError& error) {
            Failed("ERROR: Could not restore " + target.Text() + ": " + error.what());
        }
    }

    // The file already at `target` is kept: left when it is the same, set aside when it may
    // be replaced. False when the restore of this file ends here.
    bool PutAside(const ItemAsOf& item, const DrivePath& target, const DirEntry& there) {
        if (there.kind != EntryKind::File) {
            Failed("ERROR: " + target.Text() + " is in the way and is no file");
            return false;
        }
        const std::optional<DirEntry> kept = QueryEntry(item.place);
        if (kept && kept->size == there.size && SameAge(kept->modified, there.modified)) {
            ++outcome.filesRestored;
            outcome.lines.push_back("Already there: " + target.Text());
            return false;
        }
        if (ModifiedOf(there) > item.modified && !(replaceNewer_ && replaceNewer_(target.Text()))) {
            Failed("Newer file kept: " + target.Text());
            return false;
        }
        const DrivePath aside = AsideName(target);
        if (aside.empty() || !RenameReplacing(target, aside)) {
            Failed("ERROR: Could not set " + target.Text() + " aside");
            return false;
        }
        outcome.lines.push_back("Set aside: " + target.Text() + " as " + aside.Text());
        return true;
    }

    // A version kept on (or a file restored to) a medium of the years 1980 to 2107 alone has the
    // nearest time that medium holds to its original's.
    bool SameAge(HostTime a, HostTime b) const {
        return fatYearsOnly_ ? SameFileAgeInFatYears({a}, {b}) : SameFileAge({a}, {b});
    }

    // "<name> (before restore <now>)", numbered when that is taken (restored twice in a second).
    DrivePath AsideName(const DrivePath& target) const {
        const std::string stem =
            std::string(target.Name()) + " (before restore " + VersionRunName(now_);
        for (int n = 1; n < 100; ++n) {
            const DrivePath aside =
                target.Parent() / (stem + (n == 1 ? "" : " " + std::to_string(n)) + ")");
            if (aside.empty() || !QueryEntry(aside))
                return aside;
        }
        return DrivePath();
    }

    const VersionStore& store_;
    DateTime time_;
    const std::function<bool(const std::string&)>& replaceNewer_;
    DateTime now_;
    bool fatYearsOnly_;
};

}  // namespace

RestoreOutcome RestoreAt(const VersionStore& store, const DrivePath& path, DateTime time,
                         const DrivePath& targetFolder,
                         const std::function<bool(const std::string&)>& replaceNewer) {
    Restorer restorer(
        store, time, replaceNewer,
        MediumAhead(store.Root()).fatYearsOnly || MediumAhead(targetFolder).fatYearsOnly);
    const auto refused = [&](std::string line) {
        restorer.outcome.filesFailed = 1;
        restorer.outcome.lines.push_back(std::move(line));
        return restorer.outcome;
    };
    // A restore that wrote into what it reads would read its own output again and again.
    if (std::string refusal = store.TargetRefusal(path, targetFolder); !refusal.empty())
        return refused(std::move(refusal));
    // The backup is read from the folder that holds it, and never through a link out of it.
    const WalkTop backupTop{store.Top()};
    const std::optional<ItemAsOf> item = store.ItemAt(path, time, true);
    if (!item)
        return refused("Nothing was at " + path.Text() + " then");
    if (!ForceDirChain(targetFolder))
        return refused("ERROR: Unable to create directory " + targetFolder.Text());
    // The target is the person's, reached as named; below it, folder by folder.
    const WalkTop targetTop{targetFolder};
    restorer.Item(path, *item, targetFolder / item->name);
    if (restorer.outcome.filesRestored > 0)
        SyncFileSystemOf(targetFolder);
    return restorer.outcome;
}

}  // namespace vlm
