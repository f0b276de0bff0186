#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/allowed_drive_dialog.h"
#include "dialogs/desktop_shortcut_dialog.h"
#include "dialogs/location_chooser.h"
#include "dialogs/project_browse.h"
#include "dialogs/timer_dialog.h"
#include "gui/qt_test_app.h"
#include "platform/desktop_entry.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"
#include "widgets/drive_box.h"
#include "widgets/folder_tree.h"

namespace vlm {
namespace {

using test::Exists;
using test::MakeDir;
using test::ReadFile;
using test::TempDrives;
using test::WriteFile;
using ::testing::ElementsAre;

std::vector<std::string> ComboEntries(const QComboBox* combo) {
    std::vector<std::string> entries;
    for (int i = 0; i < combo->count(); ++i)
        entries.push_back(combo->itemText(i).toStdString());
    return entries;
}

// --- Allowed destination drive ----------------------------------------------------------------

TEST(AllowedDriveDialogTest, TakesAllOrOneLetterAndRefusesTheRest) {
    test::WithQtApplication qt;
    struct Case {
        const char* typed;
        bool stored;
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        {"All", true, {}},
        {"D", true, {}},
        {"d", true, {}},
        {"z", true, {}},
        {"", false, {"Nothing selected! Use cancel to exit."}},
        {"all", false, {"Invalid!"}},
        {"ALL", false, {"Invalid!"}},
        {"1", false, {"Invalid!"}},
        {"D:", false, {"Invalid!"}},
        {"DE", false, {"Invalid!"}},
        {"\xC3\xA4", false, {"Invalid!"}},
    };
    for (const Case& c : cases) {
        ScriptedDialogs dialogs;
        AppSettings settings;
        settings.AllowedDrive = "e";
        TalloweddestdriveF dialog(settings);
        dialog.show();
        dialog.alloweddestdriveC->setEditText(QString::fromUtf8(c.typed));
        dialog.okBClick();
        EXPECT_EQ(settings.AllowedDrive, c.stored ? c.typed : "e") << c.typed;
        EXPECT_EQ(dialog.isVisible(), !c.stored) << c.typed << ": a refusal keeps it open";
        EXPECT_EQ(dialog.alloweddestdriveC->currentText().toStdString(), c.typed);
        EXPECT_EQ(dialogs.Texts(), c.boxes) << c.typed;
    }
}

// Typed with the keyboard, the text stays as typed: the box completes nothing, so "all" is not
// taken for "All", "D" is not stored as "d", and an "a" does not grow into "All".
TEST(AllowedDriveDialogTest, TypedTextIsTakenAsTyped) {
    test::WithQtApplication qt;
    struct Case {
        const char* typed;
        std::string stored;  // "e" (the old value) when refused
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        {"all", "e", {"Invalid!"}}, {"D", "D", {}},     {"a", "a", {}},
        {"Al", "e", {"Invalid!"}},  {"All", "All", {}}, {"z", "z", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        ScriptedDialogs dialogs;
        AppSettings settings;
        settings.AllowedDrive = "e";
        TalloweddestdriveF dialog(settings);
        dialog.show();
        QLineEdit* edit = dialog.alloweddestdriveC->lineEdit();
        ASSERT_NE(edit, nullptr);
        edit->selectAll();
        test::TypeText(edit, QString::fromUtf8(c.typed));
        EXPECT_EQ(dialog.alloweddestdriveC->currentText().toStdString(), c.typed);
        // Enter finishes the edit (where a combo box matches its items) and presses Ok.
        test::PressKey(edit, Qt::Key_Return);
        EXPECT_EQ(settings.AllowedDrive, c.stored);
        EXPECT_EQ(dialogs.Texts(), c.boxes);
    }
}

TEST(AllowedDriveDialogTest, TheEmptyWarningIsAWarningAndInvalidIsPlain) {
    test::WithQtApplication qt;
    ScriptedDialogs dialogs;
    AppSettings settings;
    TalloweddestdriveF dialog(settings);
    dialog.alloweddestdriveC->setEditText("");
    dialog.okBClick();
    dialog.alloweddestdriveC->setEditText("all");
    dialog.okBClick();
    ASSERT_EQ(dialogs.Boxes().size(), 2u);
    EXPECT_EQ(dialogs.Boxes()[0].type, BoxType::Warning);
    EXPECT_EQ(dialogs.Boxes()[1].type, BoxType::Plain);
}

TEST(AllowedDriveDialogTest, OpensWithTheCurrentValueAndCancelKeepsIt) {
    test::WithQtApplication qt;
    ScriptedDialogs dialogs;
    AppSettings settings;
    settings.AllowedDrive = "e";
    TalloweddestdriveF dialog(settings);
    EXPECT_EQ(dialog.alloweddestdriveC->count(), 27);
    EXPECT_EQ(dialog.alloweddestdriveC->itemText(0), "All");
    EXPECT_EQ(dialog.alloweddestdriveC->itemText(26), "z");

    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_EQ(dialog.alloweddestdriveC->currentText(), "e");
        dialog.alloweddestdriveC->setEditText("f");
        dialog.CancelB->click();
    });
    EXPECT_FALSE(dialog.Open());
    EXPECT_EQ(settings.AllowedDrive, "e");

    QTimer::singleShot(0, &dialog, [&] {
        dialog.alloweddestdriveC->setEditText("F");
        dialog.okB->click();
    });
    EXPECT_TRUE(dialog.Open());
    EXPECT_EQ(settings.AllowedDrive, "F");
}

// --- Location chooser -------------------------------------------------------------------------

class LocationChooserTest : public ::testing::Test {
protected:
    LocationChooserTest() {
        drives.Pin('q', false);  // a drive that is not present
        MakeDir(drives.Host("d:\\Backup"));
        dialog.show();
    }

    // Types `text`, presses "&Ok"; the result when the dialog closed, else nothing.
    std::optional<std::string> Ok(const std::string& text) {
        dialog.show();
        dialog.locxxxE->setText(QString::fromStdString(text));
        dialog.SavelocBClick();
        if (dialog.isVisible())
            return std::nullopt;
        return dialog.Result();
    }

    test::WithQtApplication qt;
    TempDrives drives{"cd"};
    ScriptedDialogs dialogs;
    TVlmLocxxxF dialog;
};

TEST_F(LocationChooserTest, ExistingFoldersAreTakenWithoutQuestions) {
    struct Case {
        const char* typed;
        const char* result;
    };
    for (const Case& c : std::vector<Case>{{"D:\\", "D:"},
                                           {"d:", "d:"},
                                           {"D:\\Backup\\", "D:\\Backup"},
                                           {"d:\\Backup", "d:\\Backup"}}) {
        EXPECT_EQ(Ok(c.typed), std::optional<std::string>(c.result)) << c.typed;
    }
    EXPECT_TRUE(dialogs.Boxes().empty());
}

TEST_F(LocationChooserTest, AMissingFolderIsCreatedWithItsParentsOnYes) {
    dialogs.ExpectQuestion(BoxType::Warning, "Chosen location is invalid or does not exist.",
                           Answer::Yes);
    EXPECT_EQ(Ok("d:\\new\\deeper\\folder\\"), "d:\\new\\deeper\\folder");
    EXPECT_TRUE(Exists(drives.Host("d:\\new\\deeper\\folder")));
    EXPECT_THAT(dialogs.Texts(),
                ElementsAre("Chosen location is invalid or does not exist. I try to create it??",
                            "Creation succesfull"));
}

TEST_F(LocationChooserTest, AMissingFolderCanBeAcceptedUncreatedOrRefused) {
    dialogs.ExpectQuestion("Chosen location", Answer::No);
    dialogs.ExpectQuestion(BoxType::Warning, "Accept the path anyway??", Answer::No);
    EXPECT_EQ(Ok("d:\\later"), std::nullopt) << "No, No: the dialog stays open";
    EXPECT_EQ(dialog.locxxxE->text(), "d:\\later");

    dialogs.ExpectQuestion("Chosen location", Answer::No);
    dialogs.ExpectQuestion("Accept the path anyway??", Answer::Yes);
    EXPECT_EQ(Ok("d:\\later"), "d:\\later");
    EXPECT_FALSE(Exists(drives.Host("d:\\later"))) << "nothing is created on No";
}

TEST_F(LocationChooserTest, AFolderOnAMissingDriveAsksWhetherToAcceptItAnyway) {
    dialogs.ExpectQuestion("Chosen location", Answer::Yes);
    dialogs.ExpectQuestion(BoxType::Error,
                           "Unable to create q:\\x. Probably invalid drive or not writable! "
                           "accept it anyway??",
                           Answer::No);
    EXPECT_EQ(Ok("q:\\x"), std::nullopt);

    dialogs.ExpectQuestion("Chosen location", Answer::Yes);
    dialogs.ExpectQuestion("Unable to create q:\\x.", Answer::Yes);
    EXPECT_EQ(Ok("q:\\x"), "q:\\x");
}

TEST_F(LocationChooserTest, TooShortAndThreeCharacterEntries) {
    EXPECT_EQ(Ok("D"), std::nullopt);
    EXPECT_TRUE(dialogs.Shown(BoxType::Plain, "Invalid, need at least 2 characters!"));
    // Only a root typed as "D:\\" is cut back to its drive; "d:x" is asked about as it is.
    dialogs.ExpectQuestion("Chosen location", Answer::No);
    dialogs.ExpectQuestion("Accept the path anyway??", Answer::No);
    EXPECT_EQ(Ok("d:x"), std::nullopt);
}

TEST_F(LocationChooserTest, AnEmptyEditKeepsTheCallersValue) {
    QTimer::singleShot(0, &dialog, [this] {
        EXPECT_EQ(dialog.windowTitle(), "Give location for log-file");
        EXPECT_EQ(dialog.locxxxE->text(), "d:\\Backup");
        dialog.SavelocB->click();
    });
    EXPECT_EQ(dialog.Ask("Give location for log-file", "d:\\Backup"), "d:\\Backup");

    QTimer::singleShot(0, &dialog, [this] {
        dialog.locxxxE->clear();
        dialog.SavelocB->click();
    });
    EXPECT_EQ(dialog.Ask("Give Default destination for backups", "c:\\old"), std::nullopt);
    EXPECT_TRUE(dialogs.Shown(BoxType::Plain, "No directory selected!"));

    QTimer::singleShot(0, &dialog, [this] { dialog.CancelB->click(); });
    EXPECT_EQ(dialog.Ask("Give location for VLM-project files", "c:\\old"), std::nullopt);
}

TEST_F(LocationChooserTest, ChoosingADriveOrAFolderWritesItsPathIntoTheEdit) {
    dialog.SetStartingText("c:\\");
    dialog.driCBChange('d');
    EXPECT_EQ(dialog.locxxxE->text(), "d:\\");
    ASSERT_TRUE(dialog.ST1->SetCurrentFolder("d:\\Backup"));
    EXPECT_EQ(dialog.locxxxE->text(), "d:\\Backup");
    dialog.ST1Change("");
    EXPECT_EQ(dialog.locxxxE->text(), "d:\\Backup");
}

// --- Desktop shortcut -------------------------------------------------------------------------

TEST(ShortcutNameTest, MakesTheShortcutTextAFileName) {
    struct Case {
        const char* text;
        const char* name;
    };
    for (const Case& c : std::vector<Case>{
             {"QUICK run C:\\Backup\\daily.vlm", "QUICK run C_Backup-daily_vlm"},
             {"Edit C:\\Backup\\daily.vlm", "Edit C_Backup-daily_vlm"},
             {"Run C:\\Backup\\daily.vlm", "Run C_Backup-daily_vlm"},
             {"Run c:\\a.b\\c..vlm", "Run c_a_b-c__vlm"},
             {"Edit c:\\x/../y.vlm", "Edit c_x-__-y_vlm"},
             {"Edit C:", "Edit C:"},
         })
        EXPECT_EQ(ShortcutName(c.text), c.name) << c.text;
}

class DesktopShortcutTest : public ::testing::Test {
protected:
    DesktopShortcutTest()
        : dialog(
              folders, BrowseHooks(), [this] { return editList; }, [this] { return runList; }) {
        MakeDir(drives.Host("c:\\home\\Desktop"));
        folders.Desktop = "c:\\home\\Desktop";
        dialog.SetProgramFile("c:\\bin\\velmora");
    }

    ProjectBrowseHooks BrowseHooks() {
        return {[this](const std::string& title) {
                    titles.push_back(title);
                    return chosenFile;
                },
                [this](const std::string& path) { added.push_back(path); }};
    }

    // The arguments the launcher of `name` starts the program with, after the program.
    std::vector<std::string> LauncherArguments(const std::string& name) {
        const std::string text = ReadFile(drives.Host("c:\\home\\Desktop\\" + name + ".desktop"));
        const auto argv = ParseExecValue(DesktopEntryValue(text, "Exec").value_or(""));
        if (!argv || argv->empty())
            return {"<unreadable>"};
        EXPECT_EQ(argv->front(), drives.Host("c:\\bin\\velmora"));
        return {argv->begin() + 1, argv->end()};
    }

    test::WithQtApplication qt;
    TempDrives drives{"c"};
    ScriptedDialogs dialogs;
    TWindowsInfo folders;
    std::vector<std::string> editList{"c:\\e1.vlm", "c:\\e2.vlm"};
    std::vector<std::string> runList{"c:\\r1.vlm"};
    std::optional<std::string> chosenFile;
    std::vector<std::string> titles;
    std::vector<std::string> added;
    TvlmdesktopF dialog;
};

TEST_F(DesktopShortcutTest, EachActionMakesItsLauncherWithItsSwitch) {
    struct Case {
        QRadioButton* TvlmdesktopF::*button;
        const char* name;
        const char* commandSwitch;
    };
    const std::vector<Case> cases = {
        {&TvlmdesktopF::dtRB3, "QUICK run C_Backup-daily_vlm", "-qrun"},
        {&TvlmdesktopF::dtRB1, "Edit C_Backup-daily_vlm", "-edit"},
        {&TvlmdesktopF::dtRB2, "Run C_Backup-daily_vlm", "-saferun"},
    };
    dialog.dtE->setText("C:\\Backup\\daily.vlm");
    for (const Case& c : cases) {
        (dialog.*c.button)->setChecked(true);
        dialog.createdtBClick();
        EXPECT_THAT(LauncherArguments(c.name),
                    ElementsAre("C:\\Backup\\daily.vlm", c.commandSwitch));
        EXPECT_TRUE(dialogs.Shown(BoxType::Information, std::string("A shortcut with name \"") +
                                                            c.name +
                                                            "\" has been created on your desktop."))
            << c.name;
    }
}

TEST_F(DesktopShortcutTest, AProjectPathWithBlanksAndDollarStaysOneArgument) {
    const std::string project = "c:\\My Backups\\$HOME daily.vlm";
    dialog.dtE->setText(QString::fromStdString(project));
    dialog.dtRB3->setChecked(true);
    dialog.createdtBClick();
    EXPECT_THAT(LauncherArguments("QUICK run c_My Backups-$HOME daily_vlm"),
                ElementsAre(project, "-qrun"));
}

TEST_F(DesktopShortcutTest, NothingIsMadeWithoutAProjectOrADesktop) {
    dialog.createdtBClick();
    EXPECT_THAT(dialogs.Texts(), ElementsAre("Choose a project first!"));
    EXPECT_EQ(dialogs.Boxes()[0].type, BoxType::Error);

    dialogs.ClearRecord();
    folders.Desktop.clear();
    dialog.dtE->setText("c:\\p.vlm");
    dialog.createdtBClick();
    EXPECT_EQ(dialogs.Count(BoxType::Information), 0) << "no success is reported for nothing";
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1);
    EXPECT_TRUE(test::ReadTree(drives.Host("c:\\home\\Desktop")).empty());
}

TEST_F(DesktopShortcutTest, TheListsFillTheComboBoxWithoutTouchingTheProject) {
    dialog.dtE->setText("c:\\mine.vlm");
    QTimer::singleShot(0, &dialog, [this] { dialog.dtexitB->click(); });
    dialog.Open();
    EXPECT_EQ(ComboEntries(dialog.dtCB), editList);
    EXPECT_EQ(dialog.dtCB->currentText(), "History");
    dialog.dtRB2->click();
    dialog.dtRB3->click();
    EXPECT_THAT(ComboEntries(dialog.dtCB),
                ElementsAre("c:\\e1.vlm", "c:\\e2.vlm", "c:\\r1.vlm", "c:\\r1.vlm"));
    EXPECT_EQ(dialog.dtE->text(), "c:\\mine.vlm");

    QTimer::singleShot(0, &dialog, [this] { dialog.dtexitB->click(); });
    dialog.Open();
    EXPECT_EQ(ComboEntries(dialog.dtCB), editList) << "opening replaces the entries";
    EXPECT_TRUE(dialog.dtRB3->isChecked()) << "the action is kept between openings";

    dialog.dtCB->setCurrentIndex(1);
    EXPECT_EQ(dialog.dtE->text(), "c:\\e2.vlm");
    dialog.dtCB->setEditText("c:\\typed.vlm");
    EXPECT_EQ(dialog.dtE->text(), "c:\\typed.vlm");
}

// --- Browsing for a project (timer and desktop dialogs) ---------------------------------------

TEST_F(DesktopShortcutTest, BrowsingTakesOnlyProjects) {
    WriteFile(drives.Host("c:\\good.vlm"), "vlmproject=ok\r\n");
    WriteFile(drives.Host("c:\\bad.vlm"), "vlmproject=OK\r\n");
    struct Case {
        std::optional<std::string> chosen;
        std::string dtE;
        std::vector<std::string> added;
        std::vector<std::string> boxes;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "c:\\before.vlm", {}, {}},
        {"c:\\bad.vlm", "c:\\before.vlm", {}, {"Invalid vlm-project!"}},
        {"c:\\good.vlm", "c:\\good.vlm", {"c:\\good.vlm"}, {}},
    };
    for (const Case& c : cases) {
        dialog.dtE->setText("c:\\before.vlm");
        chosenFile = c.chosen;
        added.clear();
        dialogs.ClearRecord();
        dialog.dtbrowseBClick();
        EXPECT_EQ(dialog.dtE->text().toStdString(), c.dtE);
        EXPECT_EQ(added, c.added);
        EXPECT_EQ(dialogs.Texts(), c.boxes);
    }
    EXPECT_THAT(titles, ::testing::Each(std::string("Select VLM-file for desktop")));

    chosenFile = "c:\\missing.vlm";
    dialog.dtE->setText("c:\\before.vlm");
    dialogs.ClearRecord();
    dialog.dtbrowseBClick();
    EXPECT_EQ(dialogs.Count(BoxType::Error), 1) << "a file that cannot be read is reported";
    EXPECT_EQ(dialog.dtE->text(), "c:\\before.vlm");
}

TEST_F(DesktopShortcutTest, TheTimerDialogBrowsesTheSameWayAndCopiesHistoryChoices) {
    WriteFile(drives.Host("c:\\good.vlm"), "vlmproject=ok\r\n");
    TTimerF timer({"c:\\r1.vlm", "c:\\r2.vlm"}, BrowseHooks());
    EXPECT_EQ(timer.timerCB->currentText(), "History");
    EXPECT_EQ(timer.TimerprojE->text(), "") << "the starting text is no project";
    timer.timerCB->setCurrentIndex(1);
    EXPECT_EQ(timer.TimerprojE->text(), "c:\\r2.vlm");

    chosenFile = "c:\\good.vlm";
    timer.timervlmbrowseBClick();
    EXPECT_EQ(timer.TimerprojE->text(), "c:\\good.vlm");
    EXPECT_THAT(added, ElementsAre("c:\\good.vlm"));
    EXPECT_THAT(titles, ElementsAre("Select VLM-file for timer"));
}

}  // namespace
}  // namespace vlm
