#pragma once
// What the copy and removal passes report to. A pass decides what its walk meets and what a run
// would do about it; the sink decides what becomes of that:
//   apply - the run itself: the destination is changed, each change said and counted;
//   plan  - a dry run: nothing is touched, nothing asked; each step the run would take is said,
//           counted in the run's totals and kept in a RunPlan, each question it would ask named;
//   count - a count beside a run (the free-space estimate on write-once media, the progress
//           meter's totals, the removal guard's count): nothing is touched or asked, no failure
//           is the run's (the run meets it again), and what a run would copy and remove is
//           added up here. Its lines are background detail at most.

#include <cstdint>
#include <string>

#include "engine/run_plan.h"
#include "platform/paths.h"

namespace vlm {

enum class SinkKind { Apply, Plan, Count };

// What a count found that a run would do.
struct CountedWork {
    std::uint64_t copyFiles = 0;  // files the run would copy, new or replaced
    std::uint64_t copyBytes = 0;
    // Every byte the copies would write, read-only copies the run would stop at included: what
    // a write-once medium would lose.
    std::uint64_t writeBytes = 0;
    // The backed-up files the removals would take, and their bytes.
    std::uint64_t removeFiles = 0;
    std::uint64_t removeBytes = 0;
};

class PassSink {
public:
    static PassSink Apply() { return PassSink(SinkKind::Apply, nullptr, false); }
    // `plan` may be null (nothing is kept); `asksFirst`: the project asks before overwriting or
    // deleting, so the plan names each such question.
    static PassSink Plan(RunPlan* plan, bool asksFirst) {
        return PassSink(SinkKind::Plan, plan, asksFirst);
    }
    static PassSink Count() { return PassSink(SinkKind::Count, nullptr, false); }

    SinkKind Kind() const { return kind_; }
    // Only a run's own passes change the destination or ask the person.
    bool Touches() const { return kind_ == SinkKind::Apply; }
    bool Plans() const { return kind_ == SinkKind::Plan; }
    bool Counts() const { return kind_ == SinkKind::Count; }
    bool NamesConfirmations() const { return asksFirst_; }

    // A plan's next item: the steps after it are kept under it.
    void BeginItem(const DrivePath& source, const DrivePath& destination);
    // A step the run would take: kept under a plan's last item, added up by a count. `shown` is
    // the step as the plan shows it: a file's or folder's destination path.
    void Keep(PlannedStepKind kind, const std::string& shown, std::uint64_t bytes,
              std::uint64_t files);
    // A question the run would ask, or a place where it would stop (`stops`).
    void KeepQuestion(const std::string& text, bool stops);
    // A failure the run would meet and go past.
    void KeepFailure(const std::string& line);
    // Bytes a copy would write, whether or not the run would copy it (a count adds them up).
    void AddWritten(std::uint64_t bytes) {
        if (kind_ == SinkKind::Count)
            counted_.writeBytes += bytes;
    }

    RunPlan* PlanKept() const { return plan_; }
    PlannedItem* LastItem() const;
    const CountedWork& Counted() const { return counted_; }

private:
    PassSink(SinkKind kind, RunPlan* plan, bool asksFirst)
        : kind_(kind), plan_(plan), asksFirst_(asksFirst) {}

    SinkKind kind_;
    RunPlan* plan_;
    bool asksFirst_;
    CountedWork counted_;
};

}  // namespace vlm
