// The run driver's closing lines: the flush of what the run wrote, the free-space lines, the
// summary, the end time and the completed history row.

#include <algorithm>
#include <cctype>
#include <vector>

#include "core/run_reports.h"
#include "engine/free_space.h"
#include "engine/run_driver.h"
#include "engine/run_driver_parts.h"
#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "platform/packed_time.h"
#include "platform/volumes.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

std::string UpperLetter(const std::string& letter) {
    std::string upper = letter.substr(0, 1);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

}  // namespace

// The copies of a run are not flushed one by one: what this run wrote reaches the medium here,
// once, before the run can tell the person it is done. Each item's destination is flushed, as an
// item can lie on another file system than its drive's root.
void RunEngine::FlushDestination() {
    if (!run_.DestinationWritten)
        return;
    run_.DestinationWritten = false;
    std::vector<DrivePath> flushed;
    bool complete = true;
    for (std::size_t j = 0; j < request_.destinations.size(); ++j) {
        const std::optional<DrivePath> destination = request_.DestinationPath(j);
        if (!destination)
            continue;  // nothing was written for it
        const DrivePath folder = KindOfItem(j) == 'f' ? destination->Parent() : *destination;
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
    FatalError(message, Box::AfterLine);
}

// With read-back on ("verify=Y"), every file this run copied is read again once it has been
// flushed, its cached pages dropped first so that the bytes come from the medium, and compared
// with its original. A copy that differs is an error: the run does not end "OK".
void RunEngine::ReadBackCopies() {
    passes_.copied = nullptr;
    std::vector<CopiedFile> files;
    files.swap(copied_);
    if (!request_.options.verify || files.empty())
        return;
    const std::string count = GroupThousands(static_cast<std::int64_t>(files.size()));
    report("Reading back the " + count + " files copied...", true);
    const VerifyTotals totals = CompareCopies(
        files, true,
        [&](const std::string& line) {
            report("ERROR: read back, " + line, true);
            ++run_.Totals.errors;
            run_.FilesFailed = true;
        },
        [&] {
            pump_.ProcessPendingEvents();
            return !run_.StopRequested;
        });
    if (totals.ok())
        report("Read back: the " + count + " files copied are the same as their originals", true);
}

void RunEngine::FinishRun() {
    PruneKeptVersions();
    FlushDestination();
    ReadBackCopies();
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

// Every failure that ends the run's work becomes its line, its box (where it has one: the same
// text unless `boxText` says otherwise, shown before or after the line) and its count here, so
// that none is counted without being said, or said without being counted.
void RunEngine::FatalError(const std::string& line, Box box, const std::string& boxText) {
    const std::string& shown = boxText.empty() ? line : boxText;
    if (box == Box::BeforeLine)
        ShowErrorBox(shown);
    report(line, true);
    if (box == Box::AfterLine)
        ShowErrorBox(shown);
    NoteFatalError();
}

// A failure counted whose box has been shown already (the estimate's).
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
    // Only a project that leaves something out says so: one without exclusions reads as it
    // always did.
    if (!exclusions_.empty())
        report("Summary: excluded: " + number(t.entriesExcluded), true);
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
    progress_->StartCount(request_.items, request_.destinations, run_.LongNamesOn, exclusions_);
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
        throw run_parts::HistorySaveFailed(saveError);
    KeepReport();
    view_.ShowResult(result, run_.Totals.errors);
}

void RunEngine::KeepReport() {
    const DrivePath history = settings_.RunHistoryPath();
    // A report that cannot be written costs the run nothing: the log and the row still tell.
    std::vector<std::string> lines = log_.TakeKept();
    lines.push_back("Result: " + outcome_.value_or(kResultError));
    KeepRunReport(
        RunReportPath(history, request_.projectPath, DateTimeText(startTime_), HowStarted()),
        lines);
    PruneRunReports(history, history_.Rows());
}

}  // namespace vlm
