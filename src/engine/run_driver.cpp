#include "engine/run_driver.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/project_file.h"
#include "engine/copy_pass.h"
#include "engine/free_space.h"
#include "engine/removal_pass.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/metadata_prefetch.h"
#include "platform/packed_time.h"
#include "platform/tree_walk.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// The last resort named in this system's terms: Ctrl+Alt+Del reboots a Linux console.
constexpr const char* kWorkingStatus =
    "Working, please be patient... (Use \"Cancel\" or \"ESC\" button or open the \"System "
    "Monitor\" and \"End process\" as eventual emergency stop)";

std::string UpperLetter(const std::string& letter) {
    std::string upper = letter.substr(0, 1);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

std::string OnOff(bool on) {
    return on ? "ON" : "OFF";
}

// The folder part of a path, up to and including its last backslash.
std::string FolderPartOf(const std::string& path) {
    const auto slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(0, slash + 1);
}

// Makes every folder from `base` (exclusive; the place the person chose, which may be reached
// through a link) down to `folder` a real folder. Nothing below the base is ever followed: a
// link found where a folder of the backup belongs is removed (the link itself, never its target)
// and a real folder made in its place, with a line naming it. False when a folder cannot be made
// or a file stands in the way.
bool MakeRealFolderChain(const std::string& base, const std::string& folder, RunLog& log,
                         bool& written) {
    if (folder.size() <= base.size() || folder.compare(0, base.size(), base) != 0 ||
        folder[base.size()] != '\\')
        return false;
    std::size_t end = base.size();
    while (end != std::string::npos) {
        end = folder.find('\\', end + 1);
        const std::string step = folder.substr(0, end);
        const auto entry = QueryEntry(step);
        if (entry && entry->kind == EntryKind::Directory)
            continue;
        if (entry && entry->kind == EntryKind::Link) {
            if (!DeleteFile(step))
                return false;
            written = true;
            log.report("Removed link in place of a folder: " + step, true);
        } else if (entry) {
            return false;  // a file or special file where a folder belongs
        }
        if (!CreateDirectory(step))
            return false;
        written = true;
    }
    return true;
}

// What a dry run foresees of MakeDestinationFolder: the folder is there or can be made, as no
// file or special file stands where it or a folder above it belongs (a link there is replaced).
bool FolderCanBeMade(const std::string& folderIn) {
    const std::string folder = StripTrailingBackslash(folderIn);
    // The drive's root is there: the run has checked the drive.
    for (std::size_t end = folder.find('\\', 3);; end = folder.find('\\', end + 1)) {
        const auto entry = QueryEntry(folder.substr(0, end));
        if (!entry)
            return true;
        if (entry->kind != EntryKind::Directory && entry->kind != EntryKind::Link)
            return false;
        if (end == std::string::npos)
            return true;
    }
}

// What a source item is for a run. One in the empty folder an unplugged disk left behind is not
// there: read as an empty folder, it would have its whole backup removed.
char SourceKind(const std::string& item) {
    const char kind = ItemKind(item);
    return kind != 'n' && IsOnMissingDisk(item) ? 'n' : kind;
}

// The history could not be saved: the run is abandoned where it stands.
class HistorySaveFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Switches the virtual copy on for the CD-like estimate, and off again with the project's
// confirm value back on every way out.
class VirtualCopyScope {
public:
    VirtualCopyScope(RunState& run, bool savedConfirm) : run_(run), savedConfirm_(savedConfirm) {
        run_.VirtualCopy = true;
        run_.ConfirmOn = false;
    }
    ~VirtualCopyScope() { End(); }
    VirtualCopyScope(const VirtualCopyScope&) = delete;
    VirtualCopyScope& operator=(const VirtualCopyScope&) = delete;

    void End() {
        run_.VirtualCopy = false;
        run_.ConfirmOn = savedConfirm_;
    }

private:
    RunState& run_;
    bool savedConfirm_;
};

}  // namespace

RunEngine::RunEngine(RunView& view, EventPump& pump, RunState& run, HandOverState& handOver,
                     RunLog& log, const AppSettings& settings, RunHistory& history,
                     RunSwitches switches)
    : view_(view),
      pump_(pump),
      run_(run),
      handOver_(handOver),
      log_(log),
      settings_(settings),
      history_(history),
      switches_(std::move(switches)),
      passes_{run, log, pump} {}

void RunEngine::run(const std::string& path) {
    outcome_.reset();
    terminateRequested_ = false;
    try {
        RunSteps(path);
    } catch (const std::exception& error) {
        // The run ends where it stood: an open history row, the window as it was.
        ShowErrorBox(error.what());
    }
    EndProgress();
}

bool RunEngine::SourcesExist() {
    for (const std::string& item : view_.SourceItems()) {
        if (SourceKind(item) == 'n') {
            report("ERROR: " + item + " does not exist! Re-edit project file", true);
            ShowErrorBox("ERROR: " + item +
                         " does not exist! Check path of source items and eventually re-edit "
                         "project file.");
            return false;
        }
    }
    return true;
}

// The state of the last run forgotten, the project read: where a run and a dry run both begin.
ProjectText RunEngine::StartAfresh(const std::string& path) {
    run_.StopRequested = false;
    run_.StoppedByFailure = false;
    run_.FilesFailed = false;
    run_.DestinationWritten = false;
    noSpaceExit_ = false;
    fatalError_ = false;
    massRemovalRefused_ = false;
    run_.Totals = {};
    auto project = ProjectText::Load(path);
    if (!project)
        throw std::runtime_error("Unable to read the project file " + path + "!");
    return std::move(*project);
}

void RunEngine::RunSteps(const std::string& path) {
    log_.BeginRun();
    pump_.ProcessPendingEvents();
    // A disk plugged in or swapped since the program started is the one this run sees.
    RefreshActiveDriveTable();
    media_.Clear();
    if (!SourcesExist())
        return;

    const ProjectText project = StartAfresh(path);
    const RunOptions options = ReadRunOptions(project);
    run_.PrecalcOn = options.precalc;
    run_.ConfirmOn = options.confirm;
    run_.LongNamesOn = options.longnames;
    const std::string destkind = project.Value("destkind");

    destLetter_ = DestinationLetter(project, handOver_, settings_);
    if (!DestinationDriveUsable())
        return;

    startTime_ = NowLocal();
    const std::string howStarted = TimerRun ? "Timer" : (QuickRun ? "Shortcut" : "Normal");
    const std::string saveError =
        history_.StartHistoryEntry(settings_.RunHistoryPath(), path, DateTimeText(startTime_),
                                   howStarted, settings_.RunHistoryMax);
    if (!saveError.empty())
        throw HistorySaveFailed(saveError);

    view_.SetStatusText(kWorkingStatus);
    report("Start time: " + DateTimeText(startTime_), true);
    if (TimerRun)
        report("Run executed by timer!", true);
    if (QuickRun)
        report("QUICK Run executed by user!!", true);
    if (switches_.argument3 == "-extlog") {
        view_.SetLevel(LogLevel::Extended);
        report("User set extended log externally.", true);
    }
    report("Project: " + path, true);
    report("Synchronize: " + OnOff(handOver_.SyncMode), true);
    report("Confirm: " + OnOff(run_.ConfirmOn), true);
    report("Precalculation: " + OnOff(run_.PrecalcOn), true);
    report("Long names checking: " + OnOff(run_.LongNamesOn), true);

    run_.RunActive = true;
    view_.SetRunEnabled(false);
    // A destination that cannot be written is said before anything else is asked.
    if (!DestinationWritable())
        return;
    StartProgress();
    const bool anyItem = !view_.SourceItems().empty();
    if (anyItem && run_.PrecalcOn && !Precalculate(destkind))
        return;
    // Only a run that goes on after the estimate makes anything at the destination.
    if (!LockDestinations())
        return;
    if (anyItem && !WorkThroughItems(destkind))
        return;

    FinishRun();
    run_.RunActive = false;
    if (switches_.argument4 == "-close") {
        report("Auto-closing", true);
        view_.CloseWindow(WindowResult::Cancel);
        terminateRequested_ = true;
    }
}

// The destination drive is one runs may write to, and is present; otherwise the box says why and
// the window closes.
bool RunEngine::DestinationDriveUsable(bool closeWindow) {
    const std::string allowed = LowerAscii(settings_.AllowedDrive);
    if (LowerAscii(destLetter_) != allowed && allowed != "all") {
        ShowErrorBox("Forbidden to write to drive " + destLetter_ +
                     " ! Please check options - limitation of backup drives.");
        if (closeWindow)
            view_.CloseWindow(WindowResult::Cancel);
        return false;
    }
    if (destLetter_.empty() ||
        PresentDriveLetters().find(LowerAscii(destLetter_)[0]) == std::string::npos) {
        const std::string awaited =
            destLetter_.empty() ? std::string() : ActiveDriveTable().AwaitedVolume(destLetter_[0]);
        ShowErrorBox("Drive " + destLetter_ + " does not exist! Please check project or hardware." +
                     (awaited.empty() ? "" : " It is " + awaited + ", which is not connected."));
        if (closeWindow)
            view_.CloseWindow(WindowResult::Cancel);
        return false;
    }
    return true;
}

// False when the run has ended inside the precalculation.
bool RunEngine::Precalculate(const std::string& destkind) {
    std::int64_t estimate = 0;
    const bool cdLike = destkind == "CDR" || destkind == "DVDR";
    std::optional<VirtualCopyScope> virtualCopy;
    if (!cdLike) {
        report("Checking future free size...", true);
        estimate = checkfutfreesize(destLetter_, view_.SourceItems(), view_.DestinationPaths());
        if (estimate == -1) {
            NoteFatalError();
            ClosingLines();
            return false;
        }
        report("Estimated future free size: " + GroupThousands(estimate) + " bytes", true);
    } else {
        report("Checking future free size on CDR-like disk...", true);
        report("Please be patient, this can take some time!", true);
        const bool savedConfirm = run_.ConfirmOn;
        virtualCopy.emplace(run_, savedConfirm);
        run_.FutureFree = DiskFreeBytes(destLetter_[0]);
        const auto sources = view_.SourceItems();
        const auto destinations = view_.DestinationPaths();
        for (std::size_t j = 0; j < sources.size() && j < destinations.size(); ++j) {
            copyltor(passes_, sources[j], destinations[j]);
            if (run_.StopRequested)
                break;
        }
        if (run_.StopRequested) {
            virtualCopy->End();
            FinishRun();
            return false;
        }
        // Still reported as a virtual line: shown at the Extended level only.
        report("Estimated future free size on CD: " + GroupThousands(run_.FutureFree), true);
        estimate = run_.FutureFree;
    }

    if (estimate < 0) {
        const bool proceed = AskYesNo(
            BoxType::Error,
            "WARNING: not enough space left on destination. Project/program will probably not "
            "end in a normal way! Proceed anyway??");
        if (virtualCopy)
            virtualCopy->End();
        if (!proceed) {
            report("Exit by user (not enough space on destination)", true);
            noSpaceExit_ = true;
            FinishRun();
            return false;
        }
    }
    if (virtualCopy)
        virtualCopy->End();
    report("Precalculation finished", true);
    report("Time: " + DateTimeText(NowLocal()), false);
    return true;
}

// False when the run has ended before the last item was done.
bool RunEngine::WorkThroughItems(const std::string& destkind) {
    const auto sources = view_.SourceItems();
    const auto destinations = view_.DestinationPaths();
    for (std::size_t j = 0; j < sources.size(); ++j) {
        if (run_.StopRequested) {
            FinishRun();
            return false;
        }
        const std::string& source = sources[j];
        const std::string destination = j < destinations.size() ? destinations[j] : std::string();
        report("WORKING ON ITEM " + source + " FROM VLM-PROJECT...", true);
        view_.SelectItem(static_cast<int>(j));

        const char kind = SourceKind(source);
        const std::string base = DestinationBase(source, destination);
        if (kind == 'f' || kind == 'd')
            LearnItemMedium(source, destination, base);
        if (kind == 'f') {
            if (!MakeDestinationFolder(FolderPartOf(destination), base)) {
                FolderNotMade(kind, source, destination);
                FlushDestination();
                ClosingLines();
                return false;
            }
            ClearLeftTemporaries(source, destination);
            if (!CopyItem(source, destination))
                return false;
            continue;
        }
        if (kind == 'd') {
            const bool existed = QueryEntry(destination).has_value();
            if (!MakeDestinationFolder(destination, base)) {
                FolderNotMade(kind, source, destination);
                FlushDestination();
                ClosingLines();
                return false;
            }
            // Both trees are read ahead beside the passes, until the item is done or the run
            // stops (whichever way this block is left).
            MetadataPrefetch readAhead(
                {StripTrailingBackslash(source), StripTrailingBackslash(destination)});
            if (destkind != "CDR") {
                report("Start removing old files in destination...", false);
                if (AllowMassRemoval(source, destination))
                    deletesupr(passes_, source, destination);
            } else {
                report("No cleaning on CDR as no space savings anyway (on the contrary...).",
                       false);
            }
            if (run_.StopRequested) {
                FinishRun();
                return false;
            }
            report("Start copying files to destination...", false);
            if (!CopyItem(source, destination))
                return false;
            // A folder this run made gets its original's permission bits, now that its
            // content is in.
            if (!existed)
                CopyFolderPermissions(source, destination);
            if (run_.StopRequested) {
                FinishRun();
                return false;
            }
            continue;
        }
        const std::string vanished =
            "FATAL ERROR: " + source + " does not exist! Re-edit project file";
        report(vanished, true);
        ShowErrorBox(vanished);
        NoteFatalError();
        FinishRun();
        return false;
    }
    return true;
}

// The folder for an item's copy (its own folder, or the one that holds a file item's copy)
// could not be made: the run ends with these lines. A dry run that foresees it says the same.
void RunEngine::FolderNotMade(char kind, const std::string& source,
                              const std::string& destination) {
    if (kind == 'f') {
        report("FATAL ERROR: Unable to create directory for " + destination, true);
    } else {
        report("FATAL ERROR: Unable to create directory " + destination, true);
        if (const auto inTheWay = QueryEntry(destination);
            inTheWay && inTheWay->kind != EntryKind::Directory)
            report("FATAL ERROR: " + destination + " is a file, but " + source +
                       " is a folder now! Please remove or rename the old copy.",
                   true);
    }
    NoteFatalError();
}

bool RunEngine::MakeDestinationFolder(const std::string& folderIn, const std::string& base) {
    const std::string folder = StripTrailingBackslash(folderIn);
    if (folder == base)
        return ItemKind(folder) == 'd' || ForceDirChain(folder);
    // The place the person chose may have to be made first, and may be reached through links;
    // everything below it is the backup's own and must be real folders.
    if (ItemKind(base) != 'd') {
        run_.DestinationWritten = true;
        if (!ForceDirChain(base))
            return false;
    }
    return MakeRealFolderChain(base, folder, log_, run_.DestinationWritten);
}

// Where the person's choice of destination ends and the backup's own folders begin: the drive
// (or the default backup folder) that holds "VLMcopy_drive_x", or the folder that holds the
// synchronisation destination.
std::string RunEngine::DestinationBase(const std::string& source,
                                       const std::string& destination) const {
    const std::string item = StripTrailingBackslash(source);
    const std::string mirror =
        "\\VLMcopy_drive_" + item.substr(0, 1) + item.substr(std::min<std::size_t>(2, item.size()));
    const std::string target = StripTrailingBackslash(destination);
    if (!handOver_.SyncMode && target.size() > mirror.size() &&
        target.compare(target.size() - mirror.size(), mirror.size(), mirror) == 0)
        return target.substr(0, target.size() - mirror.size());
    const auto slash = target.find_last_of('\\');
    return slash == std::string::npos ? target : target.substr(0, slash);
}

// The folder whose file system an item is written to: its per-drive folder, or the folder that
// holds the synchronisation destination.
std::string RunEngine::MediumFolder(const std::string& source,
                                    const std::string& destination) const {
    const std::string base = DestinationBase(source, destination);
    if (handOver_.SyncMode)
        return base;
    return base + "\\VLMcopy_drive_" + StripTrailingBackslash(source).substr(0, 1);
}

// Before the first folder of an item is made, what its destination can hold is learnt, so that
// the folders and files of the item are written as the medium keeps them; the first item on a
// drive names the volume found there. A folder that cannot be made is left to the item's own
// steps, which say so.
void RunEngine::LearnItemMedium(const std::string& source, const std::string& destination,
                                const std::string& base) {
    const std::string folder = MediumFolder(source, destination);
    if (!MakeDestinationFolder(folder, base))
        return;
    if (media_.FirstOnDrive(folder[0])) {
        if (const std::string volume = DriveVolumeLine(folder[0]); !volume.empty())
            report(volume, true);
    }
    passes_.medium = media_.For(folder, true);
    report("Destination file system: " + DescribeMedium(passes_.medium), false);
}

// A destination mounted read-only, or a folder this run may not write in, is said once, at the
// start, instead of a question for every file. A dry run (`onlyLook`) says it too.
bool RunEngine::DestinationWritable(bool onlyLook) {
    std::vector<std::string> folders;
    const auto sources = view_.SourceItems();
    const auto destinations = view_.DestinationPaths();
    for (std::size_t j = 0; j < sources.size() && j < destinations.size(); ++j)
        folders.push_back(MediumFolder(sources[j], destinations[j]));
    const std::optional<std::string> refusal = UnwritableDestination(folders);
    if (!refusal)
        return true;
    report(*refusal, true);
    ShowErrorBox(*refusal);
    NoteFatalError();
    if (!onlyLook)
        FinishRun();
    return false;
}

// Two runs into one destination would delete each other's temporary files and copies: each run
// holds its per-drive folders (or its synchronisation destination) from the moment it may write
// there to its end, and a second run is refused at once. The kernel drops the locks of a run that
// is killed.
// A dry run only looks: it makes no folder and holds no lock, and foresees the refusal.
bool RunEngine::LockDestinations(bool onlyLook) {
    destinationLocks_.clear();
    const auto sources = view_.SourceItems();
    const auto destinations = view_.DestinationPaths();
    std::vector<std::string> locked;
    for (std::size_t j = 0; j < sources.size() && j < destinations.size(); ++j) {
        const std::string item = StripTrailingBackslash(sources[j]);
        const std::string base = DestinationBase(sources[j], destinations[j]);
        // A synchronised file is held by the folder it goes into: nothing may be made at the
        // file's own path.
        const std::string synchronised =
            SourceKind(sources[j]) == 'f' ? FolderPartOf(destinations[j]) : destinations[j];
        const std::string folder = handOver_.SyncMode
                                       ? StripTrailingBackslash(synchronised)
                                       : base + "\\VLMcopy_drive_" + item.substr(0, 1);
        if (std::find(locked.begin(), locked.end(), folder) != locked.end())
            continue;
        // The folder must be there to be held; the item's own folders come later.
        if (onlyLook ? ItemKind(folder) != 'd' : !MakeDestinationFolder(folder, base))
            continue;
        FolderLock lock;
        if (lock.TryLock(folder) == FolderLock::Result::HeldElsewhere) {
            const std::string busy = "ERROR: Another run is writing to " + folder +
                                     " now! This run does not start; please run it again "
                                     "when the other one has ended.";
            report(busy, true);
            ShowErrorBox(busy);
            destinationLocks_.clear();
            NoteFatalError();
            if (!onlyLook)
                FinishRun();
            return false;
        }
        locked.push_back(folder);
        if (!onlyLook)
            destinationLocks_.push_back(std::move(lock));
    }
    return true;
}

// The copy pass of one item. A copy that fails where the pass cannot go on (a single file item,
// a new file that cannot be created) ends the run at once: its one box, its line and a
// completed history row ("Error"), never an open one.
bool RunEngine::CopyItem(const std::string& source, const std::string& destination) {
    try {
        copyltor(passes_, source, destination);
        return true;
    } catch (const CopyError& error) {
        ShowErrorBox(error.what());
        report("FATAL ERROR: " + std::string(error.what()), true);
        NoteFatalError();
        FinishRun();
        return false;
    }
}

// What the removal pass of a folder item would take from its backup, when that is so much of it
// that the person is asked first. Not counted at all while the guard is off.
std::optional<RemovalAtStake> RunEngine::MassRemovalToAsk(const std::string& source,
                                                          const std::string& destination) {
    if (!settings_.MassDeleteGuard)
        return std::nullopt;
    const std::optional<RemovalAtStake> atStake =
        CountRemovalAtStake(passes_, source, destination);
    if (!atStake || !RemovalNeedsAsking(*atStake, settings_))
        return std::nullopt;
    return atStake;
}

// No keeps the backup as it is and the run goes on with the copy.
bool RunEngine::AllowMassRemoval(const std::string& source, const std::string& destination) {
    const std::optional<RemovalAtStake> atStake = MassRemovalToAsk(source, destination);
    if (!atStake)
        return true;
    if (AskYesNoDefaultNo(BoxType::Warning, MassRemovalQuestion(source, destination, *atStake)))
        return true;
    report("Nothing removed from " + StripTrailingBackslash(destination) +
               ": removing most of the backup was not allowed by user!",
           true);
    massRemovalRefused_ = true;
    return false;
}

// A run killed while copying a single file item leaves its temporary file beside the copy,
// where no removal pass looks: the next run of the item clears it away, unless the source
// folder holds a file of that very name.
void RunEngine::ClearLeftTemporaries(const std::string& source, const std::string& destination) {
    const std::string folder = StripTrailingBackslash(FolderPartOf(destination));
    const std::string sourceFolder = StripTrailingBackslash(FolderPartOf(source));
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, kAttrAnyFile, entries, ListDetail::NamesAndKinds))
        return;
    for (const DirEntry& entry : entries) {
        if (entry.kind != EntryKind::File || !IsTemporaryFileName(entry.name))
            continue;
        const std::string original = sourceFolder + "\\" + entry.name;
        if (QueryEntry(original))
            continue;
        const std::string left = folder + "\\" + entry.name;
        run_.DestinationWritten = true;
        if (DeleteFile(left)) {
            report("Removed file: " + left, true);
            ++run_.Totals.filesRemoved;
        }
    }
}

// The copies of a run are not flushed one by one: what this run wrote reaches the medium here,
// once, before the run can tell the person it is done. Each item's destination is flushed, as an
// item can lie on another file system than its drive's root.
void RunEngine::FlushDestination() {
    if (!run_.DestinationWritten)
        return;
    run_.DestinationWritten = false;
    const auto sources = view_.SourceItems();
    const auto destinations = view_.DestinationPaths();
    std::vector<std::string> flushed;
    bool complete = true;
    for (std::size_t j = 0; j < destinations.size(); ++j) {
        const bool fileItem = j < sources.size() && ItemKind(sources[j]) == 'f';
        const std::string folder =
            StripTrailingBackslash(fileItem ? FolderPartOf(destinations[j]) : destinations[j]);
        // An item the run never reached may have no folder yet: nothing of it to flush.
        if (ItemKind(folder) != 'd' ||
            std::find(flushed.begin(), flushed.end(), folder) != flushed.end())
            continue;
        flushed.push_back(folder);
        if (!SyncFileSystemOf(folder))
            complete = false;
    }
    if (complete)
        return;
    const std::string message = "ERROR: Unable to flush the files written to drive " +
                                UpperLetter(destLetter_) + ": to the medium!";
    report(message, true);
    ShowErrorBox(message);
    NoteFatalError();
}

void RunEngine::FinishRun() {
    FlushDestination();
    for (const std::string& line : FreeSpaceLines(destLetter_))
        report(line, true);
    ClosingLines();
    view_.SetCancelButton(true, "&Close", true);
    run_.RunActive = false;
}

std::string RunEngine::HistoryResult() const {
    if (fatalError_ || run_.StoppedByFailure)
        return kResultError;
    if (run_.StopRequested || massRemovalRefused_)
        return kResultCancelled;
    // A file that could not be copied is not backed up: the run went on, but is no success.
    if (run_.FilesFailed)
        return kResultError;
    if (noSpaceExit_)
        return kResultNotEnoughSpace;
    return kResultOk;
}

void RunEngine::NoteFatalError() {
    fatalError_ = true;
    ++run_.Totals.errors;
}

// What the run did, in numbers, so that a glance at the end of a long report tells it.
void RunEngine::SummaryLines(const ElapsedText& elapsed) {
    const RunTotals& t = run_.Totals;
    const auto number = [](std::uint64_t n) {
        return GroupThousands(static_cast<std::int64_t>(n));
    };
    report("Summary: files copied: " + number(t.filesNew + t.filesReplaced) +
               " (new: " + number(t.filesNew) + ", replaced: " + number(t.filesReplaced) + ")",
           true);
    report("Summary: bytes copied: " + number(t.bytesCopied), true);
    report("Summary: removed: " + number(t.filesRemoved) + " files, " + number(t.foldersRemoved) +
               " folders",
           true);
    report("Summary: entries skipped: " + number(t.entriesSkipped), true);
    report("Summary: errors: " + number(t.errors), true);
    report(
        "Summary: elapsed time: " + elapsed.hours + ":" + elapsed.minutes + ":" + elapsed.seconds,
        true);
}

// A view that shows progress gets it from here on; what there is to copy is counted beside the
// run, which starts no later for it.
void RunEngine::StartProgress() {
    if (!view_.WantsProgress())
        return;
    progress_.emplace(view_, pump_, run_, ProgressInterval);
    progress_->StartCount(view_.SourceItems(), view_.DestinationPaths(), run_.LongNamesOn);
    passes_.progress = &*progress_;
}

void RunEngine::EndProgress() {
    passes_.progress = nullptr;
    if (!progress_)
        return;
    progress_->Finish();
    progress_.reset();
}

void RunEngine::ClosingLines() {
    EndProgress();
    // Everything this run wrote is flushed by now: another run may have the destination.
    destinationLocks_.clear();
    const DateTime endTime = NowLocal();
    run_.Totals.elapsedMs = MsBetween(endTime, startTime_);
    const ElapsedText elapsed = FormatElapsed(run_.Totals.elapsedMs);
    SummaryLines(elapsed);
    report("End time: " + DateTimeText(endTime), true);
    report("Elapsed time: " + elapsed.hours + " hours, " + elapsed.minutes + " minutes and " +
               elapsed.seconds + " seconds" + ".",
           true);
    report("", true);
    view_.SetStatusText("Project run end");
    const std::string result = HistoryResult();
    outcome_ = result;
    const std::string saveError = history_.EndHistoryEntry(
        settings_.RunHistoryPath(), elapsed.hours + ":" + elapsed.minutes + ":" + elapsed.seconds,
        result);
    if (!saveError.empty())
        throw HistorySaveFailed(saveError);
}

// The passes run in their virtual mode, with a dry run's lines: the same decisions as a run, and
// nothing touched — no folder made, no file copied or removed, no lock, no history row, no
// question asked (each is named instead).
void RunEngine::DryRun(const std::string& path, RunPlan* plan) {
    outcome_.reset();
    RunPlan own;
    RunPlan& into = plan != nullptr ? *plan : own;
    into = RunPlan{};
    run_.Plan = &into;
    try {
        DryRunSteps(path);
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
        into.incomplete = true;
    }
    if (run_.StopRequested || fatalError_)
        into.incomplete = true;
    into.result = outcome_.value_or(kResultError);
    into.errors = run_.Totals.errors;
    into.skipped = run_.Totals.entriesSkipped;
    run_.VirtualCopy = false;
    run_.DryRun = false;
    run_.DryRunConfirm = false;
    run_.Plan = nullptr;
}

void RunEngine::DryRunSteps(const std::string& path) {
    RefreshActiveDriveTable(false);  // a dry run writes nothing, not even a new volume's letter
    media_.Clear();
    if (!SourcesExist()) {
        fatalError_ = true;
        return;
    }
    const ProjectText project = StartAfresh(path);
    const RunOptions options = ReadRunOptions(project);
    run_.LongNamesOn = options.longnames;
    run_.ConfirmOn = false;
    const std::string destkind = project.Value("destkind");
    destLetter_ = DestinationLetter(project, handOver_, settings_);
    if (!DestinationDriveUsable(false)) {
        fatalError_ = true;
        return;
    }

    startTime_ = NowLocal();
    run_.VirtualCopy = true;
    run_.DryRun = true;
    run_.DryRunConfirm = options.confirm;
    report("Dry run of " + path + ": nothing is changed.", true);
    const auto sources = view_.SourceItems();
    const auto destinations = view_.DestinationPaths();
    const bool cdLike = destkind == "CDR" || destkind == "DVDR";
    if (options.precalc && !cdLike && !sources.empty()) {
        const std::int64_t estimate = checkfutfreesize(destLetter_, sources, destinations);
        if (estimate == -1)
            NoteFatalError();  // the run ends here, as it would
        else if (estimate < 0)
            WouldAsk(passes_,
                     "WARNING: not enough space left on destination. Project/program will "
                     "probably not end in a normal way! Proceed anyway??");
    }
    if (!fatalError_ && DestinationWritable(true))
        LockDestinations(true);
    for (std::size_t j = 0; j < sources.size() && !run_.StopRequested && !fatalError_; ++j) {
        const std::string& source = sources[j];
        const std::string destination = j < destinations.size() ? destinations[j] : std::string();
        report("WORKING ON ITEM " + source + " FROM VLM-PROJECT...", true);
        view_.SelectItem(static_cast<int>(j));
        run_.Plan->items.push_back(PlannedItem{source, destination, {}});
        const char kind = SourceKind(source);
        if (kind == 'n') {
            report("FATAL ERROR: " + source + " does not exist! Re-edit project file", true);
            NoteFatalError();
            break;
        }
        if ((kind == 'f' || kind == 'd') &&
            !FolderCanBeMade(kind == 'f' ? FolderPartOf(destination) : destination)) {
            FolderNotMade(kind, source, destination);
            break;
        }
        // Names are compared as the medium compares them; a dry run writes no probe to learn it.
        const std::string mediumFolder = MediumFolder(source, destination);
        if (ItemKind(mediumFolder) == 'd')
            passes_.medium = media_.For(mediumFolder, false);
        // A folder the run would make has nothing in it to remove.
        const auto folder = QueryEntry(destination);
        if (kind == 'd' && destkind != "CDR" && folder && folder->kind == EntryKind::Directory) {
            if (const auto atStake = MassRemovalToAsk(source, destination))
                WouldAsk(passes_, MassRemovalQuestion(source, destination, *atStake));
            deletesupr(passes_, source, destination);
        }
        copyltor(passes_, source, destination);
        PlanItemLine(run_.Plan->items.back());
    }
    const double elapsed = MsBetween(NowLocal(), startTime_);
    run_.Totals.elapsedMs = elapsed;
    SummaryLines(FormatElapsed(elapsed));
    // A run that would stop at a failure would not end "OK" either.
    outcome_ = run_.Plan->wouldStop ? std::string(kResultError) : HistoryResult();
}

// What the dry run found for one item, in one line.
void RunEngine::PlanItemLine(const PlannedItem& item) {
    const auto count = [this, &item](PlannedStepKind kind) {
        return run_.Plan->Count(kind, &item);
    };
    const auto number = [](std::uint64_t n) {
        return GroupThousands(static_cast<std::int64_t>(n));
    };
    const PlannedCount added = count(PlannedStepKind::NewFile);
    const PlannedCount changed = count(PlannedStepKind::ChangedFile);
    const PlannedCount files = count(PlannedStepKind::RemoveFile);
    const PlannedCount folders = count(PlannedStepKind::RemoveFolder);
    const PlannedCount questions = count(PlannedStepKind::Question);
    report("Would do for " + item.source + ": copy " + number(added.steps) + " new files (" +
               number(added.bytes) + " bytes) and " + number(changed.steps) + " changed files (" +
               number(changed.bytes) + " bytes), remove " + number(files.steps) + " files (" +
               number(files.bytes) + " bytes) and " + number(folders.steps) + " folders (" +
               number(folders.bytes) + " bytes), ask " + number(questions.steps) + " questions",
           true);
}

}  // namespace vlm
