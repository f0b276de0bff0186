// The dry run: the run's decisions, item by item, with nothing touched — what each item would
// have copied and removed, and the questions the run would ask.

#include <vector>

#include "engine/copy_pass.h"
#include "engine/free_space.h"
#include "engine/removal_pass.h"
#include "engine/run_driver.h"
#include "engine/run_driver_parts.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/packed_time.h"
#include "platform/volumes.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

using run_parts::SourceKind;

// The passes report to a plan: the same decisions as a run, and nothing touched — no folder
// made, no file copied or removed, no lock, no history row, no question asked (each is named
// instead).
void RunEngine::DryRun(const RunRequest& request, RunPlan* plan) {
    outcome_.reset();
    TakeRequest(request);
    RunPlan own;
    RunPlan& into = plan != nullptr ? *plan : own;
    into = RunPlan{};
    passes_.sink = PassSink::Plan(&into, request.options.confirm);
    try {
        DryRunSteps();
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
        into.incomplete = true;
    }
    if (run_.StopRequested || fatalError_)
        into.incomplete = true;
    into.result = outcome_.value_or(kResultError);
    into.errors = run_.Totals.errors;
    into.skipped = run_.Totals.entriesSkipped;
    into.excluded = run_.Totals.entriesExcluded;
    passes_.sink = PassSink::Apply();
}

void RunEngine::DryRunSteps() {
    RefreshActiveDriveTable(false);  // a dry run writes nothing, not even a new volume's letter
    media_.Clear();
    if (!SourcesExist()) {
        fatalError_ = true;
        return;
    }
    StartAfresh();
    const RunOptions& options = request_.options;
    run_.LongNamesOn = options.longnames;
    const std::string& destkind = request_.destkind;
    destLetter_ = DestinationLetter(request_.project, handOver_, settings_);
    if (!DestinationDriveUsable(false)) {
        fatalError_ = true;
        return;
    }

    startTime_ = NowLocal();
    report("Dry run of " + request_.projectPath + ": nothing is changed.", true);
    DryRunStartChecks(options.precalc, destkind);
    for (std::size_t j = 0; j < request_.items.size() && !run_.StopRequested && !fatalError_; ++j) {
        const std::optional<DrivePath> source = request_.ItemPath(j);
        const std::optional<DrivePath> destination = request_.DestinationPath(j);
        if (!source || !destination) {
            FolderNotMade(KindOfItem(j), request_.items[j], request_.DestinationOf(j));
            break;
        }
        const std::unique_ptr<VersionKeeper> keeper = KeeperFor(*source, *destination);
        passes_.versions = keeper.get();
        const bool itemDone = DryRunItem(static_cast<int>(j), *source, *destination, destkind);
        passes_.versions = nullptr;
        if (!itemDone)
            break;
    }
    const double elapsed = MsBetween(NowLocal(), startTime_);
    run_.Totals.elapsedMs = elapsed;
    SummaryLines(FormatElapsed(elapsed));
    // A run that would stop at a failure would not end "OK" either.
    outcome_ = passes_.sink.PlanKept()->wouldStop ? std::string(kResultError) : HistoryResult();
}

// What the run checks before its first item: the estimate, a destination it cannot write, and
// another run holding it.
void RunEngine::DryRunStartChecks(bool precalc, const std::string& destkind) {
    const auto& sources = request_.items;
    const bool cdLike = destkind == "CDR" || destkind == "DVDR";
    if (precalc && !cdLike && !sources.empty() && request_.options.versions) {
        DryRunVersionsEstimate();
    } else if (precalc && !cdLike && !sources.empty()) {
        std::int64_t estimate =
            checkfutfreesize(destLetter_, sources, request_.destinations, exclusions_);
        if (estimate != -1)
            estimate += static_cast<std::int64_t>(VersionBytesPruned());
        if (estimate == -1)
            NoteFatalError();  // the run ends here, as it would
        else if (estimate < 0 && DriveTellsItsSpace(destLetter_))
            WouldAsk(passes_,
                     "WARNING: not enough space left on destination. Project/program will "
                     "probably not end in a normal way! Proceed anyway??");
    }
    if (!fatalError_ && DestinationWritable(true))
        LockDestinations(true);
}

// The estimate of a project that keeps versions, as the run makes it: the kept runs it would
// remove to make room are named, and the warning foreseen only when they are not enough.
void RunEngine::DryRunVersionsEstimate() {
    const std::int64_t freeBytes = destLetter_.empty() ? -1 : DiskFreeBytes(destLetter_[0]);
    if (freeBytes == -1) {
        NoteFatalError();  // the run ends here, as it would
        return;
    }
    std::int64_t estimate = freeBytes - static_cast<std::int64_t>(WriteBytesOfCopies());
    if (estimate >= 0 || !DriveTellsItsSpace(destLetter_))
        return;
    const std::vector<KeptRunOnDisk> kept = KeptRunsOldestFirst();
    const std::size_t going = KeptRunsToFree(SizesOf(kept), static_cast<std::uint64_t>(-estimate));
    for (std::size_t i = 0; i < going; ++i) {
        report("Would remove kept versions of " + kept[i].run.name +
                   " to make room: " + kept[i].run.folder.Text(),
               true);
        estimate += static_cast<std::int64_t>(kept[i].bytes);
    }
    if (estimate < 0)
        WouldAsk(passes_,
                 "WARNING: not enough space left on destination. Project/program will "
                 "probably not end in a normal way! Proceed anyway??");
}

// False when the run would end at this item.
bool RunEngine::DryRunItem(int index, const DrivePath& source, const DrivePath& destination,
                           const std::string& destkind) {
    report("WORKING ON ITEM " + request_.items[static_cast<std::size_t>(index)] +
               " FROM VLM-PROJECT...",
           true);
    view_.SelectItem(index);
    passes_.sink.BeginItem(source, destination);
    const char kind = SourceKind(source);
    if (kind == 'n') {
        FatalError("FATAL ERROR: " + source.Text() + " does not exist! Re-edit project file");
        return false;
    }
    if ((kind == 'f' || kind == 'd') &&
        !run_parts::FolderCanBeMade(kind == 'f' ? destination.Parent() : destination)) {
        FolderNotMade(kind, source.Text(), destination.Text());
        return false;
    }
    // Names are compared as the medium compares them; a dry run writes no probe to learn it.
    const DrivePath mediumFolder = MediumFolder(source, destination);
    // A folder the run would make is on the medium of the nearest one that is there.
    passes_.medium =
        ItemKind(mediumFolder) == 'd' ? media_.For(mediumFolder, false) : MediumAhead(mediumFolder);
    // A folder the run would make has nothing in it to remove.
    const auto folder = QueryEntry(destination);
    if (kind == 'd' && destkind != "CDR" && folder && folder->kind == EntryKind::Directory) {
        if (const auto atStake = MassRemovalToAsk(source, destination))
            WouldAsk(passes_, MassRemovalQuestion(source, destination, *atStake));
        deletesupr(passes_, source, destination);
    }
    copyltor(passes_, source, destination);
    PlanItemLine(*passes_.sink.LastItem());
    return true;
}

// What the dry run found for one item, in one line.
void RunEngine::PlanItemLine(const PlannedItem& item) {
    const auto count = [this, &item](PlannedStepKind kind) {
        return passes_.sink.PlanKept()->Count(kind, &item);
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
