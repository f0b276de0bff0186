#pragma once
// The run history: rows of caption + sub-items, newest first, mirrored in "runoverview.his".

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_lock.h"
#include "platform/packed_time.h"
#include "platform/paths.h"

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
    bool LoadFromFile(const DrivePath& path);
    // Replaces the file with all rows (atomically). True when written.
    bool SaveToFile(const DrivePath& path) const;

    // Several processes write one history file: the program, a timed run of another window,
    // velmora-run. So every change below is made to the file as it is now, never to the rows
    // this process read some time ago: under an exclusive lock beside the file, the file is
    // read again, the one change is applied, the file is replaced, and the list becomes what was
    // written (so it shows the other processes' rows too). When the file exists but cannot be
    // read, it is not written over; the change is made to the list only and an error returned.
    // Each returns an error text to show, or empty.

    // At program start: when the file exists, read at most `max` rows, fill short rows with
    // "Error", and write the file back. An open row whose run is still going (its process holds
    // the row, see StartHistoryEntry) stays open.
    std::string StartupLoad(const DrivePath& path, std::uint32_t max);

    // At a run's start: insert this run's open row at the top, dropping the oldest rows so that
    // at most `max` remain (none are dropped for a maximum of 0). The row is held for this
    // process until its end is written or the process ends, however it ends.
    std::string StartHistoryEntry(const DrivePath& path, const std::string& projectPath,
                                  const std::string& startedText, const std::string& howStarted,
                                  std::uint32_t max);
    // At a run's end: complete this process's open row (found by project path, start time and
    // how started) with duration and success. Nothing happens when no run was started here or
    // its row is gone from the file (the list was cleared meanwhile).
    std::string EndHistoryEntry(const DrivePath& path, const std::string& duration,
                                const std::string& success);

    // After the maximum was lowered: drop rows from the bottom of the list until at most `max`
    // remain. The file is not written now; it follows at the next run start or program start.
    void TrimTo(std::uint32_t max);

    // Empties the list and the file.
    std::string Clear(const DrivePath& path);

    // Another process changed the file: the list becomes what it holds now (every row, as
    // runs add rows beyond MaxItems when the maximum is 0; a maximum lowered since the file was
    // last cut still bounds the list). Nothing is written and no lock is taken, as every writer
    // replaces the file whole. False when the file exists but cannot be read; the list then stays
    // as it was.
    bool Reread(const DrivePath& path);

    // The person edited the project path of row `row` in place: it is the row's path from now
    // on, for opening it and in the file. The row is found in the file by what it holds. Nothing
    // happens for a row that does not exist.
    std::string SetCaption(const DrivePath& path, std::size_t row, std::string caption);

private:
    // A change made to the rows as read from the file; false when it changed nothing.
    using RowChange = std::function<bool(std::vector<HistoryRow>&)>;
    // What an update does when there is no file yet.
    enum class WhenMissing { Create, LeaveAlone };
    // The locked read-change-write cycle described above.
    std::string UpdateFile(const DrivePath& path, std::uint32_t readLimit, WhenMissing missing,
                           const RowChange& change);
    // The list becomes `rows`; the listener hears of it when it differs.
    void Replace(std::vector<HistoryRow> rows);
    void Changed();

    // The row of the run this process started and has not ended yet.
    struct OpenRow {
        std::string caption, startedText, howStarted;
    };
    std::optional<OpenRow> openRow_;
    // Held while openRow_ is this process's open row, under the row's identity.
    KeyLock openRowHeld_;
    void HoldOpenRow(const DrivePath& path);

    std::vector<HistoryRow> rows_;
    ChangeListener listener_;
    // A maximum lowered since the file was last cut to one: the list keeps to it while the
    // file still holds more rows, until a run start or a start-up load cuts the file.
    std::optional<std::uint32_t> listLimit_;
};

}  // namespace vlm
