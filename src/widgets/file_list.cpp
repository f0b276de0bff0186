#include "widgets/file_list.h"

#include <QHeaderView>
#include <QStyle>
#include <cctype>

#include "platform/file_system.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"
#include "widgets/folder_tree.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr int kPathRole = Qt::UserRole;

enum Column { kNameColumn = 0, kSizeColumn = 1, kDateColumn = 2 };

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// One pattern against one name: '*' any run, '?' one character, no case.
bool MatchesPattern(std::string_view name, std::string_view pattern) {
    std::size_t n = 0, p = 0;
    std::size_t starAt = std::string_view::npos, nameAtStar = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            nameAtStar = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++nameAtStar;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

// Sorts the size column by its number, not by its text.
class FileItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        if (column == kSizeColumn)
            return data(kSizeColumn, Qt::UserRole).toLongLong() <
                   other.data(kSizeColumn, Qt::UserRole).toLongLong();
        return QTreeWidgetItem::operator<(other);
    }
};

}  // namespace

bool MatchesFileMask(std::string_view name, std::string_view mask) {
    if (Trimmed(mask).empty())
        return true;
    std::size_t start = 0;
    while (start <= mask.size()) {
        std::size_t end = mask.find(';', start);
        if (end == std::string_view::npos)
            end = mask.size();
        const std::string_view pattern = Trimmed(mask.substr(start, end - start));
        if (!pattern.empty()) {
            if (pattern == "*.*" || MatchesPattern(name, pattern))
                return true;
            // "x.*" names x with any extension, and x without one.
            if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*" &&
                name.find('.') == std::string_view::npos &&
                MatchesPattern(name, pattern.substr(0, pattern.size() - 2)))
                return true;
        }
        start = end + 1;
    }
    return false;
}

FileList::FileList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Modified")});
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    header()->setSectionResizeMode(kSizeColumn, QHeaderView::ResizeToContents);
    header()->setSectionResizeMode(kDateColumn, QHeaderView::ResizeToContents);
}

void FileList::SetFolder(const std::string& drivePath) {
    folder_ = drivePath;
    Reload();
}

void FileList::SetMask(const std::string& mask) {
    mask_ = mask;
    Reload();
}

void FileList::Reload() {
    // Clearing the selection first tells a listener that nothing is selected any more.
    clearSelection();
    clear();
    std::vector<DirEntry> entries;
    if (folder_.empty() || !ListDirectory(DrivePath(folder_), 0, entries))
        return;
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const DirEntry& entry : entries) {
        const std::string path = ChildPath(folder_, entry.name);
        // A link counts as a file when it leads to one; special files are never listed.
        const bool fileLink = entry.kind == EntryKind::Link && ItemKind(DrivePath(path)) == 'f';
        if (entry.kind != EntryKind::File && !fileLink)
            continue;
        if (!MatchesFileMask(entry.name, mask_))
            continue;
        const std::int64_t size = fileLink ? FileSizeOf(DrivePath(path)) : std::int64_t(entry.size);
        auto* item = new FileItem(this);
        item->setText(kNameColumn, ShownText(entry.name));
        item->setIcon(kNameColumn, fileIcon);
        item->setData(kNameColumn, kPathRole, QString::fromStdString(path));
        item->setText(kSizeColumn, QString::fromStdString(GroupThousands(size)));
        item->setData(kSizeColumn, Qt::UserRole, qlonglong(size));
        item->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(kDateColumn, QString::fromStdString(ItemDateText(DrivePath(path))));
    }
}

void FileList::SetMultiSelect(bool on) {
    if (!on && selectedItems().size() > 1)
        clearSelection();
    setSelectionMode(on ? QAbstractItemView::ExtendedSelection
                        : QAbstractItemView::SingleSelection);
}

bool FileList::MultiSelect() const {
    return selectionMode() == QAbstractItemView::ExtendedSelection;
}

int FileList::SelectedCount() const {
    return static_cast<int>(selectedItems().size());
}

std::vector<std::string> FileList::SelectedPaths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = topLevelItem(i);
        if (item->isSelected())
            paths.push_back(item->data(kNameColumn, kPathRole).toString().toStdString());
    }
    return paths;
}

std::vector<std::string> FileList::ListedPaths() const {
    std::vector<std::string> paths;
    for (int i = 0; i < topLevelItemCount(); ++i)
        paths.push_back(topLevelItem(i)->data(kNameColumn, kPathRole).toString().toStdString());
    return paths;
}

}  // namespace vlm
