#include "engine/pass_context.h"

#include "util/dialogs.h"
#include "util/file_helpers.h"

namespace vlm {

void StopForFailure(PassContext& ctx, const PassFailure& failure) {
    for (const std::string& line : failure.linesBefore)
        ctx.report(line, true);
    BeepTimes(failure.beeps);
    ShowErrorBox(failure.box);
    for (const std::string& line : failure.linesAfter)
        ctx.report(line, true);
    ++ctx.run.Totals.errors;
    ctx.run.StopForFailure();
}

void WouldAsk(PassContext& ctx, const std::string& text, bool stops) {
    if (ctx.sink.Counts())
        return;
    ctx.report((stops ? "Would stop: " : "Would ask: ") + text, true);
    ctx.sink.KeepQuestion(text, stops);
}

void WouldDo(PassContext& ctx, PlannedStepKind kind, const DrivePath& drivePath,
             std::uint64_t bytes, std::uint64_t files, bool keepable) {
    const std::string& path = drivePath.Text();
    if (ctx.sink.Plans()) {
        RunTotals& totals = ctx.run.Totals;
        switch (kind) {
            case PlannedStepKind::NewFile:
                ctx.report("Would create file: " + path, true);
                ++totals.filesNew;
                totals.bytesCopied += bytes;
                break;
            case PlannedStepKind::ChangedFile:
                ctx.report("Would overwrite file: " + path + KeptNote(ctx), true);
                ++totals.filesReplaced;
                totals.bytesCopied += bytes;
                break;
            case PlannedStepKind::RemoveFile:
                ctx.report("Would remove file: " + path + (keepable ? KeptNote(ctx) : ""), true);
                ++totals.filesRemoved;
                break;
            case PlannedStepKind::RemoveFolder:
                ctx.report("Would remove dir: " + path + KeptNote(ctx), true);
                ++totals.foldersRemoved;
                break;
            case PlannedStepKind::Question:
                WouldAsk(ctx, path);
                return;
        }
    }
    ctx.sink.Keep(kind, path, bytes, files);
}

void GoPastFailure(PassContext& ctx, const std::vector<std::string>& lines, FailureCount count) {
    for (const std::string& line : lines)
        ctx.report(line, true);
    if (ctx.sink.Counts())
        return;
    RunState& run = ctx.run;
    if (count != FailureCount::Skip)
        ++run.Totals.errors;
    if (count == FailureCount::Error || count == FailureCount::ErrorAndSkip)
        run.FilesFailed = true;
    if (count == FailureCount::ErrorAndSkip || count == FailureCount::Skip)
        ++run.Totals.entriesSkipped;
    for (const std::string& line : lines)
        ctx.sink.KeepFailure(line);
}

void NoteExcluded(PassContext& ctx, const DrivePath& path) {
    if (ctx.sink.Counts())
        return;
    // The program's own files are no choice of the person's: one line for all of them.
    if (ctx.IsOwnFile(path.Text())) {
        if (ctx.ownFilesNoted != nullptr && !*ctx.ownFilesNoted) {
            *ctx.ownFilesNoted = true;
            ctx.detail([] { return std::string(kOwnFilesLeftOut); });
        }
        return;
    }
    ++ctx.run.Totals.entriesExcluded;
    ctx.detail([&] { return "Excluded: " + path.Text(); });
}

void ReportUnreadableFolder(PassContext& ctx, const DrivePath& folder) {
    const std::string unreadable = "ERROR: Unable to read directory " + folder.Text() + "!";
    GoPastFailure(ctx, {unreadable});
    ShowErrorBox(unreadable);
}

bool ContinueOrStop(PassContext& ctx, const std::string& question) {
    if (AskYesNo(BoxType::Error, question))
        return true;
    ctx.report("User stop", true);
    ctx.run.StopRequested = true;
    return false;
}

bool AskPastReadOnly(PassContext& ctx, const std::string& line, const std::string& question) {
    GoPastFailure(ctx, {line, kMakeWritable}, FailureCount::ErrorOnly);
    if (!ctx.sink.Touches()) {
        WouldAsk(ctx, question);
        return true;
    }
    return ContinueOrStop(ctx, question);
}

}  // namespace vlm
