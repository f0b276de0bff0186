#pragma once
// The progress of a run's copying, for a window that shows it: what the run has copied, the
// file it is copying now, the rate and the time left. What there is to copy is counted on a
// thread of its own while the run is already working, so the run starts no later for it.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "core/exclusions.h"
#include "engine/run_view.h"
#include "util/file_helpers.h"

namespace vlm {

struct RunState;

// The progress in one line for a person: what is done of what there is, the rate and the time
// left ("2 of 4 files, 2.0 KB of 4.0 KB copied · 1.0 KB/s · about 2 s left").
std::string ProgressLine(const ProgressSnapshot& progress);

class ProgressMeter final : public CopyWatcher {
public:
    using Clock = std::chrono::steady_clock;

    // Tells `view` at most once every `interval`; pumps `pump` while a large file is copied, so
    // that the person can stop the run in the middle of it.
    ProgressMeter(RunView& view, EventPump& pump, const RunState& run,
                  std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    // Stops the count and waits for its thread.
    ~ProgressMeter() override;
    ProgressMeter(const ProgressMeter&) = delete;
    ProgressMeter& operator=(const ProgressMeter&) = delete;

    // Starts counting the files the copy passes of these items will copy and their bytes, with
    // the copy pass's own rules, touching nothing and asking nothing.
    void StartCount(std::vector<std::string> sources, std::vector<std::string> destinations,
                    bool longNames, ExclusionList exclusions = {});

    // One file being copied, from its start to its end, however the copy ends.
    class FileScope {
    public:
        FileScope(ProgressMeter& meter, const DrivePath& source, std::uint64_t size);
        ~FileScope();
        // The copy is in: only then does the file count as copied.
        void Copied() { copied_ = true; }
        FileScope(const FileScope&) = delete;
        FileScope& operator=(const FileScope&) = delete;

    private:
        ProgressMeter& meter_;
        bool copied_ = false;
    };

    // CopyWatcher: `bytesSoFar` of the current file are in.
    bool Copied(std::uint64_t bytesSoFar) override;
    // Between entries of a pass: shows what changed when the interval has passed.
    void Tick();
    // The run has ended: the count stops and the view gets its last picture.
    void Finish();

    ProgressSnapshot Snapshot() const;
    // The count has ended and its totals are in.
    bool TotalsKnown() const { return counted_.load(std::memory_order_acquire); }

private:
    void Show(bool now);
    void StopCount();

    RunView& view_;
    EventPump& pump_;
    const RunState& run_;
    std::chrono::milliseconds interval_;

    Clock::time_point started_;
    Clock::time_point lastShown_;
    Clock::duration copyTime_{};  // spent copying files, for the rate
    Clock::time_point fileStarted_;
    std::string currentFile_;
    std::uint64_t currentSize_ = 0;
    std::uint64_t currentBytes_ = 0;
    std::uint64_t filesDone_ = 0;
    std::uint64_t bytesDone_ = 0;
    bool totalsShown_ = false;
    bool finished_ = false;

    std::thread counter_;
    std::atomic<bool> stopCount_{false};
    std::atomic<bool> counted_{false};
    // Written by the count before it sets counted_, read after.
    std::uint64_t countedFiles_ = 0;
    std::uint64_t countedBytes_ = 0;
};

}  // namespace vlm
