#include "engine/run_driver.h"

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

#include "core/project_file.h"
#include "engine/copy_pass.h"
#include "engine/free_space.h"
#include "engine/run_driver_parts.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/packed_time.h"
#include "platform/path_translation.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

// The run driver's start: the checks before anything is written, the history row, the header
// lines, the destination locks and the free-space estimate. The items are worked through in
// run_items.cpp, the closing lines written in run_closing.cpp.

namespace vlm {

namespace {

// The last resort named in this system's terms: Ctrl+Alt+Del reboots a Linux console.
constexpr const char* kWorkingStatus =
    "Working, please be patient... (Use \"Cancel\" or \"ESC\" button or open the \"System "
    "Monitor\" and \"End process\" as eventual emergency stop)";

std::string OnOff(bool on) {
    return on ? "ON" : "OFF";
}

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

// The run's input, and the exclusions its passes ask.
void RunEngine::TakeRequest(const RunRequest& request) {
    request_ = request;
    exclusions_ = ExclusionList(request_.project.Exclusions());
    passes_.exclusions = &exclusions_;
    ownFiles_ = ProgramOwnFiles(settings_);
    ownFilesNoted_ = false;
    passes_.ownFiles = &ownFiles_;
    passes_.ownFilesNoted = &ownFilesNoted_;
    passes_.copied = nullptr;
}

void RunEngine::run(const RunRequest& request) {
    outcome_.reset();
    refusedAtStart_ = {};
    terminateRequested_ = false;
    TakeRequest(request);
    try {
        RunSteps();
        // A run refused before its row began leaves no trace of its own; a scheduled one, which
        // nobody watched start, leaves its row and its report.
        if (TimerRun && !refusedAtStart_.empty() && !outcome_) {
            const std::string saveError = RecordRefusedStart(
                history_, settings_, request_.projectPath, HowStarted(), refusedAtStart_);
            if (!saveError.empty())
                throw run_parts::HistorySaveFailed(saveError);
            outcome_ = kResultError;
        }
    } catch (const std::exception& error) {
        // The run ends where it stood: an open history row, the window as it was.
        ShowErrorBox(error.what());
    }
    EndProgress();
}
bool RunEngine::SourcesExist() {
    for (const std::string& item : request_.items) {
        if (run_parts::SourceKind(DrivePath(item)) == 'n') {
            report("ERROR: " + item + " does not exist! Re-edit project file", true);
            ShowErrorBox("ERROR: " + item +
                         " does not exist! Check path of source items and eventually re-edit "
                         "project file.");
            refusedAtStart_ = {"ERROR: " + item + " does not exist! Re-edit project file",
                               "the source " + item + " does not exist."};
            return false;
        }
    }
    return true;
}

// The state of the last run forgotten: where a run and a dry run both begin.
void RunEngine::StartAfresh() {
    run_.StopRequested = false;
    run_.StoppedByFailure = false;
    run_.FilesFailed = false;
    run_.DestinationWritten = false;
    noSpaceExit_ = false;
    fatalError_ = false;
    massRemovalRefused_ = false;
    run_.Totals = {};
}

void RunEngine::RunSteps() {
    log_.BeginRun();
    pump_.ProcessPendingEvents();
    // A disk plugged in or swapped since the program started is the one this run sees.
    RefreshActiveDriveTable();
    media_.Clear();
    if (!SourcesExist())
        return;
    // The disks mounted inside the items now: while one is away later, its empty folder is not
    // taken for a folder whose files were all deleted.
    std::vector<HostPath> itemFolders;
    for (const std::string& item : request_.items)
        if (const std::optional<HostPath> host = ToHostPath(DrivePath(item)))
            itemFolders.push_back(*host);
    RememberMountFoldersBelow(itemFolders);

    StartAfresh();
    run_.PrecalcOn = request_.options.precalc;
    run_.ConfirmOn = request_.options.confirm;
    run_.LongNamesOn = request_.options.longnames;
    const std::string& destkind = request_.destkind;

    destLetter_ = DestinationLetter(request_.project, handOver_, settings_);
    if (!DestinationDriveUsable())
        return;
    StartHistoryRow();
    HeaderLines();

    run_.RunActive = true;
    view_.SetRunEnabled(false);
    // A destination that cannot be written is said before anything else is asked.
    if (!DestinationWritable())
        return;
    StartProgress();
    const bool anyItem = !request_.items.empty();
    if (anyItem && run_.PrecalcOn && !Precalculate(destkind))
        return;
    // Only a run that goes on after the estimate makes anything at the destination.
    if (!LockDestinations())
        return;
    if (anyItem && !WorkThroughItems(destkind))
        return;
    EndAfterLastItem();
}

// The row is saved at once, so that a run that never finishes still leaves it behind.
void RunEngine::StartHistoryRow() {
    startTime_ = NowLocal();
    const std::string saveError =
        history_.StartHistoryEntry(settings_.RunHistoryPath(), request_.projectPath,
                                   DateTimeText(startTime_), HowStarted(), settings_.RunHistoryMax);
    if (!saveError.empty())
        throw run_parts::HistorySaveFailed(saveError);
    log_.StartKeeping();
}

std::string RunEngine::HowStarted() const {
    return TimerRun ? "Timer" : (QuickRun ? "Shortcut" : "Normal");
}

void RunEngine::HeaderLines() {
    view_.SetStatusText(kWorkingStatus);
    report("Start time: " + DateTimeText(startTime_), true);
    if (TimerRun)
        report("Run executed by timer!", true);
    if (QuickRun)
        report("QUICK Run executed by user!!", true);
    if (switches_.logWord == "-extlog") {
        view_.SetLevel(LogLevel::Extended);
        report("User set extended log externally.", true);
    }
    report("Project: " + request_.projectPath, true);
    report("Synchronize: " + OnOff(handOver_.SyncMode), true);
    report("Confirm: " + OnOff(run_.ConfirmOn), true);
    report("Precalculation: " + OnOff(run_.PrecalcOn), true);
    report("Long names checking: " + OnOff(run_.LongNamesOn), true);
    // Only a project that keeps versions says so: one without the option reads as it always did.
    if (request_.options.versions)
        report("Kept versions: ON (" + std::to_string(request_.options.versionDays) + " days)",
               true);
}

// The normal ending, after the last item; "-close" closes the window and ends the program.
void RunEngine::EndAfterLastItem() {
    FinishRun();
    run_.RunActive = false;
    if (switches_.closeWord == "-close") {
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
        const std::string forbidden = "Forbidden to write to drive " + destLetter_ +
                                      " ! Please check options - limitation of backup drives.";
        ShowErrorBox(forbidden);
        refusedAtStart_ = {forbidden,
                           "the options forbid writing to drive " + LowerAscii(destLetter_) + ":."};
        if (closeWindow)
            view_.CloseWindow(WindowResult::Cancel);
        return false;
    }
    if (const std::optional<std::string> missing = MissingDriveText(destLetter_)) {
        ShowErrorBox(*missing);
        refusedAtStart_ = {*missing, NotConnectedReason(destLetter_)};
        if (closeWindow)
            view_.CloseWindow(WindowResult::Cancel);
        return false;
    }
    return true;
}

// False when the run has ended inside the precalculation.
bool RunEngine::Precalculate(const std::string& destkind) {
    const bool cdLike = destkind == "CDR" || destkind == "DVDR";
    const std::optional<std::int64_t> estimate =
        cdLike ? EstimateByVirtualCopy() : EstimateFromTotals();
    if (!estimate)
        return false;
    if (*estimate < 0 && !DriveTellsItsSpace(destLetter_)) {
        // No warning a run would stop on when the medium gives no sizes to judge by.
        report(FreeSpaceLines(destLetter_).front(), true);
    } else if (*estimate < 0) {
        const bool proceed = AskYesNo(
            BoxType::Error,
            "WARNING: not enough space left on destination. Project/program will probably not "
            "end in a normal way! Proceed anyway??");
        if (!proceed) {
            report("Exit by user (not enough space on destination)", true);
            noSpaceExit_ = true;
            FinishRun();
            return false;
        }
    }
    report("Precalculation finished", true);
    report("Time: " + DateTimeText(NowLocal()), false);
    return true;
}

// The estimate on rewritable media; nothing when it failed and the run has ended.
std::optional<std::int64_t> RunEngine::EstimateFromTotals() {
    if (request_.options.versions)
        return EstimateWithVersions();
    report("Checking future free size...", true);
    std::int64_t estimate =
        checkfutfreesize(destLetter_, request_.items, request_.destinations, exclusions_);
    if (estimate == -1) {
        NoteFatalError();
        ClosingLines();
        return std::nullopt;
    }
    estimate += static_cast<std::int64_t>(VersionBytesPruned());
    report("Estimated future free size: " + GroupThousands(estimate) + " bytes", true);
    return estimate;
}

// The estimate on a CD-like medium, where nothing written is ever freed: the copy pass of every
// item reporting to a count, which adds up what the copies would write. Nothing when the run
// stopped.
std::optional<std::int64_t> RunEngine::EstimateByVirtualCopy() {
    report("Checking future free size on CDR-like disk...", true);
    report("Please be patient, this can take some time!", true);
    const std::int64_t freeBytes = DiskFreeBytes(destLetter_[0]);
    const std::optional<std::uint64_t> written = CountedWriteBytes();
    if (!written)
        return std::nullopt;
    const std::int64_t futureFree = freeBytes - static_cast<std::int64_t>(*written);
    // A line of the count: shown at the Extended level only.
    report("Estimated future free size on CD: " + GroupThousands(futureFree), false);
    return futureFree;
}

// Every byte the copies of this run would write: the copy pass of every item reporting to a
// count. Nothing when the run stopped meanwhile (it has then ended).
std::optional<std::uint64_t> RunEngine::CountedWriteBytes() {
    const std::uint64_t bytes = WriteBytesOfCopies();
    if (run_.StopRequested) {
        FinishRun();
        return std::nullopt;
    }
    return bytes;
}

// The copy pass of every item reporting to a count, as far as it got before a stop.
std::uint64_t RunEngine::WriteBytesOfCopies() {
    PassContext counting = passes_;
    counting.sink = PassSink::Count();
    for (std::size_t j = 0; j < request_.items.size() && j < request_.destinations.size(); ++j) {
        const std::optional<DrivePath> item = request_.ItemPath(j);
        const std::optional<DrivePath> destination = request_.DestinationPath(j);
        if (!item || !destination)  // the item itself says what it cannot be
            continue;
        // Judged as the run judges: a copy is the same at the step its medium keeps times in.
        counting.medium = MediumAhead(*destination);
        copyltor(counting, *item, *destination);
        if (run_.StopRequested)
            break;
    }
    return counting.sink.Counted().writeBytes;
}

// The estimate of a project that keeps versions: what a run replaces or removes is kept, not
// given back, so the free space must hold every byte the copies write. When it would not, the
// oldest kept runs of the destination go first, whatever their age: old versions never cost a
// backup its run.
std::optional<std::int64_t> RunEngine::EstimateWithVersions() {
    report("Checking future free size...", true);
    const std::int64_t freeBytes = destLetter_.empty() ? -1 : DiskFreeBytes(destLetter_[0]);
    if (freeBytes == -1) {
        ShowErrorBox("Chosen destination drive invalid or not ready!");
        NoteFatalError();
        ClosingLines();
        return std::nullopt;
    }
    const std::optional<std::uint64_t> written = CountedWriteBytes();
    if (!written)
        return std::nullopt;
    std::int64_t estimate = freeBytes - static_cast<std::int64_t>(*written);
    if (estimate < 0 && DriveTellsItsSpace(destLetter_))
        estimate +=
            static_cast<std::int64_t>(MakeRoomFromVersions(static_cast<std::uint64_t>(-estimate)));
    report("Estimated future free size: " + GroupThousands(estimate) + " bytes", true);
    return estimate;
}

// The kept runs of this run's destinations, oldest first across them, with their sizes.
std::vector<RunEngine::KeptRunOnDisk> RunEngine::KeptRunsOldestFirst() const {
    std::vector<KeptRunOnDisk> kept;
    for (const VersionStore& store : VersionStores())
        for (const KeptRun& run : store.Runs())
            kept.push_back({store, run, ItemSize(run.folder)});
    std::stable_sort(kept.begin(), kept.end(), [](const KeptRunOnDisk& a, const KeptRunOnDisk& b) {
        return a.run.start < b.run.start;
    });
    return kept;
}

std::vector<std::uint64_t> RunEngine::SizesOf(const std::vector<KeptRunOnDisk>& kept) {
    std::vector<std::uint64_t> sizes;
    for (const KeptRunOnDisk& k : kept)
        sizes.push_back(k.bytes);
    return sizes;
}

// Removes the oldest kept runs of this run's destinations, oldest first across them, until
// `needed` bytes are free or none is left; one line each. The bytes freed.
std::uint64_t RunEngine::MakeRoomFromVersions(std::uint64_t needed, const std::string& spare) {
    std::vector<KeptRunOnDisk> kept = KeptRunsOldestFirst();
    // The run under way keeps what it is replacing in its own folder: that one stays.
    std::erase_if(kept, [&](const KeptRunOnDisk& k) { return k.run.name == spare; });
    std::uint64_t freed = 0;
    const std::size_t going = KeptRunsToFree(SizesOf(kept), needed);
    for (std::size_t i = 0; i < going && !run_.StopRequested; ++i) {
        run_.DestinationWritten = true;
        if (RemoveKeptRun(kept[i].store, kept[i].run)) {
            freed += kept[i].bytes;
            report("Removed kept versions of " + kept[i].run.name +
                       " to make room: " + kept[i].run.folder.Text(),
                   true);
        } else {
            GoPastFailure(passes_, {"ERROR: unable to remove all kept versions in " +
                                    kept[i].run.folder.Text() + "!!"});
        }
    }
    return freed;
}

// A destination mounted read-only, or a folder this run may not write in, is said once, at the
// start, instead of a question for every file. A dry run (`onlyLook`) says it too. What is judged
// is the folder each item is written into (a folder item's own destination, the folder that
// holds a file item's copy) or, where that is still to be made, the folder it is made in: the
// folders above it may belong to someone else (a disk mounted under a folder of root's).
bool RunEngine::DestinationWritable(bool onlyLook) {
    std::vector<DrivePath> folders;
    for (std::size_t j = 0; j < request_.items.size() && j < request_.destinations.size(); ++j) {
        const std::optional<DrivePath> destination = request_.DestinationPath(j);
        if (destination)  // the item itself says what it cannot be
            folders.push_back(KindOfItem(j) == 'f' ? destination->Parent() : *destination);
    }
    const std::optional<std::string> refusal = UnwritableDestination(folders);
    if (!refusal)
        return true;
    FatalError(*refusal, Box::AfterLine);
    refusedAtStart_ = {*refusal, "nothing can be written to its destination."};
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
    std::vector<DrivePath> locked;
    for (std::size_t j = 0; j < request_.items.size() && j < request_.destinations.size(); ++j) {
        const std::optional<DrivePath> itemPath = request_.ItemPath(j);
        const std::optional<DrivePath> destinationPath = request_.DestinationPath(j);
        if (!itemPath || !destinationPath)
            continue;  // the item itself says what it cannot be
        const DrivePath& item = *itemPath;
        const DrivePath& destination = *destinationPath;
        const DrivePath base = DestinationBase(item, destination);
        // A synchronised file is held by the folder it goes into: nothing may be made at the
        // file's own path.
        const DrivePath folder = !handOver_.SyncMode ? MediumFolder(item, destination)
                                 : run_parts::SourceKind(item) == 'f' ? destination.Parent()
                                                                      : destination;
        if (std::find(locked.begin(), locked.end(), folder) != locked.end())
            continue;
        // The folder must be there to be held; the item's own folders come later.
        if (onlyLook ? ItemKind(folder) != 'd' : !MakeDestinationFolder(folder, base))
            continue;
        FolderLock lock;
        if (lock.TryLock(folder) == FolderLock::Result::HeldElsewhere) {
            const std::string busy = "ERROR: Another run is writing to " + folder.Text() +
                                     " now! This run does not start; please run it again "
                                     "when the other one has ended.";
            FatalError(busy, Box::AfterLine);
            refusedAtStart_ = {busy, "another run is writing to " + folder.Text() + "."};
            destinationLocks_.clear();
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

}  // namespace vlm
