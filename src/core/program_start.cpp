#include "core/program_start.h"

#include "platform/drive_table.h"
#include "platform/path_translation.h"
#include "platform/program_folder.h"

namespace vlm {

std::optional<HostPath> OpenProgramFolder(std::string_view chosenArgument, std::string& error,
                                          bool remember) {
    std::optional<HostPath> folder;
    if (!chosenArgument.empty()) {
        folder = ChosenProgramFolder(chosenArgument, error);
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
