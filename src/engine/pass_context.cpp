#include "engine/pass_context.h"

#include "util/dialogs.h"

namespace vlm {

void ReportUnreadableFolder(PassContext& ctx, const std::string& folder) {
    const std::string unreadable = "ERROR: Unable to read directory " + folder + "!";
    ctx.report(unreadable, true);
    ShowErrorBox(unreadable);
    ctx.run.NoteError();
}

bool ContinueOrStop(PassContext& ctx, const std::string& question) {
    if (AskYesNo(BoxType::Error, question))
        return true;
    ctx.report("User stop", true);
    ctx.run.StopRequested = true;
    return false;
}

bool AskPastReadOnly(PassContext& ctx, const std::string& line, const std::string& question) {
    ctx.report(line, true);
    ++ctx.run.Totals.errors;
    ctx.report(kMakeWritable, true);
    if (ctx.run.DryRun) {
        WouldAsk(ctx, question);
        return true;
    }
    return ContinueOrStop(ctx, question);
}

}  // namespace vlm
