#include "engine/own_files.h"

#include "core/run_reports.h"
#include "engine/run_log.h"
#include "platform/atomic_file_writer.h"
#include "platform/drive_table.h"
#include "platform/path_translation.h"
#include "platform/system_schedule.h"

namespace vlm {

namespace {

bool EndsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The name of the file a lock or mark file stands beside ("runoverview.his.lock"), or the name
// itself.
std::string_view CompanionOf(std::string_view name) {
    for (std::string_view suffix : {std::string_view(".lock"), std::string_view(".running")})
        if (EndsWith(name, suffix))
            return name.substr(0, name.size() - suffix.size());
    return name;
}

std::string_view NameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::optional<HostPath> HostOf(const DrivePath& folder) {
    if (folder.empty())
        return std::nullopt;
    return ToHostPath(folder);
}

}  // namespace

ProgramOwnFiles::ProgramOwnFiles(const AppSettings& settings)
    : settingsName_(SettingsFilePath(settings.ProgramFolder / "velmora").Name()),
      programFolder_(HostOf(settings.ProgramFolder)),
      logFolder_(HostOf(DrivePath(RunLog::LogFilePathFor(settings.LogLocation)).Parent())),
      reportsFolder_(HostOf(RunReportsFolder(settings.RunHistoryPath()))),
      reportsFolderTail_(reportsFolder_ ? "\\" + std::string(reportsFolder_->Name()) + "\\"
                                        : std::string()) {}

bool ProgramOwnFiles::Holds(std::string_view path) const {
    const std::string_view name = NameOf(path);
    const std::string_view base = CompanionOf(name);
    const bool temporary = IsTemporaryFileName(name);
    const bool programName = temporary || base == kDrivesIniName || EndsWith(base, ".his") ||
                             base == settingsName_ || base == kDriveSourcesFile ||
                             base == kMountFoldersFile || base == kConnectRunsFile ||
                             base == kConnectSchedulesFile;
    const bool logName =
        temporary || base == RunLog::kLogFileName || base == RunLog::kCropTemporaryName;
    // A kept report is a ".txt" in the folder the reports are kept in: the folder's name is
    // looked at first, so that a tree of text files costs no translation of each one's folder.
    const std::string_view folderPath = path.substr(0, path.size() - name.size());
    const bool reportName =
        reportsFolder_ && EndsWith(base, ".txt") && EndsWith(folderPath, reportsFolderTail_);
    if (!programName && !logName && !reportName)
        return false;
    // Known by the host folder they are in: the same folder may be reached through two letters.
    const std::optional<HostPath> folder = ToHostPath(DrivePath(std::string(path)).Parent());
    if (!folder)
        return false;
    return (programName && programFolder_ && *folder == *programFolder_) ||
           (logName && logFolder_ && *folder == *logFolder_) ||
           (reportName && reportsFolder_ && *folder == *reportsFolder_);
}

}  // namespace vlm
