#pragma once
// What a dry run found that a run would do, item by item: the files it would copy (new or
// changed) and remove, the folders it would remove, and the questions it would ask. The
// window's preview shows it; the lines of a dry run say the same.

#include <cstdint>
#include <string>
#include <vector>

namespace vlm {

enum class PlannedStepKind {
    NewFile,
    ChangedFile,
    RemoveFile,
    RemoveFolder,
    Question,  // the run would ask this, or stop here
};

struct PlannedStep {
    PlannedStepKind kind;
    std::string path;        // the destination path; the question's text for a Question
    // Bytes to copy, or bytes that would go with a removal (of a folder: of its backed-up
    // files).
    std::uint64_t bytes = 0;
    // The backed-up files that would go with a removal: 1 for a plain file, those a folder
    // holds; never a link, special file, program temporary or what lies in `lost+found`.
    std::uint64_t files = 0;
};

struct PlannedItem {
    std::string source;
    std::string destination;
    std::vector<PlannedStep> steps;
    // The lines of the failures the run would meet and go past (files it would not copy or
    // remove, folders it could not read, entries it would leave out).
    std::vector<std::string> failures = {};
};

// How many steps of one kind, and their bytes.
struct PlannedCount {
    std::uint64_t steps = 0;
    std::uint64_t bytes = 0;
};

struct RunPlan {
    std::vector<PlannedItem> items;
    // The dry run was stopped, or could not look at everything: the plan may be short.
    bool incomplete = false;
    // The run would stop at a failure on its way (a read-only copy to replace).
    bool wouldStop = false;
    // How the run would end: its result, and the errors and skipped entries of its summary.
    std::string result;
    std::uint64_t errors = 0;
    std::uint64_t skipped = 0;
    std::uint64_t excluded = 0;  // entries the project's exclusions leave out

    // The steps of `kind` of one item, or of all items when `item` is null.
    PlannedCount Count(PlannedStepKind kind, const PlannedItem* item = nullptr) const {
        PlannedCount count;
        const auto add = [&](const PlannedItem& of) {
            for (const PlannedStep& step : of.steps) {
                if (step.kind == kind) {
                    ++count.steps;
                    count.bytes += step.bytes;
                }
            }
        };
        if (item != nullptr)
            add(*item);
        else
            for (const PlannedItem& each : items)
                add(each);
        return count;
    }
};

}  // namespace vlm
