#pragma once
// The run driver: executes one project from start to end on the run window's lists — the start
// checks, the header, the history row, the free-space estimate, the removal and copy passes for
// each item, and the closing lines.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/app_settings.h"
#include "core/project_file.h"
#include "core/run_history.h"
#include "core/run_request.h"
#include "engine/destination_media.h"
#include "engine/pass_context.h"
#include "engine/refused_start.h"
#include "engine/removal_guard.h"
#include "engine/run_log.h"
#include "engine/run_progress.h"
#include "engine/run_state.h"
#include "engine/run_view.h"
#include "platform/folder_lock.h"
#include "platform/tree_walk.h"
#include "util/text_helpers.h"

namespace vlm {

// The command-line words a run reads afresh each time: argument 3 ("-extlog") and argument 4
// ("-close").
struct RunSwitches {
    std::string logWord;
    std::string closeWord;
};

// The results a run writes into its history row.
inline constexpr const char* kResultOk = "OK";
inline constexpr const char* kResultCancelled = "Cancelled";
inline constexpr const char* kResultNotEnoughSpace = "Not enough space";
// A run that ended on a fatal error (the estimate failed, a destination folder could not be
// made, a source item vanished) did not do its work and must not read as "OK".
inline constexpr const char* kResultError = "Error";

class RunEngine {
public:
    RunEngine(RunView& view, EventPump& pump, RunState& run, HandOverState& handOver, RunLog& log,
              const AppSettings& settings, RunHistory& history, RunSwitches switches = {});

    // The run kind, set by the window before it starts a run.
    bool TimerRun = false;
    bool QuickRun = false;
    // How often a view that shows progress is told of it, at most.
    std::chrono::milliseconds ProgressInterval{100};

    // Runs the project as the opening rules found it. Nothing escapes: an error that ends the
    // run early is shown in an error box and leaves the run as it stood.
    void run(const RunRequest& request);
    // Shows what run(request) would do, touching nothing: the files each item would have copied
    // (new or changed) and removed, the folders removed, and the summary of it all. No history
    // row, no log file line of its own (the view's log check box decides), no question.
    // With `plan`, the steps are also set down there, item by item, with the questions the run
    // would ask.
    void DryRun(const RunRequest& request, RunPlan* plan = nullptr);

    // The result written into the history row by the last run, or nothing when that run ended
    // before completing its row.
    const std::optional<std::string>& Outcome() const { return outcome_; }
    // Why the last run did not begin its work (a drive not connected, the destination busy or
    // not writable, a source missing); empty when it began.
    const StartRefusal& RefusedAtStart() const { return refusedAtStart_; }
    // True when the last run ended with "-close": the application is to terminate.
    bool TerminateRequested() const { return terminateRequested_; }

    // The progress of the run under way, when its view shows progress.
    const ProgressMeter* Progress() const { return progress_ ? &*progress_ : nullptr; }

    // The command line can change between runs of one window only in tests.
    void SetSwitches(RunSwitches switches) { switches_ = std::move(switches); }

private:
    // The start: run_driver.cpp.
    void RunSteps();
    void StartAfresh();
    void StartHistoryRow();
    // "Timer", "Shortcut" or "Normal", as the history row says.
    std::string HowStarted() const;
    // The run's report kept for its history row; the reports of rows gone are removed.
    void KeepReport();
    void HeaderLines();
    void EndAfterLastItem();
    bool DestinationDriveUsable(bool closeWindow = true);
    bool SourcesExist();
    bool Precalculate(const std::string& destkind);
    std::optional<std::int64_t> EstimateFromTotals();
    std::optional<std::int64_t> EstimateByVirtualCopy();
    std::optional<std::int64_t> EstimateWithVersions();
    std::optional<std::uint64_t> CountedWriteBytes();
    std::uint64_t WriteBytesOfCopies();
    std::uint64_t MakeRoomFromVersions(std::uint64_t needed, const std::string& spare = {});
    struct KeptRunOnDisk {
        VersionStore store;
        KeptRun run;
        std::uint64_t bytes = 0;
    };
    std::vector<KeptRunOnDisk> KeptRunsOldestFirst() const;
    static std::vector<std::uint64_t> SizesOf(const std::vector<KeptRunOnDisk>& kept);
    void DryRunVersionsEstimate();
    bool DestinationWritable(bool onlyLook = false);
    bool LockDestinations(bool onlyLook = false);
    // The dry run: dry_run.cpp.
    void DryRunSteps();
    void DryRunStartChecks(bool precalc, const std::string& destkind);
    bool DryRunItem(int index, const DrivePath& source, const DrivePath& destination,
                    const std::string& destkind);
    void PlanItemLine(const PlannedItem& item);
    // The items: run_items.cpp.
    bool WorkThroughItems(const std::string& destkind);
    bool WorkOnItem(const DrivePath& source, const DrivePath& destination,
                    const std::string& destkind);
    bool WorkOnFileItem(const DrivePath& source, const DrivePath& destination,
                        const DrivePath& base);
    bool WorkOnFolderItem(const DrivePath& source, const DrivePath& destination,
                          const DrivePath& base, const std::string& destkind);
    bool EndAtFolderNotMade(char kind, const std::string& source, const std::string& destination);
    bool MakeDestinationFolder(const DrivePath& folder, const DrivePath& base);
    void FolderNotMade(char kind, const std::string& source, const std::string& destination);
    char KindOfItem(std::size_t j) const;
    DrivePath DestinationBase(const DrivePath& source, const DrivePath& destination) const;
    DrivePath MediumFolder(const DrivePath& source, const DrivePath& destination) const;
    void LearnItemMedium(const DrivePath& source, const DrivePath& destination,
                         const DrivePath& base);
    bool CopyItem(const DrivePath& source, const DrivePath& destination);
    std::optional<RemovalAtStake> MassRemovalToAsk(const DrivePath& source,
                                                   const DrivePath& destination);
    bool AllowMassRemoval(const DrivePath& source, const DrivePath& destination);
    void ClearLeftTemporaries(const DrivePath& source, const DrivePath& destination);
    // Kept versions: run_versions.cpp.
    std::unique_ptr<VersionKeeper> KeeperFor(const DrivePath& source, const DrivePath& destination);
    std::vector<VersionStore> VersionStores() const;
    std::uint64_t VersionBytesPruned() const;
    void PruneKeptVersions();
    DateTime FreeVersionsStart() const;
    // The closing lines: run_closing.cpp.
    void FlushDestination();
    void FinishRun();
    void StartProgress();
    void EndProgress();
    void ClosingLines();
    void SummaryLines(const ElapsedText& elapsed);
    void TakeRequest(const RunRequest& request);
    void ReadBackCopies();
    enum class Box { None, AfterLine, BeforeLine };
    void FatalError(const std::string& line, Box box = Box::None,
                    const std::string& boxText = std::string());
    void NoteFatalError();
    std::string HistoryResult() const;
    void report(const std::string& line, bool important) { log_.report(line, important); }

    RunView& view_;
    EventPump& pump_;
    RunState& run_;
    HandOverState& handOver_;
    RunLog& log_;
    const AppSettings& settings_;
    RunHistory& history_;
    RunSwitches switches_;
    PassContext passes_;

    // The state of one run.
    RunRequest request_;
    ExclusionList exclusions_;
    ProgramOwnFiles ownFiles_;
    bool ownFilesNoted_ = false;
    // With read-back on, what this run copied.
    std::vector<CopiedFile> copied_;
    bool noSpaceExit_ = false;
    bool fatalError_ = false;
    // The person kept most of a folder item's backup from going: the run did not mirror it.
    bool massRemovalRefused_ = false;
    std::string destLetter_;
    DateTime startTime_ = 0;
    // The start that names this run's version folders: its own, or the next second no earlier
    // run has taken (two runs in one second must not share a folder).
    DateTime versionsStart_ = 0;
    std::optional<std::string> outcome_;
    StartRefusal refusedAtStart_;
    // The per-drive folders this run writes to, each locked for the whole run.
    std::vector<FolderLock> destinationLocks_;
    // What each destination folder of this run can hold.
    DestinationMedia media_;
    // The copying's progress, for a view that shows it.
    std::optional<ProgressMeter> progress_;
    bool terminateRequested_ = false;
};

}  // namespace vlm
