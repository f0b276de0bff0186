#include "engine/run_log.h"

#include <utility>

#include "platform/file_system.h"
#include "platform/path_translation.h"
#include "util/dialogs.h"

namespace vlm {

namespace {

// Creates the file empty when nothing is there yet. An existing log is never truncated: Append
// creates a missing file and leaves an existing one as it is.
bool CreateEmptyFile(const std::string& path) {
    HostFile file;
    if (!file.Open(DrivePath(path), HostFile::Mode::Append))
        return false;
    return static_cast<bool>(file.Close());
}

// One line with its CR LF, in one open-write-close, so the file is complete up to this line
// whatever happens to the process afterwards. The log is read by a person: its names read as the
// window shows them, with the stand-ins of control characters kept, so a line stays one line.
bool AppendLine(const std::string& path, const std::string& line) {
    HostFile file;
    if (!file.Open(DrivePath(path), HostFile::Mode::Append))
        return false;
    const std::string text = ShownName(line) + "\r\n";
    const bool written = static_cast<bool>(file.Write(text.data(), text.size()));
    const bool closed = static_cast<bool>(file.Close());
    return written && closed;
}

bool AskErrorYesNo(const std::string& text) {
    return CurrentDialogs().Show(BoxType::Error, Buttons::YesNo, text) == Answer::Yes;
}

}  // namespace

RunLog::RunLog(RunView* view, RunState& run, HandOverState& handOver, std::string logLocation)
    : view_(view), run_(run), handOver_(handOver), logLocation_(std::move(logLocation)) {}

std::string RunLog::LogFilePath() const {
    return LogFilePathFor(logLocation_);
}

std::string RunLog::LogFilePathFor(std::string_view logLocation) {
    // A location that is a drive root ("e:\") already ends with its separator; a second one
    // would make an empty path component that no drive path may hold. An empty location keeps
    // the plain "\Vlmlogtmp.txt".
    std::string path(logLocation);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    path += kLogFileName;
    return path;
}

std::string RunLog::LogCheckBoxStatusText(bool checked) const {
    return checked ? "Logfile: " + LogFilePath() : std::string();
}

bool RunLog::Keeps(bool important) const {
    if (handOver_.EditorOpen)
        return false;  // the editor's own checks report nothing
    if (view_ == nullptr)
        return false;  // no run window, nowhere to show the line
    const LogLevel level = view_->Level();
    if (level == LogLevel::None)
        return false;
    return important || level == LogLevel::Extended;
}

void RunLog::StartKeeping() {
    keeping_ = true;
    kept_.clear();
    keptDropped_ = 0;
}

std::vector<std::string> RunLog::TakeKept() {
    std::vector<std::string> lines;
    lines.swap(kept_);
    if (keptDropped_ > 0)
        lines.push_back("... and " + std::to_string(keptDropped_) +
                        " lines more, which only the log file holds");
    keeping_ = false;
    keptDropped_ = 0;
    return lines;
}

void RunLog::report(const std::string& line, bool important) {
    // A kept report holds the start and the end of the longest run: its middle is in the log.
    constexpr std::size_t kMostKept = 20000;
    if (keeping_ && (important || Keeps(false))) {
        if (kept_.size() < kMostKept)
            kept_.push_back(line);
        else if (important && line.rfind("Summary: ", 0) == 0)
            kept_.push_back(line);
        else
            ++keptDropped_;
    }
    if (!Keeps(important))
        return;
    // The file first: a question about the file is asked while the memo does not yet show the
    // line.
    if (view_->LogToFile())
        addlnlog(line, LogFilePath());
    view_->AppendReportLine(line);
}

void RunLog::ShowInMemoOnly(const std::string& line, bool important) {
    if (!Keeps(important))
        return;
    view_->AppendReportLine(line);
}

void RunLog::TurnFileOff() {
    if (view_ != nullptr)
        view_->SetLogToFile(false);
}

void RunLog::addlnlog(const std::string& line, const std::string& path) {
    if (fileRefused_)
        return;
    if (!FileExists(DrivePath(path)) && !CreateEmptyFile(path)) {
        if (AskErrorYesNo("Unable to create log-file " + path + "!!! Continue without log?")) {
            TurnFileOff();
        } else {
            fileRefused_ = true;
            run_.StopRequested = true;
        }
        return;
    }
    if (AppendLine(path, line))
        return;
    if (AskErrorYesNo("Unable to write to log-file " + path +
                      ". Probably disk full. Continue without log?")) {
        TurnFileOff();
        report("Unable to write to log-file. Continue without log.", true);
    } else {
        fileRefused_ = true;
        ShowInMemoOnly("Unable to write to log-file. User decides to halt", true);
        run_.StopRequested = true;
    }
}

}  // namespace vlm
