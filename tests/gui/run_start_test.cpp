// A run reads its project file when it starts: what was changed in the file after the run window
// opened counts for the run, through the real main window and run window.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "core/project_file.h"
#include "gui/qt_test_app.h"
#include "platform/file_system.h"
#include "runwindow/run_window.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

constexpr const char* kProgramFolder = "c:\\prog";
constexpr const char* kProject = "c:\\prog\\p.vlm";

ProjectFields Fields(const std::string& destdrive, bool confirm, bool precalc) {
    ProjectFields fields;
    fields.destdrive = destdrive;
    fields.destkind = "Fixed";
    fields.confirm = confirm;
    fields.precalc = precalc;
    fields.longnames = false;
    fields.items = {"c:\\src"};
    return fields;
}

std::vector<std::string> Lines(const TRunF& window) {
    std::vector<std::string> lines;
    for (QTextBlock b = window.RunM->document()->begin(); b.isValid(); b = b.next())
        lines.push_back(b.text().toStdString());
    return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(RunStartTest, TheRunFollowsTheProjectFileAsItReadsWhenRunIsPressed) {
    struct Case {
        const char* name;
        std::function<void()> change;  // done after the window opened, before Run
        std::vector<std::string> shown;
        std::vector<std::string> notShown;
        std::string copy;   // where the run must have copied c:\src\a.txt; empty: nowhere
        std::string error;  // the box that refused the run; empty: none
    };
    test::WithQtApplication app;
    const std::vector<Case> cases = {
        {"confirm and precalculation swapped",
         [] { ASSERT_TRUE(WriteProjectFile(DrivePath(kProject), Fields("e:", true, false))); },
         {"Confirm: ON", "Precalculation: OFF"},
         {"Confirm: OFF", "Precalculation: ON", "Checking future free size..."},
         "e:\\VLMcopy_drive_c\\src\\a.txt",
         ""},
        {"another destination drive",
         [] { ASSERT_TRUE(WriteProjectFile(DrivePath(kProject), Fields("f:", false, true))); },
         {"Confirm: OFF", "Precalculation: ON"},
         {},
         "f:\\VLMcopy_drive_c\\src\\a.txt",
         ""},
        {"the file removed",
         [] { ASSERT_TRUE(static_cast<bool>(DeleteFile(DrivePath(kProject)))); },
         {},
         {"Confirm: OFF"},
         "",
         "c:\\prog\\p.vlm does not exist!! Unable to run project."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDrives drives{"cef"};
        ScriptedDialogs dialogs;
        test::MakeDir(drives.Host(kProgramFolder));
        test::WriteFile(drives.Host("c:\\src\\a.txt"), "alpha");
        ASSERT_TRUE(WriteProjectFile(DrivePath(kProject), Fields("e:", false, true)));

        TMainF::StartOptions options;
        options.start.folder = DrivePath(kProgramFolder);
        options.start.settingsPath = DrivePath("c:\\prog\\velmora.ini");
        TMainF main(options);
        std::vector<std::string> memo;
        std::vector<std::string> destinations;
        main.SetRunWindowHook([&](TRunF& window) {
            QTimer::singleShot(0, &window, [&] {
                c.change();
                window.RunB->click();  // returns when the run has ended
                memo = Lines(window);
                destinations = window.DestinationPaths();
                window.reject();
            });
        });
        main.openrunform(kProject);

        for (const std::string& line : c.shown)
            EXPECT_TRUE(Contains(memo, line)) << line;
        for (const std::string& line : c.notShown)
            EXPECT_FALSE(Contains(memo, line)) << line;
        if (c.copy.empty()) {
            EXPECT_TRUE(main.History().Rows().empty());
        } else {
            EXPECT_EQ(test::ReadFile(drives.Host(c.copy)), "alpha");
            ASSERT_EQ(destinations.size(), 1u);
            EXPECT_EQ(c.copy.rfind(destinations[0], 0), 0u) << destinations[0];
        }
        if (c.error.empty())
            EXPECT_EQ(dialogs.Count(BoxType::Error), 0) << dialogs.Texts().front();
        else
            EXPECT_TRUE(dialogs.Shown(BoxType::Error, c.error));
    }
}

}  // namespace
}  // namespace vlm
