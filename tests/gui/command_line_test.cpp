#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vlm {
namespace {

using Args = std::vector<std::string>;

const char* Name(StartAction action) {
    switch (action) {
        case StartAction::Nothing:
            return "nothing";
        case StartAction::RunWindow:
            return "run window";
        case StartAction::QuickRun:
            return "quick run";
        case StartAction::Editor:
            return "editor";
    }
    return "?";
}

TEST(CommandLineTest, TheModeWordChoosesWhatOpens) {
    struct Case {
        Args args;
        bool launchRun;
        StartAction expected;
    };
    const std::vector<Case> cases = {
        {{}, false, StartAction::Nothing},
        {{""}, true, StartAction::Nothing},
        {{"", "-qrun"}, false, StartAction::Nothing},
        {{"c:\\p.vlm", "-saferun"}, false, StartAction::RunWindow},
        {{"c:\\p.vlm", "-qrun"}, false, StartAction::QuickRun},
        {{"c:\\p.vlm", "-edit"}, true, StartAction::Editor},
        {{"c:\\p.vlm", "anything"}, true, StartAction::Editor},
        // Switches are compared exactly: in capitals they are just words.
        {{"c:\\p.vlm", "-Saferun"}, false, StartAction::Editor},
        {{"c:\\p.vlm", "-QRUN"}, true, StartAction::Editor},
        {{"c:\\p.vlm", "saferun"}, false, StartAction::Editor},
        // A path alone follows "External launch in run form".
        {{"c:\\p.vlm"}, false, StartAction::Editor},
        {{"c:\\p.vlm"}, true, StartAction::RunWindow},
        {{"c:\\p.vlm", ""}, true, StartAction::RunWindow},
    };
    for (const Case& c : cases) {
        const CommandLine line = CommandLine::FromArguments(c.args);
        SCOPED_TRACE(line.projectPath + " " + line.mode + (c.launchRun ? " launch" : ""));
        EXPECT_STREQ(Name(ChooseStartAction(line, c.launchRun)), Name(c.expected));
    }
}

TEST(CommandLineTest, LogAndCloseSwitchesCountOnlyInTheirOwnPlace) {
    struct Case {
        Args args;
        bool extendedLog;
        bool closeAfterRun;
    };
    const std::vector<Case> cases = {
        {{"c:\\p.vlm", "-qrun", "-extlog", "-close"}, true, true},
        {{"c:\\p.vlm", "-qrun", "x", "-close"}, false, true},
        {{"c:\\p.vlm", "-saferun", "-close"}, false, false},
        {{"c:\\p.vlm", "-extlog"}, false, false},
        {{"c:\\p.vlm", "-qrun", "-extlog", "-extlog"}, true, false},
        {{"c:\\p.vlm", "-qrun", "-close", "-extlog"}, false, false},
        {{"c:\\p.vlm", "-qrun", "-EXTLOG", "-Close"}, false, false},
        {{"c:\\p.vlm", "-qrun", "x", "-close", "more"}, false, true},
    };
    for (const Case& c : cases) {
        const CommandLine line = CommandLine::FromArguments(c.args);
        SCOPED_TRACE(line.logWord + " " + line.closeWord);
        // The run reads the third word itself (RunSwitches): it must be the switch exactly.
        EXPECT_EQ(line.logWord == "-extlog", c.extendedLog);
        EXPECT_EQ(line.CloseAfterRun(), c.closeAfterRun);
    }
}

TEST(CommandLineTest, OnlyABareStartSwitchesTheTimerOn) {
    EXPECT_TRUE(StartSwitchesTimerOn(CommandLine::FromArguments({}), true));
    EXPECT_FALSE(StartSwitchesTimerOn(CommandLine::FromArguments({}), false));
    EXPECT_FALSE(StartSwitchesTimerOn(CommandLine::FromArguments({"c:\\p.vlm"}), true));
    EXPECT_FALSE(StartSwitchesTimerOn(CommandLine::FromArguments({"", "-qrun"}), true));
}

}  // namespace
}  // namespace vlm
