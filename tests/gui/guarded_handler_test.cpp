// A window handler that fails: its error becomes an error box and goes no further, so nothing
// reaches the window system's message loop.

#include "widgets/guarded_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/scripted_dialogs.h"

namespace vlm {
namespace {

using ::testing::ElementsAre;

TEST(GuardedHandlerTest, AHandlerThatSucceedsShowsNothing) {
    ScriptedDialogs dialogs;
    bool ran = false;
    Guarded([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_TRUE(dialogs.Texts().empty());
}

TEST(GuardedHandlerTest, AnErrorOfTheHandlerIsShownInAnErrorBox) {
    ScriptedDialogs dialogs;
    EXPECT_NO_THROW(Guarded([] { throw std::runtime_error("Could not read c:\\Data\\a.txt"); }));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error), ElementsAre("Could not read c:\\Data\\a.txt"));
}

TEST(GuardedHandlerTest, AnythingElseThrownIsShownAsAnUnexpectedError) {
    ScriptedDialogs dialogs;
    EXPECT_NO_THROW(Guarded([] { throw 42; }));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("The command ended because of an unexpected error."));
}

}  // namespace
}  // namespace vlm
