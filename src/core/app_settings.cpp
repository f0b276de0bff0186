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

class SettingsReader {
public:
    explicit SettingsReader(const DrivePath& path) : file_(ProfileFile::Load(path)) {}

    std::string String(std::string_view section, std::string_view key, std::string fallback) {
        return file_.Get(section, key).value_or(std::move(fallback));
    }
    std::optional<std::int32_t> Integer(std::string_view section, std::string_view key) {
        const auto text = file_.Get(section, key);
        return text ? ParseInteger(*text) : std::nullopt;
    }
    // A location that reads empty (or is absent) is the program's folder.
    std::string Location(std::string_view section, std::string_view key,
                         const DrivePath& programFolder) {
        std::string value = String(section, key, "");
        return value.empty() ? programFolder.Text() : value;
    }
    // The low 16 bits, unsigned: 65536 + 5 reads as 5, -1 as 65535.
    std::uint16_t Word(std::string_view section, std::string_view key, std::uint16_t fallback) {
        const auto value = Integer(section, key);
        return value ? static_cast<std::uint16_t>(static_cast<std::uint32_t>(*value) & 0xFFFFu)
                     : fallback;
    }
    bool Bool(std::string_view section, std::string_view key, bool fallback) {
        const auto value = Integer(section, key);
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
    s.AllowedDrive = file.String("Destination", "Allowed drive", s.AllowedDrive);
    s.ProjectsLocation = file.Location("Projects", "Location", programFolder);
    s.BackupLocation = file.Location("Destination", "Backup location", programFolder);
    s.LogLocation = file.Location("Log", "Location", programFolder);
    s.BackgroundPicture = file.String("Environment", "Picture big background", "");
    s.TimerProject = file.String("Timer", "Timer-vlm", "");
    s.TimerHour = file.Word("Timer", "Hour", s.TimerHour);
    s.TimerMinute = file.Word("Timer", "Minutes", s.TimerMinute);
    s.TimerActivate = file.Bool("Timer", "Activate", s.TimerActivate);
    s.TimerShow = file.Bool("Timer", "Show", s.TimerShow);
    s.TimerPanelX = file.Word("Timer", "X", s.TimerPanelX);
    s.TimerPanelY = file.Word("Timer", "Y", s.TimerPanelY);
    s.LaunchRun = file.Bool("Timer", "Launch run", s.LaunchRun);
    s.ShowSyncOption = file.Bool("Project editor", "Show sync option", s.ShowSyncOption);
    s.ShowDirSizes = file.Bool("Project editor", "Show dir sizes", s.ShowDirSizes);
    s.MassDeleteGuard = file.Bool("Safety", "Mass deletion guard", s.MassDeleteGuard);
    // A share is a percentage; a value outside 0 to 100, or a count below zero, is no setting.
    const auto percent = file.Integer("Safety", "Mass deletion percentage");
    if (percent && *percent >= 0 && *percent <= 100)
        s.MassDeletePercent = static_cast<std::uint32_t>(*percent);
    const auto leastFiles = file.Integer("Safety", "Mass deletion least files");
    if (leastFiles && *leastFiles >= 0)
        s.MassDeleteLeastFiles = static_cast<std::uint32_t>(*leastFiles);
    // The maximum is unsigned 32 bits: a value written below zero reads as its unsigned twin
    // ("-1" is 4294967295, no limit in practice), never as the default, which would cut a long
    // history to 256 rows at the next start.
    const auto historyMax = file.Integer("Log", "Run history max items");
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
    file.Set("Destination", "Allowed drive", s.AllowedDrive);
    file.Set("Destination", "Backup location", s.BackupLocation);
    file.Set("Projects", "Location", s.ProjectsLocation);
    file.Set("Log", "Location", s.LogLocation);
    file.Set("Log", "Run history max items", Decimal(s.RunHistoryMax));
    file.Set("Timer", "Timer-vlm", s.TimerProject);
    file.Set("Timer", "Hour", Decimal(s.TimerHour));
    file.Set("Timer", "Minutes", Decimal(s.TimerMinute));
    file.Set("Timer", "X", Decimal(s.TimerPanelX));
    file.Set("Timer", "Y", Decimal(s.TimerPanelY));
    file.Set("Timer", "Show", BoolText(s.TimerShow));
    file.Set("Project editor", "Show sync option", BoolText(s.ShowSyncOption));
    file.Set("Project editor", "Show dir sizes", BoolText(s.ShowDirSizes));
    file.Set("Timer", "Activate", BoolText(s.TimerActivate));
    file.Set("Environment", "Picture big background", s.BackgroundPicture);
    file.Set("Timer", "Launch run", BoolText(s.LaunchRun));
    file.Set("Safety", "Mass deletion guard", BoolText(s.MassDeleteGuard));
    file.Set("Safety", "Mass deletion percentage", Decimal(s.MassDeletePercent));
    file.Set("Safety", "Mass deletion least files", Decimal(s.MassDeleteLeastFiles));
    // The whole file is replaced in one step: a failure leaves the previous settings whole.
    if (!file.Save(settingsPath))
        return {false, "Unable to write to " + settingsPath.Text()};
    return {};
}

}  // namespace vlm
