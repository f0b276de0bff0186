#pragma once
// The four message-box helpers and the beep, through the Dialogs in force.

#include <string>

namespace vlm {

void ShowPlain(const std::string& text);
void ShowErrorBox(const std::string& text);
void ShowWarningBox(const std::string& text);
void ShowInfoBox(const std::string& text);
void BeepTimes(int n);

// Opens `target` (a drive path or web address) with its associated program. When that fails,
// one error box "Unable to open <what>: <cause>", the cause as the host gave it (no program to
// open it with, ...), so a good file is never made to look unreadable. False on failure.
bool OpenWithItsProgram(const std::string& target, const std::string& what);

}  // namespace vlm
