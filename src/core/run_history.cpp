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
    row.caption = DecodeHistoryValue(line.substr(0, bar));
    std::string_view rest = line.substr(bar + 1);
    // Text after the last "|" of a line belongs to no column.
    for (bar = rest.find(kSeparator); bar != std::string_view::npos; bar = rest.find(kSeparator)) {
        row.subItems.push_back(DecodeHistoryValue(rest.substr(0, bar)));
        rest.remove_prefix(bar + 1);
    }
    return row;
}

std::string FormatLine(const HistoryRow& row) {
    std::string line = EncodeHistoryValue(row.caption);
    line += kSeparator;
    for (const std::string& item : row.subItems) {
        line += EncodeHistoryValue(item);
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

// A value is a file path, a date-time text or a word. A Linux file name may hold "|", and even
// a line break, which would shift the columns of its row or split it. Such characters are
// written as a percent sign and two hexadecimal digits: "|" as "%7C", CR as "%0D", LF as "%0A",
// and the percent sign itself as "%25", so every value reads back as exactly the text it was.
// Reading decodes only these four codes; any other "%" is taken as it stands, so a file from
// before this rule (where "%" was never escaped) still reads the same.
std::string EncodeHistoryValue(std::string_view value) {
    std::string field;
    field.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '%':
                field += "%25";
                break;
            case '|':
                field += "%7C";
                break;
            case '\r':
                field += "%0D";
                break;
            case '\n':
                field += "%0A";
                break;
            default:
                field += c;
        }
    }
    return field;
}

std::string DecodeHistoryValue(std::string_view field) {
    std::string value;
    value.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            std::string code(field.substr(i + 1, 2));
            for (char& c : code) {
                if (c >= 'a' && c <= 'f')
                    c = static_cast<char>(c - 'a' + 'A');
            }
            char decoded = 0;
            if (code == "25")
                decoded = '%';
            if (code == "7C")
                decoded = '|';
            if (code == "0D")
                decoded = '\r';
            if (code == "0A")
                decoded = '\n';
            if (decoded != 0) {
                value += decoded;
                i += 2;
                continue;
            }
        }
        value += field[i];
    }
    return value;
}

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
