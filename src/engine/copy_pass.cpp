#include "engine/copy_pass.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/destination_folder.h"
#include "engine/kept_aside.h"
#include "engine/name_checks.h"
#include "platform/file_system.h"
#include "platform/host_place.h"
#include "platform/platform_error.h"
#include "platform/utf8_text.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// Where a file is being copied from: the overwrite refusal and the handling of a failed copy
// differ between a file named as a project item and a file met inside a folder walk.
enum class FileOrigin { SingleItem, FolderWalk };

// What a failed copy does: it ends the run (the run driver shows it), or it is reported and the
// pass goes on.
enum class FailedCopy { EndsRun, Reported };

// The name part of a destination path: what follows its last backslash.
std::string_view NamePart(std::string_view path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

class CopyPass {
public:
    explicit CopyPass(PassContext& ctx) : ctx_(ctx), run_(ctx.run) {}

    void Copy(const DrivePath& source, const DrivePath& destination);

private:
    void CopyFolder(const std::string& source, const std::string& destination,
                    std::uint32_t destinationAttributes);
    void Walk(const std::string& source, const std::string& destination);
    std::map<std::string, std::string> FirstClaims(const FolderListing& listing) const;
    bool WalkEntry(const std::string& source, const std::string& destination, const DirEntry& entry,
                   std::map<std::string, std::string>& claimedBy,
                   const DestinationFolder& existing);
    bool MakeSubFolder(const std::string& name, const std::string& destination, bool isLink);
    DestinationFolder ListDestination(const std::string& destination) const;
    void EnterSubFolder(const std::string& subSource, const std::string& destination,
                        const DirEntry& sourceEntry, const DestinationFolder& existing);
    void CopyFileRule(const std::string& s, std::string d, std::uint64_t sourceSize,
                      const FileAge& sourceAge, std::uint32_t sourcePermissions, FileOrigin origin,
                      const DestinationFolder& existing = DestinationFolder());
    void ReportUnlisted(const std::string& source, const std::vector<UnlistedEntry>& unlisted);
    std::string ClaimKey(const std::string& name) const;
    bool ClaimCleanedName(const std::string& s, const std::string& name,
                          std::map<std::string, std::string>& claimedBy);
    bool ReplaceLinkWithFolder(const std::string& path);
    void NewFile(const std::string& s, const std::string& d, std::uint64_t sourceSize);
    bool Changed(const std::string& s, const std::string& d, const DirEntry& existing,
                 std::uint64_t sourceSize, const FileAge& sourceAge,
                 std::uint32_t sourcePermissions);
    void ReplaceFile(const std::string& s, const std::string& d, const DirEntry& existing,
                     std::uint64_t sourceSize, FileOrigin origin);
    void StopAtReadOnlyCopy(const std::string& d, FileOrigin origin);
    bool CopyCaught(const std::string& s, const std::string& d, std::uint64_t size,
                    FailedCopy vanished, FailedCopy other);
    bool CopyOneFile(const std::string& s, const std::string& d, std::uint64_t size);
    void PlanOverwrite(const std::string& d, std::uint64_t bytes, std::uint32_t attributes);
    void MissingItem(const DrivePath& path);
    void ReportChanging(const std::string& s);
    void ReportNameRefused(const std::string& d, const std::exception& why);
    void ReportTooLarge(const std::string& s, std::uint64_t size);
    void report(const std::string& line, bool important) { ctx_.report(line, important); }

    PassContext& ctx_;
    RunState& run_;
    // The item's source folder: exclusions match the paths below it.
    std::string itemRoot_;
};

void CopyPass::MissingItem(const DrivePath& path) {
    StopForMissingItem(ctx_, path);
}

void CopyPass::Copy(const DrivePath& sourceItem, const DrivePath& destinationItem) {
    if (ctx_.PumpAndCheckStop())
        return;
    const char sourceKind = ItemKind(sourceItem);
    if (sourceKind == 'n') {
        MissingItem(sourceItem);
        return;
    }
    // One look at the destination serves the check below and the read-only rule after it. It
    // never follows a link: a link where the mirror belongs is no folder of the backup's.
    const auto destinationEntry = QueryEntry(destinationItem);
    const std::uint32_t destinationAttributes =
        destinationEntry ? destinationEntry->attributes : kInvalidAttributes;
    const bool destinationIsFolder = destinationAttributes != kInvalidAttributes &&
                                     (destinationAttributes & kAttrDirectory) != 0;
    if (sourceKind == 'd' && !destinationIsFolder && ctx_.sink.Touches()) {
        // The run driver creates each item's destination folder beforehand.
        MissingItem(destinationItem);
        return;
    }
    // The walk composes the paths below an item with a backslash of its own: a drive's root
    // gives its text without one.
    const std::string source = StripTrailingBackslash(sourceItem.Text());
    itemRoot_ = source;
    const std::string target = StripTrailingBackslash(destinationItem.Text());

    if (sourceKind == 'f') {
        const auto sourceTime = GetFileHostTime(DrivePath(source));
        CopyFileRule(source, target, static_cast<std::uint64_t>(FileSizeOf(DrivePath(source))),
                     FileAgeOf(sourceTime.value_or(HostTime{})),
                     GetFilePermissions(DrivePath(source)).value_or(kPermissionsUnknown),
                     FileOrigin::SingleItem);
        return;
    }
    CopyFolder(source, target, destinationAttributes);
}

// The folder `source`, whose copy `destination` has `destinationAttributes`
// (kInvalidAttributes: none yet, which only a walk that touches nothing goes on with).
void CopyPass::CopyFolder(const std::string& source, const std::string& destination,
                          std::uint32_t destinationAttributes) {
    const bool destinationMissing = destinationAttributes == kInvalidAttributes;
    if ((!destinationMissing && (destinationAttributes & kAttrReadOnly) == 0) ||
        (destinationMissing && !ctx_.sink.Touches())) {
        Walk(source, destination);
        return;
    }
    // Yes: nothing in this folder is copied, and the caller goes on.
    AskPastReadOnly(ctx_,
                    "ERROR: No files changed in directory " + destination + " as it is READONLY!",
                    "Fatal ERROR: No files overwritten in directory " + destination +
                        " as it is READONLY! " + kMakeWritable + " Continue??");
}

void CopyPass::Walk(const std::string& source, const std::string& destination) {
    FolderListing listing;
    std::vector<UnlistedEntry> unlisted;
    if (!listing.Read(DrivePath(source), kAttrAnyFile, ListDetail::Full, &unlisted)) {
        ReportUnreadableFolder(ctx_, DrivePath(source));
        return;
    }
    ReportUnlisted(source, unlisted);
    const DestinationFolder existing = ListDestination(destination);
    std::map<std::string, std::string> claimedBy = FirstClaims(listing);
    for (std::size_t i = 0; i < listing.size(); ++i) {
        if (ctx_.PumpAndCheckStop())
            return;
        if (!WalkEntry(source, destination, listing.Entry(i), claimedBy, existing))
            return;
    }
}

// With cleaned names, two files of a folder may come to one destination name: the one whose name
// cleaning leaves as it is keeps it, and no file ever overwrites another's copy. On a medium
// without case, "A.txt" and "a.txt" are one name too: the first one listed keeps it, files and
// folders alike. The destination names taken before the walk begins, each by its entry's name.
std::map<std::string, std::string> CopyPass::FirstClaims(const FolderListing& listing) const {
    const bool caseless = ctx_.medium.caseInsensitive;
    std::map<std::string, std::string> claimedBy;
    if (!run_.LongNamesOn && !caseless)
        return claimedBy;
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const std::string name(listing.Name(i));
        const bool claims = listing.Kind(i) == EntryKind::File ||
                            (caseless && listing.Kind(i) == EntryKind::Directory);
        if (claims && (!run_.LongNamesOn || CleanedName(name) == name))
            claimedBy.emplace(ClaimKey(name), name);
    }
    return claimedBy;
}

// False when the walk ends here.
bool CopyPass::WalkEntry(const std::string& source, const std::string& destination,
                         const DirEntry& entry, std::map<std::string, std::string>& claimedBy,
                         const DestinationFolder& existing) {
    const bool caseless = ctx_.medium.caseInsensitive;
    const std::string s = source + "\\" + entry.name;
    if (ctx_.Excluded(itemRoot_, s, entry.kind == EntryKind::Directory)) {
        NoteExcluded(ctx_, DrivePath(s));
        return true;
    }
    switch (entry.kind) {
        case EntryKind::Directory:
            if (caseless && !ClaimCleanedName(s, entry.name, claimedBy))
                break;
            EnterSubFolder(s, destination, entry, existing);
            return !run_.StopRequested;
        case EntryKind::Link:
        case EntryKind::Special:
            // A walk never follows a link or opens a device, pipe or socket.
            GoPastFailure(ctx_, {"Skipped link or special file: " + s}, FailureCount::Skip);
            break;
        case EntryKind::File:
            // Every file is copied whatever its name, also one that looks like the program's own
            // temporary files.
            if ((run_.LongNamesOn || caseless) && !ClaimCleanedName(s, entry.name, claimedBy))
                break;
            CopyFileRule(s, destination + "\\" + entry.name, entry.size,
                         FileAge{entry.modified, entry.time}, entry.permissions,
                         FileOrigin::FolderWalk, existing);
            return !run_.StopRequested;
    }
    return true;
}

// Entries the listing found but could not give are files that this run does not back up: each
// is named, and the run cannot end as "OK".
void CopyPass::ReportUnlisted(const std::string& source,
                              const std::vector<UnlistedEntry>& unlisted) {
    if (ctx_.sink.Counts())
        return;
    for (const UnlistedEntry& entry : unlisted) {
        const std::string path = source + "\\" + entry.name;
        // What the project leaves out is no failure of its backup, whatever its name holds.
        if (ctx_.Excluded(itemRoot_, path, false))
            continue;
        GoPastFailure(
            ctx_,
            {entry.error == 0 ? "ERROR: " + path +
                                    " not backed up: its name holds a character of U+F000 to "
                                    "U+F07F, which stand for characters a file name cannot hold!"
                              : "ERROR: Unable to read the attributes of " + path + " (" +
                                    PlatformErrorText(entry.error) + "), not backed up!"},
            FailureCount::ErrorAndSkip);
    }
}

// The destination name a source entry `name` is written under, as the medium compares names.
std::string CopyPass::ClaimKey(const std::string& name) const {
    const std::string written = run_.LongNamesOn ? CleanedName(name) : name;
    return ctx_.medium.caseInsensitive ? FoldCase(written) : written;
}

// True when the entry `s` (named `name` in its folder) may take its destination name: no other
// entry of the folder has taken it.
bool CopyPass::ClaimCleanedName(const std::string& s, const std::string& name,
                                std::map<std::string, std::string>& claimedBy) {
    const std::string cleaned = run_.LongNamesOn ? CleanedName(name) : name;
    if (cleaned.empty() || (cleaned == name && !ctx_.medium.caseInsensitive))
        return true;  // no name left is reported by the copy itself; an unchanged name is its own
    const auto [at, claimed] = claimedBy.emplace(ClaimKey(name), name);
    if (claimed || at->second == name)
        return true;
    const std::string folder = s.substr(0, s.size() - name.size());
    const std::string writtenAs = run_.LongNamesOn ? CleanedName(at->second) : at->second;
    GoPastFailure(
        ctx_,
        {"ERROR: " + s + " and " + folder + at->second + " would both be written as " + writtenAs +
         (ctx_.medium.caseInsensitive ? " on a medium that does not tell upper and lower case apart"
                                      : "") +
         ", " + s + " not copied! " + kCasePairAdvice},
        FailureCount::ErrorAndSkip);
    return false;
}

DestinationFolder CopyPass::ListDestination(const std::string& destination) const {
    // With cleaned names two source files can meet at one destination name, and the second must
    // find the first one's copy: then only a lookup of each path sees what this walk wrote.
    if (run_.LongNamesOn)
        return DestinationFolder();
    FolderListing entries;
    if (!entries.Read(DrivePath(destination), kAttrAnyFile))
        return DestinationFolder();
    return DestinationFolder(std::move(entries));
}

void CopyPass::EnterSubFolder(const std::string& subSource, const std::string& destination,
                              const DirEntry& sourceEntry, const DestinationFolder& existing) {
    const std::string& name = sourceEntry.name;
    const std::string subDestination = destination + "\\" + name;
    bool created = false;
    // Only a real folder will do: a link of that name at the destination is never written
    // through, it is removed and a folder made in its place.
    std::optional<DirEntry> found = existing.Lookup(subDestination, name);
    // On a medium without case, a folder whose name differs only in case is this one's copy.
    if (!found && ctx_.medium.caseInsensitive)
        found = existing.LookupOtherCase(name);
    if (ctx_.sink.Touches() && (!found || found->kind != EntryKind::Directory)) {
        if (!MakeSubFolder(name, destination, found && found->kind == EntryKind::Link))
            return;
        created = true;
    }
    ctx_.detail([&] { return "getting into dir " + name + " from " + destination; });
    // Both sides are known from the listings (the source entry is a real folder, not a link):
    // only a folder made just now is looked at again.
    if (!ctx_.PumpAndCheckStop()) {
        if (created)
            found = QueryEntry(DrivePath(subDestination));
        CopyFolder(subSource, subDestination, found ? found->attributes : kInvalidAttributes);
    }
    // A new folder gets its original's permission bits once its content is in, so that a
    // folder its owner made read-only still has its backup written; a folder made private
    // since its backup makes its copy private too. A dry run or a count changes nothing.
    if (created)
        CopyFolderPermissions(DrivePath(subSource), DrivePath(subDestination));
    else if (ctx_.sink.Touches() && found && found->permissions != kPermissionsUnknown &&
             sourceEntry.permissions != kPermissionsUnknown &&
             found->permissions != sourceEntry.permissions)
        UpdatePermissions(DrivePath(subDestination), sourceEntry.permissions);
}

// Makes the folder `name` in `destination`, in place of a link of that name when `isLink`. False
// when the folder was not made: a name the destination refuses leaves this folder alone out of
// the backup; any other failure stops the run.
bool CopyPass::MakeSubFolder(const std::string& name, const std::string& destination, bool isLink) {
    const std::string path = destination + "\\" + name;
    FileStatus made = FileError{EEXIST, path};  // a link that could not go is still there
    if (!isLink || ReplaceLinkWithFolder(path))
        made = CreateDirectory(DrivePath(path));
    if (made) {
        run_.DestinationWritten = true;
        if (ctx_.versions != nullptr)
            ctx_.versions->NoteAdded(DrivePath(path));
        ctx_.detail([&] { return "Created dir: " + name + " in " + destination; });
        return true;
    }
    if (!isLink && IsNameRefusal(made.Error().code, DrivePath(path))) {
        GoPastFailure(ctx_,
                      {"ERROR: The destination refuses the name " + path + ", not backed up! (" +
                       made.Error().Text() + ") " + kRefusedNameAdvice});
        return false;
    }
    StopForFailure(ctx_,
                   {{"ERROR: dir creation" + name + " in " + destination + " failed!"},
                    "FATAL ERROR: directory creation" + name + " in " + destination + " failed!",
                    {"Abnormal termination!"},
                    2});
    return false;
}

// Removes the link at `path` (the link itself, never what it points at), so that a real folder
// can take its place.
bool CopyPass::ReplaceLinkWithFolder(const std::string& path) {
    if (!DeleteFile(DrivePath(path)))
        return false;
    run_.DestinationWritten = true;
    report("Removed link in place of a folder: " + path, true);
    return true;
}

void CopyPass::CopyFileRule(const std::string& s, std::string d, std::uint64_t sourceSize,
                            const FileAge& sourceAge, std::uint32_t sourcePermissions,
                            FileOrigin origin, const DestinationFolder& existingFolder) {
    if (run_.LongNamesOn) {
        d = fnamecutto127(d, ctx_.log);
        if (NameIsEmpty(d)) {
            // Nothing may be written at the folder's own path.
            GoPastFailure(ctx_,
                          {"ERROR: No name left for " + s +
                           " after removing forbidden characters, file not copied!"},
                          FailureCount::Skip);
            return;
        }
    }
    // A file larger than the medium holds (FAT32: 4 GiB) is never begun: no temporary file
    // fills the medium up to where the copy must fail. A dry run and a count foresee it too.
    if (ctx_.medium.largestFile != 0 && sourceSize > ctx_.medium.largestFile) {
        ReportTooLarge(s, sourceSize);
        return;
    }
    auto existing = existingFolder.Lookup(d, NamePart(d));
    // A copy under a name that differs only in case, which the removal pass did not rename (it
    // did not run), is the copy this one replaces on such a medium: it is compared and, with
    // kept versions on, kept like any other.
    if (!existing && ctx_.medium.caseInsensitive)
        existing = existingFolder.LookupOtherCase(NamePart(d));
    // A folder of that name is no file: the copy is attempted and fails like any other.
    if (!existing || existing->kind == EntryKind::Directory)
        NewFile(s, d, sourceSize);
    else if (Changed(s, d, *existing, sourceSize, sourceAge, sourcePermissions))
        ReplaceFile(s, d, *existing, sourceSize, origin);
}

void CopyPass::NewFile(const std::string& s, const std::string& d, std::uint64_t sourceSize) {
    ctx_.detail([] { return std::string("copying new file..."); });
    ctx_.detail([&] { return "from: " + s; });
    ctx_.detail([&] { return "to: " + d; });
    if (!ctx_.sink.Touches()) {
        ctx_.sink.AddWritten(sourceSize);
        ctx_.detail([] { return std::string("virtual file creation done!"); });
        WouldDo(ctx_, PlannedStepKind::NewFile, DrivePath(d), sourceSize);
        return;
    }
    if (CopyCaught(s, d, sourceSize, FailedCopy::Reported, FailedCopy::EndsRun)) {
        report("Created file: " + d, true);
        if (ctx_.versions != nullptr)
            ctx_.versions->NoteAdded(DrivePath(d));
        ++run_.Totals.filesNew;
        run_.Totals.bytesCopied += sourceSize;
        if (ctx_.copied != nullptr)
            ctx_.copied->push_back({s, d});
    }
}

// True when the copy `d` differs from its original `s` in size or age. A copy that is the same
// gets the original's permission bits, when they changed.
bool CopyPass::Changed(const std::string& s, const std::string& d, const DirEntry& existing,
                       std::uint64_t sourceSize, const FileAge& sourceAge,
                       std::uint32_t sourcePermissions) {
    if (existing.kind != EntryKind::File || existing.size != sourceSize) {
        // A link or special file where the copy belongs is replaced like an outdated copy.
        report("updating (new size)...", false);
        return true;
    }
    if (!SameAgeOnMedium(ctx_.medium, FileAge{existing.modified, existing.time}, sourceAge)) {
        report("updating (new age)...", false);
        return true;
    }
    ctx_.detail([&] { return s + " not changed since last backup"; });
    // The same file, shown to other people as its original now is: a file made private since its
    // backup makes its copy private too.
    if (ctx_.sink.Touches() && sourcePermissions != kPermissionsUnknown &&
        existing.permissions != sourcePermissions)
        UpdatePermissions(DrivePath(d), sourcePermissions);
    return false;
}

void CopyPass::ReplaceFile(const std::string& s, const std::string& d, const DirEntry& existing,
                           std::uint64_t sourceSize, FileOrigin origin) {
    ctx_.detail([&] { return "from: " + s; });
    ctx_.detail([&] { return "to: " + d; });
    if (ctx_.sink.Touches() && run_.ConfirmOn &&
        !AskYesNo(BoxType::Confirmation, "Do you really want to overwrite file " + d + "?")) {
        report(origin == FileOrigin::SingleItem
                   ? "overwriting file item " + d + " not allowed by user"
                   : "overwriting: " + d + " not allowed by user",
               true);
        return;
    }
    if (!ctx_.sink.Touches()) {
        // On a write-once medium a replaced copy frees nothing.
        ctx_.sink.AddWritten(sourceSize);
        report("virtual overwriting done!", false);
        PlanOverwrite(d, sourceSize, existing.attributes);
        return;
    }
    if ((existing.attributes & kAttrReadOnly) != 0) {
        StopAtReadOnlyCopy(d, origin);
        return;
    }
    // A single file item's failure reaches the run driver; inside a folder walk it is reported
    // and the walk goes on. Either way the old copy at d is intact, since the new one replaces it
    // only when complete.
    const FailedCopy failure =
        origin == FileOrigin::SingleItem ? FailedCopy::EndsRun : FailedCopy::Reported;
    // With kept versions the old copy moves aside first, and back when no new copy took its place.
    KeptAside kept(ctx_, DrivePath(d));
    if (!kept.Ready())
        return;
    if (CopyCaught(s, d, sourceSize, failure, failure)) {
        kept.Done();
        report("Overwritten file: " + d + KeptNote(ctx_), true);
        ++run_.Totals.filesReplaced;
        run_.Totals.bytesCopied += sourceSize;
        if (ctx_.copied != nullptr)
            ctx_.copied->push_back({s, d});
    }
}

// A read-only copy is never replaced: the run stops there, with one box (which inside a folder
// walk still asks "Continue??", with OK alone).
void CopyPass::StopAtReadOnlyCopy(const std::string& d, FileOrigin origin) {
    const std::string box =
        "Fatal ERROR: " + d + " not overwritten as it is READONLY! " + kMakeWritable;
    StopForFailure(ctx_,
                   {{"Fatal ERROR: " + d + " not overwritten as it is READONLY!", kMakeWritable},
                    origin == FileOrigin::SingleItem ? box : box + " Continue??"});
}

// What a dry run says of a copy that would be replaced: the question the run would ask first,
// and the stop it would make at a read-only copy, which it never replaces.
void CopyPass::PlanOverwrite(const std::string& d, std::uint64_t bytes, std::uint32_t attributes) {
    if (ctx_.sink.NamesConfirmations())
        WouldAsk(ctx_, "Do you really want to overwrite file " + d + "?");
    if ((attributes & kAttrReadOnly) != 0) {
        WouldAsk(ctx_, "Fatal ERROR: " + d + " not overwritten as it is READONLY! " + kMakeWritable,
                 true);
        return;
    }
    WouldDo(ctx_, PlannedStepKind::ChangedFile, DrivePath(d), bytes);
}

// Without a progress meter, a large file still sees a stop between its pieces.
class StopWatcher final : public CopyWatcher {
public:
    explicit StopWatcher(const PassContext& ctx) : ctx_(ctx) {}
    bool Copied(std::uint64_t) override { return !ctx_.PumpAndCheckStop(); }

private:
    const PassContext& ctx_;
};

// Copies s to d, followed by the window's progress. False when the person stopped the run
// during the copy: nothing of it is left, the old copy is as it was.
bool CopyPass::CopyOneFile(const std::string& s, const std::string& d, std::uint64_t size) {
    StopWatcher stopWatcher(ctx_);
    // The meter hears of the end of the file whichever way its copy ends.
    std::optional<ProgressMeter::FileScope> file;
    if (ctx_.progress != nullptr)
        file.emplace(*ctx_.progress, DrivePath(s), size);
    try {
        CopyFileKeepAge(
            DrivePath(s), DrivePath(d),
            ctx_.progress != nullptr ? static_cast<CopyWatcher*>(ctx_.progress) : &stopWatcher);
    } catch (const CopyStopped&) {
        report("Copy of " + s + " stopped, " + d + " left as it was", true);
        return false;
    } catch (const CopyError& error) {
        // The copy's own notice comes first, whoever goes on to handle the failure.
        if (!error.Notice().empty())
            ShowErrorBox(error.Notice());
        throw;
    }
    if (file)
        file->Copied();
    return true;
}

// Copies s to d; false when no copy was made. The failures that concern this file alone (its
// name refused, the source changing all the while) are reported and the pass goes on. A source
// gone meanwhile (`vanished`) and any other failure (`other`: a full disk, a medium gone) either
// end the run at once — the failure reaches the run driver, which shows it once, instead of one
// box for every file still to come — or are reported here.
bool CopyPass::CopyCaught(const std::string& s, const std::string& d, std::uint64_t size,
                          FailedCopy vanished, FailedCopy other) {
    try {
        if (!CopyOneFile(s, d, size))
            return false;
    } catch (const SourceVanished&) {
        if (vanished == FailedCopy::EndsRun)
            throw;
        // Deleted or moved while the run was under way: nothing of it is left to back up, and
        // its old copy goes at the next run.
        report("File vanished before it could be copied: " + s, true);
        return false;
    } catch (const SourceChanging&) {
        ReportChanging(s);
        return false;
    } catch (const NameRefused& refused) {
        ReportNameRefused(d, refused);
        return false;
    } catch (const FileTooLarge&) {
        // A medium whose limit was not known beforehand.
        ReportTooLarge(s, size);
        return false;
    } catch (const CopyError& error) {
        // A full disk: the oldest kept runs make room, and the copy is made again. Each try
        // removes at least one run, so the tries end.
        if (dynamic_cast<const NoSpaceLeft*>(&error) != nullptr && ctx_.makeRoom &&
            ctx_.makeRoom(size) > 0)
            return CopyCaught(s, d, size, vanished, other);
        if (other == FailedCopy::EndsRun)
            throw;
        ShowPlain(std::string("CopyError") + " error raised, with message : " + error.what());
        GoPastFailure(ctx_, {"ERROR: Could not copy file " + s + " to " + d,
                             "Probably source file corrupt..."});
        return false;
    }
    run_.DestinationWritten = true;
    return true;
}

// No single name stops a run: the file whose name the destination refuses is named, and the
// run cannot end as "OK".
void CopyPass::ReportNameRefused(const std::string& d, const std::exception& why) {
    GoPastFailure(ctx_, {"ERROR: The destination refuses the name " + d + ", not backed up! (" +
                         why.what() + ") " + kRefusedNameAdvice});
}

// No file too large for its destination stops a run: it is named with its size and what the
// medium holds, and the run cannot end as "OK".
void CopyPass::ReportTooLarge(const std::string& s, std::uint64_t size) {
    const std::uint64_t largest = ctx_.medium.largestFile;
    const std::string holds =
        largest == 0 ? std::string()
                     : " (" + GroupThousands(static_cast<std::int64_t>(largest)) + " bytes)";
    const std::string fileSystem =
        ctx_.medium.fileSystem.empty() ? std::string() : ctx_.medium.fileSystem + " ";
    GoPastFailure(ctx_, {"ERROR: " + s + " (" + GroupThousands(static_cast<std::int64_t>(size)) +
                         " bytes) is larger than the " + fileSystem +
                         "file system of its destination holds" + holds + ", not backed up!"});
}

// A file written to all the while it was copied: no copy of it is kept (it would mix old and new
// bytes), and the run cannot end as "OK". The next run tries again.
void CopyPass::ReportChanging(const std::string& s) {
    GoPastFailure(ctx_, {"ERROR: " + s + " changed while it was being copied, not backed up!"});
}

}  // namespace

void copyltor(PassContext& ctx, const DrivePath& source, const DrivePath& destination) {
    // Below the item's two folders everything is reached folder by folder from their open
    // descriptors: no depth is too deep, and no link swapped in below them is followed.
    const WalkTop sourceTop{source};
    const WalkTop destinationTop{destination};
    CopyPass(ctx).Copy(source, destination);
}

}  // namespace vlm
