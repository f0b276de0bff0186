#include "app/command_line.h"

namespace vlm {

namespace {

constexpr const char* kUsage =
    "usage: velmora [PROJECT.vlm [WORD [-extlog [-close]]]]\n"
    "       velmora --help | --version\n"
    "  PROJECT.vlm  a project, as a path of this system or a drive path (e:\\Projects\\x.vlm);\n"
    "         alone it opens the project editor, or the run window when \"External launch in\n"
    "         run form\" is on\n"
    "  WORD   -saferun: the run window, the run starts when Run is pressed\n"
    "         -qrun: the run window, the run starts by itself\n"
    "         any other word: the project editor\n"
    "  -extlog  (third) every run of this process uses the extended log\n"
    "  -close   (fourth) the program ends after the run: exit status 0 when its result is\n"
    "         \"OK\", 1 otherwise\n"
    "  Runs without a window: velmora-run --help\n";

}  // namespace

std::optional<std::string> AnswerWithoutWindow(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    if (arguments[0] == "--version")
        return std::string("velmora ") + VELMORA_VERSION + "\n";
    if (arguments[0] == "--help")
        return std::string(kUsage);
    return std::nullopt;
}

CommandLine CommandLine::FromArguments(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    std::string* fields[] = {&commandLine.projectPath, &commandLine.mode, &commandLine.logWord,
                             &commandLine.closeWord};
    for (std::size_t i = 0; i < arguments.size() && i < std::size(fields); ++i)
        *fields[i] = arguments[i];
    return commandLine;
}

StartAction ChooseStartAction(const CommandLine& commandLine, bool launchRun) {
    if (commandLine.projectPath.empty())
        return StartAction::Nothing;
    if (commandLine.mode == kSafeRunSwitch)
        return StartAction::RunWindow;
    if (commandLine.mode == kQuickRunSwitch)
        return StartAction::QuickRun;
    if (!commandLine.mode.empty())
        return StartAction::Editor;  // "-edit" from a desktop shortcut, or any other word
    return launchRun ? StartAction::RunWindow : StartAction::Editor;
}

bool StartSwitchesTimerOn(const CommandLine& commandLine, bool timerActivate) {
    return commandLine.projectPath.empty() && commandLine.mode.empty() && timerActivate;
}

}  // namespace vlm
