#include "core/opening_rules.h"

#include <system_error>

#include "platform/file_system.h"
#include "platform/path_translation.h"
#include "platform/tree_walk.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr std::string_view kDefaultDestination = "<default>";

std::string Concat(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (std::string_view part : parts) {
        text.append(part);
    }
    return text;
}

// Characters, not bytes: a UTF-8 continuation byte does not start a character.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

// The refusal when the source item and SyncDest are different kinds of thing (folder, file).
// A SyncDest that does not exist yet is none: the run creates it.
std::optional<std::string> KindMismatch(const std::string& item1, const std::string& syncDest) {
    const char sourceKind = ItemKind(DrivePath(item1));
    const char destKind = ItemKind(DrivePath(syncDest));
    if (sourceKind == destKind) {
        return std::nullopt;
    }
    if (sourceKind == 'n') {
        return Concat({"Fatal error: source ", item1, " does not exist."});
    }
    if (sourceKind == 'd' && destKind == 'f') {
        return std::string(kSyncFolderToFile);
    }
    if (sourceKind == 'f' && destKind == 'd') {
        return std::string(kSyncFileToFolder);
    }
    return std::nullopt;
}

// The synchronisation checks of a project that syncs its one item to SyncDest. Empty when the
// project passes them.
std::optional<std::string> SyncRefusal(const ProjectText& project, HandOverState& handOver) {
    const std::string item1 = project.Value("item1");
    handOver.SyncDest = project.Value("syncdest");
    const std::string& syncDest = handOver.SyncDest;

    if (syncDest.empty()) {
        return std::string(kNoSyncDestination);
    }
    if (item1.empty()) {
        return std::string(kNoSyncSource);
    }
    // A drive (e: or e:\) is no folder or file to synchronise with.
    if (CharacterCount(syncDest) <= 3) {
        return Concat({"Fatal error: impossible to synchronize to ", syncDest,
                       " ! Must be a normal folder or file. Edit project file."});
    }
    if (!project.Value("item2").empty()) {
        return std::string(kMoreThanOneSyncSource);
    }
    // Neither end may climb out of where it points: the removal pass deletes below SyncDest.
    if (!IsSoundSourcePath(item1) || !IsSoundSourcePath(syncDest)) {
        return std::string(kIncorrectSourcePath);
    }

    if (std::optional<std::string> mismatch = KindMismatch(item1, syncDest)) {
        return mismatch;
    }
    // Deliberately the text test of source items: c:\data and c:\data2\copy count as nested.
    if (IsPartOf(item1, syncDest) || IsPartOf(syncDest, item1)) {
        return NestingForbiddenText(item1, syncDest);
    }
    return std::nullopt;
}

// The destination path of each of the request's items, for the destination `destdrive`. The
// refusal when an item is no sound source path or its destination lies in it.
std::optional<std::string> FillDestinations(const std::string& destdrive,
                                            const DestinationContext& context,
                                            RunRequest& request) {
    request.destinations.clear();
    request.destinations.reserve(request.items.size());
    for (const std::string& item : request.items) {
        std::optional<std::string> destination = DestPathFor(item, destdrive, context);
        if (!destination) {
            return std::string(kIncorrectSourcePath);
        }
        // A run into itself would copy its own copies until the disk is full, and its removal
        // pass would delete the source.
        if (NestedOnHost(item, *destination)) {
            return NestingForbiddenText(item, *destination);
        }
        request.destinations.push_back(std::move(*destination));
    }
    return std::nullopt;
}

// The project into `request`: its items, each with its destination path, and its options. The
// refusal when an item is no sound source path or its destination lies in it.
std::optional<std::string> FillRequest(std::string_view path, const ProjectText& project,
                                       const DestinationContext& context, RunRequest& request) {
    request.projectPath = std::string(path);
    request.options = ReadRunOptions(project);
    request.destkind = project.Value("destkind");
    const std::string destdrive = project.Value("destdrive");
    request.items = project.Items();
    // An item typed with ':' or '?' in a name means the name the program holds with stand-ins.
    for (std::string& item : request.items)
        item = DrivePathTextFromShown(item);
    return FillDestinations(destdrive, context, request);
}

// The project file at `path` read as a project, or the refusal to show.
std::optional<std::string> LoadProject(std::string_view path, std::optional<ProjectText>& project) {
    if (!FileExists(DrivePath(path))) {
        return Concat({path, " does not exist!! Unable to run project."});
    }
    project = ProjectText::Load(DrivePath(path));
    if (!project) {
        return UnreadableProjectText(path);
    }
    if (!project->IsProject()) {
        return Concat({path, " Invalid VLM-project file!! Unable to run project."});
    }
    return std::nullopt;
}

}  // namespace

std::string UnreadableProjectText(std::string_view path) {
    return Concat({"Unable to read project file ", path});
}

std::string NestingForbiddenText(std::string_view a, std::string_view b) {
    return Concat({"Nesting forbidden! ", a, " and ", b, " are part of each other!!"});
}

bool IsSoundSourcePath(std::string_view item) {
    if (item.size() < 2 || item[1] != ':') {
        return false;  // a network path, a relative path or a typo: no drive to copy from
    }
    if (HoldsControlCharacter(item)) {
        return false;  // a damaged project file: a NUL would cut the path to another folder
    }
    std::string_view rest = item.substr(2);
    if (!rest.empty() && rest.back() == '\\') {
        rest.remove_suffix(1);  // one trailing backslash on a folder is allowed
    }
    if (rest.empty()) {
        return true;  // the drive itself: c: or c:\ .
    }
    if (rest.front() == '\\') {
        rest.remove_prefix(1);
    }
    // Every component must name something. A '/' counts as a separator too: the host would
    // split there.
    std::size_t start = 0;
    while (true) {
        std::size_t end = rest.find_first_of("\\/", start);
        std::string_view component = rest.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (component.empty() || component == "." || component == "..") {
            return false;
        }
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::optional<std::string> DestPathFor(std::string_view item, std::string_view destdrive,
                                       const DestinationContext& ctx) {
    if (!IsSoundSourcePath(item)) {
        return std::nullopt;
    }
    std::string destination(destdrive);
    if (destination != kDefaultDestination) {
        // Only the letter and the colon count; the rest of a drive entry is its label.
        destination = destination.substr(0, 2);
    }
    if (ctx.SyncMode) {
        return ctx.SyncDest;
    }
    if (destination == kDefaultDestination) {
        destination = ctx.BackupLocation;
    }
    const std::string source = StripTrailingBackslash(item);
    if (destination.empty()) {
        destination = "?";
    }
    // A location that already ends in its separator (a drive root: the program folder is "z:\"
    // when c: is pinned elsewhere; or "e:\Backup\" as a person typed it) gets no second one: the
    // path model refuses the doubled backslash, and every run into it would fail.
    if (destination.size() > 1 && destination.back() == '\\') {
        destination.pop_back();
    }
    // Each source drive gets its own folder, named with the letter as the item writes it.
    std::string result = destination + "\\VLMcopy_drive_" + source[0];
    if (source.size() > 2) {
        result.append(source, 2);
    }
    return result;
}

bool NestedOnHost(std::string_view a, std::string_view b) {
    std::optional<std::string> hostA = ToHostPath(a);
    std::optional<std::string> hostB = ToHostPath(b);
    if (!hostA || !hostB) {
        return false;
    }
    // Links in the existing parts resolved: a drive whose folder is reached through a link still
    // compares with the folder it really is.
    const HostPath resolvedA = ResolvedHostPath(HostPath(*hostA));
    const HostPath resolvedB = ResolvedHostPath(HostPath(*hostB));
    if (!resolvedA.empty() && !resolvedB.empty() &&
        (resolvedA.IsAtOrBelow(resolvedB) || resolvedB.IsAtOrBelow(resolvedA)))
        return true;
    // The texts may differ while the folders are one: a bind mount, or a link further down
    // than the resolved texts show. The file system's own identities decide.
    return FoldersNest(DrivePath(a), DrivePath(b));
}

OpenRunOutcome CheckProjectForRun(std::string_view path, std::string_view backupLocation,
                                  HandOverState& handOver) {
    OpenRunOutcome outcome;
    auto refuse = [&outcome](std::string text) {
        outcome.error = std::move(text);
        return outcome;
    };

    std::optional<ProjectText> project;
    if (std::optional<std::string> refusal = LoadProject(path, project)) {
        return refuse(std::move(*refusal));
    }

    handOver.SyncMode = project->Value("sync") == "Y";
    if (handOver.SyncMode) {
        if (std::optional<std::string> refusal = SyncRefusal(*project, handOver)) {
            return refuse(std::move(*refusal));
        }
    }

    const DestinationContext context{handOver.SyncMode, handOver.SyncDest,
                                     std::string(backupLocation)};
    // A refused project leaves no request behind.
    RunRequest request;
    if (std::optional<std::string> refusal = FillRequest(path, *project, context, request)) {
        return refuse(std::move(*refusal));
    }
    outcome.caption = "Running: " + BaseNameNoExt(path);
    request.project = std::move(*project);
    outcome.request = std::move(request);
    return outcome;
}

std::optional<std::string> RereadRunRequest(RunRequest& request, std::string_view backupLocation,
                                            const HandOverState& handOver) {
    std::optional<ProjectText> project;
    if (std::optional<std::string> refusal = LoadProject(request.projectPath, project)) {
        return refusal;
    }
    RunRequest current = request;
    current.options = ReadRunOptions(*project);
    current.destkind = project->Value("destkind");
    const DestinationContext context{handOver.SyncMode, handOver.SyncDest,
                                     std::string(backupLocation)};
    if (std::optional<std::string> refusal =
            FillDestinations(project->Value("destdrive"), context, current)) {
        return refusal;
    }
    current.project = std::move(*project);
    request = std::move(current);
    return std::nullopt;
}

OpenEditOutcome ReadProjectForEditor(std::string_view path) {
    OpenEditOutcome outcome;
    if (path.empty()) {
        outcome.isNew = true;
        outcome.caption = "Project Editor: <New Project>";
        outcome.name = "new";
        outcome.fields = NewProjectFields();
        return outcome;
    }

    std::optional<ProjectText> project = ProjectText::Load(DrivePath(path));
    if (!project) {
        outcome.refusal = OpenEditOutcome::Refusal::Unreadable;
        outcome.message = UnreadableProjectText(path);
        return outcome;
    }
    if (!project->IsProject()) {
        outcome.refusal = OpenEditOutcome::Refusal::NotAProject;
        outcome.message = std::string(kInvalidProjectPlain);
        return outcome;
    }

    const std::string name = BaseNameNoExt(path);
    outcome.caption = "Project Editor: " + name;
    outcome.name = name;
    outcome.projectName = name;
    outcome.fields = ReadEditorFields(*project);
    return outcome;
}

}  // namespace vlm
