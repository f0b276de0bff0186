#include "dialogs/restore_window.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/locale_text.h"
#include "platform/path_translation.h"
#include "platform/paths.h"
#include "platform/utf8_text.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/folder_dialog.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kPopulatedRole = Qt::UserRole + 1;
// A search lists at most this many files, so that a short text on a large backup stays quick.
constexpr int kMostMatches = 2000;

enum FileColumn { kNameColumn, kSizeColumn, kModifiedColumn, kWhereColumn };
enum VersionColumn { kKeptColumn, kVersionSizeColumn, kVersionModifiedColumn };

std::string Joined(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "\\" + name;
}

QString TimeText(DateTime time) {
    return Q(DateTimeText(time));
}

QString SizeCell(std::uint64_t size) {
    return Q(GroupThousands(static_cast<std::int64_t>(size)));
}

// "Backup of c:\Data: e:\VLMcopy_drive_c\Data", and how many more items there are.
std::string BackupText(const std::vector<BackedUpItem>& items) {
    if (items.empty())
        return "Backup: none (the project has no source items)";
    std::string text = "Backup of " + items.front().source + ": " + items.front().backup;
    if (items.size() > 1)
        text += " and of " + std::to_string(items.size() - 1) + " more item(s)";
    return text;
}

}  // namespace

RestoreWindow::RestoreWindow(RestoreBrowser backup, const std::string& caption,
                             RestoreWindowHooks hooks, QWidget* parent)
    : QDialog(parent), backup_(std::move(backup)), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("RestoreWindow"));
    setWindowTitle(ShownText(caption));
    if (!hooks_.chooseFolder)
        hooks_.chooseFolder = [this](const std::string& c, const std::string& start) {
            return ChooseFolderWithDialog(this, c, start);
        };
    BuildControls();
    BuildLayout();
    ConnectControls();
    ExplainState();
    FillTree();
    resize(900, 600);
}

void RestoreWindow::BuildControls() {
    backupL = new QLabel(ShownText(BackupText(backup_.Items())), this);
    noteL = new QLabel(this);
    noteL->setWordWrap(true);
    asofC = new QComboBox(this);
    asofC->addItem(QStringLiteral("Now: the backup as it is"), QString());
    for (const std::string& run : backup_.RunTimes())
        asofC->addItem(Q("Before the run of " + run), Q(run));
    searchE = new QLineEdit(this);
    searchE->setPlaceholderText(QStringLiteral("Find a name below the folder"));
    searchE->setClearButtonEnabled(true);

    foldersTV = new QTreeWidget(this);
    foldersTV->setHeaderLabels({QStringLiteral("Folder")});
    foldersTV->setUniformRowHeights(true);
    filesLV = new QTreeWidget(this);
    filesLV->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                              QStringLiteral("Modified"), QStringLiteral("In folder")});
    filesLV->setRootIsDecorated(false);
    filesLV->setUniformRowHeights(true);
    filesLV->setAllColumnsShowFocus(true);
    filesLV->setSelectionMode(QAbstractItemView::ExtendedSelection);
    filesLV->header()->setStretchLastSection(false);
    filesLV->header()->setSectionResizeMode(kNameColumn, QHeaderView::Stretch);
    filesLV->header()->setSectionResizeMode(kSizeColumn, QHeaderView::ResizeToContents);
    filesLV->header()->setSectionResizeMode(kModifiedColumn, QHeaderView::ResizeToContents);
    filesLV->header()->setSectionResizeMode(kWhereColumn, QHeaderView::ResizeToContents);

    versionsL = new QLabel(QStringLiteral("Versions of the chosen file:"), this);
    versionsLV = new QTreeWidget(this);
    versionsLV->setHeaderLabels(
        {QStringLiteral("Version"), QStringLiteral("Size"), QStringLiteral("Modified")});
    versionsLV->setRootIsDecorated(false);
    versionsLV->setAllColumnsShowFocus(true);
    versionsLV->setToolTip(QStringLiteral(
        "Choose a version and press Restore to bring back that one; in bold the one shown above"));
    versionsLV->header()->setStretchLastSection(false);
    versionsLV->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    versionsLV->header()->setSectionResizeMode(kKeptColumn, QHeaderView::Stretch);

    statusL = new QLabel(this);
    restoreB = new QPushButton(QStringLiteral("&Restore"), this);
    restoreB->setToolTip(
        QStringLiteral("Put the chosen files, or the chosen folder, back where they came from"));
    restoretoB = new QPushButton(QStringLiteral("Restore &to\u2026"), this);
    closeB = new QPushButton(QStringLiteral("&Close"), this);
    // Enter in the search field must not start a restore.
    for (QPushButton* button : {restoreB, restoretoB, closeB})
        button->setAutoDefault(false);
}

void RestoreWindow::BuildLayout() {
    auto* choices = new QHBoxLayout;
    choices->addWidget(new QLabel(QStringLiteral("Show:"), this));
    choices->addWidget(asofC, 1);
    choices->addSpacing(12);
    choices->addWidget(new QLabel(QStringLiteral("Find:"), this));
    choices->addWidget(searchE, 1);

    auto* lower = new QWidget(this);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(versionsL);
    lowerLayout->addWidget(versionsLV);

    auto* browse = new QSplitter(Qt::Horizontal, this);
    browse->addWidget(foldersTV);
    browse->addWidget(filesLV);
    browse->setStretchFactor(0, 2);
    browse->setStretchFactor(1, 3);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(browse);
    split->addWidget(lower);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(statusL, 1);
    buttons->addWidget(restoreB);
    buttons->addWidget(restoretoB);
    buttons->addWidget(closeB);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(backupL);
    layout->addWidget(noteL);
    layout->addLayout(choices);
    layout->addWidget(split, 1);
    layout->addLayout(buttons);
}

void RestoreWindow::ConnectControls() {
    connect(asofC, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { asofCChange(); }); });
    connect(searchE, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { searchEChange(); }); });
    connect(foldersTV, &QTreeWidget::currentItemChanged, this,
            [this] { Guarded([this] { foldersTVChange(); }); });
    connect(foldersTV, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { Guarded([this, item] { Populate(item); }); });
    connect(filesLV, &QTreeWidget::itemSelectionChanged, this,
            [this] { Guarded([this] { filesLVChange(); }); });
    connect(restoreB, &QPushButton::clicked, this,
            [this] { Guarded([this] { restoreBClick(); }); });
    connect(restoretoB, &QPushButton::clicked, this,
            [this] { Guarded([this] { restoretoBClick(); }); });
    connect(closeB, &QPushButton::clicked, this, &QDialog::reject);
}

void RestoreWindow::ExplainState() {
    const bool hasBackup = backup_.HasBackup();
    std::string note;
    if (!hasBackup)
        note = "This project has no backup yet: run it once, then its files can be restored here.";
    else if (!backup_.VersionsOn())
        note =
            "Kept versions are off for this project: only the backup as it is now can be "
            "restored. Switch on \"Keep replaced and deleted files\" in the project editor to "
            "keep what later runs replace or delete.";
    else if (asofC->count() == 1)
        note =
            "No run has kept a replaced or deleted file yet: the backup can be restored as it "
            "is now.";
    noteL->setText(Q(note));
    noteL->setVisible(!note.empty());
    asofC->setEnabled(asofC->count() > 1);
    searchE->setEnabled(hasBackup);
    restoreB->setEnabled(hasBackup);
    restoretoB->setEnabled(hasBackup);
}

std::string RestoreWindow::AsOf() const {
    return asofC->currentData().toString().toStdString();
}

std::string RestoreWindow::CurrentFolder() const {
    const QTreeWidgetItem* item = foldersTV->currentItem();
    return item != nullptr ? item->data(0, kPathRole).toString().toStdString() : std::string();
}

void RestoreWindow::FillTree() {
    const std::string current = CurrentFolder();
    foldersTV->clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const BackedUpItem& item : backup_.Items()) {
        const std::optional<ItemAsOf> entry = backup_.Find(item.source, AsOf());
        if (!entry)
            continue;
        auto* top = new QTreeWidgetItem(foldersTV, {ShownText(item.source)});
        top->setData(0, kPathRole, Q(item.source));
        top->setIcon(0, entry->folder ? folderIcon : style()->standardIcon(QStyle::SP_FileIcon));
        if (entry->folder)
            top->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    // An item's own folders are what a person looks for first.
    if (foldersTV->topLevelItemCount() == 1)
        foldersTV->topLevelItem(0)->setExpanded(true);
    if (current.empty() || !SetCurrentFolder(current)) {
        if (foldersTV->topLevelItemCount() > 0)
            foldersTV->setCurrentItem(foldersTV->topLevelItem(0));
        else
            FillFiles();
    }
}

void RestoreWindow::Populate(QTreeWidgetItem* item) {
    if (item->data(0, kPopulatedRole).toBool())
        return;
    item->setData(0, kPopulatedRole, true);
    const std::string folder = item->data(0, kPathRole).toString().toStdString();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const ItemAsOf& entry : backup_.List(folder, AsOf())) {
        if (!entry.folder)
            continue;
        auto* child = new QTreeWidgetItem(item, {ShownText(entry.name)});
        child->setData(0, kPathRole, Q(Joined(folder, entry.name)));
        child->setIcon(0, folderIcon);
        child->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

bool RestoreWindow::SetCurrentFolder(const std::string& path) {
    for (int i = 0; i < foldersTV->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = foldersTV->topLevelItem(i);
        const std::string top = item->data(0, kPathRole).toString().toStdString();
        if (path != top && path.rfind(top + "\\", 0) != 0)
            continue;
        // Down the branches, one name at a time.
        std::size_t at = top.size();
        while (item != nullptr && at < path.size()) {
            const std::size_t end = std::min(path.find('\\', at + 1), path.size());
            const std::string wanted = path.substr(0, end);
            Populate(item);
            QTreeWidgetItem* next = nullptr;
            for (int c = 0; c < item->childCount() && next == nullptr; ++c)
                if (item->child(c)->data(0, kPathRole).toString().toStdString() == wanted)
                    next = item->child(c);
            if (next != nullptr)
                item->setExpanded(true);
            item = next;
            at = end;
        }
        if (item == nullptr)
            return false;
        foldersTV->setCurrentItem(item);
        foldersTV->scrollToItem(item);
        return true;
    }
    return false;
}

void RestoreWindow::asofCChange() {
    // The tree made anew chooses its folder again, and that lists the files.
    FillTree();
    ExplainState();
}

void RestoreWindow::searchEChange() {
    FillFiles();
}

void RestoreWindow::foldersTVChange() {
    FillFiles();
}

void RestoreWindow::filesLVChange() {
    FillVersions();
}

void RestoreWindow::AddFileRow(const ItemAsOf& entry, const std::string& path,
                               const std::string& where) {
    auto* row = new QTreeWidgetItem(filesLV);
    row->setText(kNameColumn, ShownText(entry.name));
    row->setIcon(kNameColumn, style()->standardIcon(QStyle::SP_FileIcon));
    row->setData(kNameColumn, kPathRole, Q(path));
    row->setText(kSizeColumn, SizeCell(entry.size));
    row->setTextAlignment(kSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
    row->setText(kModifiedColumn, TimeText(entry.modified));
    row->setText(kWhereColumn, ShownText(where));
}

void RestoreWindow::AddMatches(const std::string& folder, const std::string& relative,
                               const std::string& text, int& room) {
    const std::optional<ItemAsOf> self = backup_.Find(folder, AsOf());
    if (!self || room <= 0)
        return;
    if (!self->folder) {  // a file item
        if (LowerAscii(self->name).find(text) != std::string::npos) {
            AddFileRow(*self, folder, relative);
            --room;
        }
        return;
    }
    // The folder's own files first, then those of its folders.
    const std::vector<ItemAsOf> entries = backup_.List(folder, AsOf());
    for (const ItemAsOf& entry : entries) {
        if (room > 0 && !entry.folder && LowerAscii(entry.name).find(text) != std::string::npos) {
            AddFileRow(entry, Joined(folder, entry.name), relative);
            --room;
        }
    }
    // The backup as it is now no longer holds a deleted file; its kept versions still do.
    if (AsOf().empty()) {
        for (const ItemAsOf& entry : backup_.Deleted(folder)) {
            if (room > 0 && LowerAscii(entry.name).find(text) != std::string::npos) {
                AddFileRow(entry, Joined(folder, entry.name), relative);
                filesLV->topLevelItem(filesLV->topLevelItemCount() - 1)
                    ->setText(kNameColumn, ShownText(entry.name + " (deleted)"));
                --room;
            }
        }
    }
    for (const ItemAsOf& entry : entries)
        if (entry.folder)
            AddMatches(Joined(folder, entry.name), Joined(relative, entry.name), text, room);
}

void RestoreWindow::FillFiles() {
    filesLV->clear();
    const std::string folder = CurrentFolder();
    const std::string text = LowerAscii(searchE->text().trimmed().toStdString());
    const bool searching = !text.empty();
    filesLV->setColumnHidden(kWhereColumn, !searching);
    if (!folder.empty() && searching) {
        int room = kMostMatches;
        AddMatches(folder, {}, text, room);
        statusL->setText(room > 0
                             ? Q(std::to_string(filesLV->topLevelItemCount()) + " file(s) found")
                             : Q("The first " + std::to_string(kMostMatches) +
                                 " files found; type more of the name to find fewer"));
    } else if (!folder.empty()) {
        const std::optional<ItemAsOf> self = backup_.Find(folder, AsOf());
        if (self && !self->folder)  // a file item lists itself
            AddFileRow(*self, folder, {});
        for (const ItemAsOf& entry : backup_.List(folder, AsOf()))
            if (!entry.folder)
                AddFileRow(entry, Joined(folder, entry.name), {});
        statusL->clear();
    }
    FillVersions();
}

std::vector<std::string> RestoreWindow::SelectedFiles() const {
    std::vector<std::string> paths;
    for (int i = 0; i < filesLV->topLevelItemCount(); ++i)
        if (filesLV->topLevelItem(i)->isSelected())
            paths.push_back(
                filesLV->topLevelItem(i)->data(kNameColumn, kPathRole).toString().toStdString());
    return paths;
}

void RestoreWindow::FillVersions() {
    versionsLV->clear();
    versions_.clear();
    const std::vector<std::string> files = SelectedFiles();
    if (files.size() != 1) {
        versionsL->setText(QStringLiteral("Versions of the chosen file:"));
        return;
    }
    versionsL->setText(ShownText("Versions of " + files.front() + ":"));
    // In bold the version the lists above show for the time chosen.
    const std::optional<ItemAsOf> shown = backup_.Find(files.front(), AsOf());
    const auto addRow = [this, &shown](const QString& kept, const ItemAsOf* item) {
        auto* row = new QTreeWidgetItem(versionsLV);
        row->setText(kKeptColumn, kept);
        if (item == nullptr) {
            row->setDisabled(true);
            return;
        }
        row->setText(kVersionModifiedColumn, TimeText(item->modified));
        row->setText(kVersionSizeColumn, SizeCell(item->size));
        row->setTextAlignment(kVersionSizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        if (shown && shown->place == item->place) {
            QFont bold = row->font(kKeptColumn);
            bold.setBold(true);
            for (int column = 0; column < versionsLV->columnCount(); ++column)
                row->setFont(column, bold);
        }
    };
    const std::optional<ItemAsOf> now = backup_.Find(files.front(), {});
    addRow(now ? QStringLiteral("In the backup now")
               : QStringLiteral("Not in the backup now: deleted from the source"),
           now ? &*now : nullptr);
    versions_ = backup_.Versions(files.front());
    for (const KeptVersion& version : versions_) {
        const ItemAsOf kept{{}, version.folder, version.size, version.modified, version.place};
        addRow(Q("Replaced or deleted by the run of " + VersionRunName(version.kept)), &kept);
    }
}

bool RestoreWindow::ReplaceNewer(const std::string& path, const std::string& restoredTime) {
    if (AskYesNoDefaultNo(BoxType::Warning,
                          "The file " + path + " (" + ItemDateText(DrivePath(path)) +
                              ") is newer than the one to restore" +
                              (restoredTime.empty() ? "" : " (" + restoredTime + ")") +
                              ".\nReplace it? It is kept beside it under another name."))
        return true;
    ++newerKept_;
    return false;
}

void RestoreWindow::RestoreChosen(const std::function<std::string(const std::string&)>& intoOf) {
    RestoreOutcome outcome;
    const auto add = [&outcome](const RestoreOutcome& more) {
        outcome.filesRestored += more.filesRestored;
        outcome.filesFailed += more.filesFailed;
        outcome.lines.insert(outcome.lines.end(), more.lines.begin(), more.lines.end());
    };
    newerKept_ = 0;
    const std::vector<std::string> files = SelectedFiles();
    QTreeWidgetItem* versionRow = versionsLV->currentItem();
    // Row 0 is the backup's own file, the rows below it the kept versions.
    const int version = versionRow != nullptr && versionRow->isSelected()
                            ? versionsLV->indexOfTopLevelItem(versionRow)
                            : -1;
    const auto ask = [this](const std::string& asOfText) {
        return [this, asOfText](const std::string& path) { return ReplaceNewer(path, asOfText); };
    };
    if (files.size() == 1 && version == 0) {
        const std::optional<ItemAsOf> now = backup_.Find(files.front(), {});
        add(backup_.Restore(files.front(), {}, intoOf(files.front()),
                            ask(now ? DateTimeText(now->modified) : std::string())));
    } else if (files.size() == 1 && version > 0) {
        const KeptVersion& kept = versions_[static_cast<std::size_t>(version - 1)];
        add(backup_.RestoreVersion(files.front(), kept, intoOf(files.front()),
                                   ask(DateTimeText(kept.modified))));
    } else if (!files.empty()) {
        for (const std::string& file : files) {
            const std::optional<ItemAsOf> entry = backup_.Find(file, AsOf());
            add(backup_.Restore(file, AsOf(), intoOf(file),
                                ask(entry ? DateTimeText(entry->modified) : std::string())));
        }
    } else if (const std::string folder = CurrentFolder(); !folder.empty()) {
        add(backup_.Restore(folder, AsOf(), intoOf(folder),
                            [this](const std::string& path) { return ReplaceNewer(path, {}); }));
    } else {
        ShowPlain("Choose the files or the folder to restore first.");
        return;
    }
    ShowOutcome(outcome);
}

void RestoreWindow::restoreBClick() {
    RestoreChosen([](const std::string& path) { return DrivePath(path).Parent().Text(); });
}

void RestoreWindow::restoretoBClick() {
    const std::string host = hooks_.chooseFolder("Restore to folder", {});
    if (host.empty())
        return;
    const std::optional<DrivePath> folder = DrivePathFromArgument(host, HostPath());
    if (!folder) {
        ShowErrorBox("The folder " + host + " is on no drive of the program.");
        return;
    }
    RestoreChosen([&folder](const std::string&) { return folder->Text(); });
}

void RestoreWindow::ShowOutcome(const RestoreOutcome& outcome) {
    std::string text = "Restored " + std::to_string(outcome.filesRestored) + " file(s)";
    const auto setAside =
        std::count_if(outcome.lines.begin(), outcome.lines.end(),
                      [](const std::string& line) { return line.rfind("Set aside: ", 0) == 0; });
    if (setAside > 0)
        text += ", " + std::to_string(setAside) +
                " replaced file(s) kept beside as \"<name> (before restore <time>)\"";
    if (newerKept_ > 0)
        text += ", kept " + std::to_string(newerKept_) + " newer file(s) as they are";
    const std::uint64_t failed = outcome.filesFailed - static_cast<std::uint64_t>(newerKept_);
    if (failed > 0)
        text += ", " + std::to_string(failed) + " failed";
    statusL->setText(ShownText(text + "."));
    if (failed == 0)
        return;
    std::string lines;
    int shown = 0;
    for (const std::string& line : outcome.lines)
        if ((line.rfind("ERROR", 0) == 0 || line.rfind("Nothing", 0) == 0) && ++shown <= 10)
            lines += "\n" + line;
    ShowErrorBox(text + "." + lines);
}

}  // namespace vlm
