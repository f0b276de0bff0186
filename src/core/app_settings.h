#pragma once
// The program's settings: the in-memory record and its ini file.

#include <cstdint>
#include <string>

#include "platform/paths.h"

namespace vlm {

struct AppSettings {
    std::string AllowedDrive = "All";
    std::string BackupLocation;    // empty in the file → ProgramFolder
    std::string ProjectsLocation;  // empty in the file → ProgramFolder
    std::string LogLocation;       // empty in the file → ProgramFolder
    std::uint32_t RunHistoryMax = 256;
    std::string BackgroundPicture;
    std::string TimerProject;
    std::uint16_t TimerHour = 0;
    std::uint16_t TimerMinute = 0;
    bool TimerActivate = false;
    bool TimerShow = false;
    std::uint16_t TimerPanelX = 8;
    std::uint16_t TimerPanelY = 8;
    bool LaunchRun = false;
    bool ShowSyncOption = false;
    bool ShowDirSizes = false;
    // Ask before a run removes most of a folder item's backup: at least MassDeletePercent of
    // its files and at least MassDeleteLeastFiles of them, or every file it holds. That is what
    // an unplugged or new disk, another card or a wrong source looks like.
    bool MassDeleteGuard = true;
    std::uint32_t MassDeletePercent = 50;  // 0 to 100
    std::uint32_t MassDeleteLeastFiles = 20;

    // Derived, never stored: the program file's folder and the run history file in it.
    DrivePath ProgramFolder;
    DrivePath RunHistoryPath() const;
};

// The settings file of a program file: its path with the extension replaced by ".ini".
DrivePath SettingsFilePath(const DrivePath& programFilePath);

// Reads the file (missing file, section or key → defaults; no message); the three locations
// that read empty become `programFolder`.
AppSettings LoadSettings(const DrivePath& settingsPath, const DrivePath& programFolder);

// Writes every key in the save order, keeping what the file holds besides, and replaces the file
// in one step. On failure the old file is untouched and the result carries the message to show.
struct SaveResult {
    bool ok = true;
    std::string message;  // "Unable to write to " + path when !ok
};
SaveResult SaveSettings(const AppSettings& settings, const DrivePath& settingsPath);

}  // namespace vlm
