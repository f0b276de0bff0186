#include "app/main_window.h"
#include "core/opening_rules.h"
#include "dialogs/restore_window.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

// Project › Restore...: a project's backup, opened in the restore window.

namespace vlm {

void TMainF::restoreMIClick() {
    const std::optional<std::string> path = ChooseProjectFile("Select VLM-file to restore from");
    if (!path)
        return;
    OpenRestoreWindow(*path);
    AddToRecentLists(*path);
}

void TMainF::OpenRestoreWindow(const std::string& path) {
    // The backup is where a run of the project writes; the window changes no hand-over state.
    HandOverState handOver;
    const OpenRunOutcome opened = CheckProjectForRun(path, settings_.BackupLocation, handOver);
    if (!opened.ok()) {
        ShowErrorBox(*opened.error);
        return;
    }
    std::vector<BackedUpItem> items;
    for (std::size_t j = 0; j < opened.request.items.size(); ++j)
        items.push_back({opened.request.items[j], opened.request.DestinationOf(j)});
    RestoreWindow window(
        RestoreBrowser(std::move(items), opened.request.options.versions, handOver.SyncMode),
        "Restore: " + BaseNameNoExt(path), {}, this);
    window.exec();
}

}  // namespace vlm
