#pragma once
// A run window without a window: it keeps what the engine writes on it so a test can look, and
// lets a test set what the engine reads (lists, log level, LogCB).

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_view.h"

namespace vlm {

class FakeRunView : public RunView {
public:
    struct CancelButtonState {
        bool enabled = true;
        std::string caption = "&Cancel";
        bool focus = false;
    };

    // What the engine reads.
    LogLevel level = LogLevel::Normal;  // a new window starts at Normal
    bool logToFile = true;              // and with LogCB checked

    // What the engine wrote.
    std::deque<std::string> memo;             // at most kMemoMaxLines, like the window's memo
    std::vector<std::string> allReportLines;  // every line ever appended, none dropped
    std::vector<std::string> statusTexts;     // every status text in order
    std::vector<int> selectedItems;           // every SelectItem index in order
    bool runEnabled = true;
    CancelButtonState cancelButton;
    std::optional<WindowResult> closedWith;  // set once CloseWindow was called

    // Called at the end of AppendReportLine, after the line is in the memo.
    std::function<void(const std::string&)> onReportLine;

    void SelectItem(int index) override { selectedItems.push_back(index); }

    LogLevel Level() const override { return level; }
    void SetLevel(LogLevel newLevel) override { level = newLevel; }
    bool LogToFile() const override { return logToFile; }
    void SetLogToFile(bool on) override { logToFile = on; }

    void AppendReportLine(const std::string& line) override;
    void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }

    void SetRunEnabled(bool enabled) override { runEnabled = enabled; }
    void SetCancelButton(bool enabled, const std::string& caption, bool focus) override {
        cancelButton = {enabled, caption, focus};
    }
    void CloseWindow(WindowResult result) override { closedWith = result; }

    // The memo as a vector, first line first.
    std::vector<std::string> MemoLines() const { return {memo.begin(), memo.end()}; }
    // The last status text, or empty when none was set.
    std::string StatusText() const { return statusTexts.empty() ? "" : statusTexts.back(); }
};

// "Let pending window messages be handled": counts the calls and runs the hook, so a test can
// press Cancel (set StopRequested) in the middle of a pass.
class FakeEventPump : public EventPump {
public:
    FakeEventPump() = default;
    explicit FakeEventPump(std::function<void(int callNumber)> hook) : hook(std::move(hook)) {}

    void ProcessPendingEvents() override {
        ++calls;
        if (hook)
            hook(calls);
    }

    int calls = 0;
    std::function<void(int callNumber)> hook;  // receives the 1-based number of the call
};

}  // namespace vlm
