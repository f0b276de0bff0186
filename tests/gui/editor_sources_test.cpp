// The source side of the project editor: choosing items in the browse pane, and the rules of
// Add and Delete that keep the source list free of duplicates and nesting.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>

#include "gui/editor_rig.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"
#include "widgets/file_list.h"
#include "widgets/folder_tree.h"

namespace vlm {
namespace {

using test::EditorRig;
using test::MakeDir;
using test::WriteFile;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr const char* kIncorrect = "Fatal error: Incorrect source path!";

class EditorSourcesTest : public EditorRig {};

TEST_F(EditorSourcesTest, AnItemEqualButForLetterCaseIsRefusedAsADuplicate) {
    Open();
    AddItem("c:\\data");
    AddItem("C:\\Data");
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\data"));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Forbidden to add C:\\Data twice in list! It makes no sense."));
}

TEST_F(EditorSourcesTest, AnItemInsideAListedOneIsAddedOnlyWhenThePersonInsists) {
    struct Case {
        Answer answer;
        std::vector<std::string> expected;
    };
    for (const Case& c :
         {Case{Answer::No, {"c:\\data"}}, Case{Answer::Yes, {"c:\\data", "c:\\data\\sub"}}}) {
        SCOPED_TRACE(c.answer == Answer::Yes ? "Yes" : "No");
        Open();
        AddItem("c:\\data");
        dialogs.ExpectQuestion(BoxType::Warning,
                               "c:\\data\\sub is a part of already listed c:\\data. So the item is "
                               "infact already added. Nesting makes no sense. Add anyway??",
                               c.answer);
        AddItem("c:\\data\\sub");
        EXPECT_EQ(E().SourceItems(), c.expected);
    }
}

TEST_F(EditorSourcesTest, ASiblingWhoseNameSharesTheBeginningCountsAsNestedToo) {
    Open();
    AddItem("c:\\data");
    dialogs.ExpectQuestion("c:\\data2 is a part of already listed c:\\data.", Answer::No);
    AddItem("c:\\data2");
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\data"));
}

TEST_F(EditorSourcesTest, ListedItemsInsideANewOneAreOfferedForRemovalLastFirst) {
    struct Case {
        Answer aboutOther, aboutSub;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {Answer::Yes, Answer::Yes, {"c:\\data"}},
        {Answer::No, Answer::Yes, {"c:\\data\\other", "c:\\data"}},
        {Answer::No, Answer::No, {"c:\\data\\sub", "c:\\data\\other", "c:\\data"}},
    };
    for (const Case& c : cases) {
        Open();
        AddItems({"c:\\data\\sub", "c:\\data\\other"});
        dialogs.ExpectQuestion(BoxType::Warning,
                               "Already listed c:\\data\\other is a part of c:\\data. Nesting "
                               "makes no sense! Remove c:\\data\\other from list??",
                               c.aboutOther);
        dialogs.ExpectQuestion(BoxType::Warning,
                               "Already listed c:\\data\\sub is a part of c:\\data. Nesting "
                               "makes no sense! Remove c:\\data\\sub from list??",
                               c.aboutSub);
        AddItem("c:\\data");
        EXPECT_EQ(E().SourceItems(), c.expected);
    }
}

TEST_F(EditorSourcesTest, AnEmptyItemAsksForAChoiceFirst) {
    Open();
    AddItem("");
    EXPECT_THAT(dialogs.TextsOf(BoxType::Plain),
                ElementsAre("Select an item to add first, by clicking a folder or file!"));
    EXPECT_TRUE((E().SourceItems()).empty());
}

TEST_F(EditorSourcesTest, ItemsWithoutADestinationAreRefusedAndTheEditorStaysOpen) {
    for (const char* item : {"\\\\server\\share", "data\\docs", "c:\\data\\..\\..\\etc",
                             "c:\\data\\.\\x", "c:\\data\\\\x", "c:\\a\nb", "c:\\a\rb"}) {
        SCOPED_TRACE(item);
        Open();
        AddItem("c:\\kept");
        dialogs.ClearRecord();
        AddItem(item);
        EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\kept"));
        EXPECT_THAT(dialogs.TextsOf(BoxType::Error), ElementsAre(kIncorrect));
        EXPECT_TRUE(E().isVisible());
    }
}

TEST_F(EditorSourcesTest, ANativePathTypedIsTakenAsItsDrivePath) {
    MakeDir(drives.Host("c:\\docs\\Letters"));
    Open();
    E().AddfnE->setText(QString::fromStdString(drives.Host("c:\\docs\\Letters") + "/"));
    emit E().AddfnE->editingFinished();
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs\\Letters");
    E().AddfnB->click();

    // Typed and added at once, without leaving the field.
    AddItem(drives.HostRoot('e'));
    // A host folder outside every drive has no drive path.
    AddItem("/proc/velmora-nowhere");
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\docs\\Letters", "e:"));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error), ElementsAre(kIncorrect));
}

TEST_F(EditorSourcesTest, ClickingAFolderOrAFileChoosesTheItemToAdd) {
    MakeDir(drives.Host("c:\\docs\\Letters"));
    WriteFile(drives.Host("c:\\docs\\Letters\\May.txt"), "x");
    Open();
    EXPECT_EQ(E().DriV->CurrentFolder(), "c:\\docs");
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs");

    Click(E().DriV, E().DriV->FindItem("c:\\docs\\Letters"));
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs\\Letters");
    ASSERT_EQ(E().DirV->topLevelItemCount(), 1);
    Click(E().DirV, E().DirV->topLevelItem(0));
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs\\Letters\\May.txt");

    // A drive root comes without its backslash.
    Click(E().DriV, E().DriV->FindItem("c:\\"));
    EXPECT_EQ(Text(E().AddfnE), "c:");
    E().AddfnB->click();
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:"));
}

TEST_F(EditorSourcesTest, FiveSelectedFilesAreAddedOneByOneAndADuplicateAmongThemIsRefused) {
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"};
    for (const std::string& name : names)
        WriteFile(drives.Host("c:\\docs\\" + name), name);
    Open();
    AddItem("C:\\DOCS\\C.TXT");
    dialogs.ClearRecord();

    ASSERT_EQ(E().DirV->topLevelItemCount(), 5);
    Click(E().DirV, E().DirV->topLevelItem(0));
    for (int i = 1; i < 5; ++i)
        Click(E().DirV, E().DirV->topLevelItem(i), Qt::ControlModifier);
    EXPECT_TRUE(E().MultiSelectionMode());
    EXPECT_EQ(Text(E().AddfnE), "(See multi-selection of files above...)");
    EXPECT_FALSE(E().AddfnE->isEnabled());

    E().AddfnB->click();
    EXPECT_THAT(E().SourceItems(),
                ElementsAre("C:\\DOCS\\C.TXT", "c:\\docs\\a.txt", "c:\\docs\\b.txt",
                            "c:\\docs\\d.txt", "c:\\docs\\e.txt"));
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Forbidden to add c:\\docs\\c.txt twice in list! It makes no sense."));

    // A click into the folder tree ends the multi-selection.
    Click(E().DriV, E().DriV->FindItem("c:\\docs"));
    EXPECT_FALSE(E().MultiSelectionMode());
    EXPECT_TRUE(E().AddfnE->isEnabled());
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs");
}

TEST_F(EditorSourcesTest, SynchronisingAllowsOneSourceItemOnly) {
    settings.ShowSyncOption = true;
    Open();
    E().syncCB->click();
    AddItem("c:\\data");
    for (const char* second : {"c:\\other", "c:\\data", "\\\\server\\x"}) {
        dialogs.ClearRecord();
        AddItem(second);
        EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                    ElementsAre("Forbidden! When synchronizing option checked, you can have only "
                                "one source item."));
    }
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\data"));
}

TEST_F(EditorSourcesTest, ASynchronisedItemMayNotNestWithTheDestination) {
    struct Case {
        const char* item;
        bool refused;
    };
    settings.ShowSyncOption = true;
    for (const Case& c : {Case{"e:\\mirror\\sub", true}, Case{"e:", true}, Case{"E:\\MIRROR", true},
                          Case{"e:\\", false}, Case{"c:\\data", false}}) {
        SCOPED_TRACE(c.item);
        Open();
        E().syncCB->click();
        E().syncdestE->setText("e:\\mirror");
        dialogs.ClearRecord();
        AddItem(c.item);
        if (c.refused) {
            EXPECT_TRUE((E().SourceItems()).empty());
            EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                        ElementsAre(std::string("Nesting forbidden! e:\\mirror and ") + c.item +
                                    " are part of each other!!"));
        } else {
            EXPECT_THAT(E().SourceItems(), ElementsAre(c.item));
            EXPECT_TRUE((dialogs.Boxes()).empty());
        }
    }
}

TEST_F(EditorSourcesTest, DeleteRemovesTheSelectedEntriesOrAsksForASelection) {
    Open();
    AddItems({"c:\\a", "c:\\b", "c:\\c", "c:\\d"});
    E().fdlistLB->clearSelection();
    dialogs.ClearRecord();
    E().DelfnB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Plain), ElementsAre("Select first an item"));
    EXPECT_EQ(E().SourceItems().size(), 4u);

    E().fdlistLB->item(1)->setSelected(true);
    E().fdlistLB->item(3)->setSelected(true);
    E().DelfnB->click();
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\a", "c:\\c"));

    E().fdlistLB->item(0)->setSelected(true);
    E().DelfnB->click();
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\c"));
    E().fdlistLB->item(0)->setSelected(true);
    E().DelfnB->click();
    EXPECT_EQ(E().StatusText(), "No source items added");
}

TEST_F(EditorSourcesTest, FolderInformationShowsSizeAndDateOrTheDrivesFreeSpace) {
    MakeDir(drives.Host("c:\\docs\\Sized"));
    test::MakeSizedFile(drives.Host("c:\\docs\\Sized\\one.bin"), 1500);
    test::MakeSizedFile(drives.Host("c:\\docs\\Sized\\deep\\two.bin"), 2000000);
    Open();
    Click(E().DriV, E().DriV->FindItem("c:\\docs\\Sized"));
    EXPECT_EQ(E().StatusText(), "");

    E().infoCB->click();
    EXPECT_EQ(E().StatusText(),
              "2.001.500 bytes; Created: " + ItemDateText(DrivePath("c:\\docs\\Sized")));

    Click(E().DriV, E().DriV->FindItem("c:\\"));
    const std::string status = E().StatusText();
    EXPECT_THAT(status, ::testing::EndsWith(" bytes free on drive c:\\"));
    EXPECT_NE(status.find('.'), std::string::npos) << "free bytes grouped by three: " << status;

    E().infoCB->click();
    EXPECT_EQ(E().StatusText(), "");
}

TEST_F(EditorSourcesTest, TheFileListShowsTheFilesOfTheFolderThatMatchTheMask) {
    WriteFile(drives.Host("c:\\docs\\Budget.xls"), "1");
    WriteFile(drives.Host("c:\\docs\\letter.TXT"), "22");
    WriteFile(drives.Host("c:\\docs\\notes.txt"), "333");
    WriteFile(drives.Host("c:\\docs\\.hidden.txt"), "4");
    MakeDir(drives.Host("c:\\docs\\folder.txt"));
    Open();
    EXPECT_THAT(E().DirV->ListedPaths(),
                ElementsAre("c:\\docs\\Budget.xls", "c:\\docs\\letter.TXT", "c:\\docs\\notes.txt"));
    E().filterE->setText("*.txt");
    EXPECT_THAT(E().DirV->ListedPaths(),
                ElementsAre("c:\\docs\\letter.TXT", "c:\\docs\\notes.txt"));
    E().filterE->setText("*.xls;n*");
    EXPECT_THAT(E().DirV->ListedPaths(),
                ElementsAre("c:\\docs\\Budget.xls", "c:\\docs\\notes.txt"));
}

TEST(FileMaskTest, MatchesAsAFileDialogDoes) {
    struct Case {
        const char* name;
        const char* mask;
        bool matches;
    };
    const Case cases[] = {
        {"notes.txt", "*.*", true},       {"Makefile", "*.*", true},
        {"notes.txt", "*.TXT", true},     {"notes.txt.bak", "*.txt", false},
        {"a.doc", "*.xls; *.doc", true},  {"a.doc", "*.xls;*.ppt", false},
        {"report", "report.*", true},     {"report.pdf", "report.*", true},
        {"data1.csv", "data?.csv", true}, {"data12.csv", "data?.csv", false},
        {"anything", "", true},           {"x", "*", true},
        {"abcabd", "*abd", true},         {"abc", "a*c*d", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesFileMask(c.name, c.mask), c.matches) << c.name << " / " << c.mask;
}

TEST_F(EditorSourcesTest, ClickingTheSourceTitleMakesTheExampleShowTheLastEntry) {
    Open();
    E().destdriveC->setEditText("e:");
    AddItems({"c:\\a", "c:\\b"});
    E().fdlistLB->setCurrentRow(0);
    E().fdlistLBClick();
    EXPECT_EQ(E().StatusText(), "From c:\\a To e:\\VLMcopy_drive_c\\a");
    ClickWidget(E().sourceL);
    EXPECT_EQ(E().fdlistLB->currentRow(), -1);
    E().showfromtoexample();
    EXPECT_EQ(E().StatusText(), "From c:\\b To e:\\VLMcopy_drive_c\\b");
}

}  // namespace
}  // namespace vlm
