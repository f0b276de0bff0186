#pragma once
// The run's report: every line goes through report(), which shows it on the run window by the
// log level and appends it to the log file "Vlmlogtmp.txt" when the window's LogCB is checked.

#include <string>
#include <string_view>
#include <vector>

#include "engine/run_state.h"
#include "engine/run_view.h"

namespace vlm {

class RunLog {
public:
    // The log file's name in the log folder.
    static constexpr std::string_view kLogFileName = "Vlmlogtmp.txt";
    // The file that holds the cropped log until it replaces the log, beside it.
    static constexpr std::string_view kCropTemporaryName = "croplog.tmp";

    // `view` may be null: no run window exists, and every line is dropped.
    RunLog(RunView* view, RunState& run, HandOverState& handOver, std::string logLocation);

    // `important` lines show at Normal and Extended, detail lines at Extended only.
    void report(const std::string& line, bool important);
    // True when report() would show a line of that class now. A pass asks before it builds a
    // line per file that the log level drops anyway.
    bool Shows(bool important) const { return Keeps(important); }
    // Appends one line to the file at `path`, asking the person when that fails.
    void addlnlog(const std::string& line, const std::string& path);
    // A new run: the file may be asked about again.
    void BeginRun() { fileRefused_ = false; }

    // The run's report as the history keeps it, from its row's start: every important line
    // (whatever the level shown), and the detail lines the window shows.
    void StartKeeping();
    // The lines kept since StartKeeping; keeping ends.
    std::vector<std::string> TakeKept();

    // LogLocation + "\" + "Vlmlogtmp.txt" (one separator only after a drive root such as "e:\").
    std::string LogFilePath() const;
    static std::string LogFilePathFor(std::string_view logLocation);

    // The status bar text after LogCB was clicked: the file's path when it became checked,
    // nothing when it became unchecked.
    std::string LogCheckBoxStatusText(bool checked) const;

    RunView* View() const { return view_; }
    RunState& Run() const { return run_; }

private:
    // The level rules of report(): true when the line goes to the memo (and maybe the file).
    bool Keeps(bool important) const;
    // A line that must not be tried on the file again, under the same level rules.
    void ShowInMemoOnly(const std::string& line, bool important);
    // Unchecks LogCB: nothing more goes to the file until the person checks it again.
    void TurnFileOff();

    RunView* view_;
    RunState& run_;
    HandOverState& handOver_;
    std::string logLocation_;
    // The person answered No to a question about the file in this run: the run is stopping,
    // and none of its later lines asks again.
    bool fileRefused_ = false;
    bool keeping_ = false;
    std::vector<std::string> kept_;
    std::size_t keptDropped_ = 0;
};

}  // namespace vlm
