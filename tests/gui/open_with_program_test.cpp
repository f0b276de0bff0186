#include "app/open_with_program.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "support/scoped_env.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

// A log that is there and readable, but nothing to open it with: the box says so, and does not
// suggest the file is at fault.
TEST(OpenWithItsProgram, NamesTheCauseOfAFailure) {
    test::TempDrives drives("c");
    test::WriteFile(drives.Host("c:\\logs\\Vlmlogtmp.txt"), "Start time: 1\r\n");
    const std::string bin = drives.Base() + "/bin";
    test::MakeDir(bin);
    test::ScopedEnv onlyThere("PATH", bin);
    struct Case {
        const char* script;  // nullptr: no xdg-open at all
        bool opened;
        const char* box;
    };
    const Case cases[] = {
        {nullptr, false,
         "Unable to open c:\\logs\\Vlmlogtmp.txt: there is no program to open it with "
         "(xdg-open is not installed)"},
        {"exit 3", false,
         "Unable to open c:\\logs\\Vlmlogtmp.txt: there is no program to open it with (exit "
         "status 3 of xdg-open: a tool it needs is not installed)"},
        {"exit 0", true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script ? c.script : "no xdg-open");
        if (c.script)
            test::WriteFile(bin + "/xdg-open", std::string("#!/bin/sh\n") + c.script + "\n",
                            std::nullopt, 0755);
        ScriptedDialogs dialogs;
        EXPECT_EQ(OpenWithItsProgram("c:\\logs\\Vlmlogtmp.txt", "c:\\logs\\Vlmlogtmp.txt"),
                  c.opened);
        if (c.box) {
            ASSERT_EQ(dialogs.Boxes().size(), 1u);
            EXPECT_EQ(dialogs.Boxes()[0].type, BoxType::Error);
            EXPECT_EQ(dialogs.Boxes()[0].text, c.box);
        } else {
            EXPECT_TRUE(dialogs.Boxes().empty());
        }
    }
}

}  // namespace
}  // namespace vlm
