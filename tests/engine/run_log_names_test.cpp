// The log file is read by a person, in Log file > View or any editor: its names read as the run
// window shows them, the characters a drive name holds as stand-ins written out, except control
// characters, which keep their stand-ins so that no name breaks a line.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_rig.h"

namespace vlm {
namespace {

using test::EngineRig;

TEST(RunLogNamesTest, TheLogFileShowsNamesAsTheWindowDoes) {
    struct Case {
        const char* name;
        std::string hostName;  // of a file in the source folder
        std::string inLog;     // the name as the log file must hold it
        std::string notInLog;  // what it must not hold
    };
    const std::vector<Case> cases = {
        {"a colon", "a:b.txt", "a:b.txt",
         "a\xEF\x80\xBA"
         "b.txt"},
        {"a question mark and a star", "why?*.txt", "why?*.txt", "why\xEF\x80\xBF"},
        {"a control character", "bell\x07.txt", "bell\xEF\x80\x87.txt", "bell\x07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EngineRig rig;
        rig.view.logToFile = true;
        test::WriteFile(rig.Src("docs/" + c.hostName), "x");
        rig.engine.run(rig.Project(EngineRig::Fields({"c:\\docs"})));
        ASSERT_EQ(rig.engine.Outcome(), std::optional<std::string>("OK"));
        EXPECT_EQ(test::ReadFile(rig.Dst("VLMcopy_drive_c/docs/" + c.hostName)), "x");

        const std::string log = test::ReadFile(rig.drives.HostRoot('l') + "/Vlmlogtmp.txt");
        EXPECT_NE(log.find(c.inLog), std::string::npos) << log;
        EXPECT_EQ(log.find(c.notInLog), std::string::npos) << log;
    }
}

}  // namespace
}  // namespace vlm
