// The source side of the project editor: the browse pane, the "Item to add:" field and the
// source list with the rules that keep it free of duplicates and nesting.

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/opening_rules.h"
#include "editor/editor_texts.h"
#include "editor/exclusions_panel.h"
#include "editor/project_editor.h"
#include "platform/shell.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/drive_box.h"
#include "widgets/file_list.h"
#include "widgets/folder_tree.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

QLabel* TitleLabel(const QString& text, QColor colour, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

}  // namespace

QWidget* TprojecteditF::BuildSourceSide() {
    auto* side = new QWidget(body_);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);

    SelectL = TitleLabel(QStringLiteral("Select"), QColor(), side);
    layout->addWidget(SelectL);

    layout->addLayout(BuildBrowseBar(side));

    auto* panes = new QSplitter(Qt::Horizontal, side);
    DriV = new FolderTree(panes);
    DirV = new FileList(panes);
    panes->addWidget(DriV);
    panes->addWidget(DirV);
    panes->setStretchFactor(0, 2);
    panes->setStretchFactor(1, 3);
    panes->setChildrenCollapsible(false);
    layout->addWidget(panes, 3);

    layout->addLayout(BuildAddRow(side));

    sourceL = TitleLabel(QStringLiteral("Source"), QColor(0, 170, 100), side);
    sourceL->setCursor(Qt::PointingHandCursor);
    sourceL->installEventFilter(this);
    layout->addWidget(sourceL);

    fdlistLB = new QListWidget(side);
    fdlistLB->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(fdlistLB, 2);

    exclusionsP = new ExclusionsPanel(side);
    layout->addWidget(exclusionsP, 1);
    return side;
}

// The drive, My documents, the info switch and the filter above the folder tree.
QHBoxLayout* TprojecteditF::BuildBrowseBar(QWidget* side) {
    auto* browseBar = new QHBoxLayout;
    IEDriveComboBox1 = new DriveBox(side);
    mydocBB = new QPushButton(QStringLiteral("My documents"), side);
    mydocBB->setAutoDefault(false);
    infoCB = new QCheckBox(QStringLiteral("Show folder &info on statusbar"), side);
    auto* filterL = new QLabel(QStringLiteral("Filter:"), side);
    filterE = new QLineEdit(QStringLiteral("*.*"), side);
    filterE->setMaximumWidth(160);
    filterL->setBuddy(filterE);
    browseBar->addWidget(IEDriveComboBox1);
    browseBar->addWidget(mydocBB);
    browseBar->addWidget(infoCB);
    browseBar->addStretch(1);
    browseBar->addWidget(filterL);
    browseBar->addWidget(filterE);
    return browseBar;
}

// The item to add and the buttons that change the list.
QHBoxLayout* TprojecteditF::BuildAddRow(QWidget* side) {
    auto* addRow = new QHBoxLayout;
    AddfnL = new QLabel(QStringLiteral("Item to add:"), side);
    AddfnE = new QLineEdit(side);
    AddfnL->setBuddy(AddfnE);
    AddfnB = new QPushButton(QStringLiteral("&Add"), side);
    AddfnB->setToolTip(
        QStringLiteral("Click here to add above item to the list of items (files or "
                       "complete directories) to copy to destination"));
    DelfnB = new QPushButton(QStringLiteral("&Delete from list"), side);
    AddfnB->setAutoDefault(false);
    DelfnB->setAutoDefault(false);
    addRow->addWidget(AddfnL);
    addRow->addWidget(AddfnE, 1);
    addRow->addWidget(AddfnB);
    addRow->addWidget(DelfnB);
    return addRow;
}

void TprojecteditF::ConnectSourceSide() {
    connect(IEDriveComboBox1, &DriveBox::driveChanged, this,
            [this](char letter) { Guarded([&] { DriV->SetDrive(letter); }); });
    connect(DriV, &FolderTree::folderChanged, this, [this] { Guarded([&] { DriVChange(); }); });
    connect(DriV, &FolderTree::folderClicked, this, [this] { Guarded([&] { DriVClick(); }); });
    connect(DirV, &QTreeWidget::itemSelectionChanged, this,
            [this] { Guarded([&] { DirVClick(); }); });
    connect(mydocBB, &QPushButton::clicked, this, [this] { Guarded([&] { mydocBBClick(); }); });
    connect(filterE, &QLineEdit::textChanged, this, [this] { Guarded([&] { filterEChange(); }); });
    connect(infoCB, &QCheckBox::clicked, this, [this] { Guarded([&] { infoCBClick(); }); });
    connect(AddfnE, &QLineEdit::editingFinished, this,
            [this] { ShowTypedPathAsDrivePath(AddfnE); });
    connect(AddfnB, &QPushButton::clicked, this, [this] { Guarded([&] { AddfnBClick(); }); });
    connect(DelfnB, &QPushButton::clicked, this, [this] { Guarded([&] { DelfnBClick(); }); });
    connect(fdlistLB, &QListWidget::itemClicked, this,
            [this] { Guarded([&] { fdlistLBClick(); }); });
}

bool TprojecteditF::eventFilter(QObject* watched, QEvent* event) {
    if (watched == sourceL && event->type() == QEvent::MouseButtonRelease) {
        sourceLClick();
        return true;
    }
    if (watched == destdriveC || watched == destdriveC->lineEdit()) {
        if (event->type() == QEvent::FocusIn)
            destdriveCEnter();
        if (event->type() == QEvent::FocusOut &&
            static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
            !destdriveC->hasFocus())
            destdriveCExit();
    }
    if (watched == syncdestE && event->type() == QEvent::FocusIn)
        syncdestEChange();  // entering shows the destination just as a change does
    return QDialog::eventFilter(watched, event);
}

// --- Choosing the item to add -------------------------------------------------------------

void TprojecteditF::DriVClick() {
    multiSelection_ = false;
    AddfnE->setEnabled(true);
    AddfnE->setText(Q(StripTrailingBackslash(DriV->CurrentFolder())));
}

void TprojecteditF::DriVChange() {
    const std::string folder = DriV->CurrentFolder();
    AddfnE->setText(Q(StripTrailingBackslash(folder)));
    if (IEDriveComboBox1->Drive() != DriV->Drive())
        IEDriveComboBox1->SetDrive(DriV->Drive());
    DirV->SetFolder(folder);
    if (infoCB->isChecked())
        ShowFolderInfo();
}

void TprojecteditF::DirVClick() {
    const int selected = DirV->SelectedCount();
    if (selected == 1) {
        multiSelection_ = false;
        AddfnE->setText(Q(DirV->SelectedPaths().front()));
        AddfnE->setEnabled(true);
    } else if (selected > 1) {
        multiSelection_ = true;
        AddfnE->setText(QString::fromUtf8(kMultiSelectionShown));
        AddfnE->setEnabled(false);
    } else {
        multiSelection_ = false;
        AddfnE->setEnabled(true);
    }
}

void TprojecteditF::mydocBBClick() {
    std::string documents = context_.documentsFolder;
    if (documents.empty())
        documents = SpecialFolderPath(SpecialFolder::Personal).Text();
    if (DriV->SetCurrentFolder(documents))
        return;
    // No documents folder on this host: the first present drive.
    const std::string letters = PresentDriveLetters();
    if (!letters.empty())
        DriV->SetCurrentFolder(std::string(1, letters.front()) + ":\\");
}

void TprojecteditF::filterEChange() {
    DirV->SetMask(filterE->text().toStdString());
}

void TprojecteditF::infoCBClick() {
    if (infoCB->isChecked()) {
        ShowFolderInfo();
    } else {
        SetStatus("");
    }
}

void TprojecteditF::ShowFolderInfo() {
    const std::string folder = DriV->CurrentFolder();
    if (folder.empty()) {
        SetStatus("");
        return;
    }
    if (folder.size() <= 3) {
        const std::int64_t free = DriveNumber(folder[0]) == 0 ? -1 : DiskFreeBytes(folder[0]);
        if (free == -1) {
            SetStatus("Drive " + folder + " is invalid!");
            return;
        }
        SetStatus("Calculating, please wait...");
        StatusBar1->repaint();
        SetStatus(GroupThousands(free) + " bytes free on drive " + folder);
        return;
    }
    SetStatus("Calculating, please wait...");
    StatusBar1->repaint();
    // The full size of the folder, measured afresh each time.
    const auto size = static_cast<std::int64_t>(ItemSize(DrivePath(folder)));
    SetStatus(GroupThousands(size) + " bytes" + "; Created: " + ItemDateText(DrivePath(folder)));
}

// --- Add and Delete -----------------------------------------------------------------------

std::vector<std::string> TprojecteditF::SourceItems() const {
    std::vector<std::string> items;
    for (int i = 0; i < fdlistLB->count(); ++i)
        items.push_back(StoredText(fdlistLB->item(i)));
    return items;
}

std::string TprojecteditF::ItemToAdd() const {
    return AsDrivePath(AddfnE->text().toStdString());
}

void TprojecteditF::AppendEntry(const std::string& entry) {
    AddShownItem(fdlistLB, entry);
}

void TprojecteditF::AddfnBClick() {
    const std::string item = ItemToAdd();
    if (item.empty()) {
        ShowPlain(kSelectItemFirst);
        return;
    }
    if (syncCB->isChecked()) {
        if (fdlistLB->count() > 0) {
            ShowErrorBox(
                "Forbidden! When synchronizing option checked, you can have only one source "
                "item.");
            return;
        }
        if (!IsSoundSourcePath(item) || HoldsLineBreak(item)) {
            ShowErrorBox(std::string(kIncorrectSourcePath));
            return;
        }
        const std::string destination = SyncDestText();
        const std::string lowerItem = LowerAscii(item), lowerDest = LowerAscii(destination);
        if (!destination.empty() &&
            (IsPartOf(lowerItem, lowerDest) || IsPartOf(lowerDest, lowerItem))) {
            ShowErrorBox(NestingForbiddenText(destination, item));
            return;
        }
        AppendEntry(item);
        showfromtoexample();
        return;
    }
    // The selected files are taken as they stand when Add is pressed.
    const std::vector<std::string> candidates =
        multiSelection_ ? DirV->SelectedPaths() : std::vector<std::string>{item};
    for (const std::string& candidate : candidates)
        AddCandidate(candidate);
}

void TprojecteditF::AddCandidate(const std::string& candidate) {
    // An item without a drive, or one that climbs with "..", would have no destination; a line
    // break would split its line in the project file.
    if (!IsSoundSourcePath(candidate) || HoldsLineBreak(candidate)) {
        ShowErrorBox(std::string(kIncorrectSourcePath));
        return;
    }
    const std::string lowerCandidate = LowerAscii(candidate);
    if (IsListedAlready(candidate, lowerCandidate) ||
        !AcceptInsideListed(candidate, lowerCandidate))
        return;
    OfferToRemoveListedInside(candidate, lowerCandidate);
    AppendEntry(candidate);
    showfromtoexample();
}

// Every entry equal to the candidate but for case is named in a box of its own.
bool TprojecteditF::IsListedAlready(const std::string& candidate,
                                    const std::string& lowerCandidate) {
    bool listed = false;
    for (const std::string& entry : SourceItems()) {
        if (LowerAscii(entry) == lowerCandidate) {
            ShowErrorBox("Forbidden to add " + candidate + " twice in list! It makes no sense.");
            listed = true;
        }
    }
    return listed;
}

// The containment tests are plain text tests: c:\data2 counts as inside c:\data.
bool TprojecteditF::AcceptInsideListed(const std::string& candidate,
                                       const std::string& lowerCandidate) {
    for (int i = fdlistLB->count() - 1; i >= 0; --i) {
        const std::string entry = StoredText(fdlistLB->item(i));
        if (lowerCandidate.find(LowerAscii(entry)) == std::string::npos)
            continue;
        if (!AskYesNo(BoxType::Warning,
                      candidate + " is a part of already listed " + entry +
                          ". So the item is infact already added. Nesting makes no sense. "
                          "Add anyway??"))
            return false;
    }
    return true;
}

void TprojecteditF::OfferToRemoveListedInside(const std::string& candidate,
                                              const std::string& lowerCandidate) {
    for (int i = fdlistLB->count() - 1; i >= 0; --i) {
        const std::string entry = StoredText(fdlistLB->item(i));
        if (LowerAscii(entry).find(lowerCandidate) == std::string::npos)
            continue;
        if (AskYesNo(BoxType::Warning, "Already listed " + entry + " is a part of " + candidate +
                                           ". Nesting makes no sense! Remove " + entry +
                                           " from list??"))
            delete fdlistLB->takeItem(i);
    }
}

void TprojecteditF::DelfnBClick() {
    const int selected = static_cast<int>(fdlistLB->selectedItems().size());
    if (selected == 0) {
        ShowPlain("Select first an item");
    } else {
        for (int i = fdlistLB->count() - 1; i >= 0; --i) {
            if (fdlistLB->item(i)->isSelected())
                delete fdlistLB->takeItem(i);
        }
        // The entries that were marked are gone: no entry is current any more (Qt would
        // quietly make a neighbour current), so the example names the last entry.
        fdlistLB->setCurrentRow(-1);
    }
    showfromtoexample();
}

void TprojecteditF::fdlistLBClick() {
    showfromtoexample();
}

void TprojecteditF::sourceLClick() {
    // With no current entry, the next example shows the last one.
    fdlistLB->setCurrentRow(-1);
    fdlistLB->clearSelection();
}

}  // namespace vlm
