// The project editor's life: creation, the name field, saving (byte for byte), Save and Run,
// Cancel and Escape, and the flag that keeps the run report silent while the editor is open.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <functional>

#include "core/opening_rules.h"
#include "gui/editor_rig.h"
#include "widgets/folder_tree.h"

namespace vlm {
namespace {

using test::EditorRig;
using test::Exists;
using test::MakeDir;
using test::ReadFile;
using test::WriteFile;
using ::testing::ElementsAre;

class EditorLifecycleTest : public EditorRig {
protected:
    // A complete form: two items to drive e:.
    void FillForm(const char* name) {
        E().projnameE->setText(name);
        E().destdriveC->setEditText("e: <Removable>");
        E().destkindC->setEditText("USB-stick8GB");
        AddItems({"c:\\Data\\Letters", "c:\\Data\\Budget.xls"});
    }
    std::string ProjectHost(const std::string& name) const {
        return drives.Host("c:\\projects\\" + name + ".vlm");
    }
};

TEST_F(EditorLifecycleTest, CreationSetsTheWindowUpAndMarksTheEditorOpen) {
    MakeDir(drives.Host("c:\\docs\\Letters"));
    Open();
    EXPECT_TRUE(handOver.EditorOpen);
    EXPECT_EQ(E().windowTitle().toStdString(), "Velmora: Project Editor");
    EXPECT_EQ(E().minimumSize(), QSize(784, 550));
    EXPECT_TRUE(E().windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(E().sourceL->palette().color(QPalette::WindowText), QColor(0, 170, 100));
    EXPECT_EQ(E().destL->palette().color(QPalette::WindowText), QColor(170, 0, 0));
    EXPECT_EQ(E().DriV->CurrentFolder(), "c:\\docs");
    EXPECT_NE(E().DriV->FindItem("c:\\docs\\Letters"), nullptr);
    EXPECT_FALSE(E().mydocBB->icon().isNull());
    EXPECT_TRUE(E().syncCB->isHidden());
    EXPECT_TRUE(E().RunB->isEnabled());
    EXPECT_TRUE(E().precalcCB->isChecked());
    EXPECT_FALSE(E().confirmCB->isChecked());
    EXPECT_FALSE(E().longfnameCB->isChecked());
    EXPECT_EQ(E().filterE->text().toStdString(), "*.*");
    EXPECT_TRUE(E().checkselsizeB->isDefault());
    editor.reset();
    EXPECT_FALSE(handOver.EditorOpen);
}

TEST_F(EditorLifecycleTest, MyDocumentsGoesBackToTheDocumentsFolder) {
    MakeDir(drives.Host("c:\\elsewhere"));
    Open();
    E().DriV->SetCurrentFolder("c:\\elsewhere");
    EXPECT_EQ(Text(E().AddfnE), "c:\\elsewhere");
    E().mydocBB->click();
    EXPECT_EQ(E().DriV->CurrentFolder(), "c:\\docs");
    EXPECT_EQ(Text(E().AddfnE), "c:\\docs");
}

TEST_F(EditorLifecycleTest, WhileTheTimerIsArmedOnlySaveWorks) {
    handOver.TimerArmed = true;
    Open();
    EXPECT_FALSE(E().RunB->isEnabled());
    FillForm("Timed");
    E().SaveprojB->click();
    EXPECT_TRUE(Exists(ProjectHost("Timed")));
    EXPECT_TRUE((runsOpened).empty());
}

TEST_F(EditorLifecycleTest, EscapeInAnyFieldClosesWithoutSavingOrAsking) {
    const std::vector<std::function<QWidget*(TprojecteditF&)>> fields = {
        [](TprojecteditF& e) { return e.AddfnE; },   [](TprojecteditF& e) { return e.projnameE; },
        [](TprojecteditF& e) { return e.fdlistLB; }, [](TprojecteditF& e) { return e.filterE; },
        [](TprojecteditF& e) { return e.DriV; },     [](TprojecteditF& e) { return e.destkindC; },
    };
    for (std::size_t i = 0; i < fields.size(); ++i) {
        SCOPED_TRACE(i);
        Open();
        FillForm("Escaped");
        ASSERT_TRUE(handOver.EditorOpen);
        Press(fields[i](E()), Qt::Key_Escape);
        EXPECT_FALSE(E().isVisible());
        EXPECT_EQ(E().result(), QDialog::Rejected);
        EXPECT_FALSE(handOver.EditorOpen);
    }
    EXPECT_FALSE(Exists(ProjectHost("Escaped")));
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_TRUE((recentAdded).empty());
}

TEST_F(EditorLifecycleTest, TheNameIsJudgedAsItIsTypedAndAgainWhenSaving) {
    Open();
    FillForm("");
    Type(E().projnameE, "Budget?");
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Invalid character in file name! Please change."));
    EXPECT_EQ(Text(E().projnameE), "Budget?");
    EXPECT_EQ(E().StatusText(), "Project will be saved as c:\\projects\\Budget?.vlm");

    dialogs.ClearRecord();
    E().SaveprojB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error),
                ElementsAre("Invalid file name. please correct!!"));
    EXPECT_FALSE(E().Saved());
    EXPECT_TRUE(E().isVisible());
    EXPECT_TRUE((recentAdded).empty());
}

TEST_F(EditorLifecycleTest, EmptyingTheNameShowsWhereANamelessProjectWouldGo) {
    Open();
    E().projnameE->setText("A");
    dialogs.ClearRecord();
    Press(E().projnameE, Qt::Key_Backspace);
    EXPECT_TRUE((dialogs.Boxes()).empty());
    EXPECT_EQ(E().StatusText(), "Project will be saved as c:\\projects\\.vlm");
}

TEST_F(EditorLifecycleTest, SaveWritesExactlyTheLinesOfTheFormatAndCloses) {
    Open();
    FillForm("Budget.vlm");
    E().precalcCB->setChecked(true);
    E().SaveprojB->click();
    EXPECT_TRUE(E().Saved());
    EXPECT_EQ(E().result(), QDialog::Accepted);
    EXPECT_FALSE(E().isVisible());
    EXPECT_FALSE(handOver.EditorOpen);
    // The extension is always added, also to a name that has one.
    EXPECT_EQ(ReadFile(ProjectHost("Budget.vlm")),
              "vlmproject=ok\r\n"
              "destdrive=e: <Removable>\r\n"
              "destkind=USB-stick8GB\r\n"
              "confirm=N\r\n"
              "precalc=Y\r\n"
              "longnames=N\r\n"
              "sync=N\r\n"
              "versions=Y\r\n"
              "versiondays=30\r\n"
              "item1=c:\\Data\\Letters\r\n"
              "item2=c:\\Data\\Budget.xls\r\n");
    EXPECT_THAT(recentAdded, ElementsAre("c:\\projects\\Budget.vlm.vlm"));
}

TEST_F(EditorLifecycleTest, ASynchronisingProjectIsSavedWithItsDestinationAndNoDrive) {
    settings.ShowSyncOption = true;
    Open();
    E().projnameE->setText("Mirror");
    E().destdriveC->setEditText("e: <Removable>");
    E().syncCB->click();
    AddItem("c:\\a=b");
    E().syncdestE->setText("e:\\Mirror\\Data");
    E().confirmCB->setChecked(true);
    E().destkindC->setEditText("");
    E().SaveprojB->click();
    EXPECT_EQ(ReadFile(ProjectHost("Mirror")),
              "vlmproject=ok\r\n"
              "destdrive=\r\n"
              "destkind=\r\n"
              "confirm=Y\r\n"
              "precalc=Y\r\n"
              "longnames=N\r\n"
              "sync=Y\r\n"
              "syncdest=e:\\Mirror\\Data\r\n"
              "versions=Y\r\n"
              "versiondays=30\r\n"
              "item1=c:\\a=b\r\n");
}

TEST_F(EditorLifecycleTest, AnIncompleteFormIsNotSaved) {
    struct Case {
        const char* what;
        std::function<void(TprojecteditF&)> spoil;
    };
    settings.ShowSyncOption = true;
    const std::vector<Case> cases = {
        {"no name", [](TprojecteditF& e) { e.projnameE->clear(); }},
        {"no drive", [](TprojecteditF& e) { e.destdriveC->setEditText(""); }},
        {"no items", [](TprojecteditF& e) { e.fdlistLB->clear(); }},
        {"sync without destination",
         [](TprojecteditF& e) {
             e.fdlistLB->clear();
             e.syncCB->click();
             e.AddfnE->setText("c:\\x");
             e.AddfnB->click();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        FillForm("Incomplete");
        c.spoil(E());
        dialogs.ClearRecord();
        E().SaveprojB->click();
        EXPECT_THAT(dialogs.TextsOf(BoxType::Warning),
                    ElementsAre("Form not completed, ... not saved"));
        EXPECT_TRUE(E().isVisible());
        EXPECT_FALSE(Exists(ProjectHost("Incomplete")));
    }
    EXPECT_TRUE((recentAdded).empty());
}

TEST_F(EditorLifecycleTest, SavingOverAProjectAsksAndNoKeepsTheOldFile) {
    WriteFile(ProjectHost("Budget"), "vlmproject=ok\r\nitem1=c:\\old\r\n");
    Open();
    FillForm("Budget");
    dialogs.ExpectQuestion(BoxType::Warning, "c:\\projects\\Budget.vlm already exists! Overwrite??",
                           Answer::No);
    E().SaveprojB->click();
    EXPECT_EQ(ReadFile(ProjectHost("Budget")), "vlmproject=ok\r\nitem1=c:\\old\r\n");
    EXPECT_TRUE(E().isVisible());
    EXPECT_FALSE(E().Saved());
    EXPECT_TRUE((recentAdded).empty());

    dialogs.ExpectQuestion("c:\\projects\\Budget.vlm already exists! Overwrite??", Answer::Yes);
    E().SaveprojB->click();
    EXPECT_THAT(ReadFile(ProjectHost("Budget")),
                ::testing::HasSubstr("item2=c:\\Data\\Budget.xls"));
    EXPECT_FALSE(E().isVisible());
}

TEST_F(EditorLifecycleTest, AFailedWriteIsReportedAndTheEditorStaysOpen) {
    settings.ProjectsLocation = "c:\\no such folder";
    Open();
    FillForm("Lost");
    E().SaveprojB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Error), ElementsAre("Could not save file!"));
    EXPECT_FALSE(E().Saved());
    EXPECT_TRUE(E().isVisible());
    EXPECT_TRUE((recentAdded).empty());
}

TEST_F(EditorLifecycleTest, AProjectsLocationAtADriveRootGetsOneSeparator) {
    settings.ProjectsLocation = "e:\\";
    Open();
    FillForm("Root");
    EXPECT_EQ(E().ProjectTargetPath(), "e:\\Root.vlm");
    E().SaveprojB->click();
    EXPECT_TRUE(Exists(drives.Host("e:\\Root.vlm")));
}

TEST_F(EditorLifecycleTest, SaveAndRunOpensTheRunWindowForTheSavedFileThenCloses) {
    Open();
    FillForm("Nightly");
    E().RunB->click();
    EXPECT_THAT(runsOpened, ElementsAre("c:\\projects\\Nightly.vlm"));
    // The run window opened above the editor, over the file just written.
    EXPECT_THAT(editorVisibleDuringRun, ElementsAre(true));
    EXPECT_THAT(projectExistedDuringRun, ElementsAre(true));
    EXPECT_FALSE(E().isVisible());
    EXPECT_EQ(E().result(), QDialog::Accepted);
}

TEST_F(EditorLifecycleTest, SaveAndRunWithAnIncompleteFormNeitherRunsNorCloses) {
    Open();
    AddItem("c:\\x");
    E().RunB->click();
    EXPECT_THAT(dialogs.TextsOf(BoxType::Warning),
                ElementsAre("Form not completed, ... not saved"));
    EXPECT_TRUE((runsOpened).empty());
    EXPECT_TRUE(E().isVisible());
}

TEST_F(EditorLifecycleTest, CancelClosesWithoutSavingAndHelpAsksTheMainWindow) {
    Open();
    FillForm("Dropped");
    E().helpB->click();
    EXPECT_EQ(helpOpened, 1);
    E().canceleditB->click();
    EXPECT_EQ(E().result(), QDialog::Rejected);
    EXPECT_FALSE(Exists(ProjectHost("Dropped")));
    EXPECT_TRUE((dialogs.Boxes()).empty());
}

TEST_F(EditorLifecycleTest, AnOpenedProjectFillsEveryFieldAsStored) {
    WriteFile(ProjectHost("Photos"),
              "vlmproject=ok\r\ndestdrive=e: <Removable>\r\ndestkind=HD\r\nprecalc=N\r\n"
              "longnames=Y\r\nsync=N\r\nitem1=c:\\Photos\r\nitem2=d:\\More\r\nverify=Y\r\n");
    Open();
    E().LoadProject(ReadProjectForEditor("c:\\projects\\Photos.vlm"));
    EXPECT_EQ(E().windowTitle().toStdString(), "Project Editor: Photos");
    EXPECT_EQ(E().openedprojnameL->text().toStdString(), "Photos");
    EXPECT_EQ(Text(E().projnameE), "Photos");
    EXPECT_EQ(E().destdriveC->currentText().toStdString(), "e: <Removable>");
    // The stored kind stands, and the stored option with it.
    EXPECT_EQ(E().destkindC->currentText().toStdString(), "HD");
    EXPECT_TRUE(E().longfnameCB->isChecked());
    EXPECT_TRUE(E().confirmCB->isChecked());  // no "confirm" line: on
    EXPECT_FALSE(E().precalcCB->isChecked());
    EXPECT_FALSE(E().syncCB->isChecked());
    EXPECT_TRUE(E().verifyCB->isChecked());
    EXPECT_THAT(E().SourceItems(), ElementsAre("c:\\Photos", "d:\\More"));
    EXPECT_EQ(E().DelfnB->text().toStdString(), "&Del");
    EXPECT_TRUE((dialogs.Boxes()).empty());

    // Activation rebuilds the drive entries and leaves the stored text alone.
    E().FormActivate();
    EXPECT_EQ(E().destdriveC->currentText().toStdString(), "e: <Removable>");
}

TEST_F(EditorLifecycleTest, ANewProjectOpensWithTheEmptyForm) {
    Open();
    E().LoadProject(ReadProjectForEditor(""));
    EXPECT_EQ(E().windowTitle().toStdString(), "Project Editor: <New Project>");
    EXPECT_EQ(E().openedprojnameL->text().toStdString(), "new");
    EXPECT_EQ(Text(E().projnameE), "");
    EXPECT_TRUE((E().SourceItems()).empty());
    EXPECT_TRUE(E().precalcCB->isChecked());
}

}  // namespace
}  // namespace vlm
