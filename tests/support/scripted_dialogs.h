#pragma once
// A Dialogs for tests: records every box, answers questions from a script and fails the running
// test on a question nobody expected.
//
//     ScriptedDialogs dialogs;                       // installed until the end of the scope
//     dialogs.ExpectQuestion("Overwrite", Answer::Yes);
//     RunSomething();
//     EXPECT_EQ(dialogs.Count(BoxType::Error), 0);
//     EXPECT_THAT(dialogs.Texts(), ElementsAre(...));
//
// A question is any box with Yes/No or Yes/No/Cancel buttons. Each one takes the next expected
// question from the queue; its text must begin with the expected prefix (an empty prefix
// matches any text). A question with an empty queue or a text that does not match fails the
// test, naming the text, and is answered No. Expected questions or inputs still queued when the
// object is destroyed fail the test too: something that should have been asked was not.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "util/dialogs.h"

namespace vlm {

struct RecordedBox {
    BoxType type;
    Buttons buttons;
    std::string text;
    Answer answer;  // what the script answered (Ok for a box with the single button OK)
};

struct RecordedInput {
    std::string caption;
    std::string prompt;
    std::string value;
    std::optional<std::string> reply;
};

class ScriptedDialogs : public Dialogs {
public:
    // Installs itself with SetDialogs; the destructor puts back what was in force before.
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // The script. Questions and inputs are answered in the order they are queued.
    void ExpectQuestion(std::string prefix, Answer answer);
    // Same, and the question must also be of `type`.
    void ExpectQuestion(BoxType type, std::string prefix, Answer answer);
    // The next input box returns `reply` (nullopt: the person pressed Cancel).
    void ExpectInput(std::optional<std::string> reply);

    // What was shown, in order.
    const std::vector<RecordedBox>& Boxes() const { return boxes_; }
    std::vector<std::string> Texts() const;
    std::vector<std::string> TextsOf(BoxType type) const;
    int Count(BoxType type) const;
    // True when a box of `type` showed exactly `text`.
    bool Shown(BoxType type, const std::string& text) const;
    const std::vector<RecordedInput>& Inputs() const { return inputs_; }
    int Beeps() const { return beeps_; }

    std::size_t PendingQuestions() const { return questions_.size(); }
    std::size_t PendingInputs() const { return replies_.size(); }

    // Forgets what was recorded (the script stays).
    void ClearRecord();

    // Dialogs
    Answer Show(BoxType type, Buttons buttons, const std::string& text) override;
    std::optional<std::string> Input(const std::string& caption, const std::string& prompt,
                                     const std::string& value) override;
    void Beep() override { ++beeps_; }

private:
    struct ExpectedQuestion {
        std::optional<BoxType> type;
        std::string prefix;
        Answer answer;
    };

    Dialogs* previous_;
    std::deque<ExpectedQuestion> questions_;
    std::deque<std::optional<std::string>> replies_;
    std::vector<RecordedBox> boxes_;
    std::vector<RecordedInput> inputs_;
    int beeps_ = 0;
};

const char* BoxTypeName(BoxType type);

}  // namespace vlm
