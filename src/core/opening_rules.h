#pragma once
// The rules of opening a project: for the editor (reading its fields) and for a run (the checks
// a project must pass before the run window opens, and the destination path of each source
// item). No window here: each rule returns its outcome and the window shows it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/hand_over_state.h"
#include "core/project_file.h"
#include "core/run_request.h"

namespace vlm {

// The texts of the refusals that do not name a path.
inline constexpr std::string_view kIncorrectSourcePath = "Fatal error: Incorrect source path!";
inline constexpr std::string_view kInvalidProjectPlain = "Invalid vlm-project!";
inline constexpr std::string_view kNoSyncDestination =
    "Fatal error: no sync destination found! Edit project file.";
inline constexpr std::string_view kNoSyncSource =
    "Fatal error: no source item found for synchronizing! Edit project file.";
inline constexpr std::string_view kMoreThanOneSyncSource =
    "Fatal error: more than one source item is forbidden when synchronizing! Edit project file.";
inline constexpr std::string_view kSyncFolderToFile =
    "Fatal error: impossible to synchronize a folder to a file!! Edit project file.";
inline constexpr std::string_view kSyncFileToFolder =
    "Fatal error: impossible to synchronize a file to a folder!! Edit project file.";

// The refusal when a project file cannot be read at all (missing, unreadable).
std::string UnreadableProjectText(std::string_view path);
// "Nesting forbidden! " + a + " and " + b + " are part of each other!!"
std::string NestingForbiddenText(std::string_view a, std::string_view b);

// What DestPathFor needs besides the item and the destination drive entry.
struct DestinationContext {
    bool SyncMode = false;
    std::string SyncDest;
    std::string BackupLocation;  // the default destination, for "<default>"
};

// True when `item` is a source path the program can work with: a letter and a colon in front,
// and no ".", ".." or empty component after it (one trailing backslash is allowed), so that no
// destination path built from it can climb out of its per-drive folder.
bool IsSoundSourcePath(std::string_view item);

// The destination path of a source item: the destination (the drive of `destdrive`, or
// BackupLocation for "<default>", "?" when empty) + "\VLMcopy_drive_" + the item's drive letter
// as written + the item after its drive; for a synchronising project SyncDest unchanged.
// nullopt when the item is not a sound source path: the caller refuses with
// kIncorrectSourcePath.
std::optional<std::string> DestPathFor(std::string_view item, std::string_view destdrive,
                                       const DestinationContext& ctx);

// True when the two drive paths name the same place or one lies inside the other on the host:
// the drive letters resolved through the drive table, links in the existing part followed, and
// compared component by component. False when either path does not translate.
bool NestedOnHost(std::string_view a, std::string_view b);

// The outcome of opening a project for a run: either the error box to show, or the run window's
// caption and the request the run works from (whose lists the window shows).
struct OpenRunOutcome {
    std::optional<std::string> error;  // for ShowErrorBox; the run window is not opened
    std::string caption;               // "Running: " + the project's name
    RunRequest request;

    bool ok() const { return !error.has_value(); }
};

// Every check a project passes before it runs, in order, with the hand-over state set where the
// opening sets it: SyncMode as soon as the file is known to be a project (also when a later check
// refuses), SyncDest when the project synchronises. `backupLocation` is the default destination
// of the settings.
OpenRunOutcome CheckProjectForRun(std::string_view path, std::string_view backupLocation,
                                  HandOverState& handOver);

// The request as the project file reads when a run starts: a run works from the file as it is
// then, not as it was when its window opened. The items stay those the window shows; the
// options, the destination kind, the exclusions and each item's destination path are read
// afresh (the synchronisation stays as the opening found it). The refusal, for an error box,
// when the file is no longer a readable project or an item's new destination lies in it;
// `request` is then unchanged.
std::optional<std::string> RereadRunRequest(RunRequest& request, std::string_view backupLocation,
                                            const HandOverState& handOver);

// The outcome of opening a project in the editor.
struct OpenEditOutcome {
    enum class Refusal {
        None,         // open the editor with the fields below
        NotAProject,  // ShowPlain(message): "Invalid vlm-project!"
        Unreadable,   // ShowErrorBox(message): the file cannot be read
    };
    Refusal refusal = Refusal::None;
    std::string message;

    bool isNew = false;       // the empty form of a new project
    std::string caption;      // "Project Editor: " + name, or "Project Editor: <New Project>"
    std::string name;         // openedprojnameL: the project's name, or "new"
    std::string projectName;  // projnameE: the project's name; empty for a new project
    ProjectFields fields;     // the form's fields; NewProjectFields() when isNew

    bool ok() const { return refusal == Refusal::None; }
};

// Reads a project for the editor; an empty path gives the form of a new project.
OpenEditOutcome ReadProjectForEditor(std::string_view path);

}  // namespace vlm
