#include "runner_versions.h"

#include <filesystem>
#include <iostream>
#include <optional>

#include "engine/version_store.h"
#include "platform/path_translation.h"
#include "platform/paths.h"
#include "util/dialogs.h"

namespace vlm {

namespace {

// A time after every run: the backup as it is now.
constexpr DateTime kLatest = 1e7;

// A source path of the project, and where its mirror and versions are.
struct Located {
    VersionStore store;
    DrivePath mirrorPath;
    DrivePath sourcePath;
};

std::optional<DrivePath> FromArgument(const std::string& text) {
    return DrivePathFromArgument(text, HostPath(std::filesystem::current_path().string()));
}

// The item that holds `path`, its store, and the mirror path of `path`.
std::optional<Located> Locate(const RunRequest& request, bool sync, const DrivePath& path) {
    const std::optional<VersionedItem> item = ItemHolding(request, sync, path);
    if (!item)
        return std::nullopt;
    LearnBackupMediaForReading(item->mirror, item->store);
    return Located{item->store, item->MirrorOf(path), path};
}

// The source path given, found in the project; an error printed when it is not.
std::optional<Located> LocateArgument(const RunRequest& request, bool sync,
                                      const std::string& text) {
    const std::optional<DrivePath> path = FromArgument(text);
    if (!path) {
        std::cerr << "velmora-run: " << text << " is on no drive\n";
        return std::nullopt;
    }
    std::optional<Located> located = Locate(request, sync, *path);
    if (!located)
        std::cerr << "velmora-run: " << ShownName(path->Text())
                  << " is no source of the project, or its backup keeps no versions\n";
    return located;
}

std::string HostOrDriveText(const DrivePath& path) {
    const std::optional<HostPath> host = ToHostPath(path);
    return host ? host->Text() : ShownName(path.Text());
}

}  // namespace

int ListVersions(const RunRequest& request, bool sync, const VersionCommand& command) {
    const std::optional<Located> located = LocateArgument(request, sync, command.path);
    if (!located)
        return 2;
    for (const KeptVersion& version : located->store.VersionsOf(located->mirrorPath))
        std::cout << VersionTimeText(version.kept) << '\t' << version.size << '\t'
                  << HostOrDriveText(version.place) << '\n';
    std::cout.flush();
    return 0;
}

int RestoreVersions(const RunRequest& request, bool sync, const VersionCommand& command) {
    const std::optional<Located> located = LocateArgument(request, sync, command.path);
    if (!located)
        return 2;
    // Without --to the path goes back where it came from.
    const std::optional<DrivePath> target =
        command.to.empty() ? std::optional<DrivePath>(located->sourcePath.Parent())
                           : FromArgument(command.to);
    if (!target || target->empty()) {
        std::cerr << "velmora-run: " << command.to << " is on no drive\n";
        return 2;
    }
    DateTime time = kLatest;
    if (!command.asOf.empty()) {
        const std::optional<DateTime> asOf = ParseAsOfText(command.asOf);
        if (!asOf) {
            std::cerr << "velmora-run: --as-of takes \"YYYY-MM-DD HH:MM\", not " << command.asOf
                      << '\n';
            return 2;
        }
        time = *asOf;
    } else if (const auto newest = located->store.NewestKeptWhenGone(located->mirrorPath)) {
        // Deleted since: its newest kept version is the latest it was.
        time = *newest;
        std::cout << "Not in the backup now: restoring the version kept by the run of "
                  << VersionTimeText(time) << '\n';
    }
    // A newer file at the target is replaced only when the person allows it (--yes).
    const auto replaceNewer = [](const std::string& path) {
        return CurrentDialogs().Show(BoxType::Confirmation, Buttons::YesNo,
                                     "Replace the newer file " + path +
                                         " with the restored one (it is set aside)?") ==
               Answer::Yes;
    };
    const RestoreOutcome outcome =
        RestoreAt(located->store, located->mirrorPath, time, *target, replaceNewer);
    for (const std::string& line : outcome.lines)
        std::cout << ShownName(line) << '\n';
    std::cout << (outcome.ok() ? "Restored " : "Not all restored: ") << outcome.filesRestored
              << (outcome.filesRestored == 1 ? " file" : " files");
    if (!outcome.ok())
        std::cout << ", " << outcome.filesFailed << " not";
    std::cout << '\n' << std::flush;
    return outcome.ok() ? 0 : 1;
}

}  // namespace vlm
