#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>

#include <utility>

namespace vlm {

const char* BoxTypeName(BoxType type) {
    switch (type) {
        case BoxType::Plain:
            return "plain";
        case BoxType::Error:
            return "error";
        case BoxType::Warning:
            return "warning";
        case BoxType::Information:
            return "information";
        case BoxType::Confirmation:
            return "confirmation";
    }
    return "unknown";
}

ScriptedDialogs::ScriptedDialogs() : previous_(&CurrentDialogs()) {
    SetDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    for (const auto& expected : questions_) {
        ADD_FAILURE() << "Expected question was never asked: \"" << expected.prefix << "...\"";
    }
    if (!replies_.empty()) {
        ADD_FAILURE() << replies_.size() << " expected input box(es) never shown";
    }
    SetDialogs(previous_);
}

void ScriptedDialogs::ExpectQuestion(std::string prefix, Answer answer) {
    questions_.push_back({std::nullopt, std::move(prefix), answer});
}

void ScriptedDialogs::ExpectQuestion(BoxType type, std::string prefix, Answer answer) {
    questions_.push_back({type, std::move(prefix), answer});
}

void ScriptedDialogs::ExpectInput(std::optional<std::string> reply) {
    replies_.push_back(std::move(reply));
}

std::vector<std::string> ScriptedDialogs::Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_)
        texts.push_back(box.text);
    return texts;
}

std::vector<std::string> ScriptedDialogs::TextsOf(BoxType type) const {
    std::vector<std::string> texts;
    for (const auto& box : boxes_) {
        if (box.type == type)
            texts.push_back(box.text);
    }
    return texts;
}

int ScriptedDialogs::Count(BoxType type) const {
    int count = 0;
    for (const auto& box : boxes_) {
        if (box.type == type)
            ++count;
    }
    return count;
}

bool ScriptedDialogs::Shown(BoxType type, const std::string& text) const {
    for (const auto& box : boxes_) {
        if (box.type == type && box.text == text)
            return true;
    }
    return false;
}

void ScriptedDialogs::ClearRecord() {
    boxes_.clear();
    inputs_.clear();
    beeps_ = 0;
}

Answer ScriptedDialogs::Show(BoxType type, Buttons buttons, const std::string& text) {
    Answer answer = Answer::Ok;
    if (buttons != Buttons::Ok) {
        answer = Answer::No;
        if (questions_.empty()) {
            ADD_FAILURE() << "Unexpected " << BoxTypeName(type) << " question: \"" << text
                          << "\" (answered No)";
        } else {
            ExpectedQuestion expected = questions_.front();
            questions_.pop_front();
            bool typeMatches = !expected.type || *expected.type == type;
            bool textMatches = text.compare(0, expected.prefix.size(), expected.prefix) == 0;
            bool answerFits =
                expected.answer == Answer::Yes || expected.answer == Answer::No ||
                (expected.answer == Answer::Cancel && buttons == Buttons::YesNoCancel);
            if (!answerFits) {
                ADD_FAILURE() << "Question \"" << text
                              << "\" has no button for the scripted answer (answered No)";
            } else if (typeMatches && textMatches) {
                answer = expected.answer;
            } else {
                ADD_FAILURE() << "Question \"" << text << "\" (" << BoxTypeName(type)
                              << ") does not match the expected \"" << expected.prefix << "...\""
                              << (expected.type
                                      ? std::string(" (") + BoxTypeName(*expected.type) + ")"
                                      : std::string())
                              << " (answered No)";
            }
        }
    }
    boxes_.push_back({type, buttons, text, answer});
    return answer;
}

std::optional<std::string> ScriptedDialogs::Input(const std::string& caption,
                                                  const std::string& prompt,
                                                  const std::string& value) {
    std::optional<std::string> reply;
    if (replies_.empty()) {
        ADD_FAILURE() << "Unexpected input box \"" << caption << "\": \"" << prompt
                      << "\" (cancelled)";
    } else {
        reply = std::move(replies_.front());
        replies_.pop_front();
    }
    inputs_.push_back({caption, prompt, value, reply});
    return reply;
}

}  // namespace vlm
