#pragma once
// What the run engine reads and writes on its window. The Qt run window implements it; tests
// implement it with a plain recording object.

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

class RunView {
public:
    virtual ~RunView() = default;

    // The source items (srcLB) and their destination paths (destLB), same order.
    virtual std::vector<std::string> SourceItems() const = 0;
    virtual std::vector<std::string> DestinationPaths() const = 0;
    // Selects line `index` in both lists (the item being worked on).
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
