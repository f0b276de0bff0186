#pragma once
// TVlmLocxxxF: picks or types a folder for one of the three folder settings (projects, default
// backup destination, log). A drive choice shows that drive's root, a folder choice fills the
// edit, and the edit can be typed into; "&Ok" checks the result and offers to create a folder
// that does not exist.
//
//     if (auto folder = locxxxF->Ask("Give location for log-file", settings.LogLocation))
//         settings.LogLocation = *folder;

#include <QDialog>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vlm {

class DriveBox;
class FolderTree;

class TVlmLocxxxF : public QDialog {
    Q_OBJECT

public:
    explicit TVlmLocxxxF(QWidget* parent = nullptr);

    // A caller's whole turn: caption and starting text set, the dialog shown modally; the
    // location when it closed with OK and a location was chosen, else nothing (the caller keeps
    // its value).
    std::optional<std::string> Ask(const std::string& caption, const std::string& current);

    // Sets the starting text and shows the drive and folder of it, when it is one.
    void SetStartingText(const std::string& text);
    // The result after the dialog closed with OK: a path without a trailing backslash, or
    // empty when no location was chosen.
    std::string Result() const;

    void driCBChange(char letter);
    void ST1Change(const QString& drivePath);
    void SavelocBClick();

    DriveBox* driCB;
    FolderTree* ST1;
    QLineEdit* locxxxE;
    QPushButton* SavelocB;
    QPushButton* CancelB;
    QLabel* resultL;

private:
    // Step 4 of "&Ok": r is no folder. True when the person accepts r all the same.
    bool AcceptMissingFolder(const std::string& r);
    void CloseWith(const std::string& result);
};

}  // namespace vlm
