#include "core/app_settings.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <optional>

#include "platform/file_system.h"
#include "platform/profile_file.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr std::string_view kRunHistoryFileName = "runoverview.his";

// An integer as the settings file holds it: decimal with an optional sign, or "0x"/"0X" and up
// to eight hexadecimal digits (which fill the 32 bits, so 0xFFFFFFFF is -1). Anything else,
// including an empty text and a decimal outside the 32-bit range, is no integer.
std::optional<std::int32_t> ParseInteger(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const std::string_view digits = text.substr(2);
        if (digits.size() > 8)
            return std::nullopt;
        std::uint32_t value = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (error != std::errc() || end != digits.data() + digits.size())
            return std::nullopt;
        return static_cast<std::int32_t>(value);
    }
    return ParseDecimalInt32(text);
}

// Where each setting is kept: its section and key, the one name that reading and writing use.
struct Key {
    std::string_view section, name;
};
constexpr Key kAllowedDrive{"Destination", "Allowed drive"};
constexpr Key kBackupLocation{"Destination", "Backup location"};
constexpr Key kProjectsLocation{"Projects", "Location"};
constexpr Key kLogLocation{"Log", "Location"};
constexpr Key kRunHistoryMax{"Log", "Run history max items"};
constexpr Key kTimerProject{"Timer", "Timer-vlm"};
constexpr Key kTimerHour{"Timer", "Hour"};
constexpr Key kTimerMinute{"Timer", "Minutes"};
constexpr Key kTimerPanelX{"Timer", "X"};
constexpr Key kTimerPanelY{"Timer", "Y"};
constexpr Key kTimerShow{"Timer", "Show"};
constexpr Key kShowSyncOption{"Project editor", "Show sync option"};
constexpr Key kShowDirSizes{"Project editor", "Show dir sizes"};
constexpr Key kTimerActivate{"Timer", "Activate"};
constexpr Key kBackgroundPicture{"Environment", "Picture big background"};
constexpr Key kLaunchRun{"Timer", "Launch run"};
constexpr Key kMassDeleteGuard{"Safety", "Mass deletion guard"};
constexpr Key kMassDeletePercent{"Safety", "Mass deletion percentage"};
constexpr Key kMassDeleteLeastFiles{"Safety", "Mass deletion least files"};

class SettingsReader {
public:
    explicit SettingsReader(const DrivePath& path) : file_(ProfileFile::Load(path)) {}

    std::string String(const Key& key, std::string fallback) {
        return file_.Get(key.section, key.name).value_or(std::move(fallback));
    }
    std::optional<std::int32_t> Integer(const Key& key) {
        const auto text = file_.Get(key.section, key.name);
        return text ? ParseInteger(*text) : std::nullopt;
    }
    // A location that reads empty (or is absent) is the program's folder.
    std::string Location(const Key& key, const DrivePath& programFolder) {
        std::string value = String(key, "");
        return value.empty() ? programFolder.Text() : value;
    }
    // The low 16 bits, unsigned: 65536 + 5 reads as 5, -1 as 65535.
    std::uint16_t Word(const Key& key, std::uint16_t fallback) {
        const auto value = Integer(key);
        return value ? static_cast<std::uint16_t>(static_cast<std::uint32_t>(*value) & 0xFFFFu)
                     : fallback;
    }
    bool Bool(const Key& key, bool fallback) {
        const auto value = Integer(key);
        return value ? *value != 0 : fallback;
    }

private:
    ProfileFile file_;
};

std::string Decimal(std::uint32_t value) {
    return std::to_string(value);
}
std::string BoolText(bool value) {
    return value ? "1" : "0";
}
void Set(ProfileFile& file, const Key& key, const std::string& value) {
    file.Set(key.section, key.name, value);
}

}  // namespace

DrivePath AppSettings::RunHistoryPath() const {
    return ProgramFolder / kRunHistoryFileName;
}

DrivePath SettingsFilePath(const DrivePath& programFilePath) {
    const std::string_view name = programFilePath.Name();
    const std::string stem(name.substr(0, name.rfind('.')));
    return programFilePath.Parent() / (stem + ".ini");
}

AppSettings LoadSettings(const DrivePath& settingsPath, const DrivePath& programFolder) {
    SettingsReader file(settingsPath);
    AppSettings s;
    s.ProgramFolder = programFolder;
    s.AllowedDrive = file.String(kAllowedDrive, s.AllowedDrive);
    s.ProjectsLocation = file.Location(kProjectsLocation, programFolder);
    s.BackupLocation = file.Location(kBackupLocation, programFolder);
    s.LogLocation = file.Location(kLogLocation, programFolder);
    s.BackgroundPicture = file.String(kBackgroundPicture, "");
    s.TimerProject = file.String(kTimerProject, "");
    s.TimerHour = file.Word(kTimerHour, s.TimerHour);
    s.TimerMinute = file.Word(kTimerMinute, s.TimerMinute);
    s.TimerActivate = file.Bool(kTimerActivate, s.TimerActivate);
    s.TimerShow = file.Bool(kTimerShow, s.TimerShow);
    s.TimerPanelX = file.Word(kTimerPanelX, s.TimerPanelX);
    s.TimerPanelY = file.Word(kTimerPanelY, s.TimerPanelY);
    s.LaunchRun = file.Bool(kLaunchRun, s.LaunchRun);
    s.ShowSyncOption = file.Bool(kShowSyncOption, s.ShowSyncOption);
    s.ShowDirSizes = file.Bool(kShowDirSizes, s.ShowDirSizes);
    s.MassDeleteGuard = file.Bool(kMassDeleteGuard, s.MassDeleteGuard);
    // A share is a percentage; a value outside 0 to 100, or a count below zero, is no setting.
    const auto percent = file.Integer(kMassDeletePercent);
    if (percent && *percent >= 0 && *percent <= 100)
        s.MassDeletePercent = static_cast<std::uint32_t>(*percent);
    const auto leastFiles = file.Integer(kMassDeleteLeastFiles);
    if (leastFiles && *leastFiles >= 0)
        s.MassDeleteLeastFiles = static_cast<std::uint32_t>(*leastFiles);
    // The maximum is unsigned 32 bits: a value written below zero reads as its unsigned twin
    // ("-1" is 4294967295, no limit in practice), never as the default, which would cut a long
    // history to 256 rows at the next start.
    const auto historyMax = file.Integer(kRunHistoryMax);
    if (historyMax)
        s.RunHistoryMax = static_cast<std::uint32_t>(*historyMax);
    return s;
}

SaveResult SaveSettings(const AppSettings& s, const DrivePath& settingsPath) {
    // Start from the file as it is, so sections and keys this program does not know survive.
    // A file that is there but cannot be read is not replaced: that would lose them.
    ProfileFile file;
    if (FileExists(settingsPath)) {
        const std::optional<std::string> text = ReadWholeFile(settingsPath);
        if (!text)
            return {false, "Unable to write to " + settingsPath.Text()};
        file = ProfileFile::Parse(*text);
    }
    Set(file, kAllowedDrive, s.AllowedDrive);
    Set(file, kBackupLocation, s.BackupLocation);
    Set(file, kProjectsLocation, s.ProjectsLocation);
    Set(file, kLogLocation, s.LogLocation);
    Set(file, kRunHistoryMax, Decimal(s.RunHistoryMax));
    Set(file, kTimerProject, s.TimerProject);
    Set(file, kTimerHour, Decimal(s.TimerHour));
    Set(file, kTimerMinute, Decimal(s.TimerMinute));
    Set(file, kTimerPanelX, Decimal(s.TimerPanelX));
    Set(file, kTimerPanelY, Decimal(s.TimerPanelY));
    Set(file, kTimerShow, BoolText(s.TimerShow));
    Set(file, kShowSyncOption, BoolText(s.ShowSyncOption));
    Set(file, kShowDirSizes, BoolText(s.ShowDirSizes));
    Set(file, kTimerActivate, BoolText(s.TimerActivate));
    Set(file, kBackgroundPicture, s.BackgroundPicture);
    Set(file, kLaunchRun, BoolText(s.LaunchRun));
    Set(file, kMassDeleteGuard, BoolText(s.MassDeleteGuard));
    Set(file, kMassDeletePercent, Decimal(s.MassDeletePercent));
    Set(file, kMassDeleteLeastFiles, Decimal(s.MassDeleteLeastFiles));
    // The whole file is replaced in one step: a failure leaves the previous settings whole.
    if (!file.Save(settingsPath))
        return {false, "Unable to write to " + settingsPath.Text()};
    return {};
}

}  // namespace vlm
