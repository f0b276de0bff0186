#pragma once
// The four message-box helpers and the beep, through the Dialogs in force.

#include <string>

namespace vlm {

void ShowPlain(const std::string& text);
void ShowErrorBox(const std::string& text);
void ShowWarningBox(const std::string& text);
void ShowInfoBox(const std::string& text);
void BeepTimes(int n);

}  // namespace vlm
