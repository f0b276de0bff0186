#pragma once
// How the program reaches the person: message boxes, questions and input boxes.
// The application sets the Qt implementation once at start; tests set a scripted one.

#include <optional>
#include <string>

namespace vlm {

enum class BoxType {
    Plain,  // no icon
    Error,
    Warning,
    Information,
    Confirmation,  // a question mark
};

enum class Buttons {
    Ok,
    YesNo,
    YesNoCancel,
    YesNoDefaultNo,  // Yes and No, with No the default: for a question whose Yes cannot be undone
};

enum class Answer {
    Ok,
    Yes,
    No,
    Cancel,
};

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A box of `type` with `buttons`; returns the button pressed (Ok for Buttons::Ok).
    virtual Answer Show(BoxType type, Buttons buttons, const std::string& text) = 0;

    // An input box: caption, prompt and the starting text; nullopt when cancelled.
    virtual std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                             const std::string& value) = 0;

    // One beep of the window system.
    virtual void Beep() = 0;
};

// The instance in force. Until SetDialogs is called, a fallback answers every question with No
// (the safe choice), writes boxes to standard error and beeps on the terminal.
void SetDialogs(Dialogs* dialogs);
Dialogs& CurrentDialogs();

// Gives the calling thread its own dialogs for as long as it lives, in place of the instance in
// force: a worker thread must never show the person a box.
class ThreadDialogs {
public:
    explicit ThreadDialogs(Dialogs& dialogs);
    ~ThreadDialogs();
    ThreadDialogs(const ThreadDialogs&) = delete;
    ThreadDialogs& operator=(const ThreadDialogs&) = delete;

private:
    Dialogs* previous_;
};

// The instance in force for the whole program, whatever the calling thread has of its own.
Dialogs& SharedDialogs();

// Shows nothing and asks nothing, for a look ahead that must not reach the person: where a run
// would ask whether to go on, the look goes on (Yes), so that it sees everything the run may
// still do.
class SilentDialogs final : public Dialogs {
public:
    Answer Show(BoxType, Buttons buttons, const std::string&) override {
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
    }
    std::optional<std::string> Input(const std::string&, const std::string&,
                                     const std::string&) override {
        return std::nullopt;
    }
    void Beep() override {}
};

// Shorthands for questions.
bool AskYesNo(BoxType type, const std::string& text);  // true for Yes
// The same with No as the default button.
bool AskYesNoDefaultNo(BoxType type, const std::string& text);

}  // namespace vlm
