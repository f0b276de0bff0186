// The browse widgets of the project editor on real folders: what the folder tree and the file
// list show, and the drive paths they hand on.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidgetItem>
#include <functional>
#include <string>
#include <vector>

#include "gui/qt_test_app.h"
#include "gui/run_window_test_helpers.h"
#include "support/temp_drives.h"
#include "widgets/drive_box.h"
#include "widgets/file_list.h"
#include "widgets/folder_tree.h"

namespace vlm {
namespace {

using test::MakeDir;
using test::MakeFifo;
using test::MakeSizedFile;
using test::MakeSymlink;
using test::TempDrives;
using test::WriteFile;
using ::testing::ElementsAre;

class BrowseWidgetsTest : public ::testing::Test {
protected:
    BrowseWidgetsTest() { test::EnsureQtApplication(); }

    // The folder names shown below `path`, in order.
    static std::vector<std::string> Shown(const FolderTree& tree, const std::string& path) {
        std::vector<std::string> names;
        const QTreeWidgetItem* item = tree.FindItem(path);
        for (int i = 0; item != nullptr && i < item->childCount(); ++i)
            names.push_back(item->child(i)->text(0).toStdString());
        return names;
    }

    TempDrives drives{"cd"};
};

TEST_F(BrowseWidgetsTest, TheTreeShowsFoldersAndFolderLinksButNotHiddenFoldersOrFiles) {
    MakeDir(drives.Host("c:\\top\\Beta"));
    MakeDir(drives.Host("c:\\top\\alpha"));
    MakeDir(drives.Host("c:\\top\\.cache"));
    WriteFile(drives.Host("c:\\top\\file.txt"), "x");
    MakeDir(drives.Host("c:\\elsewhere"));
    MakeSymlink(drives.Host("c:\\elsewhere"), drives.Host("c:\\top\\linked"));
    MakeSymlink(drives.Host("c:\\top\\file.txt"), drives.Host("c:\\top\\filelink"));
    FolderTree tree;
    ASSERT_TRUE(tree.SetCurrentFolder("c:\\top"));
    EXPECT_EQ(tree.CurrentFolder(), "c:\\top");
    EXPECT_THAT(Shown(tree, "c:\\top"), ElementsAre("alpha", "Beta", "linked"));

    // A hidden folder is still reached by its path.
    ASSERT_TRUE(tree.SetCurrentFolder("c:\\top\\.cache"));
    EXPECT_EQ(tree.CurrentFolder(), "c:\\top\\.cache");
    // Nothing changes for a path that is no folder.
    EXPECT_FALSE(tree.SetCurrentFolder("c:\\top\\file.txt"));
    EXPECT_FALSE(tree.SetCurrentFolder("c:\\top\\..\\elsewhere"));
    EXPECT_FALSE(tree.SetCurrentFolder("q:\\"));
    EXPECT_EQ(tree.CurrentFolder(), "c:\\top\\.cache");
}

TEST_F(BrowseWidgetsTest, TheTreeTellsEveryChangeOfFolderAndMovesBetweenDrives) {
    MakeDir(drives.Host("d:\\x"));
    FolderTree tree;
    std::vector<std::string> changes;
    QObject::connect(&tree, &FolderTree::folderChanged,
                     [&](const QString& path) { changes.push_back(path.toStdString()); });
    tree.SetDrive('C');
    tree.SetCurrentFolder("d:\\x");
    tree.SetCurrentFolder("d:");
    EXPECT_THAT(changes, ElementsAre("c:\\", "d:\\x", "d:\\"));
    EXPECT_EQ(tree.Drive(), 'd');
}

TEST_F(BrowseWidgetsTest, FolderSizesAreTheFullSizesOfTheFoldersShown) {
    MakeSizedFile(drives.Host("c:\\top\\a\\one.bin"), 1500);
    MakeSizedFile(drives.Host("c:\\top\\a\\deep\\two.bin"), 2000000);
    MakeDir(drives.Host("c:\\top\\empty"));
    FolderTree tree;
    tree.SetShowSizes(true);
    ASSERT_TRUE(tree.SetCurrentFolder("c:\\top"));
    // Measured on worker threads, the sizes come through the event loop: none is there yet,
    // and the tree has answered.
    EXPECT_EQ(tree.FindItem("c:\\top\\a")->text(1).toStdString(), "");
    EXPECT_GT(tree.PendingSizes(), 0);
    ASSERT_TRUE(test::WaitFor([&] { return tree.PendingSizes() == 0; }, 10000));
    EXPECT_EQ(tree.FindItem("c:\\top\\a")->text(1).toStdString(), "2.001.500");
    EXPECT_EQ(tree.FindItem("c:\\top\\empty")->text(1).toStdString(), "0");
    EXPECT_EQ(tree.FindItem("c:\\top")->text(1).toStdString(), "2.001.500");
    // The column has grown to show the widest size whole.
    EXPECT_GT(tree.header()->sectionSize(1),
              tree.fontMetrics().horizontalAdvance(QStringLiteral("2.001.500")));
    tree.SetShowSizes(false);
    EXPECT_EQ(tree.columnCount(), 1);
    EXPECT_EQ(tree.CurrentFolder(), "c:\\top");
    EXPECT_EQ(tree.PendingSizes(), 0);
}

// Work for folders no longer shown is dropped: a closed branch, a tree that changed drives, a
// tree that is gone. What arrives late for them is never written anywhere.
TEST_F(BrowseWidgetsTest, SizesOfFoldersNoLongerShownAreDropped) {
    for (int i = 0; i < 30; ++i)
        MakeSizedFile(drives.Host("c:\\top\\f" + std::to_string(i) + "\\x.bin"), 10 + i);
    MakeSizedFile(drives.Host("d:\\other\\y.bin"), 7);
    struct Case {
        const char* what;
        std::function<void(FolderTree&)> leave;
        const char* shownAfterwards;  // a folder whose size must arrive afterwards
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"branch closed", [](FolderTree& tree) { tree.FindItem("c:\\top")->setExpanded(false); },
         nullptr, nullptr},
        {"another drive", [](FolderTree& tree) { tree.SetDrive('d'); }, "d:\\other", "7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FolderTree tree;
        tree.SetShowSizes(true);
        ASSERT_TRUE(tree.SetCurrentFolder("c:\\top"));
        ASSERT_GE(tree.PendingSizes(), 30);
        c.leave(tree);
        // Only what is still shown is waited for.
        ASSERT_TRUE(test::WaitFor([&] { return tree.PendingSizes() == 0; }, 10000));
        // Give the dropped workers time to finish, and their results time to come in.
        test::WaitFor([] { return false; }, 200);
        if (c.shownAfterwards != nullptr) {
            EXPECT_EQ(tree.FindItem(c.shownAfterwards)->text(1).toStdString(), c.expected);
        }
        if (QTreeWidgetItem* top = tree.FindItem("c:\\top")) {
            for (int i = 0; i < top->childCount(); ++i)
                EXPECT_EQ(top->child(i)->text(1).toStdString(), "") << i;
            // Opened again, the branch is measured again.
            top->setExpanded(true);
            ASSERT_TRUE(test::WaitFor([&] { return tree.PendingSizes() == 0; }, 10000));
            EXPECT_EQ(tree.FindItem("c:\\top\\f29")->text(1).toStdString(), "39");
        }
    }
    // A tree destroyed with its measurements running waits for them, and nothing arrives at it.
    {
        FolderTree tree;
        tree.SetShowSizes(true);
        ASSERT_TRUE(tree.SetCurrentFolder("c:\\top"));
    }
    QApplication::processEvents();
}

// The interface thread only lists: a wide folder is listed whole, in listing order, with the
// sizes still to come.
TEST_F(BrowseWidgetsTest, AWideFolderIsListedWholeAtOnce) {
    for (int i = 0; i < 600; ++i)
        MakeDir(drives.Host("c:\\wide\\n" + std::to_string(1000 + i)));
    FolderTree tree;
    tree.SetShowSizes(true);
    ASSERT_TRUE(tree.SetCurrentFolder("c:\\wide"));
    QTreeWidgetItem* wide = tree.FindItem("c:\\wide");
    ASSERT_EQ(wide->childCount(), 600);
    EXPECT_EQ(wide->child(0)->text(0).toStdString(), "n1000");
    EXPECT_EQ(wide->child(599)->text(0).toStdString(), "n1599");
    // Its 600 folders, and c:\wide itself as a folder of the drive.
    EXPECT_EQ(tree.PendingSizes(), 601);
    ASSERT_TRUE(test::WaitFor([&] { return tree.PendingSizes() == 0; }, 20000));
    EXPECT_EQ(wide->child(599)->text(1).toStdString(), "0");
}

TEST_F(BrowseWidgetsTest, TheFileListShowsPlainFilesAndFileLinksWithSizeAndSeconds) {
    WriteFile(drives.Host("c:\\f\\b.txt"), "12345", 1700000001);
    WriteFile(drives.Host("c:\\f\\A.txt"), "1");
    MakeDir(drives.Host("c:\\f\\sub"));
    MakeFifo(drives.Host("c:\\f\\pipe"));
    MakeSymlink(drives.Host("c:\\f\\b.txt"), drives.Host("c:\\f\\link.txt"));
    MakeSymlink(drives.Host("c:\\f\\sub"), drives.Host("c:\\f\\sublink"));
    FileList list;
    list.SetFolder("c:\\f");
    EXPECT_THAT(list.ListedPaths(), ElementsAre("c:\\f\\A.txt", "c:\\f\\b.txt", "c:\\f\\link.txt"));
    const QTreeWidgetItem* b = list.topLevelItem(1);
    EXPECT_EQ(b->text(1).toStdString(), "5");
    // The date column carries the time with its seconds (an odd second included).
    EXPECT_THAT(b->text(2).toStdString(), ::testing::MatchesRegex(".*[0-9]:[0-9][0-9]:[0-9][0-9]"));

    list.topLevelItem(2)->setSelected(true);
    list.topLevelItem(0)->setSelected(true);
    EXPECT_EQ(list.SelectedCount(), 2);
    EXPECT_THAT(list.SelectedPaths(), ElementsAre("c:\\f\\A.txt", "c:\\f\\link.txt"));
    list.SetMultiSelect(false);
    EXPECT_EQ(list.SelectedCount(), 0);
}

TEST_F(BrowseWidgetsTest, TheFileListOfARootNamesFilesWithOneBackslash) {
    WriteFile(drives.Host("d:\\r.txt"), "r");
    FileList list;
    list.SetFolder("d:\\");
    EXPECT_THAT(list.ListedPaths(), ElementsAre("d:\\r.txt"));
}

TEST_F(BrowseWidgetsTest, TheDriveBoxListsThePresentDrives) {
    drives.Pin('f', false);  // pinned, but its folder is missing: not present
    DriveBox box;
    std::vector<char> letters;
    for (int i = 0; i < box.count(); ++i)
        letters.push_back(static_cast<char>(box.itemData(i).toInt()));
    EXPECT_THAT(letters, ElementsAre('c', 'd'));
    EXPECT_TRUE(box.SetDrive('D'));
    EXPECT_EQ(box.Drive(), 'd');
    EXPECT_FALSE(box.SetDrive('f'));
    EXPECT_THAT(box.currentText().toStdString(), ::testing::StartsWith("d:   /"));
}

}  // namespace
}  // namespace vlm
