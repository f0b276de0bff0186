#include "core/program_start.h"

#include <filesystem>

#include "platform/drive_table.h"
#include "platform/path_translation.h"
#include "platform/program_folder.h"

namespace vlm {

namespace {

// The folder named on a command line, absolute; nullopt when it is no folder.
std::optional<std::string> ChosenFolder(const std::string& chosenHost, std::string& error) {
    const std::string folder = std::filesystem::absolute(chosenHost).lexically_normal().string();
    std::error_code failure;
    if (!std::filesystem::is_directory(folder, failure)) {
        error = "the program folder " + folder + " does not exist";
        return std::nullopt;
    }
    return folder;
}

}  // namespace

std::optional<std::string> OpenProgramFolder(const std::string& chosenHost, std::string& error) {
    std::optional<std::string> folder;
    if (!chosenHost.empty()) {
        folder = ChosenFolder(chosenHost, error);
    } else {
        folder = ResolveProgramFolder(&error).Text();
        if (folder->empty())
            folder.reset();
    }
    if (!folder)
        return std::nullopt;
    while (folder->size() > 1 && folder->back() == '/')
        folder->pop_back();
    SetActiveDriveTable(DriveTable::Load(HostPath(*folder)));
    return folder;
}

std::optional<ProgramStart> ProgramStartIn(const std::string& folderHost) {
    std::optional<std::string> folder = ToDrivePath(folderHost);
    if (!folder)
        return std::nullopt;
    // A drive root keeps its backslash; any other folder is named without one.
    if (folder->size() > 3 && folder->back() == '\\')
        folder->pop_back();
    const std::string programFile = *folder + (folder->back() == '\\' ? "" : "\\") + "velmora";
    return ProgramStart{folderHost, *folder, SettingsFilePath(programFile)};
}

AppSettings LoadProgramSettings(const ProgramStart& start) {
    AppSettings settings = LoadSettings(start.settingsPath, start.folder);
    settings.ProgramFolder = start.folder;
    return settings;
}

std::string LoadRunHistory(const AppSettings& settings, RunHistory& history) {
    return history.StartupLoad(settings.RunHistoryPath(), settings.RunHistoryMax);
}

}  // namespace vlm
