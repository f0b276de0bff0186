#include "engine/removal_pass.h"

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/name_checks.h"
#include "platform/atomic_file_writer.h"
#include "platform/file_system.h"
#include "platform/host_place.h"
#include "platform/tree_walk.h"
#include "platform/utf8_text.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// On a medium that does not tell case apart, the source entry a copy stands for: the first one
// listed whose name differs from the copy's at most in case (the copy pass backs up that one).
class CaselessNames {
public:
    CaselessNames(bool caseless, const FolderListing& source) : source_(source) {
        if (!caseless)
            return;
        for (std::size_t i = 0; i < source.size(); ++i)
            first_.emplace(FoldCase(source.Name(i)), i);
    }
    // The index of that source entry; npos when there is none (or names have case).
    std::size_t For(std::string_view name) const {
        const auto at = first_.find(FoldCase(name));
        return at == first_.end() ? FolderListing::npos : at->second;
    }
    const FolderListing& Source() const { return source_; }

private:
    const FolderListing& source_;
    std::unordered_map<std::string, std::size_t> first_;
};

class RemovalPass {
public:
    explicit RemovalPass(PassContext& ctx) : ctx_(ctx), run_(ctx.run) {}

    void Remove(const DrivePath& source, const DrivePath& destination);

private:
    void RemoveInFolder(std::string_view source, std::string_view destinationIn);
    void Walk(const std::string& source, const std::string& destination);
    void WalkEntries(const std::string& source, const std::string& destination,
                     const FolderListing& entries, const FolderListing& sourceEntries,
                     const std::vector<UnlistedEntry>& sourceUnlisted);
    void RemoveFolder(const std::string& dPrime);
    void WouldRemoveFolder(const std::string& dPrime);
    void FolderNotRemoved(const std::string& dPrime, bool keptByReadOnly);
    // A copy the versions could not take because a link stands in their place: its error line,
    // no question (it would come back for every copy), and the copy stays where it is.
    bool RefusedToKeep() {
        if (ctx_.versions == nullptr || ctx_.versions->Refusal().empty())
            return false;
        GoPastFailure(ctx_, {ctx_.versions->Refusal()});
        return true;
    }
    void RemoveTemporary(const std::string& d);
    void RemoveFile(const std::string& source, const std::string& destination,
                    const DirEntry& entry, bool sourceHasFile);
    void FollowCaseRename(const CaselessNames& caseless, const std::string& destination,
                          DirEntry& entry);
    void ReportUnhandled(const std::string& destination,
                         const std::vector<UnlistedEntry>& unlisted);
    bool ContinueOrStop(const std::string& question) { return vlm::ContinueOrStop(ctx_, question); }
    void MissingItem(const DrivePath& path);
    void WouldRemoveFile(const std::string& path, bool asks);
    void report(const std::string& line, bool important) { ctx_.report(line, important); }

    PassContext& ctx_;
    RunState& run_;
    // The item's source folder: exclusions match the paths below it.
    std::string itemRoot_;
};

void RemovalPass::MissingItem(const DrivePath& path) {
    StopForMissingItem(ctx_, path);
}

// A dry run names what the real pass would remove, and removes nothing; the questions the pass
// would ask first are named too. The program's own temporary files go without one.
void RemovalPass::WouldRemoveFile(const std::string& path, bool asks) {
    const auto entry = QueryEntry(DrivePath(path));
    if (asks && ctx_.sink.NamesConfirmations())
        WouldAsk(ctx_, "Do you really want to delete superfluous file " + path + "?");
    if (asks && entry && (entry->attributes & kAttrReadOnly) != 0)
        WouldAsk(ctx_, "Fatal ERROR: " + path + " not deleted as it is READONLY! " + kMakeWritable +
                           " Continue??");
    const bool plainFile = entry && entry->kind == EntryKind::File;
    // A temporary of the program, or what fsck salvaged, is removed; no backed-up file goes. The
    // temporary goes without a version.
    const bool temporary = plainFile && IsTemporaryFileName(path.substr(path.rfind('\\') + 1));
    const bool backedUp = plainFile && !temporary && !InLostAndFound(DrivePath(path));
    WouldDo(ctx_, PlannedStepKind::RemoveFile, DrivePath(path), plainFile ? entry->size : 0,
            backedUp ? 1 : 0, !temporary);
}

// The source "has" an entry only when the very same kind of thing is there under exactly that
// name (the host's own, case-sensitive comparison). A link in the source is no plain file or
// folder: the copy pass skips it, so its namesake at the destination goes. The walk asks the
// names of its destination listing in their order, so the source listing is passed through once
// beside it, from `from` on.
bool SourceHas(const FolderListing& sourceEntries, std::string_view name, EntryKind kind,
               std::size_t& from) {
    const std::size_t at = sourceEntries.FindFrom(name, from);
    return at != FolderListing::npos && sourceEntries.Kind(at) == kind;
}

// A source entry that is there but could not be looked at still has its copy: the copy pass
// reports it, and its last good copy stays.
bool SourceUnreadable(const std::vector<UnlistedEntry>& sourceUnlisted, std::string_view name) {
    return std::any_of(sourceUnlisted.begin(), sourceUnlisted.end(),
                       [&](const UnlistedEntry& u) { return u.error != 0 && u.name == name; });
}

// Read at the moment of deleting, as the quick listings leave the bit out.
bool IsReadOnly(const std::string& path) {
    const auto entry = QueryEntry(DrivePath(path));
    return entry && (entry->attributes & kAttrReadOnly) != 0;
}

void RemovalPass::Remove(const DrivePath& source, const DrivePath& destination) {
    if (ItemKind(source) == 'n') {
        MissingItem(source);
        return;
    }
    itemRoot_ = StripTrailingBackslash(source.Text());
    RemoveInFolder(source.Text(), destination.Text());
}

// The source folder `source` is there (a walk knows it from its listing).
void RemovalPass::RemoveInFolder(std::string_view source, std::string_view destinationIn) {
    // One look at the destination tells whether it is there and whether it is read-only. A link
    // there is no folder of the backup's: nothing is ever removed through one.
    const auto destinationEntry = QueryEntry(DrivePath(destinationIn));
    const std::uint32_t destinationAttributes =
        destinationEntry && destinationEntry->kind == EntryKind::Directory
            ? destinationEntry->attributes
            : kInvalidAttributes;
    if (destinationAttributes == kInvalidAttributes) {
        MissingItem(DrivePath(destinationIn));
        return;
    }
    const std::string destination = StripTrailingBackslash(destinationIn);
    if ((destinationAttributes & kAttrReadOnly) != 0) {
        AskPastReadOnly(
            ctx_, "ERROR: No files deleted in directory " + destination + " as it is READONLY!",
            "Fatal ERROR: No files deleted in directory " + destination + " as it is READONLY! " +
                kMakeWritable + " Continue??");
        return;
    }
    Walk(StripTrailingBackslash(source), destination);
}

void RemovalPass::Walk(const std::string& source, const std::string& destination) {
    // Names and kinds are all this walk compares: both folders are listed once, without a stat
    // of each entry.
    FolderListing entries;
    std::vector<UnlistedEntry> unhandled;
    if (!entries.Read(DrivePath(destination), kAttrAnyFile, ListDetail::NamesAndKinds,
                      &unhandled)) {
        ReportUnreadableFolder(ctx_, DrivePath(destination));
        return;
    }
    // Nothing to remove (a folder this run has just made): the source is left to the copy pass,
    // which reports a folder it cannot read once, in a run as in a dry run.
    if (entries.empty() && unhandled.empty())
        return;
    FolderListing sourceEntries;
    std::vector<UnlistedEntry> sourceUnlisted;
    if (!sourceEntries.Read(DrivePath(source), kAttrAnyFile, ListDetail::NamesAndKinds,
                            &sourceUnlisted)) {
        // Its whole mirror would go.
        ReportUnreadableFolder(ctx_, DrivePath(source));
        return;
    }
    // A folder inside the item where a disk is mounted reads as empty while the disk is away:
    // its backup is all that is left of that disk's files and stays as it is.
    if (sourceEntries.empty() && sourceUnlisted.empty() && !entries.empty() &&
        IsOnMissingDisk(DrivePath(source))) {
        GoPastFailure(ctx_,
                      {"ERROR: " + source +
                       " is where a disk is mounted, and none is: its backup is left as it is"});
        return;
    }
    ReportUnhandled(destination, unhandled);
    WalkEntries(source, destination, entries, sourceEntries, sourceUnlisted);
}

// Each destination entry against the source listing, in the destination's order.
void RemovalPass::WalkEntries(const std::string& source, const std::string& destination,
                              const FolderListing& entries, const FolderListing& sourceEntries,
                              const std::vector<UnlistedEntry>& sourceUnlisted) {
    const CaselessNames caseless(ctx_.medium.caseInsensitive, sourceEntries);
    std::size_t sourceAt = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (ctx_.PumpAndCheckStop())
            return;
        DirEntry entry = entries.Entry(i);
        if (SourceUnreadable(sourceUnlisted, entry.name))
            continue;
        // What the project leaves out stays in the backup as it is: a later exclusion never
        // deletes what was backed up. The copy pass names and counts the entry. A temporary file
        // of this program's, left by an interrupted run, was never backed up: it goes, whatever
        // the patterns say ("*.tmp" would match it).
        const bool leftTemporary = entry.kind == EntryKind::File && IsTemporaryFileName(entry.name);
        if (!leftTemporary && ctx_.Excluded(itemRoot_, source + "\\" + entry.name,
                                            entry.kind == EntryKind::Directory))
            continue;
        FollowCaseRename(caseless, destination, entry);
        if (entry.kind == EntryKind::Directory) {
            const std::string d = destination + "\\" + entry.name;
            if (SourceHas(sourceEntries, entry.name, EntryKind::Directory, sourceAt)) {
                ctx_.detail(
                    [&] { return "getting into dir " + entry.name + " from " + destination; });
                RemoveInFolder(source + "\\" + entry.name, d);
            } else {
                RemoveFolder(d);
            }
        } else {
            // Links and special files are treated like files: only the entry itself goes. With
            // the name checks on, the copy of a file whose name they cleaned is that file's.
            const bool sourceHasFile =
                SourceHas(sourceEntries, entry.name, EntryKind::File, sourceAt) ||
                (run_.LongNamesOn && entry.kind == EntryKind::File &&
                 IsCleanedFormOfListedFile(entry.name, sourceEntries));
            RemoveFile(source, destination, entry, sourceHasFile);
        }
        if (run_.StopRequested)
            return;
    }
}

// A copy whose original was renamed only in case ("report.txt" → "Report.TXT") on a medium that
// takes both for one name is renamed with it, instead of being removed and copied again.
void RemovalPass::FollowCaseRename(const CaselessNames& caseless, const std::string& destination,
                                   DirEntry& entry) {
    const std::size_t at = caseless.For(entry.name);
    if (at == FolderListing::npos)
        return;
    const std::string_view original = caseless.Source().Name(at);
    const bool sameKind = caseless.Source().Kind(at) == entry.kind &&
                          (entry.kind == EntryKind::File || entry.kind == EntryKind::Directory);
    if (!sameKind || original == entry.name)
        return;
    const std::string from = destination + "\\" + entry.name;
    const std::string to = destination + "\\" + std::string(original);
    if (!ctx_.sink.Touches()) {
        report("Would rename: " + from + " to " + std::string(original), true);
    } else if (RenameCaseOnly(DrivePath(from), DrivePath(to))) {
        run_.DestinationWritten = true;
        report("Renamed: " + from + " to " + std::string(original), true);
    } else {
        return;  // removed and copied again, as any copy the source no longer has
    }
    entry.name = std::string(original);
}

// Destination entries whose names no drive path can hold: this run cannot remove them, and the
// mirror is not exact while they are there.
void RemovalPass::ReportUnhandled(const std::string& destination,
                                  const std::vector<UnlistedEntry>& unhandled) {
    for (const UnlistedEntry& entry : unhandled) {
        if (entry.error != 0)
            continue;
        GoPastFailure(ctx_,
                      {"ERROR: " + destination + "\\" + entry.name +
                       " cannot be removed: its name holds a character of U+F000 to U+F07F!"});
    }
}

void RemovalPass::RemoveFolder(const std::string& dPrime) {
    report("trying to delete directory " + dPrime + "...", false);
    if (!ctx_.sink.Touches()) {
        WouldRemoveFolder(dPrime);
        return;
    }
    if (run_.ConfirmOn && !AskYesNo(BoxType::Confirmation,
                                    "Do you really want to delete COMPLETE dir " + dPrime + "?")) {
        report("deleting " + dPrime + " not allowed by user!", true);
        return;
    }
    // A read-only folder anywhere inside keeps the whole folder from going, as the folder
    // itself being read-only does: the person is asked the same question, naming it.
    const auto readOnly = FindReadOnlyFolder(DrivePath(dPrime));
    if (readOnly &&
        !AskPastReadOnly(ctx_,
                         "Fatal ERROR: " + readOnly->Text() + " not deleted as it is READONLY!",
                         "Fatal ERROR: " + readOnly->Text() + " not deleted as it is READONLY! " +
                             kMakeWritable + " Continue??"))
        return;
    run_.DestinationWritten = true;
    if (DiscardFromMirror(ctx_, DrivePath(dPrime), true)) {
        report("Removed dir: " + dPrime + KeptNote(ctx_), true);
        ++run_.Totals.foldersRemoved;
        return;
    }
    if (RefusedToKeep())
        return;
    FolderNotRemoved(dPrime, readOnly.has_value());
}

// What a dry run says of a folder the real pass would remove, with the questions it would ask.
void RemovalPass::WouldRemoveFolder(const std::string& dPrime) {
    if (ctx_.sink.NamesConfirmations())
        WouldAsk(ctx_, "Do you really want to delete COMPLETE dir " + dPrime + "?");
    const FolderTreeTotals tree = CountFolderTree(DrivePath(dPrime));
    // A count asks nothing: it need not look for what the run would ask about.
    if (!ctx_.sink.Counts()) {
        if (const auto readOnly = FindReadOnlyFolder(DrivePath(dPrime)))
            WouldAsk(ctx_, "Fatal ERROR: " + readOnly->Text() + " not deleted as it is READONLY! " +
                               kMakeWritable + " Continue??");
        else if (tree.readOnlyFiles > 0)
            // The run removes the rest, then asks about what the read-only files keep.
            WouldAsk(ctx_, "ERROR: " + dPrime + " (" + std::to_string(tree.readOnlyBytes) +
                               " bytes) not deleted for unknown reason! Continue anyway??");
    }
    // What the program's temporaries and `lost+found` hold is no backed-up file.
    const bool salvaged = InLostAndFound(DrivePath(dPrime));
    WouldDo(ctx_, PlannedStepKind::RemoveFolder, DrivePath(dPrime),
            salvaged ? 0 : tree.bytes - tree.scratchBytes,
            salvaged ? 0 : tree.files - tree.scratchFiles);
}

// The folder did not go, or not all of it; `keptByReadOnly` when a read-only folder inside kept
// it.
void RemovalPass::FolderNotRemoved(const std::string& dPrime, bool keptByReadOnly) {
    const FolderTreeTotals left = CountFolderTree(DrivePath(dPrime));
    const std::uint64_t remaining = left.bytes;
    // A folder inside that cannot be looked into may hold anything: it is not empty for that.
    if (remaining == 0 && left.unreadFolders == 0) {
        // A folder that failed to go for a passing reason goes at the next run. One kept by a
        // read-only folder inside stays run after run, as nothing here makes an item writable:
        // the destination is then no mirror, which the line says at every level and the
        // run's result says too.
        const std::string empty = "Folder: " + dPrime +
                                  " is empty now! Please remove it manually if you should want "
                                  "it completely removed.";
        if (keptByReadOnly)
            GoPastFailure(ctx_, {empty});
        else
            report(empty, false);
        return;
    }
    // Going on leaves the destination holding what its source no longer has: no mirror.
    GoPastFailure(ctx_, {"ERROR: unable to delete superfluous dir " + dPrime + "!!"});
    if (ContinueOrStop("ERROR: " + dPrime + " (" + std::to_string(remaining) +
                       " bytes) not deleted for unknown reason!" + " Continue anyway??"))
        report("User decides to continue", true);
}

void RemovalPass::RemoveFile(const std::string& source, const std::string& destination,
                             const DirEntry& entry, bool sourceHasFile) {
    // Most files stay: their path is composed only once it is known that they go.
    if (sourceHasFile)
        return;
    if (entry.kind == EntryKind::File && IsTemporaryFileName(entry.name)) {
        RemoveTemporary(destination + "\\" + entry.name);
        return;
    }
    if (run_.LongNamesOn && file127exists(DrivePath(source), entry.name, ctx_.log))
        return;
    const std::string d = destination + "\\" + entry.name;

    report("deleting superfluous " + d + "...", false);
    if (!ctx_.sink.Touches()) {
        WouldRemoveFile(d, true);
        return;
    }
    if (run_.ConfirmOn && !AskYesNo(BoxType::Confirmation,
                                    "Do you really want to delete superfluous file " + d + "?")) {
        report("deleting " + d + " not allowed by user", true);
        return;
    }
    if (IsReadOnly(d) &&
        !AskPastReadOnly(ctx_, "Fatal ERROR: " + d + " not deleted as it is READONLY!",
                         "Fatal ERROR: " + d + " not deleted as it is READONLY! " + kMakeWritable +
                             " Continue??"))
        return;
    run_.DestinationWritten = true;
    if (DiscardFromMirror(ctx_, DrivePath(d), false)) {
        report("Removed file: " + d + KeptNote(ctx_), true);
        ++run_.Totals.filesRemoved;
        return;
    }
    if (RefusedToKeep())
        return;
    GoPastFailure(ctx_, {"Fatal ERROR: unable to delete superfluous " + d + "!!"});
    ContinueOrStop("Fatal ERROR: " + d + " not deleted for unknown reason!" + " Continue??");
}

// Left behind by a run that was killed mid-copy: the program's own, so it goes without a
// question, with the ordinary line.
void RemovalPass::RemoveTemporary(const std::string& d) {
    if (!ctx_.sink.Touches()) {
        WouldRemoveFile(d, false);
        return;
    }
    run_.DestinationWritten = true;
    if (DeleteFile(DrivePath(d))) {
        report("Removed file: " + d, true);
        ++run_.Totals.filesRemoved;
    }
}

}  // namespace

void deletesupr(PassContext& ctx, const DrivePath& source, const DrivePath& destination) {
    // As the copy pass: below the two folders nothing is reached by its whole path.
    const WalkTop sourceTop{source};
    const WalkTop destinationTop{destination};
    RemovalPass(ctx).Remove(source, destination);
}

}  // namespace vlm
