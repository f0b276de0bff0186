#include "app/command_line.h"

#include <filesystem>

#include "platform/path_translation.h"

namespace vlm {

namespace {

bool IsDrivePath(const std::string& text) {
    return text.size() >= 2 && text[1] == ':' &&
           ((text[0] >= 'a' && text[0] <= 'z') || (text[0] >= 'A' && text[0] <= 'Z'));
}

}  // namespace

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

std::string ProjectPathFromCommandLine(const std::string& given, const std::string& currentFolder) {
    if (given.empty() || IsDrivePath(given))
        return given;
    std::filesystem::path host(given);
    if (host.is_relative())
        host = std::filesystem::path(currentFolder) / host;
    host = host.lexically_normal();
    std::string text = host.string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    if (auto drivePath = ToDrivePath(text))
        return *drivePath;
    return given;
}

}  // namespace vlm
