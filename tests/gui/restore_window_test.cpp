// The restore window on a real backup folder: what it lists, and what Restore puts back.

#include "dialogs/restore_window.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "engine/version_store.h"
#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

using test::ReadFile;
using test::WriteFile;

constexpr std::time_t kBackedUp = 1'700'000'000;  // the time of the backed-up report
constexpr std::time_t kOlder = kBackedUp - 86'400;
constexpr std::time_t kNewer = kBackedUp + 86'400;

struct RestoreWindowTest : test::WithQtApplication, ::testing::Test {
    test::TempDrives drives{"ce"};

    RestoreWindowTest() {
        WriteFile(Backup("report.txt"), "backed-up report", kBackedUp, 0640);
        WriteFile(Backup("Sub\\notes.txt"), "notes", kBackedUp);
        WriteFile(Backup("Sub\\Deeper\\report-2.txt"), "second", kBackedUp);
        test::MakeDir(drives.Host("c:\\Data"));
    }
    std::string Backup(const std::string& below) const {
        return drives.Host("e:\\VLMcopy_drive_c\\Data\\" + below);
    }
    std::unique_ptr<RestoreWindow> Window(bool versionsOn = false, std::string chosen = {}) {
        RestoreWindowHooks hooks;
        hooks.chooseFolder = [chosen](const std::string&, const std::string&) { return chosen; };
        return std::make_unique<RestoreWindow>(
            RestoreBrowser({{"c:\\Data", "e:\\VLMcopy_drive_c\\Data"}}, versionsOn, false),
            "Restore: Data", hooks);
    }
    static std::vector<std::string> Column(const QTreeWidget* list, int column) {
        std::vector<std::string> texts;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            texts.push_back(list->topLevelItem(i)->text(column).toStdString());
        return texts;
    }
    static void Choose(QTreeWidget* list, const std::string& name) {
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            list->topLevelItem(i)->setSelected(list->topLevelItem(i)->text(0).toStdString() ==
                                               name);
    }
};

TEST_F(RestoreWindowTest, ListsTheBackupAsItsSourcesAndFindsNames) {
    auto window = Window();
    ASSERT_EQ(window->foldersTV->topLevelItemCount(), 1);
    EXPECT_EQ(window->CurrentFolder(), "c:\\Data");
    EXPECT_EQ(Column(window->filesLV, 0), std::vector<std::string>{"report.txt"});
    EXPECT_EQ(Column(window->filesLV, 1), std::vector<std::string>{"16"});

    ASSERT_TRUE(window->SetCurrentFolder("c:\\Data\\Sub\\Deeper"));
    EXPECT_EQ(Column(window->filesLV, 0), std::vector<std::string>{"report-2.txt"});
    EXPECT_FALSE(window->SetCurrentFolder("c:\\Data\\Gone"));

    window->SetCurrentFolder("c:\\Data");
    window->searchE->setText("REPORT");
    EXPECT_EQ(Column(window->filesLV, 0), (std::vector<std::string>{"report.txt", "report-2.txt"}));
    EXPECT_EQ(Column(window->filesLV, 3), (std::vector<std::string>{"", "Sub\\Deeper"}));
    Choose(window->filesLV, "report-2.txt");
    EXPECT_EQ(window->SelectedFiles(),
              std::vector<std::string>{"c:\\Data\\Sub\\Deeper\\report-2.txt"});
    EXPECT_EQ(window->versionsLV->topLevelItemCount(), 1);

    // A file item is its own list.
    RestoreWindow fileItem(
        RestoreBrowser({{"c:\\Data\\report.txt", "e:\\VLMcopy_drive_c\\Data\\report.txt"}}, false,
                       false),
        "Restore: report", {});
    EXPECT_EQ(Column(fileItem.filesLV, 0), std::vector<std::string>{"report.txt"});
}

TEST_F(RestoreWindowTest, RestoreBringsBackBytesTimeAndBitsAndAsksBeforeANewerFile) {
    struct Case {
        const char* what;
        const char* there;  // content at the original place, nullptr: nothing
        std::time_t thereTime;
        Answer answer;         // to the newer-file question; Ok: not asked
        const char* expected;  // content at the original place afterwards
        bool keptAside;
    };
    const Case cases[] = {
        {"missing", nullptr, 0, Answer::Ok, "backed-up report", false},
        {"older", "older text", kOlder, Answer::Ok, "backed-up report", true},
        {"newer, replaced", "newer text", kNewer, Answer::Yes, "backed-up report", true},
        {"newer, kept", "newer text", kNewer, Answer::No, "newer text", false},
        {"the same", "backed-up report", kBackedUp, Answer::Ok, "backed-up report", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RemoveTree(drives.Host("c:\\Data"));
        const std::string original = drives.Host("c:\\Data\\report.txt");
        if (c.there != nullptr)
            WriteFile(original, c.there, c.thereTime);
        ScriptedDialogs dialogs;
        if (c.answer != Answer::Ok)
            dialogs.ExpectQuestion(BoxType::Warning, "The file c:\\Data\\report.txt", c.answer);
        auto window = Window();
        Choose(window->filesLV, "report.txt");
        window->restoreB->click();

        EXPECT_EQ(ReadFile(original), c.expected);
        const auto tree = test::ReadTree(drives.Host("c:\\Data"));
        ASSERT_EQ(tree.size(), c.keptAside ? 2u : 1u);
        if (c.keptAside) {
            EXPECT_EQ(ReadFile(drives.Host("c:\\Data") + "/" + tree[1].path), c.there);
            EXPECT_TRUE(tree[1].path.starts_with("report.txt (before restore ")) << tree[1].path;
        }
        if (c.there == nullptr || c.keptAside) {  // written by the restore
            struct stat st {};
            ASSERT_EQ(stat(original.c_str(), &st), 0);
            EXPECT_EQ(st.st_mtime, kBackedUp);
            EXPECT_EQ(st.st_mode & 0777, 0640u);
        }
        EXPECT_EQ(dialogs.Count(BoxType::Error), 0);
        EXPECT_EQ(window->statusL->text().contains("kept beside"), c.keptAside);
    }
}

TEST_F(RestoreWindowTest, RestoreToAFolderPutsTheChosenFolderThereWhole) {
    const std::string into = drives.Host("c:\\Elsewhere");
    test::MakeDir(into);
    auto window = Window(false, into);
    ASSERT_TRUE(window->SetCurrentFolder("c:\\Data\\Sub"));
    window->restoretoB->click();
    EXPECT_EQ(ReadFile(into + "/Sub/notes.txt"), "notes");
    EXPECT_EQ(ReadFile(into + "/Sub/Deeper/report-2.txt"), "second");
    EXPECT_FALSE(test::Exists(drives.Host("c:\\Data\\report.txt")));
    EXPECT_EQ(window->statusL->text().toStdString(), "Restored 2 file(s).");
}

TEST_F(RestoreWindowTest, AnEarlierRunShowsTheBackupAsItWasAndRestoresTheOlderFile) {
    // A run an hour before the backed-up report replaced the old report and added Sub.
    const std::string mirror = "e:\\VLMcopy_drive_c\\Data";
    test::RemoveTree(Backup("report.txt"));
    WriteFile(Backup("report.txt"), "old", kOlder);
    {
        VersionKeeper keeper(*VersionStore::For(DrivePath("c:\\Data"), DrivePath(mirror), false),
                             HostTimeToDateTime(kBackedUp - 3600));
        ASSERT_TRUE(keeper.Keep(DrivePath(mirror + "\\report.txt")));
        keeper.NoteAdded(DrivePath(mirror + "\\Sub"));
    }
    WriteFile(Backup("report.txt"), "backed-up report", kBackedUp);

    const std::string into = drives.Host("c:\\Elsewhere");
    test::MakeDir(into);
    auto window = Window(true, into);
    ASSERT_EQ(window->asofC->count(), 2);
    EXPECT_TRUE(window->asofC->isEnabled());
    EXPECT_EQ(window->foldersTV->topLevelItem(0)->childCount(), 1);  // Sub, now
    Choose(window->filesLV, "report.txt");
    EXPECT_EQ(Column(window->versionsLV, 1), (std::vector<std::string>{"16", "3"}));
    window->versionsLV->setCurrentItem(window->versionsLV->topLevelItem(1));
    window->restoretoB->click();
    EXPECT_EQ(ReadFile(into + "/report.txt"), "old");

    window->asofC->setCurrentIndex(1);
    EXPECT_EQ(window->foldersTV->topLevelItem(0)->childCount(), 0);  // Sub came later
    EXPECT_EQ(Column(window->filesLV, 1), std::vector<std::string>{"3"});
    Choose(window->filesLV, "report.txt");
    window->restoreB->click();
    const std::string original = drives.Host("c:\\Data\\report.txt");
    EXPECT_EQ(ReadFile(original), "old");
    struct stat st {};
    ASSERT_EQ(stat(original.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, kOlder);
}

TEST_F(RestoreWindowTest, WithoutABackupNothingCanBeRestoredAndTheWindowSaysWhy) {
    test::RemoveTree(drives.Host("e:\\VLMcopy_drive_c"));
    auto window = Window(true);
    EXPECT_FALSE(window->restoreB->isEnabled());
    EXPECT_FALSE(window->restoretoB->isEnabled());
    EXPECT_FALSE(window->asofC->isEnabled());
    EXPECT_EQ(window->foldersTV->topLevelItemCount(), 0);
    EXPECT_TRUE(window->noteL->text().startsWith("This project has no backup yet"));
}

}  // namespace
}  // namespace vlm
