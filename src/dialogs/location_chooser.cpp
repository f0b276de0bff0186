#include "dialogs/location_chooser.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/paths.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/drive_box.h"
#include "widgets/folder_tree.h"
#include "widgets/shown_text.h"

namespace vlm {

TVlmLocxxxF::TVlmLocxxxF(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TVlmLocxxxF"));
    setWindowTitle(QStringLiteral("Search Location "));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    setFont(font);
    resize(489, 232);

    driCB = new DriveBox(this);
    ST1 = new FolderTree(this);
    locxxxE = new QLineEdit(this);
    SavelocB = new QPushButton(QStringLiteral("&Ok"), this);
    SavelocB->setDefault(true);
    CancelB = new QPushButton(QStringLiteral("&Cancel"), this);
    resultL = new QLabel(this);
    resultL->hide();

    auto* column = new QVBoxLayout(this);
    column->addWidget(driCB);
    column->addWidget(ST1, 1);
    column->addWidget(new QLabel(QStringLiteral("Resulting location"), this));
    column->addWidget(locxxxE);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SavelocB);
    buttons->addWidget(CancelB);
    column->addLayout(buttons);

    connect(driCB, &DriveBox::driveChanged, this, [this](char letter) { driCBChange(letter); });
    connect(ST1, &FolderTree::folderChanged, this,
            [this](const QString& path) { ST1Change(path); });
    connect(SavelocB, &QPushButton::clicked, this, [this] { SavelocBClick(); });
    connect(CancelB, &QPushButton::clicked, this, &QDialog::reject);
}

std::optional<std::string> TVlmLocxxxF::Ask(const std::string& caption,
                                            const std::string& current) {
    setWindowTitle(Q(caption));
    SetStartingText(current);
    if (exec() != QDialog::Accepted || Result().empty())
        return std::nullopt;
    return Result();
}

void TVlmLocxxxF::SetStartingText(const std::string& text) {
    driCB->Refresh();
    resultL->clear();
    // The browser shows where the current value lies; the edit then gets the value itself.
    if (StartsWithDriveLetter(text) && driCB->SetDrive(text[0])) {
        ST1->SetDrive(text[0]);
        ST1->SetCurrentFolder(text);
    }
    locxxxE->setText(Q(text));
}

std::string TVlmLocxxxF::Result() const {
    return resultL->text().toStdString();
}

void TVlmLocxxxF::driCBChange(char letter) {
    ST1->SetDrive(letter);
    ST1Change(Q(std::string(1, letter) + ":\\"));
}

void TVlmLocxxxF::ST1Change(const QString& drivePath) {
    // A tree item without a folder behind it changes nothing.
    if (!drivePath.isEmpty())
        locxxxE->setText(drivePath);
}

void TVlmLocxxxF::CloseWith(const std::string& result) {
    resultL->setText(Q(result));
    accept();
}

void TVlmLocxxxF::SavelocBClick() {
    const std::string t = locxxxE->text().toStdString();
    if (t.empty()) {
        ShowPlain("No directory selected!");
        CloseWith("");
        return;
    }
    if (t.size() == 1) {
        ShowPlain("Invalid, need at least 2 characters!");
        return;
    }
    // A drive root typed as "D:\" is the drive "D:"; a three-character folder path such as
    // "D:x" is taken as it is.
    std::string r = t;
    if (t.size() == 2 || (t.size() == 3 && t[2] == '\\'))
        r = t.substr(0, 2);
    if (ItemKind(DrivePath(r)) != 'd' && !AcceptMissingFolder(r))
        return;
    CloseWith(StripTrailingBackslash(r));
}

bool TVlmLocxxxF::AcceptMissingFolder(const std::string& r) {
    if (!AskYesNo(BoxType::Warning,
                  "Chosen location is invalid or does not exist. I try to create it??"))
        return AskYesNo(BoxType::Warning, "Accept the path anyway??");
    if (ForceDirChain(DrivePath(r))) {
        ShowPlain("Creation succesfull");
        return true;
    }
    return AskYesNo(BoxType::Error, "Unable to create " + r +
                                        ". Probably invalid drive or not writable!" +
                                        " accept it anyway??");
}

}  // namespace vlm
