#include "core/run_reports.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "platform/file_system.h"
#include "util/file_helpers.h"

namespace vlm {

namespace {

constexpr const char* kReportsFolderName = "Reports";
constexpr const char* kReportSuffix = ".txt";

// A name part that holds only what every medium keeps in a file name.
std::string NamePart(const std::string& text) {
    std::string part;
    for (char c : text) {
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
        part += plain ? c : '-';
    }
    return part;
}

// The project path as 8 hex digits (FNV-1a): two projects started in the same second by the
// same way still get two reports.
std::string PathDigits(const std::string& caption) {
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : caption)
        hash = (hash ^ c) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(hash));
    return digits;
}

}  // namespace

DrivePath RunReportsFolder(const DrivePath& historyPath) {
    return historyPath.Parent() / kReportsFolderName;
}

DrivePath RunReportPath(const DrivePath& historyPath, const std::string& caption,
                        const std::string& started, const std::string& howStarted) {
    return RunReportsFolder(historyPath) / (NamePart(started) + " " + NamePart(howStarted) + " " +
                                            PathDigits(caption) + kReportSuffix);
}

DrivePath RunReportPath(const DrivePath& historyPath, const HistoryRow& row) {
    const auto sub = [&](std::size_t i) {
        return i < row.subItems.size() ? row.subItems[i] : std::string();
    };
    return RunReportPath(historyPath, row.caption, sub(0), sub(1));
}

bool KeepRunReport(const DrivePath& reportPath, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append("\n");
    return ForceDirChain(reportPath.Parent()) &&
           static_cast<bool>(WriteFileAtomically(reportPath, text));
}

std::optional<std::string> ReadRunReport(const DrivePath& historyPath, const HistoryRow& row) {
    FileResult<std::string> text = ReadWholeFile(RunReportPath(historyPath, row));
    if (!text)
        return std::nullopt;
    return std::move(*text);
}

void PruneRunReports(const DrivePath& historyPath, const std::vector<HistoryRow>& rows) {
    const DrivePath folder = RunReportsFolder(historyPath);
    std::vector<DirEntry> entries;
    if (!ListDirectory(folder, kAttrAnyFile, entries, ListDetail::NamesAndKinds))
        return;
    std::vector<std::string> kept;
    for (const HistoryRow& row : rows)
        kept.emplace_back(RunReportPath(historyPath, row).Name());
    for (const DirEntry& entry : entries) {
        const bool report = entry.kind == EntryKind::File && entry.name.size() > 4 &&
                            entry.name.compare(entry.name.size() - 4, 4, kReportSuffix) == 0;
        if (report && std::find(kept.begin(), kept.end(), entry.name) == kept.end())
            DeleteFile(folder / entry.name);
    }
}

}  // namespace vlm
