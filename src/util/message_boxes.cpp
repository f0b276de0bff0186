#include "util/message_boxes.h"

#include "platform/shell.h"
#include "util/dialogs.h"

namespace vlm {

void ShowPlain(const std::string& text) {
    CurrentDialogs().Show(BoxType::Plain, Buttons::Ok, text);
}

void ShowErrorBox(const std::string& text) {
    CurrentDialogs().Show(BoxType::Error, Buttons::Ok, text);
}

void ShowWarningBox(const std::string& text) {
    CurrentDialogs().Show(BoxType::Warning, Buttons::Ok, text);
}

void ShowInfoBox(const std::string& text) {
    CurrentDialogs().Show(BoxType::Information, Buttons::Ok, text);
}

void BeepTimes(int n) {
    for (int i = 0; i < n; ++i)
        CurrentDialogs().Beep();
}

bool OpenWithItsProgram(const std::string& target, const std::string& what) {
    const ShellOpenResult result = ShellOpen(target);
    if (!result) {
        ShowErrorBox("Unable to open " + what + ": " + ShellOpenFailureText(result));
    }
    return result.Succeeded();
}

}  // namespace vlm
