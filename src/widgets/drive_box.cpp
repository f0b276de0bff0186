#include "widgets/drive_box.h"

#include <QApplication>
#include <QSignalBlocker>
#include <QStyle>
#include <cctype>
#include <optional>
#include <string>

#include "platform/drive_table.h"
#include "platform/volumes.h"

namespace vlm {

namespace {

QIcon DriveIcon(const QStyle* style, char letter) {
    switch (GetDriveTypeCode(letter)) {
        case kDriveRemovable:
            return style->standardIcon(QStyle::SP_DriveFDIcon);
        case kDriveRemote:
            return style->standardIcon(QStyle::SP_DriveNetIcon);
        case kDriveCdRom:
            return style->standardIcon(QStyle::SP_DriveCDIcon);
        default:
            return style->standardIcon(QStyle::SP_DriveHDIcon);
    }
}

// "e:   /media/alice/BACKUP": the letter the program uses, and where it lives on this host.
QString EntryCaption(char letter) {
    std::string caption = std::string(1, letter) + ":";
    if (std::optional<std::string> root = ActiveDriveTable().RootOf(letter))
        caption += "   " + *root;
    return QString::fromStdString(caption);
}

}  // namespace

DriveBox::DriveBox(QWidget* parent) : QComboBox(parent) {
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Refresh();
    connect(this, &QComboBox::activated, this, [this](int) {
        if (char letter = Drive())
            emit driveChanged(letter);
    });
}

void DriveBox::Refresh() {
    // A disk plugged in since the table was last read is listed too.
    RefreshActiveDriveTable();
    const char chosen = Drive();
    const QSignalBlocker quiet(this);
    clear();
    const QStyle* look = style() != nullptr ? style() : QApplication::style();
    for (char letter : PresentDriveLetters())
        addItem(DriveIcon(look, letter), EntryCaption(letter), QVariant(int(letter)));
    if (chosen == 0 || !SetDrive(chosen))
        setCurrentIndex(count() > 0 ? 0 : -1);
}

char DriveBox::Drive() const {
    const QVariant data = currentData();
    return data.isValid() ? static_cast<char>(data.toInt()) : 0;
}

bool DriveBox::SetDrive(char letter) {
    const int index = findData(QVariant(int(std::tolower(static_cast<unsigned char>(letter)))));
    if (index < 0)
        return false;
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
    return true;
}

}  // namespace vlm
