#pragma once
// RestoreWindow, "Project, Restore...": a project's backup seen as its sources. On the left the
// folders of each source item, on the right the files of the chosen folder (or, while a name is
// searched, every file below it whose name holds the text), below them the versions of the chosen
// file. A list of the kept runs shows the backup as it was at the start of each. "Restore" puts
// the chosen files, or the chosen folder, back where they came from; "Restore to..." into a
// folder the person picks.
//
//     RestoreWindow window(RestoreBrowser(items, versionsOn, sync), "Restore: Documents", {},
//     this); window.exec();

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/restore_browser.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vlm {

// What the window asks of the desktop; a test gives its own.
struct RestoreWindowHooks {
    // A folder the person picks (host path), starting at `startFolder`; empty when cancelled.
    // Empty: a folder dialog.
    std::function<std::string(const std::string& caption, const std::string& startFolder)>
        chooseFolder;
};

class RestoreWindow : public QDialog {
    Q_OBJECT

public:
    RestoreWindow(RestoreBrowser backup, const std::string& caption, RestoreWindowHooks hooks,
                  QWidget* parent = nullptr);

    // The kept run shown ("" for the backup as it is now).
    std::string AsOf() const;
    // The source folder chosen in the tree; empty when none.
    std::string CurrentFolder() const;
    // Makes `path` (a source folder) the chosen folder, opening the branches above it; false when
    // the backup has no such folder at the time shown.
    bool SetCurrentFolder(const std::string& path);
    // The source paths of the chosen files, in list order.
    std::vector<std::string> SelectedFiles() const;

    void asofCChange();
    void searchEChange();
    void foldersTVChange();
    void filesLVChange();
    void restoreBClick();
    void restoretoBClick();

    QLabel* backupL;
    QLabel* noteL;
    QComboBox* asofC;
    QLineEdit* searchE;
    QTreeWidget* foldersTV;
    QTreeWidget* filesLV;
    QLabel* versionsL;
    QTreeWidget* versionsLV;
    QLabel* statusL;
    QPushButton* restoreB;
    QPushButton* restoretoB;
    QPushButton* closeB;

private:
    void BuildControls();
    void BuildLayout();
    void ConnectControls();
    // What the window can do for this backup, and why not.
    void ExplainState();
    // The tree's top level anew for the time shown, the chosen folder kept where it still exists.
    void FillTree();
    void Populate(QTreeWidgetItem* item);
    void FillFiles();
    void AddFileRow(const ItemAsOf& entry, const std::string& path, const std::string& where);
    // The files below `folder` whose names hold `text`, at most `room` more of them.
    void AddMatches(const std::string& folder, const std::string& relative, const std::string& text,
                    int& room);
    void FillVersions();
    // Restores what is chosen: the chosen version, else the chosen files, else the chosen folder;
    // each into the folder `intoOf` its source path.
    void RestoreChosen(const std::function<std::string(const std::string&)>& intoOf);
    // Asked before a newer file is replaced.
    bool ReplaceNewer(const std::string& path, const std::string& restoredTime);
    void ShowOutcome(const RestoreOutcome& outcome);

    RestoreBrowser backup_;
    RestoreWindowHooks hooks_;
    // The rows of versionsLV below the first (the backup's own file): the kept versions.
    std::vector<KeptVersion> versions_;
    int newerKept_ = 0;  // newer files the person chose to keep, in the restore under way
};

}  // namespace vlm
