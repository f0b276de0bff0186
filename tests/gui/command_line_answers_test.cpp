// `velmora --help` and `velmora --version` answer at the terminal and end, as every program of
// the system does, instead of opening a window that takes the word for a project.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"
#include "support/runner_process.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

TEST(CommandLineAnswersTest, HelpAndVersionAreAnsweredWithoutAWindow) {
    struct Case {
        std::vector<std::string> args;
        std::string startsWith;  // of what is printed; empty: nothing, the program starts
    };
    const std::vector<Case> cases = {
        {{"--help"}, "usage: velmora [PROJECT.vlm"},
        {{"--version"}, "velmora "},
        {{"--help", "-qrun"}, "usage: velmora [PROJECT.vlm"},
        {{}, ""},
        {{"c:\\p.vlm", "--help"}, ""},  // a mode word, which opens the editor
        {{"-help"}, ""},                // a project named so
        {{"--Version"}, ""},            // switches are compared exactly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.empty() ? std::string("(none)") : c.args[0]);
        const std::optional<std::string> answer = AnswerWithoutWindow(c.args);
        if (c.startsWith.empty()) {
            EXPECT_FALSE(answer.has_value());
            continue;
        }
        ASSERT_TRUE(answer.has_value());
        EXPECT_EQ(answer->rfind(c.startsWith, 0), 0u) << *answer;
        EXPECT_EQ(answer->back(), '\n');
    }
}

// The built program, started with no display at all: it answers and ends with status 0.
TEST(CommandLineAnswersTest, TheProgramAnswersWithoutADisplayAndEnds) {
    const std::string program = std::string(VELMORA_BUILD_DIR) + "/velmora";
    ASSERT_TRUE(test::Exists(program)) << program << " is not built";
    test::TempDrives drives{"c"};
    for (const std::string word : {"--help", "--version"}) {
        SCOPED_TRACE(word);
        const std::string output = drives.Base() + "/out.txt";
        const std::vector<std::string> environment = {"PATH=/usr/bin:/bin",
                                                      "HOME=" + drives.Base()};
        const pid_t pid = test::StartProgram({program, word}, {output, ""}, &environment);
        EXPECT_EQ(test::WaitForExit(pid, 60), 0);
        const std::string printed = test::ReadFile(output);
        EXPECT_EQ(printed.rfind(word == "--help" ? "usage: velmora" : "velmora ", 0), 0u)
            << printed;
    }
}

}  // namespace
}  // namespace vlm
