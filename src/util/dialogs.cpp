#include "util/dialogs.h"

#include <cstdio>

#include "platform/shell.h"

namespace vlm {

namespace {

const char* TypeLabel(BoxType type) {
    switch (type) {
        case BoxType::Plain:
            return "Message";
        case BoxType::Error:
            return "Error";
        case BoxType::Warning:
            return "Warning";
        case BoxType::Information:
            return "Information";
        case BoxType::Confirmation:
            return "Confirm";
    }
    return "Message";
}

// In force until the application or a test installs its own. With nobody to ask, every
// question gets the answer that changes nothing: No.
class FallbackDialogs final : public Dialogs {
public:
    Answer Show(BoxType type, Buttons buttons, const std::string& text) override {
        std::fprintf(stderr, "[%s] %s\n", TypeLabel(type), text.c_str());
        return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }

    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string&) override {
        std::fprintf(stderr, "[%s] %s (no answer)\n", caption.c_str(), prompt.c_str());
        return std::nullopt;
    }

    void Beep() override { SystemBeep(); }
};

FallbackDialogs& Fallback() {
    static FallbackDialogs fallback;
    return fallback;
}

Dialogs* current = nullptr;
thread_local Dialogs* threadOwn = nullptr;

}  // namespace

void SetDialogs(Dialogs* dialogs) {
    current = dialogs;
}

Dialogs& CurrentDialogs() {
    return threadOwn != nullptr ? *threadOwn : SharedDialogs();
}

Dialogs& SharedDialogs() {
    return current != nullptr ? *current : Fallback();
}

ThreadDialogs::ThreadDialogs(Dialogs& dialogs) : previous_(threadOwn) {
    threadOwn = &dialogs;
}

ThreadDialogs::~ThreadDialogs() {
    threadOwn = previous_;
}

bool AskYesNo(BoxType type, const std::string& text) {
    return CurrentDialogs().Show(type, Buttons::YesNo, text) == Answer::Yes;
}

bool AskYesNoDefaultNo(BoxType type, const std::string& text) {
    return CurrentDialogs().Show(type, Buttons::YesNoDefaultNo, text) == Answer::Yes;
}

}  // namespace vlm
