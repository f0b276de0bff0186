#pragma once
// Each run's report, kept beside the run history so that a row of the overview can show it:
//
//     <program folder>\Reports\<when started> <how started> <8 hex digits>.txt
//
// one file per history row, named after what identifies the row (the hex digits stand for its
// project path). A report lives as long as its row: when rows go (the oldest beyond the
// maximum, a cleared list), their reports go with them.

#include <optional>
#include <string>
#include <vector>

#include "core/run_history.h"
#include "platform/paths.h"

namespace vlm {

// The folder of the reports that belong to the history file `historyPath`.
DrivePath RunReportsFolder(const DrivePath& historyPath);
// The report of the row that starts with `caption`, `started` and `howStarted`.
DrivePath RunReportPath(const DrivePath& historyPath, const std::string& caption,
                        const std::string& started, const std::string& howStarted);
// The report of `row` (its first two sub-items are when and how it started).
DrivePath RunReportPath(const DrivePath& historyPath, const HistoryRow& row);

// Writes the report of a row, whole; false when it could not be written.
bool KeepRunReport(const DrivePath& reportPath, const std::vector<std::string>& lines);
// The kept report of `row`; nullopt when none is kept.
std::optional<std::string> ReadRunReport(const DrivePath& historyPath, const HistoryRow& row);
// Removes the reports of rows no longer in `rows`.
void PruneRunReports(const DrivePath& historyPath, const std::vector<HistoryRow>& rows);

}  // namespace vlm
