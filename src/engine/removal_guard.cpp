#include "engine/removal_guard.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "engine/removal_pass.h"
#include "engine/run_log.h"
#include "engine/run_state.h"
#include "platform/file_system.h"
#include "platform/tree_walk.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// The count's pump is the run's: the window stays live, and a stop of the run stops the count.
// A question the window asks meanwhile (ESC during a run) goes to the person, never to the
// count's silent dialogs.
class CountPump final : public EventPump {
public:
    CountPump(EventPump& runPump, const RunState& run, RunState& count, Dialogs& runDialogs)
        : runPump_(runPump), run_(run), count_(count), runDialogs_(runDialogs) {}
    void ProcessPendingEvents() override {
        {
            const ThreadDialogs asTheRunAsks(runDialogs_);
            runPump_.ProcessPendingEvents();
        }
        if (run_.StopRequested)
            count_.StopRequested = true;
    }

private:
    EventPump& runPump_;
    const RunState& run_;
    RunState& count_;
    Dialogs& runDialogs_;
};

std::string Number(std::uint64_t n) {
    return GroupThousands(static_cast<std::int64_t>(n));
}

}  // namespace

std::optional<RemovalAtStake> CountRemovalAtStake(const PassContext& ctx, const DrivePath& source,
                                                  const DrivePath& destination,
                                                  const AppSettings& settings) {
    Dialogs& runDialogs = CurrentDialogs();
    SilentDialogs silent;
    const ThreadDialogs own(silent);
    RunState count;
    count.LongNamesOn = ctx.run.LongNamesOn;
    HandOverState handOver;
    RunLog quiet(nullptr, count, handOver, std::string());
    CountPump pump(ctx.pump, ctx.run, count, runDialogs);
    PassContext counting{count, quiet, pump};
    counting.sink = PassSink::Count();
    // The pass judges by what the destination can hold, as the run's does.
    counting.medium = ctx.medium;
    counting.exclusions = ctx.exclusions;
    counting.ownFiles = ctx.ownFiles;
    deletesupr(counting, source, destination);
    if (count.StopRequested)
        return std::nullopt;

    RemovalAtStake atStake;
    atStake.removeFiles = counting.sink.Counted().removeFiles;
    atStake.removeBytes = counting.sink.Counted().removeBytes;
    // Nothing of the backup goes: what it holds does not matter.
    if (atStake.removeFiles == 0)
        return atStake;
    // A backup far larger than what goes is not walked to its end: a few removals from a large
    // backup cost a few files' count, not the whole backup's.
    // What the project leaves out is neither removed nor kept by the run: it counts on neither
    // side, so an exclusion never hides a removal of most of what the run does keep up to date.
    const std::string itemRoot = StripTrailingBackslash(source.Text());
    const FolderTreeTotals backup = CountFolderTree(
        destination, BackupFilesEnough(atStake.removeFiles, settings),
        [&ctx, &itemRoot](std::string_view below, bool isFolder) {
            // A temporary of the program's is removed whatever the patterns say.
            const std::size_t slash = below.rfind('\\');
            const std::string_view name =
                slash == std::string_view::npos ? below : below.substr(slash + 1);
            if (!isFolder && IsTemporaryFileName(name))
                return false;
            return ctx.Excluded(itemRoot, itemRoot + "\\" + std::string(below), isFolder);
        });
    const std::uint64_t backupFiles = backup.files - backup.scratchFiles;
    const std::uint64_t backupBytes = backup.bytes - backup.scratchBytes;
    atStake.keepFiles = backupFiles > atStake.removeFiles ? backupFiles - atStake.removeFiles : 0;
    atStake.keepBytes = backupBytes > atStake.removeBytes ? backupBytes - atStake.removeBytes : 0;
    return atStake;
}

std::uint64_t BackupFilesEnough(std::uint64_t removeFiles, const AppSettings& settings) {
    // Fewer than the least number are asked about only when they are all the backup holds.
    if (removeFiles < settings.MassDeleteLeastFiles)
        return removeFiles;
    if (settings.MassDeletePercent == 0)
        return UINT64_MAX;
    return std::max<std::uint64_t>(removeFiles, removeFiles * 100 / settings.MassDeletePercent);
}

bool RemovalNeedsAsking(const RemovalAtStake& atStake, const AppSettings& settings) {
    if (!settings.MassDeleteGuard || atStake.removeFiles == 0)
        return false;
    if (atStake.keepFiles == 0)
        return true;
    const std::uint64_t backupFiles = atStake.removeFiles + atStake.keepFiles;
    return atStake.removeFiles >= settings.MassDeleteLeastFiles &&
           atStake.removeFiles * 100 >= backupFiles * settings.MassDeletePercent;
}

std::string MassRemovalQuestion(const DrivePath& source, const DrivePath& destination,
                                const RemovalAtStake& atStake) {
    return kMassRemovalQuestionStart + Number(atStake.removeFiles) + " of the " +
           Number(atStake.removeFiles + atStake.keepFiles) + " files (" +
           Number(atStake.removeBytes) + " of " + Number(atStake.removeBytes + atStake.keepBytes) +
           " bytes) backed up from " + source.Text() + " in " + destination.Text() + " and keep " +
           Number(atStake.keepFiles) + " files (" + Number(atStake.keepBytes) +
           " bytes). A source that lost most of its files is often an unplugged disk, a new disk "
           "or a wrong path. Remove them?";
}

}  // namespace vlm
