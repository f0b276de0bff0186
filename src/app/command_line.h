#pragma once
// The command line the program is started with: a project path, a mode word, a log word and a
// close word, each of which may be left off from the end. Switches are compared exactly.

#include <optional>
#include <string>
#include <vector>

namespace vlm {

inline constexpr const char* kSafeRunSwitch = "-saferun";
inline constexpr const char* kQuickRunSwitch = "-qrun";
inline constexpr const char* kCloseSwitch = "-close";

struct CommandLine {
    // Argument 1: a drive path, or the text as given when it names no file on a drive (opening it
    // then reports the file missing under the name the person gave).
    std::string projectPath;
    std::string mode;       // argument 2
    std::string logWord;    // argument 3
    std::string closeWord;  // argument 4

    // The arguments after the program name; a missing one reads as the empty string.
    static CommandLine FromArguments(const std::vector<std::string>& arguments);

    // "-close" counts only as argument 4 (the run reads "-extlog" from argument 3 itself).
    bool CloseAfterRun() const { return closeWord == kCloseSwitch; }
};

// What `velmora --help` or `velmora --version` prints before the program ends with status 0,
// without a window (and so also without a display); nothing for any other command line. A
// project path never begins with "--", so these words as argument 1 are always a question.
std::optional<std::string> AnswerWithoutWindow(const std::vector<std::string>& arguments);

// What the start opens.
enum class StartAction {
    Nothing,    // no project named
    RunWindow,  // the run window; the person starts the run with Run
    QuickRun,   // the run window, starting the run by itself
    Editor,     // the project editor
};

StartAction ChooseStartAction(const CommandLine& commandLine, bool launchRun);

// The timer is switched on at start only when neither a project nor a mode word was given.
bool StartSwitchesTimerOn(const CommandLine& commandLine, bool timerActivate);

}  // namespace vlm
