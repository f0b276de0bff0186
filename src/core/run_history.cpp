#include "core/run_history.h"

#include <limits>
#include <utility>

#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr char kSeparator = '|';

// Rows read from the file may be short: a run that never ended left only its first three
// columns. Each short row is filled up to five columns with "Error" as its result.
void FillShortRow(HistoryRow& row) {
    const std::size_t count = row.subItems.size();
    if (count == 0 || count >= 4)
        return;
    while (row.subItems.size() < 3)
        row.subItems.emplace_back();
    row.subItems.emplace_back("Error");
}

HistoryRow ParseLine(std::string_view line) {
    HistoryRow row;
    std::size_t bar = line.find(kSeparator);
    row.caption = std::string(line.substr(0, bar));
    std::string_view rest = line.substr(bar + 1);
    // Text after the last "|" of a line belongs to no column.
    for (bar = rest.find(kSeparator); bar != std::string_view::npos; bar = rest.find(kSeparator)) {
        row.subItems.emplace_back(rest.substr(0, bar));
        rest.remove_prefix(bar + 1);
    }
    return row;
}

// Values are written byte for byte. None can hold "|", CR or LF: a project path is a drive
// path, and the drive-path model shows those characters of a host name as private-use stand-ins;
// the other columns are the program's own texts.
std::string FormatLine(const HistoryRow& row) {
    std::string line = row.caption;
    line += kSeparator;
    for (const std::string& item : row.subItems) {
        line += item;
        line += kSeparator;
    }
    line += "\r\n";
    return line;
}

constexpr std::uint32_t kNoLimit = std::numeric_limits<std::uint32_t>::max();

// Reads the rows of a file's text (at most `limit`) into `rows`. A line without "|" holds no
// row: it is skipped rather than ending the read, so the rows after it are not lost when the
// file is written back. False when a line was skipped.
bool ParseRows(const std::string& text, std::uint32_t limit, std::vector<HistoryRow>& rows) {
    bool everyLineHadBar = true;
    std::uint32_t rowsRead = 0;
    for (std::string_view line : SplitLines(text)) {
        if (rowsRead >= limit)
            break;
        if (line.find(kSeparator) == std::string_view::npos) {
            everyLineHadBar = false;
            continue;
        }
        rows.push_back(ParseLine(line));
        ++rowsRead;
    }
    return everyLineHadBar;
}

// What identifies the row of one run: its project path, when and how it was started.
std::string RunIdentity(const std::string& caption, const std::string& startedText,
                        const std::string& howStarted) {
    return caption + kSeparator + startedText + kSeparator + howStarted;
}

// An open row as a run starts it (project, when and how), whose process still holds it.
bool HeldByARunningProcess(const DrivePath& path, const HistoryRow& row) {
    return row.subItems.size() == 2 &&
           KeyLock::IsHeld(path, RunIdentity(row.caption, row.subItems[0], row.subItems[1]));
}

std::string FormatRows(const std::vector<HistoryRow>& rows) {
    std::string text;
    for (const HistoryRow& row : rows)
        text += FormatLine(row);
    return text;
}

// Drops rows from the bottom until at most `max` remain; false when none had to go.
bool TrimRows(std::vector<HistoryRow>& rows, std::size_t max) {
    if (rows.size() <= max)
        return false;
    rows.resize(max);
    return true;
}

std::string ReadErrorText(const DrivePath& path) {
    return "Unable to read " + path.Text();
}
std::string WriteErrorText(const DrivePath& path) {
    return "Unable to write to " + path.Text();
}

}  // namespace

void RunHistory::SetChangeListener(ChangeListener listener) {
    listener_ = std::move(listener);
}

void RunHistory::Changed() {
    if (listener_)
        listener_();
}

void RunHistory::Replace(std::vector<HistoryRow> rows) {
    if (rows == rows_)
        return;
    rows_ = std::move(rows);
    Changed();
}

bool RunHistory::LoadFromFile(const DrivePath& path) {
    const auto text = ReadWholeFile(path);
    if (!text)
        return false;
    std::vector<HistoryRow> rows = rows_;
    const bool everyLineHadBar = ParseRows(*text, MaxItems, rows);
    Replace(std::move(rows));
    return everyLineHadBar;
}

bool RunHistory::SaveToFile(const DrivePath& path) const {
    // Replaced in one step: a failed save leaves the previous file whole.
    return static_cast<bool>(WriteFileAtomically(path, FormatRows(rows_)));
}

std::string RunHistory::UpdateFile(const DrivePath& path, std::uint32_t readLimit,
                                   WhenMissing missing, const RowChange& change) {
    // The lock sits on a file of its own, as the history itself is replaced by a rename. Without
    // it (a folder that cannot take the lock file) the update goes on; its write then says
    // whether the folder takes files at all.
    const FileLock lock{path};
    std::vector<HistoryRow> rows;  // a missing file holds none
    const bool exists = FileExists(path);
    if (exists) {
        const auto text = ReadWholeFile(path);
        if (!text) {
            // Writing now would erase every row that could not be read. The change is shown in
            // the list only.
            rows = rows_;
            if (change(rows))
                Replace(std::move(rows));
            return ReadErrorText(path);
        }
        ParseRows(*text, readLimit, rows);
    }
    const bool write = change(rows) && (exists || missing == WhenMissing::Create);
    // Whatever else the file holds now, the list shows it, whether or not this change wrote.
    const bool written = !write || WriteFileAtomically(path, FormatRows(rows));
    if (listLimit_)
        TrimRows(rows, *listLimit_);
    Replace(std::move(rows));
    return written ? std::string() : WriteErrorText(path);
}

bool RunHistory::Reread(const DrivePath& path) {
    std::vector<HistoryRow> rows;  // a file removed holds no rows
    if (FileExists(path)) {
        const auto text = ReadWholeFile(path);
        if (!text)
            return false;
        // The whole file: MaxItems bounds the start-up load only (a maximum of 0 reads no
        // line there, while every run since has added its row).
        ParseRows(*text, kNoLimit, rows);
    }
    if (listLimit_)
        TrimRows(rows, *listLimit_);
    Replace(std::move(rows));
    return true;
}

std::string RunHistory::StartupLoad(const DrivePath& path, std::uint32_t max) {
    MaxItems = max;
    listLimit_.reset();
    return UpdateFile(path, max, WhenMissing::LeaveAlone, [&](std::vector<HistoryRow>& rows) {
        // Only the row of a run that died is closed: one whose process still runs is its own.
        for (HistoryRow& row : rows)
            if (!HeldByARunningProcess(path, row))
                FillShortRow(row);
        // Written back even when nothing was filled: the file then holds at most `max` rows.
        return true;
    });
}

std::string RunHistory::StartHistoryEntry(const DrivePath& path, const std::string& projectPath,
                                          const std::string& startedText,
                                          const std::string& howStarted, std::uint32_t max) {
    openRow_ = OpenRow{projectPath, startedText, howStarted};
    // A maximum lowered since the file was last cut reaches the file now, as the list shows it.
    const std::optional<std::uint32_t> lowered = listLimit_;
    listLimit_.reset();
    // Held before anyone can read the row, so no other process takes it for a dead run's.
    HoldOpenRow(path);
    return UpdateFile(path, kNoLimit, WhenMissing::Create, [&](std::vector<HistoryRow>& rows) {
        if (lowered)
            TrimRows(rows, *lowered);
        // With a maximum of 0 nothing is given up: the list grows until the next start-up load
        // empties it.
        if (max > 0)
            TrimRows(rows, max - 1);
        rows.insert(rows.begin(), HistoryRow{projectPath, {startedText, howStarted}});
        return true;
    });
}

std::string RunHistory::EndHistoryEntry(const DrivePath& path, const std::string& duration,
                                        const std::string& success) {
    if (!openRow_)
        return {};
    const OpenRow open = *openRow_;
    openRow_.reset();
    // Released once the row is complete, whichever way this update ends.
    struct ReleaseAfter {
        KeyLock& held;
        ~ReleaseAfter() { held.Release(); }
    } release{openRowHeld_};
    return UpdateFile(path, kNoLimit, WhenMissing::LeaveAlone, [&](std::vector<HistoryRow>& rows) {
        for (HistoryRow& row : rows) {
            const std::vector<std::string>& items = row.subItems;
            if (row.caption != open.caption || items.size() < 2 || items[0] != open.startedText ||
                items[1] != open.howStarted)
                continue;
            // Still open; or filled with "Error" by the start-up load of another process that
            // took this running row for the row of a run that died. This run knows better.
            const bool stillOpen = items.size() == 2;
            const bool filledByStartup =
                items.size() == 4 && items[2].empty() && items[3] == "Error";
            if (!stillOpen && !filledByStartup)
                continue;
            row.subItems.resize(2);
            row.subItems.push_back(duration);
            row.subItems.push_back(success);
            return true;
        }
        return false;
    });
}

void RunHistory::TrimTo(std::uint32_t max) {
    listLimit_ = max;
    std::vector<HistoryRow> rows = rows_;
    if (TrimRows(rows, max))
        Replace(std::move(rows));
}

void RunHistory::HoldOpenRow(const DrivePath& path) {
    openRowHeld_.Release();
    if (openRow_)
        openRowHeld_.Hold(
            path, RunIdentity(openRow_->caption, openRow_->startedText, openRow_->howStarted));
}

std::string RunHistory::SetCaption(const DrivePath& path, std::size_t row, std::string caption) {
    if (row >= rows_.size())
        return {};
    // The row is found again in the file by what identifies it: its project path, when and how
    // it was started. Another process may have added rows above it meanwhile.
    const HistoryRow edited = rows_[row];
    const auto sameRun = [&](const HistoryRow& other) {
        if (other.caption != edited.caption)
            return false;
        for (std::size_t i = 0; i < 2 && i < edited.subItems.size(); ++i) {
            if (i >= other.subItems.size() || other.subItems[i] != edited.subItems[i])
                return false;
        }
        return true;
    };
    if (openRow_ && edited.subItems.size() >= 2 && edited.caption == openRow_->caption &&
        edited.subItems[0] == openRow_->startedText && edited.subItems[1] == openRow_->howStarted) {
        openRow_->caption = caption;  // this run's end must find its row under the new path
        HoldOpenRow(path);
    }
    return UpdateFile(path, kNoLimit, WhenMissing::LeaveAlone, [&](std::vector<HistoryRow>& rows) {
        for (HistoryRow& candidate : rows) {
            if (sameRun(candidate)) {
                if (candidate.caption == caption)
                    return false;
                candidate.caption = caption;
                return true;
            }
        }
        return false;
    });
}

std::string RunHistory::Clear(const DrivePath& path) {
    return UpdateFile(path, kNoLimit, WhenMissing::LeaveAlone, [](std::vector<HistoryRow>& rows) {
        const bool hadRows = !rows.empty();
        rows.clear();
        return hadRows;
    });
}

}  // namespace vlm
