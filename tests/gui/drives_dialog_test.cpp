// The Drives dialog changes drives.ini in the program folder and shows the table read again.

#include "dialogs/drives_dialog.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <functional>
#include <optional>
#include <string>

#include "gui/qt_test_app.h"
#include "platform/profile_file.h"
#include "support/temp_drives.h"

namespace vlm {
namespace {

struct DrivesDialogTest : test::WithQtApplication, ::testing::Test {
    test::TempDrives drives{"c"};
    std::string program = drives.Base() + "/program";

    DrivesDialogTest() {
        test::WriteFile(program + "/drives.ini",
                        "[Drives]\nf=UUID=1234-ABCD\ng=UUID=0000-LOST\nh=" + drives.Base() +
                            "/h\n[Kept]\nline=1\n");
        test::MakeDir(drives.Base() + "/h");
        SetActiveDriveTable(DriveTable::Load(HostPath(program), true, drives.Sources()));
    }

    // The dialog with one connected volume, and a folder picker that answers `folder`.
    std::unique_ptr<DrivesDialog> Dialog(const std::string& folder = {}) {
        DrivesDialogHooks hooks;
        hooks.connectedVolumes = [] {
            return std::vector<MountedVolume>{
                {HostPath("/media/ann/BACKUP"), {"1234-ABCD", "BACKUP", ""}}};
        };
        hooks.chooseFolder = [folder](const std::string&, const std::string&) { return folder; };
        auto dialog = std::make_unique<DrivesDialog>(hooks);
        dialog->Redraw();
        return dialog;
    }

    std::optional<std::string> Ini(const char* section, const std::string& key) const {
        return ProfileFile::Parse(test::ReadFile(program + "/drives.ini")).Get(section, key);
    }

    static QTreeWidgetItem* Row(const DrivesDialog& dialog, char letter) {
        const auto rows = dialog.drivesLV->findItems(QString(QChar(letter)), Qt::MatchStartsWith);
        return rows.isEmpty() ? nullptr : rows.front();
    }
};

TEST_F(DrivesDialogTest, EachActionWritesItsLineAndTheTableIsReadAgain) {
    const std::string folder = drives.Base() + "/k";
    test::MakeDir(folder);
    struct Case {
        const char* what;
        char letter;
        std::function<void(DrivesDialog&)> act;
        const char* section;
        std::optional<std::string> value;  // of the letter in `section`
        const char* other;                 // a pin the action changes too, or keeps
        std::optional<std::string> otherPin;
        const char* shown;  // in the letter's "In drives.ini" column; nullptr: no row
    };
    const std::vector<Case> cases = {
        {"a volume takes its letter along", 'e', [](DrivesDialog& d) { d.pinvolumeB->click(); },
         "Drives", "UUID=1234-ABCD", "f", std::nullopt, "UUID=1234-ABCD"},
        {"a folder", 'k', [](DrivesDialog& d) { d.pinfolderB->click(); }, "Drives", folder, "h",
         drives.Base() + "/h", folder.c_str()},
        {"a plain folder", 'h', [](DrivesDialog& d) { d.plainCB->click(); }, "Plain folders", "yes",
         "h", drives.Base() + "/h", ", plain folder"},
        {"a remembered volume forgotten", 'g', [](DrivesDialog& d) { d.forgetB->click(); },
         "Drives", std::nullopt, "e", "UUID=1234-ABCD", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto dialog = Dialog(folder);
        dialog->letterC->setCurrentIndex(c.letter - 'a');
        c.act(*dialog);
        EXPECT_EQ(Ini(c.section, std::string(1, c.letter)), c.value);
        EXPECT_EQ(Ini("Drives", c.other), c.otherPin);
        EXPECT_EQ(Ini("Kept", "line"), "1");
        const QTreeWidgetItem* row = Row(*dialog, c.letter);
        ASSERT_EQ(row != nullptr, c.shown != nullptr);
        EXPECT_TRUE(row == nullptr || row->text(5).contains(QString::fromUtf8(c.shown)));
    }
    // The folder pinned above is there at once.
    auto dialog = Dialog();
    ASSERT_NE(Row(*dialog, 'k'), nullptr);
    EXPECT_EQ(Row(*dialog, 'k')->text(4).toStdString(), folder);
    // c: is "/" unless pinned: nothing to forget. Without a program folder nothing is changed.
    dialog->letterC->setCurrentIndex('c' - 'a');
    EXPECT_FALSE(dialog->forgetB->isEnabled());
    SetActiveDriveTable(drives.Table());
    dialog->Redraw();
    EXPECT_FALSE(dialog->pinfolderB->isEnabled());
}

// Backup disks used in turn: a letter pinned to a label is any disk so labelled; a pin to the
// volume keeps the label beside the UUID, so that the refusal can name both.
TEST_F(DrivesDialogTest, ALetterCanBePinnedToALabel) {
    auto dialog = Dialog();
    EXPECT_TRUE(dialog->pinsL->text().contains(QStringLiteral("any disk so labelled")));
    dialog->letterC->setCurrentIndex('r' - 'a');
    ASSERT_TRUE(dialog->pinlabelB->isEnabled());
    dialog->pinlabelB->click();
    EXPECT_EQ(Ini("Drives", "r"), "LABEL=BACKUP");
    EXPECT_TRUE(dialog->noteL->text().contains(QStringLiteral("any disk labelled BACKUP")));
    dialog->letterC->setCurrentIndex('e' - 'a');
    dialog->pinvolumeB->click();
    EXPECT_EQ(Ini("Drives", "e"), "UUID=1234-ABCD");
    EXPECT_EQ(Ini("Labels", "e"), "BACKUP");
    EXPECT_EQ(ActiveDriveTable().AwaitedVolume('e'), "the volume BACKUP with UUID 1234-ABCD");
}

}  // namespace
}  // namespace vlm
