#include "engine/run_progress.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "engine/copy_pass.h"
#include "engine/destination_media.h"
#include "engine/pass_context.h"
#include "engine/run_log.h"
#include "engine/run_state.h"
#include "util/dialogs.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// The count's pump: between entries it sees whether the run wants it to stop.
class CountPump final : public EventPump {
public:
    CountPump(const std::atomic<bool>& stop, RunState& run) : stop_(stop), run_(run) {}
    void ProcessPendingEvents() override {
        if (stop_.load(std::memory_order_relaxed))
            run_.StopRequested = true;
    }

private:
    const std::atomic<bool>& stop_;
    RunState& run_;
};

double Seconds(ProgressMeter::Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

std::string ProgressLine(const ProgressSnapshot& p) {
    const auto number = [](std::uint64_t n) {
        return GroupThousands(static_cast<std::int64_t>(n));
    };
    std::string line;
    if (p.totalsKnown) {
        line = number(p.filesDone) + " of " + number(p.filesTotal) + " files, " +
               SizeText(p.bytesDone) + " of " + SizeText(p.bytesTotal) + " copied";
    } else {
        line = number(p.filesDone) + " files, " + SizeText(p.bytesDone) + " copied" +
               (p.finished ? "" : " (counting what there is to copy...)");
    }
    if (p.bytesPerSecond > 0)
        line += " \u00b7 " + SizeText(static_cast<std::uint64_t>(p.bytesPerSecond)) + "/s";
    // Under a second the estimate says nothing more than "about 1 s".
    if (p.secondsLeft >= 0 && !p.finished)
        line += " \u00b7 about " + TimeSpanText(std::max(p.secondsLeft, 1.0)) + " left";
    return line;
}

ProgressMeter::ProgressMeter(RunView& view, EventPump& pump, const RunState& run,
                             std::chrono::milliseconds interval)
    : view_(view),
      pump_(pump),
      run_(run),
      interval_(interval),
      started_(Clock::now()),
      lastShown_(started_) {}

ProgressMeter::~ProgressMeter() {
    StopCount();
}

void ProgressMeter::StartCount(std::vector<std::string> sources,
                               std::vector<std::string> destinations, bool longNames,
                               ExclusionList exclusions) {
    StopCount();
    counted_ = false;
    stopCount_ = false;
    counter_ =
        std::thread([this, sources = std::move(sources), destinations = std::move(destinations),
                     longNames, exclusions = std::move(exclusions)] {
            // The copy pass reports to a count, with a state, a log and dialogs of its own:
            // nothing it does reaches the run, the window or the person.
            SilentDialogs silent;
            const ThreadDialogs own(silent);
            RunState state;
            state.LongNamesOn = longNames;
            HandOverState handOver;
            RunLog quiet(nullptr, state, handOver, std::string());
            CountPump pump(stopCount_, state);
            PassContext ctx{state, quiet, pump};
            ctx.sink = PassSink::Count();
            ctx.exclusions = &exclusions;
            for (std::size_t j = 0; j < sources.size() && j < destinations.size(); ++j) {
                if (state.StopRequested)
                    return;
                const std::optional<DrivePath> source = DrivePath::Parse(sources[j]);
                const std::optional<DrivePath> destination = DrivePath::Parse(destinations[j]);
                // A destination that is no drive path ends the run at its item: nothing to count.
                if (!source || !destination || ItemKind(*source) == 'n')
                    continue;
                // What the run skips (a file larger than the medium holds) is no part of it.
                ctx.medium = MediumAhead(*destination);
                copyltor(ctx, *source, *destination);
            }
            if (state.StopRequested)
                return;
            countedFiles_ = ctx.sink.Counted().copyFiles;
            countedBytes_ = ctx.sink.Counted().copyBytes;
            counted_.store(true, std::memory_order_release);
        });
}

void ProgressMeter::StopCount() {
    stopCount_ = true;
    if (counter_.joinable())
        counter_.join();
}

ProgressMeter::FileScope::FileScope(ProgressMeter& meter, const DrivePath& source,
                                    std::uint64_t size)
    : meter_(meter) {
    meter_.currentFile_ = source.Text();
    meter_.currentSize_ = size;
    meter_.currentBytes_ = 0;
    meter_.fileStarted_ = Clock::now();
    meter_.Show(false);
}

ProgressMeter::FileScope::~FileScope() {
    // A file that failed or was stopped is not counted as copied: the figures say what the
    // backup holds.
    if (copied_) {
        ++meter_.filesDone_;
        meter_.bytesDone_ += std::max(meter_.currentSize_, meter_.currentBytes_);
    }
    meter_.copyTime_ += Clock::now() - meter_.fileStarted_;
    meter_.currentFile_.clear();
    meter_.currentSize_ = 0;
    meter_.currentBytes_ = 0;
    meter_.Show(false);
}

bool ProgressMeter::Copied(std::uint64_t bytesSoFar) {
    currentBytes_ = bytesSoFar;
    Show(false);
    // A large file takes long: the window stays alive, and a stop is seen within the file.
    pump_.ProcessPendingEvents();
    return !run_.StopRequested;
}

void ProgressMeter::Tick() {
    Show(false);
}

void ProgressMeter::Finish() {
    StopCount();
    finished_ = true;
    Show(true);
}

ProgressSnapshot ProgressMeter::Snapshot() const {
    ProgressSnapshot p;
    const Clock::time_point now = Clock::now();
    p.filesDone = filesDone_;
    p.bytesDone = bytesDone_ + currentBytes_;
    p.currentFile = currentFile_;
    p.finished = finished_;
    if (counted_.load(std::memory_order_acquire)) {
        p.totalsKnown = true;
        // A file changed after the count looked at it can make the run copy more than was
        // counted: the totals never fall below what is done.
        p.filesTotal = std::max(countedFiles_, p.filesDone);
        p.bytesTotal = std::max(countedBytes_, p.bytesDone);
    } else if (finished_ && !run_.StopRequested) {
        // A run that got through everything before its count did copied what there was.
        p.totalsKnown = true;
        p.filesTotal = p.filesDone;
        p.bytesTotal = p.bytesDone;
    }
    Clock::duration copying = copyTime_;
    if (!currentFile_.empty())
        copying += now - fileStarted_;
    if (Seconds(copying) > 0.2)
        p.bytesPerSecond = static_cast<double>(p.bytesDone) / Seconds(copying);
    // The time left follows the whole run's pace so far, comparing included.
    const double elapsed = Seconds(now - started_);
    if (p.totalsKnown && !finished_ && elapsed >= 1.0 && p.bytesDone > 0)
        p.secondsLeft = elapsed * static_cast<double>(p.bytesTotal - p.bytesDone) /
                        static_cast<double>(p.bytesDone);
    return p;
}

void ProgressMeter::Show(bool now) {
    const Clock::time_point at = Clock::now();
    const bool totalsArrived = !totalsShown_ && counted_.load(std::memory_order_acquire);
    if (!now && !totalsArrived && at - lastShown_ < interval_)
        return;
    lastShown_ = at;
    totalsShown_ = totalsShown_ || totalsArrived;
    view_.ShowProgress(Snapshot());
}

}  // namespace vlm
