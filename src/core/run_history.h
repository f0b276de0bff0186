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
};

class RunHistory {
public:
    // Called after every change of the rows, so a view can follow them live.
    using ChangeListener = std::function<void()>;

    const std::vector<HistoryRow>& Rows() const { return rows_; }
    void SetChangeListener(ChangeListener listener);

    std::uint32_t MaxItems = 0xFFFFFFFFu;

    // Appends rows read from the file; see the .cpp for the line rules. True when the file was
    // read without error and every line held a "|".
    bool LoadFromFile(std::string_view path);
    // Replaces the file with all rows (atomically). True when written.
    bool SaveToFile(std::string_view path) const;

    // At program start: when the file exists, read at most `max` lines, fill short rows with
    // "Error", and write the file back. Returns an error text to show, or empty.
    std::string StartupLoad(std::string_view path, std::uint32_t max);

    // At a run's start: drop one row when full, insert the open row at the top, save.
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

private:
    void Changed();
    std::vector<HistoryRow> rows_;
    ChangeListener listener_;
};

}  // namespace vlm
