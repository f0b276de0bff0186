#include "core/run_history.h"

#include <utility>

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

std::string ReadErrorText(std::string_view path) {
    return "Unable to read " + std::string(path);
}
std::string WriteErrorText(std::string_view path) {
    return "Unable to write to " + std::string(path);
}

}  // namespace

void RunHistory::SetChangeListener(ChangeListener listener) {
    listener_ = std::move(listener);
}

void RunHistory::Changed() {
    if (listener_)
        listener_();
}

RunHistory::ReadOutcome RunHistory::ReadRows(std::string_view path) {
    ReadOutcome outcome;
    const auto text = ReadWholeFile(path);
    if (!text)
        return outcome;
    outcome.fileRead = true;

    std::uint32_t rowsRead = 0;
    std::size_t lineStart = 0;
    bool added = false;
    while (lineStart < text->size() && rowsRead < MaxItems) {
        std::size_t lineEnd = text->find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = text->size();
        std::string_view line(text->data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);

        // A line without "|" holds no row. It is skipped rather than ending the read, so the
        // rows after it are not lost when the file is written back.
        if (line.find(kSeparator) == std::string_view::npos) {
            outcome.everyLineHadBar = false;
            continue;
        }
        rows_.push_back(ParseLine(line));
        ++rowsRead;
        added = true;
    }
    if (added)
        Changed();
    return outcome;
}

bool RunHistory::LoadFromFile(std::string_view path) {
    const ReadOutcome outcome = ReadRows(path);
    return outcome.fileRead && outcome.everyLineHadBar;
}

bool RunHistory::SaveToFile(std::string_view path) const {
    std::string text;
    for (const HistoryRow& row : rows_)
        text += FormatLine(row);
    // Replaced in one step: a failed save leaves the previous file whole.
    return WriteFileAtomically(path, text);
}

std::string RunHistory::StartupLoad(std::string_view path, std::uint32_t max) {
    if (!FileExists(path))
        return {};
    MaxItems = max;
    if (!ReadRows(path).fileRead)
        return ReadErrorText(path);
    for (HistoryRow& row : rows_)
        FillShortRow(row);
    Changed();
    if (!SaveToFile(path))
        return WriteErrorText(path);
    return {};
}

std::string RunHistory::StartHistoryEntry(std::string_view path, const std::string& projectPath,
                                          const std::string& startedText,
                                          const std::string& howStarted, std::uint32_t max) {
    // With a maximum of 0 nothing is given up: the list grows until the next start empties it.
    if (max > 0) {
        while (rows_.size() >= max)
            rows_.pop_back();
    }
    rows_.insert(rows_.begin(), HistoryRow{projectPath, {startedText, howStarted}});
    Changed();
    if (!SaveToFile(path))
        return WriteErrorText(path);
    return {};
}

std::string RunHistory::EndHistoryEntry(std::string_view path, const std::string& duration,
                                        const std::string& success) {
    if (rows_.empty())
        return {};
    rows_.front().subItems.push_back(duration);
    rows_.front().subItems.push_back(success);
    Changed();
    if (!SaveToFile(path))
        return WriteErrorText(path);
    return {};
}

void RunHistory::TrimTo(std::uint32_t max) {
    if (rows_.size() <= max)
        return;
    rows_.resize(max);
    Changed();
}

void RunHistory::SetCaption(std::size_t row, std::string caption) {
    if (row >= rows_.size())
        return;
    rows_[row].caption = std::move(caption);
    Changed();
}

void RunHistory::Clear() {
    rows_.clear();
    Changed();
}

std::string HowStartedText(bool byTimer, bool byShortcut) {
    if (byTimer)
        return "Timer";
    if (byShortcut)
        return "Shortcut";
    return "Normal";
}

std::string SuccessText(bool stopRequested, bool notEnoughSpace) {
    if (stopRequested)
        return "Cancelled";
    if (notEnoughSpace)
        return "Not enough space";
    return "OK";
}

std::string DurationText(double milliseconds) {
    const ElapsedText parts = FormatElapsed(milliseconds);
    return parts.hours + ":" + parts.minutes + ":" + parts.seconds;
}

}  // namespace vlm
