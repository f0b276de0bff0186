#include "app/command_line.h"

namespace vlm {

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
