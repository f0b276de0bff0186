#pragma once
// The "&Browse..." step the small dialogs share: the person picks a file in the main window's
// project file dialog, the file must be a project, and a project picked is remembered in both
// recent-projects lists.

#include <functional>
#include <optional>
#include <string>

namespace vlm {

struct ProjectBrowseHooks {
    // Shows the main window's file dialog `OpenDialog1` with `title`; the chosen file as a
    // drive path, or nothing when the person cancelled.
    std::function<std::optional<std::string>(const std::string& title)> chooseFile;
    // Adds `path` to the editor's list, then to the run list.
    std::function<void(const std::string& path)> addToRecentLists;
};

// The chosen project's path; nothing when the person cancelled or the file was refused (a file
// that cannot be read: an error box; no project: "Invalid vlm-project!").
std::optional<std::string> BrowseForProject(const ProjectBrowseHooks& hooks,
                                            const std::string& title);

}  // namespace vlm
