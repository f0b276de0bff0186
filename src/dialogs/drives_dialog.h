#pragma once
// DrivesDialog: "Options, Drives…". Shows the drive table as velmora-run --drives prints it
// (letter, kind, label, UUID, mount folder or "not connected", and what drives.ini holds for the
// letter) and changes drives.ini in the program folder: a letter pinned to a connected volume or to
// a folder, a pinned folder marked plain, a remembered volume or a pin forgotten. Each change is
// written at once, the table read again and redrawn.
//
//     DrivesDialog dialog(DrivesDialogHooks{}, this);
//     dialog.Open();

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "platform/drive_table.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace vlm {

// What the dialog asks of the host; a test gives its own.
struct DrivesDialogHooks {
    // The mounted volumes that have a UUID, one entry per volume. Empty: the real ones.
    std::function<std::vector<MountedVolume>()> connectedVolumes;
    // A folder the person picks (host path), starting at `startFolder`; empty when cancelled.
    // Empty: a folder dialog.
    std::function<std::string(const std::string& caption, const std::string& startFolder)>
        chooseFolder;
};

class DrivesDialog : public QDialog {
    Q_OBJECT

public:
    explicit DrivesDialog(DrivesDialogHooks hooks, QWidget* parent = nullptr);

    // Reads the drive table again, shows it and the dialog modally.
    void Open();
    // Shows the table in force and the volumes connected now.
    void Redraw();

    void drivesLVClick();
    void letterCChange();
    void pinvolumeBClick();
    void pinlabelBClick();
    void pinfolderBClick();
    void plainCBClick();
    void forgetBClick();

    QTreeWidget* drivesLV;
    QComboBox* letterC;
    QComboBox* volumeC;
    QPushButton* pinvolumeB;
    QPushButton* pinlabelB;
    QLabel* pinsL;  // how a pin to a disk differs from one to a label
    QPushButton* pinfolderB;
    QCheckBox* plainCB;
    QPushButton* forgetB;
    QLabel* noteL;
    QPushButton* closeB;

private:
    void BuildControls();
    // The table above, the pinning controls below it, the note beside the Close button.
    void BuildLayout();
    void ConnectControls();
    char Letter() const;
    // The table's entry of `letter`; a letter without one gets an entry with letter 0.
    DriveDescription Described(char letter) const;
    // The program folder whose drives.ini the dialog changes; empty: it changes nothing.
    std::string IniFolder() const;
    // After a change of drives.ini: the table read again and redrawn, and `done` (or the
    // failure) said below it.
    void AfterChange(bool written, const std::string& done);
    void ShowLetterActions();

    DrivesDialogHooks hooks_;
    std::vector<MountedVolume> volumes_;
};

}  // namespace vlm
