#include "dialogs/project_browse.h"

#include "core/opening_rules.h"
#include "core/project_file.h"
#include "util/message_boxes.h"

namespace vlm {

std::optional<std::string> BrowseForProject(const ProjectBrowseHooks& hooks,
                                            const std::string& title) {
    if (!hooks.chooseFile)
        return std::nullopt;
    const std::optional<std::string> path = hooks.chooseFile(title);
    if (!path)
        return std::nullopt;
    const std::optional<ProjectText> project = ProjectText::Load(DrivePath(*path));
    if (!project) {
        ShowErrorBox(UnreadableProjectText(*path));
        return std::nullopt;
    }
    if (!project->IsProject()) {
        ShowPlain(std::string(kInvalidProjectPlain));
        return std::nullopt;
    }
    if (hooks.addToRecentLists)
        hooks.addToRecentLists(*path);
    return path;
}

}  // namespace vlm
