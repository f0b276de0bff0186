#pragma once
// What the run engine reads and writes on its window. The Qt run window implements it; tests
// implement it with a plain recording object.

#include <cstdint>
#include <string>
#include <vector>

namespace vlm {

enum class LogLevel {
    None,      // RadioB1
    Normal,    // RadioB2, selected when the window opens
    Extended,  // RadioB3
};

enum class WindowResult {
    Ok,
    Cancel,
};

// How far a run's copying has come, as the window shows it.
struct ProgressSnapshot {
    // The totals are known once the count that runs beside the run has ended; until then the
    // window shows activity rather than a share.
    bool totalsKnown = false;
    std::uint64_t filesTotal = 0;  // files the run copies (new or changed)
    std::uint64_t bytesTotal = 0;
    std::uint64_t filesDone = 0;  // files copied so far
    std::uint64_t bytesDone = 0;  // with the bytes of the file being copied now
    std::string currentFile;      // the source file being copied now; empty between copies
    double bytesPerSecond = 0;    // while copying; 0 until measured
    double secondsLeft = -1;      // below zero while unknown
    bool finished = false;        // the run has ended
};

class RunView {
public:
    virtual ~RunView() = default;

    // Selects line `index` in both lists (the item being worked on): the source items (srcLB) and
    // their destination paths (destLB), which the window shows as the run request holds them.
    virtual void SelectItem(int index) = 0;

    virtual LogLevel Level() const = 0;
    virtual void SetLevel(LogLevel level) = 0;
    virtual bool LogToFile() const = 0;  // LogCB
    virtual void SetLogToFile(bool on) = 0;

    // Appends one line to the report memo; the memo keeps at most 100 lines.
    virtual void AppendReportLine(const std::string& line) = 0;
    virtual void SetStatusText(const std::string& text) = 0;

    virtual void SetRunEnabled(bool enabled) = 0;
    // The Cancel button: enabled state, caption ("&Cancel" or "&Close"), focus.
    virtual void SetCancelButton(bool enabled, const std::string& caption, bool focus) = 0;

    // Closes the window with `result`.
    virtual void CloseWindow(WindowResult result) = 0;

    // A view that shows progress has it counted beside the run and is told of it now and then.
    virtual bool WantsProgress() const { return false; }
    virtual void ShowProgress(const ProgressSnapshot& /*progress*/) {}
    // The run has ended with `result` ("OK", "Error", ...) as its history row says, after
    // `errors` errors; its summary is the last of the report.
    virtual void ShowResult(const std::string& /*result*/, std::uint64_t /*errors*/) {}
};

// "Let pending window messages be handled": the GUI processes its events; a test may press
// Cancel from here.
class EventPump {
public:
    virtual ~EventPump() = default;
    virtual void ProcessPendingEvents() = 0;
};

// The lines a memo keeps: at most this many, older lines dropped from the top.
inline constexpr int kMemoMaxLines = 100;

}  // namespace vlm
