#include "widgets/folder_tree.h"

#include <QApplication>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QStyle>
#include <cctype>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_translation.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kReadRole = Qt::UserRole + 1;  // true once the sub-folders have been read

std::string PathOf(const QTreeWidgetItem* item) {
    return item->data(0, kPathRole).toString().toStdString();
}

// A host name may hold characters a drive name shows as stand-ins; the person sees the characters.
QString ShownName(const std::string& name) {
    return QString::fromStdString(vlm::ShownName(std::string_view(name)));
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
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) &&
           path[1] == ':' && (path.size() == 2 || path[2] == '\\');
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
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { Populate(item); });
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (current != nullptr)
                    emit folderChanged(QString::fromStdString(PathOf(current)));
            });
    connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
        emit folderClicked(QString::fromStdString(PathOf(item)));
    });
}

void FolderTree::SetShowSizes(bool on) {
    showSizes_ = on;
    setColumnCount(on ? 2 : 1);
    if (on) {
        header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    }
    if (drive_ != 0) {
        const std::string current = CurrentFolder();
        const char drive = drive_;
        drive_ = 0;
        SetDrive(drive);
        SetCurrentFolder(current);
    }
}

void FolderTree::SetDrive(char letter) {
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    if (letter == drive_ && topLevelItemCount() > 0) {
        setCurrentItem(topLevelItem(0));
        return;
    }
    drive_ = letter;
    {
        const QSignalBlocker quiet(this);
        clear();
    }
    const std::string root = std::string(1, letter) + ":\\";
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(root));
    item->setData(0, kPathRole, QString::fromStdString(root));
    item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
    Populate(item);
    item->setExpanded(true);
    setCurrentItem(item);
}

QTreeWidgetItem* FolderTree::AddFolderItem(QTreeWidgetItem* parent, const std::string& path,
                                           const std::string& name) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, ShownName(name));
    item->setData(0, kPathRole, QString::fromStdString(path));
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    // The arrow shows until the branch is opened and found empty.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    if (showSizes_) {
        item->setText(
            1, QString::fromStdString(GroupThousands(static_cast<std::int64_t>(DirSize(path)))));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
    return item;
}

void FolderTree::Populate(QTreeWidgetItem* item) {
    if (item->data(0, kReadRole).toBool())
        return;
    item->setData(0, kReadRole, true);
    const std::string folder = PathOf(item);
    std::vector<DirEntry> entries;
    // Hidden folders stay out of the tree; a typed path reaches them.
    if (ListDirectory(folder, kAttrDirectory | kAttrReadOnly, entries)) {
        for (const DirEntry& entry : entries) {
            const std::string path = ChildPath(folder, entry.name);
            // A link to a folder is shown, as the person may name it as a source item.
            const bool folderLink = entry.kind == EntryKind::Link && DirectoryExists(path);
            if (entry.kind == EntryKind::Directory || folderLink)
                AddFolderItem(item, path, entry.name);
        }
    }
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
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
    if (!HasDriveFront(drivePath) || !DirectoryExists(drivePath))
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
            if (!DirectoryExists(path))
                return false;
            child = AddFolderItem(item, path, name);
        }
        item->setExpanded(true);
        item = child;
    }
    // The folder shown is opened, so that its sub-folders can be chosen next.
    Populate(item);
    item->setExpanded(true);
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
