#include "engine/refused_start.h"

#include <vector>

#include "core/run_reports.h"
#include "platform/drive_table.h"
#include "platform/locale_text.h"
#include "platform/packed_time.h"
#include "platform/paths.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr std::string_view kLabelledPrefix = "the volume labelled ";

}  // namespace

std::string NotConnectedReason(const std::string& letter) {
    const std::string drive = LowerAscii(letter.substr(0, 1));
    std::string label;
    if (!drive.empty()) {
        const std::string awaited = ActiveDriveTable().AwaitedVolume(drive[0]);
        if (awaited.rfind(kLabelledPrefix, 0) == 0)
            label = " (" + awaited.substr(kLabelledPrefix.size()) + ")";
    }
    return "drive " + drive + ":" + label + " is not connected.";
}

std::string RefusedStartNotice(const std::string& projectPath, const StartRefusal& refusal) {
    std::string name(DrivePath(projectPath).Name());
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    if (name.empty())
        name = projectPath;
    return "Backup " + name + " did not run: " + refusal.reason;
}

std::string RecordRefusedStart(RunHistory& history, const AppSettings& settings,
                               const std::string& projectPath, const std::string& howStarted,
                               const StartRefusal& refusal) {
    const DrivePath historyPath = settings.RunHistoryPath();
    const std::string started = DateTimeText(NowLocal());
    std::string error = history.StartHistoryEntry(historyPath, projectPath, started, howStarted,
                                                  settings.RunHistoryMax);
    if (!error.empty())
        return error;
    const ElapsedText none = FormatElapsed(0);
    error = history.EndHistoryEntry(historyPath,
                                    none.hours + ":" + none.minutes + ":" + none.seconds, "Error");
    std::vector<std::string> lines = {"Start time: " + started};
    if (howStarted == "Timer")
        lines.push_back("Run executed by timer!");
    lines.push_back("Project: " + projectPath);
    lines.push_back(refusal.line);
    lines.push_back("The run did not start: " + refusal.reason);
    lines.push_back("Result: Error");
    KeepRunReport(RunReportPath(historyPath, projectPath, started, howStarted), lines);
    PruneRunReports(historyPath, history.Rows());
    return error;
}

}  // namespace vlm
