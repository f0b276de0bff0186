// The Restore window as of now: Find also lists the files deleted since whose versions were
// kept, marked, and Restore brings back the newest of them.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/restore_window.h"
#include "engine/version_store.h"
#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ReadFile;
using test::WriteFile;

DateTime Day(int day) {
    return MakeDateTime(LocalFields{2026, 3, day, 12, 0, 0, 0});
}

TEST(RestoreDeleted, FindNowListsDeletedFilesWithVersionsAndRestoresTheNewest) {
    test::WithQtApplication app;
    ScriptedDialogs dialogs;
    test::TempDrives drives{"ce"};
    const DrivePath mirror("e:\\VLMcopy_drive_c\\Data");
    const VersionStore store = *VersionStore::For(DrivePath("c:\\Data"), mirror, false);
    const auto host = [&](const std::string& below) {
        return drives.Host(mirror.Text() + "\\" + below);
    };
    WriteFile(host("plan.txt"), "kept now");
    WriteFile(host("Sub\\plan-old.txt"), "first");
    {
        VersionKeeper day5(store, Day(5));
        ASSERT_TRUE(day5.Keep(mirror / "Sub" / "plan-old.txt"));
    }
    WriteFile(host("Sub\\plan-old.txt"), "second");
    {
        VersionKeeper day9(store, Day(9));
        ASSERT_TRUE(day9.Keep(mirror / "Sub" / "plan-old.txt"));
    }
    test::MakeDir(drives.Host("c:\\Data\\Sub"));

    RestoreWindow window(RestoreBrowser({{"c:\\Data", mirror.Text()}}, true, false),
                         "Restore: Data", RestoreWindowHooks{});
    window.searchE->setText("plan");
    std::vector<std::string> names;
    for (int i = 0; i < window.filesLV->topLevelItemCount(); ++i)
        names.push_back(window.filesLV->topLevelItem(i)->text(0).toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"plan.txt", "plan-old.txt (deleted)"}));

    window.filesLV->topLevelItem(1)->setSelected(true);
    window.restoreB->click();
    EXPECT_EQ(ReadFile(drives.Host("c:\\Data\\Sub\\plan-old.txt")), "second");
}

}  // namespace
}  // namespace vlm
