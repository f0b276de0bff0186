#pragma once
// A folder tree of one drive: the drive's root and, below it, its folders, read when a branch
// is opened. Every folder is known by its drive path ("c:\Data\Docs"; the root is "c:\").
// With folder sizes on, a second column shows each folder's full size in bytes.

#include <QTreeWidget>
#include <string>

namespace vlm {

class FolderTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Folder sizes are measured when a branch is opened (a full walk of every folder shown).
    void SetShowSizes(bool on);
    bool ShowSizes() const { return showSizes_; }

    // Shows the root of drive `letter` (either case) and makes it the current folder.
    void SetDrive(char letter);
    char Drive() const { return drive_; }

    // Opens the branches down to `drivePath` and makes it the current folder. False, with
    // nothing changed, when the path is no folder on a drive.
    bool SetCurrentFolder(const std::string& drivePath);
    // The current folder: "c:\" for a root, "c:\Data" below it; empty when none.
    std::string CurrentFolder() const;

    // The tree item of a folder already read, or null (for tests and callers that scroll).
    QTreeWidgetItem* FindItem(const std::string& drivePath) const;

signals:
    // The current folder changed, by the mouse, the keyboard or SetCurrentFolder.
    void folderChanged(const QString& drivePath);
    // The person clicked a folder.
    void folderClicked(const QString& drivePath);

private:
    QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, const std::string& path,
                                   const std::string& name);
    // Reads the sub-folders of `item` once.
    void Populate(QTreeWidgetItem* item);
    QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const std::string& name) const;

    char drive_ = 0;
    bool showSizes_ = false;
};

// The drive path of `name` inside `folder` ("c:\" + "a" → "c:\a", "c:\a" + "b" → "c:\a\b").
std::string ChildPath(const std::string& folder, const std::string& name);

}  // namespace vlm
