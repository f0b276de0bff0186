#pragma once
// A folder tree of one drive: the drive's root and, below it, its folders, read when a branch
// is opened. Every folder is known by its drive path ("c:\Data\Docs"; the root is "c:\").
// With folder sizes on, a second column shows each folder's full size in bytes, measured on
// worker threads: the tree answers at once and each size appears when it is known.

#include <QIcon>
#include <QThreadPool>
#include <QTreeWidget>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace vlm {

class FolderTree : public QTreeWidget {
    Q_OBJECT

public:
    explicit FolderTree(QWidget* parent = nullptr);
    // Stops the measurements still running and waits for them.
    ~FolderTree() override;

    // With sizes on, the folders of a branch are measured when it is opened (a full walk of
    // each), off the interface thread; closing the branch drops what is not measured yet.
    void SetShowSizes(bool on);
    // Measurements asked for whose sizes are not shown yet.
    int PendingSizes() const { return static_cast<int>(pending_.size()); }

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

    // Every size shown has arrived (PendingSizes() is 0 again).
    void sizesSettled();

private:
    QTreeWidgetItem* MakeFolderItem(const std::string& path, const std::string& name) const;
    // Reads the sub-folders of `item` once.
    void Populate(QTreeWidgetItem* item);
    QTreeWidgetItem* ChildNamed(QTreeWidgetItem* item, const std::string& name) const;
    // Empties the tree; measurements of the old items are dropped.
    void ClearTree();

    // Asks for the sizes of the children of `item` that have none and are not being measured.
    void MeasureChildren(QTreeWidgetItem* item);
    void Measure(QTreeWidgetItem* item, int priority);
    // Drops the measurements of the folders below `item`, hidden by closing it.
    void DropMeasurementsBelow(QTreeWidgetItem* item);
    void DropAllMeasurements();
    void ShowArrivedSizes();
    // The size column's width that shows `text` whole.
    int SizeColumnWidthFor(const QString& text) const;

    char drive_ = 0;
    bool showSizes_ = false;
    QIcon folderIcon_;
    QThreadPool sizePool_;
    // Raised whenever the items are thrown away, so that a size arriving for one is dropped.
    std::uint64_t generation_ = 0;
    // Later openings are measured first: the folders the person looks at now.
    int nextPriority_ = 0;
    // One stop flag per measurement asked for and not shown yet, shared with its worker.
    std::unordered_map<QTreeWidgetItem*, std::shared_ptr<std::atomic<bool>>> pending_;
    // Sizes measured and not shown yet, filled by the workers.
    struct ArrivedSize {
        QTreeWidgetItem* item;
        std::uint64_t generation;
        std::shared_ptr<std::atomic<bool>> stop;
        std::uint64_t size;
    };
    std::mutex arrivedMutex_;
    std::vector<ArrivedSize> arrived_;
};

// The drive path of `name` inside `folder` ("c:\" + "a" → "c:\a", "c:\a" + "b" → "c:\a\b").
std::string ChildPath(const std::string& folder, const std::string& name);

}  // namespace vlm
