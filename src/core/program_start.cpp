#include "core/program_start.h"

#include <filesystem>

#include "platform/drive_table.h"
#include "platform/path_translation.h"
#include "platform/program_folder.h"

namespace vlm {

namespace {

// The folder named on a command line, absolute and tidied; nullopt when it is no folder.
std::optional<HostPath> ChosenFolder(std::string_view chosenArgument, std::string& error) {
    const std::string folder =
        std::filesystem::absolute(chosenArgument).lexically_normal().string();
    std::error_code failure;
    std::optional<HostPath> path = HostPath::Parse(folder);
    if (!path || !std::filesystem::is_directory(folder, failure)) {
        error = "the program folder " + folder + " does not exist";
        return std::nullopt;
    }
    return path;
}

}  // namespace

std::optional<HostPath> OpenProgramFolder(std::string_view chosenArgument, std::string& error,
                                          bool remember) {
    std::optional<HostPath> folder;
    if (!chosenArgument.empty()) {
        folder = ChosenFolder(chosenArgument, error);
    } else {
        folder = ResolveProgramFolder(&error);
        if (folder->empty())
            folder.reset();
    }
    if (!folder)
        return std::nullopt;
    SetActiveDriveTable(DriveTable::Load(*folder, remember));
    return folder;
}

std::optional<ProgramStart> ProgramStartIn(const HostPath& folderHost) {
    const std::optional<DrivePath> folder = ToDrivePath(folderHost);
    if (!folder)
        return std::nullopt;
    return ProgramStart{folderHost, *folder, SettingsFilePath(*folder / "velmora")};
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
