// The destination side of the project editor: drive entries, the kind that follows a drive, the
// kind rule of file-name checking, the synchronising layout and the example in the status bar.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>
#include <string>
#include <vector>

#include "gui/editor_rig.h"
#include "widgets/file_list.h"

namespace vlm {
namespace {

using test::EditorRig;
using ::testing::ElementsAre;

class EditorDestinationTest : public EditorRig {
protected:
    // Picks entry `index` of a combo box from its list, as the mouse does.
    static void Pick(QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    static int IndexOfLetter(char letter) { return letter - 'a' + 1; }
};

TEST_F(EditorDestinationTest, TheDriveBoxListsEveryLetterWithItsKindBetweenDefaultAndEmpty) {
    Open();
    QComboBox* box = E().destdriveC;
    ASSERT_EQ(box->count(), 28);
    EXPECT_EQ(box->itemText(0).toStdString(), "<default>");
    EXPECT_EQ(box->itemText(27).toStdString(), "");
    EXPECT_EQ(box->itemText(IndexOfLetter('q')).toStdString(), "q: <Unknown>");
    const std::string c = box->itemText(IndexOfLetter('c')).toStdString();
    EXPECT_THAT(c, ::testing::AnyOf("c: <Removable>", "c: <Fixed>", "c: <Network>", "c: <CD/DVD>",
                                    "c: <RAMDISK>"));
}

TEST_F(EditorDestinationTest, ADrivePluggedInMeanwhileAppearsOnTheNextActivation) {
    Open();
    E().destdriveC->setEditText("x");
    EXPECT_EQ(E().destdriveC->itemText(IndexOfLetter('f')).toStdString(), "f: <Unknown>");
    drives.Pin('f');
    E().FormActivate();
    EXPECT_NE(E().destdriveC->itemText(IndexOfLetter('f')).toStdString(), "f: <Unknown>");
    // What the box holds stays as it was.
    EXPECT_EQ(E().destdriveC->currentText().toStdString(), "x");
}

TEST_F(EditorDestinationTest, PickingADriveFillsInItsKindWithoutJudgingFileNames) {
    Open();
    E().longfnameCB->setChecked(true);
    Pick(E().destdriveC, IndexOfLetter('e'));
    const std::string entry = E().destdriveC->currentText().toStdString();
    // "e: <Kind>" puts Kind into the kind box.
    EXPECT_EQ(E().destkindC->currentText().toStdString(), entry.substr(4, entry.size() - 5));
    EXPECT_TRUE(E().longfnameCB->isChecked());

    Pick(E().destdriveC, IndexOfLetter('q'));
    EXPECT_EQ(E().destkindC->currentText().toStdString(), "Unknown");
    EXPECT_TRUE(E().longfnameCB->isChecked());
}

TEST_F(EditorDestinationTest, TheDefaultDestinationTakesTheKindOfItsDriveAndIsNamedOnAClick) {
    settings.BackupLocation = "q:\\Backup";
    Open();
    E().destkindC->setEditText("HD");
    Pick(E().destdriveC, 0);
    EXPECT_EQ(E().destkindC->currentText().toStdString(), "Unknown");
    EXPECT_EQ(E().StatusText(), "Actual default destination is: q:\\Backup");

    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(E().destdriveC, &in);
    EXPECT_EQ(E().StatusText(), "Default destination is actually \"q:\\Backup\"");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(E().destdriveC, &out);
    EXPECT_EQ(E().StatusText(), "");
}

TEST_F(EditorDestinationTest, ASingleTypedLetterIsKeptAndTheExampleShowsItAsItIs) {
    Open();
    AddItem("c:\\data\\docs");
    E().destdriveC->lineEdit()->clear();
    Type(E().destdriveC->lineEdit(), "ef");
    // The box takes one typed character.
    EXPECT_EQ(E().destdriveC->currentText().toStdString(), "e");
    EXPECT_EQ(E().StatusText(), "From c:\\data\\docs To e\\VLMcopy_drive_c\\data\\docs");
}

// One character can be typed; an entry picked from the list can be shortened, never lengthened.
TEST_F(EditorDestinationTest, TheDriveBoxTakesOneTypedCharacter) {
    Open();
    struct Case {
        const char* what;
        int picked;          // entry picked first; -1: the box is emptied
        const char* loaded;  // then set as a project sets it; nullptr: not
        std::vector<int> keys;
        const char* typed;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"a drive and its colon", -1, nullptr, {}, "e:", "e"},
        {"the start of <default>", -1, nullptr, {}, "<def", "<"},
        {"a capital letter", -1, nullptr, {}, "E", "E"},
        {"typing after a picked entry", 0, nullptr, {Qt::Key_End}, "x", "<default>"},
        {"backspace in a picked entry",
         0,
         nullptr,
         {Qt::Key_End, Qt::Key_Backspace},
         "",
         "<default"},
        {"delete at the start of a picked entry",
         0,
         nullptr,
         {Qt::Key_Home, Qt::Key_Delete},
         "",
         "default>"},
        // A drive whose kind has changed since the project was saved.
        {"typing after a saved entry", -1, "q: <Removable>", {Qt::Key_End}, "x", "q: <Removable>"},
        {"typing after a one-letter saved value", -1, "e", {Qt::Key_End}, "f", "e"},
    };
    QLineEdit* edit = E().destdriveC->lineEdit();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.picked < 0)
            edit->clear();
        else
            Pick(E().destdriveC, c.picked);
        if (c.loaded != nullptr)
            E().destdriveC->setEditText(QString::fromUtf8(c.loaded));
        for (int key : c.keys)
            Press(edit, key);
        Type(edit, QString::fromUtf8(c.typed));
        EXPECT_EQ(E().destdriveC->currentText().toStdString(), c.expected);
    }
}

TEST_F(EditorDestinationTest, KindsOfCdOrDvdSwitchFileNameCheckingOnAndOthersOff) {
    struct Case {
        const char* kind;
        bool checking;
    };
    Open();
    for (const Case& c :
         {Case{"CDR", true}, Case{"HD", false}, Case{"DVDRW", true}, Case{"type here...", false},
          Case{"my cd stack", true}, Case{"Laptop", false}}) {
        E().destkindC->setEditText(c.kind);
        EXPECT_EQ(E().longfnameCB->isChecked(), c.checking) << c.kind;
    }
}

TEST_F(EditorDestinationTest, SynchronisingRearrangesTheBlockAndBack) {
    settings.ShowSyncOption = true;
    Open();
    EXPECT_FALSE(E().syncCB->isHidden());
    const int normalWidth = E().destkindC->width();
    EXPECT_GE(normalWidth, 145);
    EXPECT_TRUE(E().syncdestE->isHidden());

    E().syncCB->click();
    QApplication::processEvents();
    EXPECT_TRUE(E().destdriveC->isHidden());
    EXPECT_TRUE(E().destkindL->isHidden());
    EXPECT_FALSE(E().syncdestE->isHidden());
    EXPECT_FALSE(E().syncdestB->isHidden());
    EXPECT_FALSE(E().syncdestdelB->isHidden());
    EXPECT_GE(E().destkindC->width(), 108);
    EXPECT_LT(E().destkindC->width(), normalWidth);
    // The kind box now stands in the title row, between the title and the Synchronize box.
    EXPECT_LT(E().destkindC->geometry().top(), E().syncCB->geometry().bottom());
    EXPECT_GT(E().destkindC->geometry().left(), E().destL->geometry().right());
    EXPECT_LT(E().destkindC->geometry().right(), E().syncCB->geometry().left());
    EXPECT_EQ(E().AddfnB->text().toStdString(), "Add");
    EXPECT_EQ(E().DelfnB->text().toStdString(), "Del");
    EXPECT_EQ(E().syncdestB->text().toStdString(), "&Add");
    EXPECT_EQ(E().syncdestdelB->text().toStdString(), "&Del");
    EXPECT_FALSE(E().DirV->MultiSelect());

    E().syncCB->click();
    QApplication::processEvents();
    EXPECT_FALSE(E().destdriveC->isHidden());
    EXPECT_TRUE(E().syncdestE->isHidden());
    EXPECT_EQ(E().destkindC->width(), normalWidth);
    EXPECT_EQ(E().AddfnB->text().toStdString(), "&Add");
    EXPECT_EQ(E().DelfnB->text().toStdString(), "&Del");
    EXPECT_TRUE(E().DirV->MultiSelect());
}

TEST_F(EditorDestinationTest, SwitchingSynchronisingOnWithTwoItemsWarnsAndKeepsBoth) {
    settings.ShowSyncOption = true;
    Open();
    AddItems({"c:\\a", "c:\\b"});
    E().syncCB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Warning),
                ElementsAre("There is more than 1 source item added. Please reduce to only 1 as "
                            "you can synchronize only 1 file to another file or 1 folder to "
                            "another folder."));
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\a", "c:\\b"));
    EXPECT_TRUE(E().syncCB->isChecked());
}

TEST_F(EditorDestinationTest, TheSynchronisationDestinationIsTakenFromTheAddField) {
    settings.ShowSyncOption = true;
    Open();
    E().syncCB->click();
    AddItem("c:\\data");
    E().AddfnE->setText("c:\\data\\backup");
    dialogs.ClearRecord();
    E().syncdestB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Nesting forbidden! c:\\data and c:\\data\\backup are part of each "
                            "other!!"));
    EXPECT_EQ(Text(E().syncdestE), "");

    E().AddfnE->setText("e:\\mirror");
    E().syncdestB->click();
    EXPECT_EQ(Text(E().syncdestE), "e:\\mirror");
    EXPECT_EQ(E().StatusText(), "From c:\\data To e:\\mirror");
    EXPECT_TRUE(handOver.SyncMode);
    EXPECT_EQ(handOver.SyncDest, "e:\\mirror");

    E().syncdestdelB->click();
    EXPECT_EQ(Text(E().syncdestE), "");

    E().AddfnE->clear();
    dialogs.ClearRecord();
    E().syncdestB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Plain),
                ElementsAre("Select an item to add first, by clicking a folder or file!"));
}

TEST_F(EditorDestinationTest, ATypedSynchronisationDestinationIsShownAndANativeOneTranslated) {
    settings.ShowSyncOption = true;
    Open();
    E().syncCB->click();
    E().syncdestE->setText("e:\\x");
    EXPECT_EQ(E().StatusText(), "Destination for synchronizing: e:\\x");
    E().syncdestE->setText(QString::fromStdString(drives.HostRoot('e') + "/Mirror"));
    emit E().syncdestE->editingFinished();
    EXPECT_EQ(Text(E().syncdestE), "e:\\Mirror");
    EXPECT_EQ(E().StatusText(), "Destination for synchronizing: e:\\Mirror");
}

TEST_F(EditorDestinationTest, ASynchronisingProjectOpensSoEvenWhenTheOptionIsHidden) {
    settings.ShowSyncOption = false;
    Open();
    OpenEditOutcome outcome;
    outcome.caption = "Project Editor: Mirror";
    outcome.name = outcome.projectName = "Mirror";
    outcome.fields.sync = true;
    outcome.fields.syncdest = "e:\\Mirror\\Data";
    outcome.fields.items = {"c:\\Data"};
    E().LoadProject(outcome);
    EXPECT_TRUE(E().syncCB->isHidden());
    EXPECT_TRUE(E().syncCB->isChecked());
    EXPECT_FALSE(E().syncdestE->isHidden());
    EXPECT_EQ(Text(E().syncdestE), "e:\\Mirror\\Data");
    EXPECT_TRUE(E().destdriveC->isHidden());
}

TEST_F(EditorDestinationTest, TheExampleFollowsTheDestinationAndTheCurrentEntry) {
    settings.BackupLocation = "d:\\Backup";
    Open();
    E().destdriveC->setEditText("<default>");
    EXPECT_EQ(E().StatusText(), "No source items added");
    AddItems({"c:\\Data\\Docs", "e:\\Photos"});
    EXPECT_EQ(E().StatusText(), "From e:\\Photos To d:\\Backup\\VLMcopy_drive_e\\Photos");
    E().fdlistLB->setCurrentRow(0);
    E().destdriveC->setEditText("e: <Removable>");
    EXPECT_EQ(E().StatusText(), "From c:\\Data\\Docs To e:\\VLMcopy_drive_c\\Data\\Docs");
    EXPECT_FALSE(handOver.SyncMode);
}

// The example names the highlighted entry, or the last one when none is: also after Qt has
// moved the current row by itself.
TEST_F(EditorDestinationTest, TheExampleNamesTheHighlightedEntryOrTheLast) {
    struct Case {
        const char* what;
        std::function<void(TprojecteditF&)> act;
        const char* named;
    };
    const std::vector<Case> cases = {
        {"a click on b", [](TprojecteditF& e) { Click(e.fdlistLB, e.fdlistLB->item(1)); }, "c:\\b"},
        {"the first entry deleted: its neighbour becomes current unmarked",
         [](TprojecteditF& e) {
             Click(e.fdlistLB, e.fdlistLB->item(0));
             e.DelfnB->click();
         },
         "c:\\d"},
        {"b unmarked again with Ctrl",
         [](TprojecteditF& e) {
             Click(e.fdlistLB, e.fdlistLB->item(1));
             Click(e.fdlistLB, e.fdlistLB->item(1), Qt::ControlModifier);
         },
         "c:\\d"},
        {"the source label clicked", [](TprojecteditF& e) { ClickWidget(e.sourceL); }, "c:\\d"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        E().destdriveC->setEditText("e:");
        AddItems({"c:\\a", "c:\\b", "c:\\c", "c:\\d"});
        c.act(E());
        E().showfromtoexample();
        const std::string named = c.named;
        EXPECT_EQ(E().StatusText(),
                  "From " + named + " To e:\\VLMcopy_drive_c\\" + named.substr(3));
        // What is named is marked, or nothing is.
        const QList<QListWidgetItem*> marked = E().fdlistLB->selectedItems();
        if (!marked.isEmpty()) {
            ASSERT_EQ(marked.size(), 1);
            EXPECT_EQ(marked.front()->text().toStdString(), named);
        }
    }
}

TEST_F(EditorDestinationTest, AHandEditedItemWithoutDriveIsNamedInsteadOfEndingTheProgram) {
    Open();
    OpenEditOutcome outcome;
    outcome.caption = "Project Editor: Old";
    outcome.name = outcome.projectName = "Old";
    outcome.fields.destdrive = "e:";
    outcome.fields.items = {"\\\\server\\share"};
    E().LoadProject(outcome);
    E().showfromtoexample();
    EXPECT_EQ(E().StatusText(), "Fatal error: Incorrect source path! \\\\server\\share");
    EXPECT_TRUE(E().isVisible());
}

TEST(DriveTypeNameTest, NamesEveryCodeAndNeverSaysDoesNotExist) {
    const char* expected[] = {"Unknown", "Unknown", "Removable", "Fixed",
                              "Network", "CD/DVD",  "RAMDISK"};
    for (int code = 0; code <= 6; ++code)
        EXPECT_EQ(DriveTypeName(code), expected[code]) << code;
}

// Moving through the open drive list names the disk or folder behind the highlighted letter.
TEST_F(EditorDestinationTest, TheHighlightedDriveNamesItsDiskOrWhatItWaitsFor) {
    const std::string stick = drives.Base() + "/stick";
    test::MakeDir(stick);
    const std::string ini = "[Drives]\nc=" + drives.HostRoot('c') + "\nd=" + drives.HostRoot('d') +
                            "\ne=UUID=1234-ABCD\nf=UUID=9999-0000\n" +
                            "g=LABEL=CARD\nh=" + drives.Base() + "/gone\n";
    SetActiveDriveTable(
        DriveTable::BuildFromVolumes(ini, {{HostPath(stick), {"1234-ABCD", "BACKUP", "exfat"}}}));
    Open();
    AddItem("c:\\docs");
    QComboBox* box = E().destdriveC;

    struct Case {
        char letter;
        std::string status;
    };
    const std::vector<Case> cases = {
        {'f', "f: not connected (waiting for the volume with UUID 9999-0000)"},
        {'e', "e: BACKUP at " + stick},
        {'g', "g: not connected (waiting for the volume labelled CARD)"},
        {'h', "h: not connected (waiting for the folder " + drives.Base() + "/gone)"},
        {'d', "d: the folder " + drives.HostRoot('d')},
        {'q', "q: not connected"},
    };
    box->showPopup();
    for (const Case& c : cases) {
        box->view()->setCurrentIndex(box->model()->index(IndexOfLetter(c.letter), 0));
        EXPECT_EQ(E().StatusText(), c.status);
    }
    box->hidePopup();
}

}  // namespace
}  // namespace vlm
