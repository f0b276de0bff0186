#pragma once
// A run that could not begin, as it is told when nobody watched it start (a scheduled run): a
// history row that ends "Error", a kept report that names the reason, and one line for the
// desktop notice.

#include <string>

#include "core/app_settings.h"
#include "core/run_history.h"

namespace vlm {

// The reason a run did not begin, in the words of its box or line (`line`) and as the end of
// the notice's sentence (`reason`: "drive e: (BACKUP) is not connected.").
struct StartRefusal {
    std::string line;
    std::string reason;
    bool empty() const { return line.empty(); }
};

// "drive e: is not connected." (with the label the drive is pinned to, when it is pinned so)
std::string NotConnectedReason(const std::string& letter);

// "Backup Home did not run: <reason>" for the project at `projectPath` (Home.vlm).
std::string RefusedStartNotice(const std::string& projectPath, const StartRefusal& refusal);

// Adds the history row ("Error") of a run of `projectPath` started as `howStarted` that did not
// begin, and keeps its report: the start, the project and the reason. The history's error text
// when the row could not be saved, else empty.
std::string RecordRefusedStart(RunHistory& history, const AppSettings& settings,
                               const std::string& projectPath, const std::string& howStarted,
                               const StartRefusal& refusal);

}  // namespace vlm
