#include "widgets/folder_tree.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QStyle>
#include <algorithm>
#include <cctype>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kReadRole = Qt::UserRole + 1;  // true once the sub-folders have been read

// Walks of several folders at once keep a disk busy without starving the rest of the program.
constexpr int kSizeThreads = 2;

bool IsBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
    for (const QTreeWidgetItem* up = item->parent(); up != nullptr; up = up->parent()) {
        if (up == ancestor)
            return true;
    }
    return false;
}

std::string PathOf(const QTreeWidgetItem* item) {
    return item->data(0, kPathRole).toString().toStdString();
}

// "c:\a\b" → {"a", "b"}; "c:" and "c:\" → {}.
std::vector<std::string> ComponentsAfterDrive(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (std::size_t i = 3; i < path.size(); ++i) {
        if (path[i] == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

bool HasDriveFront(const std::string& path) {
    return StartsWithDriveLetter(path) && (path.size() == 2 || path[2] == '\\');
}

}  // namespace

std::string ChildPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::Stretch);
    // One icon for every folder: asking the style for it per item costs more than the listing.
    folderIcon_ = style()->standardIcon(QStyle::SP_DirIcon);
    sizePool_.setMaxThreadCount(kSizeThreads);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        Populate(item);
        MeasureChildren(item);
    });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { DropMeasurementsBelow(item); });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (current != nullptr)
                    emit folderChanged(QString::fromStdString(PathOf(current)));
            });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        emit folderClicked(QString::fromStdString(PathOf(item)));
    });
}

FolderTree::~FolderTree() {
    DropAllMeasurements();
    sizePool_.clear();
    sizePool_.waitForDone();
}

void FolderTree::SetShowSizes(bool on) {
    showSizes_ = on;
    setColumnCount(on ? 2 : 1);
    if (on) {
        // Widened by hand as sizes arrive: a column that fits its contents by itself measures
        // every row again after each change, which with thousands of folders takes seconds.
        header()->setSectionResizeMode(1, QHeaderView::Fixed);
        header()->resizeSection(1, SizeColumnWidthFor(QStringLiteral("0")));
    }
    if (drive_ != 0) {
        const std::string current = CurrentFolder();
        const char drive = drive_;
        drive_ = 0;
        SetDrive(drive);
        SetCurrentFolder(current);
    }
}

void FolderTree::ClearTree() {
    DropAllMeasurements();
    ++generation_;
    const QSignalBlocker quiet(this);
    clear();
}

void FolderTree::SetDrive(char letter) {
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    if (letter == drive_ && topLevelItemCount() > 0) {
        setCurrentItem(topLevelItem(0));
        return;
    }
    drive_ = letter;
    ClearTree();
    const std::string root = std::string(1, letter) + ":\\";
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(root));
    item->setData(0, kPathRole, QString::fromStdString(root));
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    Populate(item);
    item->setExpanded(true);
    // Also when the caller holds back the tree's signals, which keeps itemExpanded quiet.
    MeasureChildren(item);
    setCurrentItem(item);
}

QTreeWidgetItem* FolderTree::MakeFolderItem(const std::string& path,
                                            const std::string& name) const {
    // Made apart from the tree and added in one step: an item added to a shown tree one at a
    // time makes the view lay out its rows again for each.
    auto* item = new QTreeWidgetItem();
    item->setText(0, ShownText(name));
    item->setData(0, kPathRole, QString::fromStdString(path));
    item->setIcon(0, folderIcon_);
    // The arrow shows until the branch is opened and found empty.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    if (showSizes_)
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

void FolderTree::Populate(QTreeWidgetItem* item) {
    if (item->data(0, kReadRole).toBool())
        return;
    item->setData(0, kReadRole, true);
    const std::string folder = PathOf(item);
    std::vector<DirEntry> entries;
    QList<QTreeWidgetItem*> children;
    // Hidden folders stay out of the tree; a typed path reaches them. Names and kinds are all
    // the tree needs: no stat call per entry.
    if (ListDirectory(DrivePath(folder), kAttrDirectory | kAttrReadOnly, entries,
                      ListDetail::NamesAndKinds)) {
        children.reserve(static_cast<qsizetype>(entries.size()));
        for (const DirEntry& entry : entries) {
            const std::string path = ChildPath(folder, entry.name);
            // A link to a folder is shown, as the person may name it as a source item.
            const bool folderLink =
                entry.kind == EntryKind::Link && DirectoryExists(DrivePath(path));
            if (entry.kind == EntryKind::Directory || folderLink)
                children.append(MakeFolderItem(path, entry.name));
        }
    }
    item->addChildren(children);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

// --- Folder sizes -----------------------------------------------------------------------------

void FolderTree::MeasureChildren(QTreeWidgetItem* item) {
    if (!showSizes_)
        return;
    const int priority =
        nextPriority_ < std::numeric_limits<int>::max() ? ++nextPriority_ : nextPriority_;
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem* child = item->child(i);
        if (child->text(1).isEmpty() && pending_.count(child) == 0)
            Measure(child, priority);
    }
}

void FolderTree::Measure(QTreeWidgetItem* item, int priority) {
    auto stop = std::make_shared<std::atomic<bool>>(false);
    pending_[item] = stop;
    const std::string path = PathOf(item);
    const std::uint64_t generation = generation_;
    sizePool_.start(
        [this, item, path, generation, stop] {
            const std::optional<std::uint64_t> size = DirSizeUnlessStopped(DrivePath(path), *stop);
            if (!size || stop->load())
                return;
            // Handed to the interface thread in batches: one call shows every size that has
            // arrived by then, so that the view lays itself out once per batch, not once per
            // folder. The destructor waits for this worker, so the tree is still there.
            bool first = false;
            {
                const std::lock_guard<std::mutex> lock(arrivedMutex_);
                first = arrived_.empty();
                arrived_.push_back({item, generation, stop, *size});
            }
            if (first)
                QMetaObject::invokeMethod(
                    this, [this] { ShowArrivedSizes(); }, Qt::QueuedConnection);
        },
        priority);
}

void FolderTree::ShowArrivedSizes() {
    std::vector<ArrivedSize> batch;
    {
        const std::lock_guard<std::mutex> lock(arrivedMutex_);
        batch.swap(arrived_);
    }
    bool shown = false;
    int widest = 0;
    for (const ArrivedSize& arrived : batch) {
        // Dropped since (branch closed, drive changed, sizes switched off): not shown.
        if (arrived.stop->load() || arrived.generation != generation_ ||
            pending_.erase(arrived.item) == 0)
            continue;
        const QString text =
            QString::fromStdString(GroupThousands(static_cast<std::int64_t>(arrived.size)));
        arrived.item->setText(1, text);
        widest = std::max(widest, SizeColumnWidthFor(text));
        shown = true;
    }
    if (widest > header()->sectionSize(1))
        header()->resizeSection(1, widest);
    if (shown && pending_.empty())
        emit sizesSettled();
}

int FolderTree::SizeColumnWidthFor(const QString& text) const {
    const int margin = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    return fontMetrics().horizontalAdvance(text) + margin;
}

void FolderTree::DropMeasurementsBelow(QTreeWidgetItem* item) {
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (IsBelow(it->first, item)) {
            it->second->store(true);
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
}

void FolderTree::DropAllMeasurements() {
    for (auto& [item, stop] : pending_)
        stop->store(true);
    pending_.clear();
}

QTreeWidgetItem* FolderTree::ChildNamed(QTreeWidgetItem* item, const std::string& name) const {
    const std::string path = ChildPath(PathOf(item), name);
    for (int i = 0; i < item->childCount(); ++i) {
        if (PathOf(item->child(i)) == path)
            return item->child(i);
    }
    return nullptr;
}

bool FolderTree::SetCurrentFolder(const std::string& drivePath) {
    if (!HasDriveFront(drivePath) || !DirectoryExists(DrivePath(drivePath)))
        return false;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(drivePath[0])));
    if (letter != drive_ || topLevelItemCount() == 0) {
        const QSignalBlocker quiet(this);
        drive_ = 0;
        SetDrive(letter);
    }
    QTreeWidgetItem* item = topLevelItem(0);
    for (const std::string& name : ComponentsAfterDrive(drivePath)) {
        Populate(item);
        QTreeWidgetItem* child = ChildNamed(item, name);
        if (child == nullptr) {
            // A hidden folder, or one that appeared since the branch was read.
            const std::string path = ChildPath(PathOf(item), name);
            if (!DirectoryExists(DrivePath(path)))
                return false;
            child = MakeFolderItem(path, name);
            item->addChild(child);
        }
        item->setExpanded(true);
        MeasureChildren(item);
        item = child;
    }
    // The folder shown is opened, so that its sub-folders can be chosen next.
    Populate(item);
    item->setExpanded(true);
    MeasureChildren(item);
    if (currentItem() == item) {
        emit folderChanged(QString::fromStdString(PathOf(item)));
    } else {
        setCurrentItem(item);
    }
    scrollToItem(item);
    return true;
}

std::string FolderTree::CurrentFolder() const {
    const QTreeWidgetItem* item = currentItem();
    return item != nullptr ? PathOf(item) : std::string();
}

QTreeWidgetItem* FolderTree::FindItem(const std::string& drivePath) const {
    if (topLevelItemCount() == 0)
        return nullptr;
    QTreeWidgetItem* item = topLevelItem(0);
    if (!HasDriveFront(drivePath) ||
        std::tolower(static_cast<unsigned char>(drivePath[0])) != drive_)
        return nullptr;
    for (const std::string& name : ComponentsAfterDrive(drivePath)) {
        item = ChildNamed(item, name);
        if (item == nullptr)
            return nullptr;
    }
    return item;
}

}  // namespace vlm
