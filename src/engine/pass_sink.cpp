#include "engine/pass_sink.h"

namespace vlm {

void PassSink::BeginItem(const DrivePath& source, const DrivePath& destination) {
    if (plan_ != nullptr)
        plan_->items.push_back(PlannedItem{source.Text(), destination.Text(), {}});
}

PlannedItem* PassSink::LastItem() const {
    return plan_ == nullptr || plan_->items.empty() ? nullptr : &plan_->items.back();
}

void PassSink::Keep(PlannedStepKind kind, const std::string& shown, std::uint64_t bytes,
                    std::uint64_t files) {
    if (kind_ == SinkKind::Count) {
        if (kind == PlannedStepKind::NewFile || kind == PlannedStepKind::ChangedFile) {
            ++counted_.copyFiles;
            counted_.copyBytes += bytes;
        } else if (kind != PlannedStepKind::Question && files > 0) {
            // Only backed-up files are at stake in a removal.
            counted_.removeFiles += files;
            counted_.removeBytes += bytes;
        }
        return;
    }
    if (PlannedItem* item = LastItem())
        item->steps.push_back(PlannedStep{kind, shown, bytes, files});
}

void PassSink::KeepQuestion(const std::string& text, bool stops) {
    if (PlannedItem* item = LastItem())
        item->steps.push_back(PlannedStep{PlannedStepKind::Question, text});
    if (stops && plan_ != nullptr)
        plan_->wouldStop = true;
}

void PassSink::KeepFailure(const std::string& line) {
    if (PlannedItem* item = LastItem())
        item->failures.push_back(line);
}

}  // namespace vlm
