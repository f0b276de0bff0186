#pragma once
// The window system's face of Dialogs: message boxes and input boxes over the active window,
// and the window system's beep.

#include "util/dialogs.h"

namespace vlm {

class QtDialogs final : public Dialogs {
public:
    Answer Show(BoxType type, Buttons buttons, const std::string& text) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override;
    void Beep() override;
};

}  // namespace vlm
