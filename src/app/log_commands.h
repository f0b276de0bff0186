#pragma once
// The main window's log-file commands (empty, crop) and the run history maximum, without Qt:
// they reach the person through the Dialogs in force.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/run_log.h"

namespace vlm {

class RunHistory;

// The name of the file that holds the cropped log until it replaces the log.
inline constexpr std::string_view kCropTemporaryName = RunLog::kCropTemporaryName;

// "&Empty": the log becomes an empty file (created when missing), then "Log file emptied".
// A log that cannot be created or written is reported with the host's reason.
void EmptyLog(std::string_view logLocation);

// "&Crop last run": keeps only the last logged run, from the last line holding "Start time" to
// the end. The log is replaced only once the cropped text has been written completely.
void CropLog(std::string_view logLocation);

// The answer to "Give maximum items:" read as a new run history maximum: either the value or
// the error text to show (two lines).
struct RunHistoryMaxOutcome {
    std::optional<std::uint32_t> value;
    std::string error;
};
RunHistoryMaxOutcome ParseRunHistoryMax(std::string_view text);

// "Run history - Maximum items": asks for the maximum, sets `max` when the answer is valid, and
// in every case trims the list of `history` to `max` rows (the newest stay). The file follows at
// the next run start or program start.
void RunHistoryMaxCommand(std::uint32_t& max, RunHistory& history);

}  // namespace vlm
