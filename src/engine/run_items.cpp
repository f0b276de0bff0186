// The run driver's item loop: for each source item its destination folder, the removal pass and
// the copy pass, and what an item's destination is and holds.

#include <algorithm>
#include <vector>

#include "engine/copy_pass.h"
#include "engine/removal_pass.h"
#include "engine/run_driver.h"
#include "engine/run_driver_parts.h"
#include "platform/file_system.h"
#include "platform/metadata_prefetch.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace run_parts {

namespace {

// The folders from just below `above` (the drive's root when empty) down to `folder`, which lies
// below it, the top one first.
std::vector<DrivePath> FoldersDownTo(const DrivePath& folder, const DrivePath& above = {}) {
    std::vector<DrivePath> chain;
    for (DrivePath step = folder; !step.empty() && step != above && !step.IsRoot();
         step = step.Parent())
        chain.push_back(step);
    return {chain.rbegin(), chain.rend()};
}

}  // namespace

char SourceKind(const DrivePath& item) {
    const char kind = ItemKind(item);
    return kind != 'n' && IsOnMissingDisk(item) ? 'n' : kind;
}

bool MakeRealFolderChain(const DrivePath& base, const DrivePath& folder, RunLog& log,
                         bool& written) {
    if (folder == base || !folder.IsAtOrBelow(base))
        return false;
    for (const DrivePath& step : FoldersDownTo(folder, base)) {
        const auto entry = QueryEntry(step);
        if (entry && entry->kind == EntryKind::Directory)
            continue;
        if (entry && entry->kind == EntryKind::Link) {
            if (!DeleteFile(step))
                return false;
            written = true;
            log.report("Removed link in place of a folder: " + step.Text(), true);
        } else if (entry) {
            return false;  // a file or special file where a folder belongs
        }
        if (!CreateDirectory(step))
            return false;
        written = true;
    }
    return true;
}

bool FolderCanBeMade(const DrivePath& folder) {
    // The drive's root is there: the run has checked the drive. The folders below it are looked
    // at from the top down.
    for (const DrivePath& step : FoldersDownTo(folder)) {
        const auto entry = QueryEntry(step);
        if (!entry)
            return true;
        if (entry->kind != EntryKind::Directory && entry->kind != EntryKind::Link)
            return false;
    }
    return true;
}

}  // namespace run_parts

using run_parts::SourceKind;

// False when the run has ended before the last item was done.
bool RunEngine::WorkThroughItems(const std::string& destkind) {
    const auto& sources = request_.items;
    versionsStart_ = FreeVersionsStart();
    copied_.clear();
    passes_.copied = request_.options.verify ? &copied_ : nullptr;
    for (std::size_t j = 0; j < sources.size(); ++j) {
        if (run_.StopRequested) {
            FinishRun();
            return false;
        }
        report("WORKING ON ITEM " + sources[j] + " FROM VLM-PROJECT...", true);
        view_.SelectItem(static_cast<int>(j));
        const std::optional<DrivePath> source = request_.ItemPath(j);
        const std::optional<DrivePath> destination = request_.DestinationPath(j);
        if (!source || !destination)
            return EndAtFolderNotMade(KindOfItem(j), sources[j], request_.DestinationOf(j));
        const std::unique_ptr<VersionKeeper> keeper = KeeperFor(*source, *destination);
        passes_.versions = keeper.get();
        passes_.makeRoom = nullptr;
        if (keeper != nullptr)
            passes_.makeRoom = [this, run = keeper->RunName()](std::uint64_t fileSize) {
                // What the disk lacks for the file, and a little for the file system's own
                // blocks: a run too few is made up for by the next try.
                const std::int64_t free = destLetter_.empty() ? 0 : DiskFreeBytes(destLetter_[0]);
                const std::uint64_t lacking =
                    free > 0 && fileSize > static_cast<std::uint64_t>(free)
                        ? fileSize - static_cast<std::uint64_t>(free)
                        : 0;
                return MakeRoomFromVersions(lacking + (1u << 20), run);
            };
        const bool itemDone = WorkOnItem(*source, *destination, destkind);
        passes_.versions = nullptr;
        passes_.makeRoom = nullptr;
        if (keeper != nullptr && !keeper->Flush())
            GoPastFailure(passes_, {"ERROR: unable to write the list of what this run added to " +
                                    keeper->Store().AddedListOf(keeper->RunName()).Text() + "!!"});
        if (!itemDone)
            return false;
    }
    return true;
}

// False when the run has ended at this item.
bool RunEngine::WorkOnItem(const DrivePath& source, const DrivePath& destination,
                           const std::string& destkind) {
    const char kind = SourceKind(source);
    const DrivePath base = DestinationBase(source, destination);
    if (kind == 'f' || kind == 'd')
        LearnItemMedium(source, destination, base);
    if (kind == 'f')
        return WorkOnFileItem(source, destination, base);
    if (kind == 'd')
        return WorkOnFolderItem(source, destination, base, destkind);
    FatalError("FATAL ERROR: " + source.Text() + " does not exist! Re-edit project file",
               Box::AfterLine);
    FinishRun();
    return false;
}

bool RunEngine::WorkOnFileItem(const DrivePath& source, const DrivePath& destination,
                               const DrivePath& base) {
    if (!MakeDestinationFolder(destination.Parent(), base))
        return EndAtFolderNotMade('f', source.Text(), destination.Text());
    ClearLeftTemporaries(source, destination);
    return CopyItem(source, destination);
}

bool RunEngine::WorkOnFolderItem(const DrivePath& source, const DrivePath& destination,
                                 const DrivePath& base, const std::string& destkind) {
    const bool existed = QueryEntry(destination).has_value();
    if (!MakeDestinationFolder(destination, base))
        return EndAtFolderNotMade('d', source.Text(), destination.Text());
    // As of any earlier time the item's backup was not there.
    if (!existed && passes_.versions != nullptr)
        passes_.versions->NoteAdded(destination);
    // Both trees are read ahead beside the passes, until the item is done or the run stops
    // (whichever way this block is left).
    MetadataPrefetch readAhead({source, destination});
    if (destkind != "CDR") {
        report("Start removing old files in destination...", false);
        if (AllowMassRemoval(source, destination))
            deletesupr(passes_, source, destination);
    } else {
        report("No cleaning on CDR as no space savings anyway (on the contrary...).", false);
    }
    if (run_.StopRequested) {
        FinishRun();
        return false;
    }
    report("Start copying files to destination...", false);
    if (!CopyItem(source, destination))
        return false;
    // A folder this run made gets its original's permission bits, now that its content is in.
    if (!existed)
        CopyFolderPermissions(source, destination);
    if (run_.StopRequested) {
        FinishRun();
        return false;
    }
    return true;
}

// The item's folder could not be made: the run ends with its lines (no free-space lines).
bool RunEngine::EndAtFolderNotMade(char kind, const std::string& source,
                                   const std::string& destination) {
    FolderNotMade(kind, source, destination);
    FlushDestination();
    ClosingLines();
    return false;
}

// The folder for an item's copy (its own folder, or the one that holds a file item's copy)
// could not be made: the run ends with these lines. A dry run that foresees it says the same.
void RunEngine::FolderNotMade(char kind, const std::string& source,
                              const std::string& destination) {
    if (kind == 'f') {
        FatalError("FATAL ERROR: Unable to create directory for " + destination);
        return;
    }
    FatalError("FATAL ERROR: Unable to create directory " + destination);
    const std::optional<DrivePath> path = DrivePath::Parse(destination);
    if (!path)
        return;  // no place, so nothing can be in its way
    if (const auto inTheWay = QueryEntry(*path); inTheWay && inTheWay->kind != EntryKind::Directory)
        report("FATAL ERROR: " + destination + " is a file, but " + source +
                   " is a folder now! Please remove or rename the old copy.",
               true);
}

// What item `j` is on the disk now ('n' also when its text is no drive path): a file item's copy
// goes into a folder, a folder item's is one.
char RunEngine::KindOfItem(std::size_t j) const {
    const std::optional<DrivePath> item = request_.ItemPath(j);
    return item ? SourceKind(*item) : 'n';
}

bool RunEngine::MakeDestinationFolder(const DrivePath& folder, const DrivePath& base) {
    if (folder == base)
        return ItemKind(folder) == 'd' || ForceDirChain(folder);
    // The place the person chose may have to be made first, and may be reached through links;
    // everything below it is the backup's own and must be real folders.
    if (ItemKind(base) != 'd') {
        run_.DestinationWritten = true;
        if (!ForceDirChain(base))
            return false;
    }
    return run_parts::MakeRealFolderChain(base, folder, log_, run_.DestinationWritten);
}

// Where the person's choice of destination ends and the backup's own folders begin: the drive
// (or the default backup folder) that holds "VLMcopy_drive_x", or the folder that holds the
// synchronisation destination.
DrivePath RunEngine::DestinationBase(const DrivePath& source, const DrivePath& destination) const {
    const std::string item = StripTrailingBackslash(source.Text());
    const std::string mirror =
        "\\VLMcopy_drive_" + item.substr(0, 1) + item.substr(std::min<std::size_t>(2, item.size()));
    const std::string& target = destination.Text();
    if (!handOver_.SyncMode && target.size() > mirror.size() &&
        target.compare(target.size() - mirror.size(), mirror.size(), mirror) == 0)
        return DrivePath(std::string_view(target).substr(0, target.size() - mirror.size()));
    return destination.Parent();
}

// The folder whose file system an item is written to: its per-drive folder, or the folder that
// holds the synchronisation destination.
DrivePath RunEngine::MediumFolder(const DrivePath& source, const DrivePath& destination) const {
    const DrivePath base = DestinationBase(source, destination);
    if (handOver_.SyncMode)
        return base;
    return base / ("VLMcopy_drive_" + source.Text().substr(0, 1));
}

// Before the first folder of an item is made, what its destination can hold is learnt, so that
// the folders and files of the item are written as the medium keeps them; the first item on a
// drive names the volume found there. A folder that cannot be made is left to the item's own
// steps, which say so.
void RunEngine::LearnItemMedium(const DrivePath& source, const DrivePath& destination,
                                const DrivePath& base) {
    const DrivePath folder = MediumFolder(source, destination);
    if (!MakeDestinationFolder(folder, base))
        return;
    if (media_.FirstOnDrive(folder.Letter())) {
        if (const std::string volume = DriveVolumeLine(folder.Letter()); !volume.empty())
            report(volume, true);
    }
    passes_.medium = media_.For(folder, true);
    report("Destination file system: " + DescribeMedium(passes_.medium), false);
    // The versions are kept beside the mirror, outside its folder: what the medium there holds
    // is learnt too, so that a name kept with stand-ins in the mirror is kept so in the store.
    if (passes_.versions != nullptr) {
        const DrivePath storeFolder = passes_.versions->Store().Root().Parent();
        if (ItemKind(storeFolder) == 'd')
            media_.For(storeFolder, true);
    }
}

// The copy pass of one item. A copy that fails where the pass cannot go on (a single file item,
// a new file that cannot be created) ends the run at once: its one box, its line and a
// completed history row ("Error"), never an open one.
bool RunEngine::CopyItem(const DrivePath& source, const DrivePath& destination) {
    try {
        copyltor(passes_, source, destination);
        return true;
    } catch (const CopyError& error) {
        FatalError("FATAL ERROR: " + std::string(error.what()), Box::BeforeLine, error.what());
        FinishRun();
        return false;
    }
}

// What the removal pass of a folder item would take from its backup, when that is so much of it
// that the person is asked first. Not counted at all while the guard is off.
std::optional<RemovalAtStake> RunEngine::MassRemovalToAsk(const DrivePath& source,
                                                          const DrivePath& destination) {
    if (!settings_.MassDeleteGuard)
        return std::nullopt;
    const std::optional<RemovalAtStake> atStake =
        CountRemovalAtStake(passes_, source, destination, settings_);
    if (!atStake || !RemovalNeedsAsking(*atStake, settings_))
        return std::nullopt;
    return atStake;
}

// No keeps the backup as it is and the run goes on with the copy.
bool RunEngine::AllowMassRemoval(const DrivePath& source, const DrivePath& destination) {
    const std::optional<RemovalAtStake> atStake = MassRemovalToAsk(source, destination);
    if (!atStake)
        return true;
    if (AskYesNoDefaultNo(BoxType::Warning, MassRemovalQuestion(source, destination, *atStake)))
        return true;
    report("Nothing removed from " + destination.Text() +
               ": removing most of the backup was not allowed by user!",
           true);
    massRemovalRefused_ = true;
    return false;
}

// A run killed while copying a single file item leaves its temporary file beside the copy,
// where no removal pass looks: the next run of the item clears it away, unless the source
// folder holds a file of that very name.
void RunEngine::ClearLeftTemporaries(const DrivePath& source, const DrivePath& destination) {
    const DrivePath folder = destination.Parent();
    const DrivePath sourceFolder = source.Parent();
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, kAttrAnyFile, entries, ListDetail::NamesAndKinds))
        return;
    for (const DirEntry& entry : entries) {
        if (entry.kind != EntryKind::File || !IsTemporaryFileName(entry.name))
            continue;
        if (QueryEntry(sourceFolder / entry.name))
            continue;
        const DrivePath left = folder / entry.name;
        run_.DestinationWritten = true;
        if (DeleteFile(left)) {
            report("Removed file: " + left.Text(), true);
            ++run_.Totals.filesRemoved;
        }
    }
}

}  // namespace vlm
