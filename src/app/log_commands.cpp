#include "app/log_commands.h"

#include <optional>
#include <string>
#include <vector>

#include "app/app_text.h"
#include "core/run_history.h"
#include "engine/run_log.h"
#include "platform/file_system.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr std::string_view kStartTimeMark = "Start time";

// The index of the last line holding the header of a run, or nullopt when none does.
std::optional<std::size_t> LastStartTimeLine(const std::vector<std::string_view>& lines) {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(kStartTimeMark) != std::string_view::npos)
            found = i;
    }
    return found;
}

// The log from the start of its last run on; nullopt, after its box, when the log cannot be
// read or holds no run.
std::optional<std::string> LastRunOfLog(const std::string& logPath) {
    const FileResult<std::string> log = ReadWholeFile(DrivePath(logPath));
    if (!log) {
        ShowErrorBox(FileErrorText("open", logPath, log.Error()));
        return std::nullopt;
    }
    const std::vector<std::string_view> lines = SplitLines(*log);
    const std::optional<std::size_t> first = LastStartTimeLine(lines);
    if (!first) {
        ShowErrorBox("Error: invalid log file! Exit...");
        return std::nullopt;
    }
    std::string cropped;
    for (std::size_t i = *first; i < lines.size(); ++i) {
        cropped.append(lines[i]);
        cropped += "\r\n";
    }
    return cropped;
}

}  // namespace

void EmptyLog(std::string_view logLocation) {
    const std::string logPath = RunLog::LogFilePathFor(logLocation);
    HostFile file;
    FileStatus emptied = file.Open(DrivePath(logPath), HostFile::Mode::Truncate);
    if (emptied)
        emptied = file.Close();
    if (!emptied) {
        ShowErrorBox(FileErrorText("create", logPath, emptied.Error()));
        return;
    }
    ShowPlain("Log file emptied");
}

void CropLog(std::string_view logLocation) {
    const std::string logPath = RunLog::LogFilePathFor(logLocation);
    if (!FileExists(DrivePath(logPath))) {
        ShowPlain("There is no log-file yet.");
        return;
    }
    const std::optional<std::string> cropped = LastRunOfLog(logPath);
    if (!cropped)
        return;
    const std::string tempPath = FileInFolder(logLocation, kCropTemporaryName);
    if (const FileStatus written = WriteFileAtomically(DrivePath(tempPath), *cropped); !written) {
        ShowErrorBox(FileErrorText("create", tempPath, written.Error()));
        return;
    }
    try {
        CopyFileKeepAge(DrivePath(tempPath), DrivePath(logPath));
    } catch (const CopyError& error) {
        // The log is as it was; the cropped copy is of no further use.
        if (!error.Notice().empty())
            ShowErrorBox(error.Notice());
        ShowErrorBox(error.what());
        DeleteFile(DrivePath(tempPath));
        return;
    }
    if (!DeleteFile(DrivePath(tempPath)))
        ShowPlain("was unable to delete temporary file " + tempPath + " Please do it manually");
}

RunHistoryMaxOutcome ParseRunHistoryMax(std::string_view text) {
    const std::optional<std::int32_t> number = ParseIntegerAnswer(text);
    if (!number)
        return {std::nullopt, "Must be a valid number...\nPlease try again."};
    if (*number < 0)
        return {std::nullopt, "Must be a positive number...\nPlease try again."};
    return {static_cast<std::uint32_t>(*number), {}};
}

void RunHistoryMaxCommand(std::uint32_t& max, RunHistory& history) {
    const std::string current = std::to_string(max);
    // Cancel keeps the text the box was opened with, which sets the maximum it already has.
    const std::string answer =
        CurrentDialogs().Input("Run history", "Give maximum items:", current).value_or(current);
    const RunHistoryMaxOutcome outcome = ParseRunHistoryMax(answer);
    if (outcome.value)
        max = *outcome.value;
    else
        ShowErrorBox(outcome.error);
    history.TrimTo(max);
}

}  // namespace vlm
