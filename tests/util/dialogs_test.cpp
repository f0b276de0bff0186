#include "util/dialogs.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "support/scripted_dialogs.h"
#include "util/message_boxes.h"

namespace vlm {
namespace {

TEST(MessageBoxes, EachHelperShowsItsTypeWithTheSingleButtonOk) {
    ScriptedDialogs dialogs;
    ShowPlain("plain");
    ShowErrorBox("error");
    ShowWarningBox("warning");
    ShowInfoBox("info");

    ASSERT_EQ(dialogs.Boxes().size(), 4u);
    const BoxType types[] = {BoxType::Plain, BoxType::Error, BoxType::Warning,
                             BoxType::Information};
    const char* texts[] = {"plain", "error", "warning", "info"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dialogs.Boxes()[i].type, types[i]);
        EXPECT_EQ(dialogs.Boxes()[i].buttons, Buttons::Ok);
        EXPECT_EQ(dialogs.Boxes()[i].text, texts[i]);
        EXPECT_EQ(dialogs.Boxes()[i].answer, Answer::Ok);
    }
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_TRUE(dialogs.Shown(BoxType::Warning, "warning"));
    EXPECT_FALSE(dialogs.Shown(BoxType::Error, "warning"));
}

TEST(MessageBoxes, BeepTimesBeepsThatOften) {
    ScriptedDialogs dialogs;
    BeepTimes(5);
    BeepTimes(0);
    BeepTimes(-1);
    EXPECT_EQ(dialogs.Beeps(), 5);
}

TEST(Dialogs, ScriptedDialogsInstallsAndRestores) {
    Dialogs* before = &CurrentDialogs();
    {
        ScriptedDialogs outer;
        EXPECT_EQ(&CurrentDialogs(), &outer);
        {
            ScriptedDialogs inner;
            EXPECT_EQ(&CurrentDialogs(), &inner);
            ShowPlain("to inner");
            EXPECT_EQ(inner.Texts().size(), 1u);
        }
        EXPECT_EQ(&CurrentDialogs(), &outer);
        EXPECT_TRUE(outer.Boxes().empty());
    }
    EXPECT_EQ(&CurrentDialogs(), before);
}

TEST(Dialogs, FallbackAnswersQuestionsNoAndInputsCancel) {
    SetDialogs(nullptr);
    EXPECT_FALSE(AskYesNo(BoxType::Confirmation, "Delete everything?"));
    EXPECT_EQ(CurrentDialogs().Show(BoxType::Error, Buttons::YesNoCancel, "Stop?"), Answer::No);
    EXPECT_EQ(CurrentDialogs().Show(BoxType::Error, Buttons::Ok, "Note"), Answer::Ok);
    EXPECT_FALSE(CurrentDialogs().Input("Run history", "Give maximum items:", "256"));
}

TEST(ScriptedDialogs, AnswersQuestionsInOrderByPrefix) {
    ScriptedDialogs dialogs;
    dialogs.ExpectQuestion("Overwrite", Answer::Yes);
    dialogs.ExpectQuestion(BoxType::Error, "", Answer::No);
    dialogs.ExpectQuestion("Stop", Answer::Cancel);

    EXPECT_TRUE(AskYesNo(BoxType::Confirmation, "Overwrite c:\\x?"));
    EXPECT_FALSE(AskYesNo(BoxType::Error, "ERROR: anything. Continue anyway??"));
    EXPECT_EQ(CurrentDialogs().Show(BoxType::Warning, Buttons::YesNoCancel, "Stop the run?"),
              Answer::Cancel);
    EXPECT_EQ(dialogs.PendingQuestions(), 0u);
    ASSERT_EQ(dialogs.Boxes().size(), 3u);
    EXPECT_EQ(dialogs.Boxes()[0].answer, Answer::Yes);
    EXPECT_EQ(dialogs.Boxes()[2].buttons, Buttons::YesNoCancel);
}

TEST(ScriptedDialogs, UnexpectedQuestionFailsTheTestAndAnswersNo) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            EXPECT_FALSE(AskYesNo(BoxType::Confirmation, "Delete c:\\x?"));
        },
        "Delete c:\\x?");
}

TEST(ScriptedDialogs, MismatchedQuestionFailsTheTestAndAnswersNo) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            dialogs.ExpectQuestion("Overwrite", Answer::Yes);
            EXPECT_FALSE(AskYesNo(BoxType::Confirmation, "Delete c:\\x?"));
        },
        "does not match");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            dialogs.ExpectQuestion(BoxType::Error, "Delete", Answer::Yes);
            EXPECT_FALSE(AskYesNo(BoxType::Confirmation, "Delete c:\\x?"));
        },
        "does not match");
}

TEST(ScriptedDialogs, AnswerWithoutAButtonFailsTheTestAndAnswersNo) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            dialogs.ExpectQuestion("Delete", Answer::Cancel);
            EXPECT_FALSE(AskYesNo(BoxType::Confirmation, "Delete c:\\x?"));
        },
        "no button");
}

TEST(ScriptedDialogs, QuestionNeverAskedFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            dialogs.ExpectQuestion("Overwrite", Answer::Yes);
        },
        "never asked");
    EXPECT_NONFATAL_FAILURE(
        {
            ScriptedDialogs dialogs;
            dialogs.ExpectInput("7");
        },
        "never shown");
}

TEST(ScriptedDialogs, InputBoxesAnswerFromTheirOwnQueue) {
    ScriptedDialogs dialogs;
    dialogs.ExpectInput("100");
    dialogs.ExpectInput(std::nullopt);
    EXPECT_EQ(CurrentDialogs().Input("Run history", "Give maximum items:", "256"), "100");
    EXPECT_EQ(CurrentDialogs().Input("Run history", "Give maximum items:", "100"), std::nullopt);
    ASSERT_EQ(dialogs.Inputs().size(), 2u);
    EXPECT_EQ(dialogs.Inputs()[0].prompt, "Give maximum items:");
    EXPECT_EQ(dialogs.Inputs()[0].value, "256");
    EXPECT_EQ(dialogs.Inputs()[1].value, "100");
    EXPECT_TRUE(dialogs.Boxes().empty());

    EXPECT_NONFATAL_FAILURE(
        EXPECT_EQ(CurrentDialogs().Input("Run history", "Give maximum items:", "256"),
                  std::nullopt),
        "Unexpected input box");
}

}  // namespace
}  // namespace vlm
