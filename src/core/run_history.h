#pragma once
// The run history: rows of caption + sub-items, newest first, mirrored in "runoverview.his".

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/packed_time.h"

namespace vlm {

struct HistoryRow {
    std::string caption;                // the project path
    std::vector<std::string> subItems;  // When started, How started, Duration, Success

    bool operator==(const HistoryRow&) const = default;
};

class RunHistory {
public:
    // Called after every change of the rows, so a view can follow them live.
    using ChangeListener = std::function<void()>;

    const std::vector<HistoryRow>& Rows() const { return rows_; }
    void SetChangeListener(ChangeListener listener);

    // The most rows one LoadFromFile reads.
    std::uint32_t MaxItems = 0xFFFFFFFFu;

    // Appends the rows of the file to those in the list (at most MaxItems of them). A line
    // without "|" holds no row: it is skipped and reading goes on. True when the file was read
    // and every line held a "|".
    bool LoadFromFile(std::string_view path);
    // Replaces the file with all rows (atomically). True when written.
    bool SaveToFile(std::string_view path) const;

    // At program start: when the file exists, read at most `max` rows, fill short rows with
    // "Error", and write the file back. Returns an error text to show, or empty.
    std::string StartupLoad(std::string_view path, std::uint32_t max);

    // At a run's start: drop the oldest row when full, insert the open row at the top, save.
    // Returns an error text to show when the save failed, or empty.
    std::string StartHistoryEntry(std::string_view path, const std::string& projectPath,
                                  const std::string& startedText, const std::string& howStarted,
                                  std::uint32_t max);
    // At a run's end: complete row 0 with duration and success, save.
    std::string EndHistoryEntry(std::string_view path, const std::string& duration,
                                const std::string& success);

    // After the maximum was lowered: drop rows from the bottom until at most `max` remain.
    void TrimTo(std::uint32_t max);

    void Clear();

    // The person edited the project path of row `row` in place: it is the row's path from now
    // on, for opening it and for the next save. Nothing happens for a row that does not exist.
    void SetCaption(std::size_t row, std::string caption);

private:
    struct ReadOutcome {
        bool fileRead = false;        // the file could be opened and read
        bool everyLineHadBar = true;  // no line was skipped
    };
    ReadOutcome ReadRows(std::string_view path);
    void Changed();

    std::vector<HistoryRow> rows_;
    ChangeListener listener_;
};

// The texts of a row's columns.
// "Timer" for a run the scheduler started, else "Shortcut" for "-qrun", else "Normal".
std::string HowStartedText(bool byTimer, bool byShortcut);
// "Cancelled" when the run was stopped, else "Not enough space" when the person declined after
// the free-space warning, else "OK".
std::string SuccessText(bool stopRequested, bool notEnoughSpace);
// H ":" M ":" S of a run's elapsed milliseconds (65300 → "0:1:5.3").
std::string DurationText(double milliseconds);

}  // namespace vlm
