#include "util/message_boxes.h"

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

}  // namespace vlm
