#pragma once
// What the copy pass does with an old copy it is about to overwrite while kept versions are on.

#include "engine/pass_context.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace vlm {

// The old copy of a file about to be overwritten, moved into the run's version folder for as long
// as the new copy is not in place; moved back when it never comes (a failure, a stop).
class KeptAside {
public:
    KeptAside(PassContext& ctx, const DrivePath& copy) : ctx_(ctx), d_(copy) {
        if (ctx.versions == nullptr)
            return;
        place_ = ctx.versions->PlaceOf(copy);
        ready_ = ctx.versions->Keep(copy);
        if (!ready_) {
            const std::string& refusal = ctx.versions->Refusal();
            GoPastFailure(ctx, {refusal.empty() ? "ERROR: " + copy.Text() +
                                                      " could not be kept as version, not "
                                                      "overwritten!"
                                                : refusal});
        }
    }
    ~KeptAside() {
        if (ctx_.versions == nullptr || !ready_ || done_ || RenameReplacing(place_, d_))
            return;
        // The old copy is safe among the versions, but the mirror lacks it: the run cannot end
        // "OK". Reporting must not throw out of a destructor.
        try {
            GoPastFailure(ctx_, {"ERROR: " + d_.Text() + " could not be put back from " +
                                 place_.Text() + "!"});
        } catch (...) {
        }
    }
    bool Ready() const { return ctx_.versions == nullptr || ready_; }
    void Done() { done_ = true; }

private:
    PassContext& ctx_;
    DrivePath d_;
    DrivePath place_;
    bool ready_ = false;
    bool done_ = false;
};

}  // namespace vlm
