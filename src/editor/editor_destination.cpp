// The destination side of the project editor: the drive and its kind, the options, the
// synchronisation destination, and the example in the status bar that pairs the current
// source item with the path a run writes it to.

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

#include "core/opening_rules.h"
#include "editor/editor_texts.h"
#include "editor/project_editor.h"
#include "engine/destination_media.h"
#include "platform/drive_table.h"
#include "platform/paths.h"
#include "platform/volumes.h"
#include "util/dialogs.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/file_list.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

// Where the kind box stands: in the drive's row, or, while synchronising, up in the title row
// and narrower. The widths are those of the classic small window font, widened where this
// font would cut the longest offered kinds.
constexpr int kKindWidth = 145;
constexpr int kKindWidthSynchronising = 108;

int KindBoxWidth(const QComboBox* box, int classic, const char* longest) {
    const int fits = box->fontMetrics().horizontalAdvance(QString::fromUtf8(longest)) + 40;
    return std::max(classic, fits);
}

// The drive box takes one typed character. Its own entries ("e: <Removable>", "<default>") are
// longer: they are set, not typed, and deleting characters from one is allowed (a length limit
// stops what is added, not what is taken away). A longer text cannot be typed, whether or not
// it starts like an entry: "e:" and "<def" are refused at their second character.
//
// Qt validates a text that is set too, before it announces it, and a text it found invalid
// then lets the next keystroke through unchecked: so an entry (or a project's saved entry of a
// drive whose kind has changed since) must pass as it is.
class DriveTextValidator : public QValidator {
public:
    DriveTextValidator(QComboBox* box, QObject* parent) : QValidator(parent), box_(box) {
        shown_ = box->lineEdit()->text();
        // The text before an edit: by the time validate() runs, the line edit already holds
        // the candidate.
        connect(box->lineEdit(), &QLineEdit::textChanged, this,
                [this](const QString& text) { shown_ = text; });
    }

    State validate(QString& input, int&) const override {
        if (input.size() <= 1 || input == shown_ || IsEntry(input) || IsDeletionFromShown(input))
            return Acceptable;
        return Invalid;
    }

private:
    // One of the box's entries, or the shape of a drive entry ("e: <Kind>").
    bool IsEntry(const QString& input) const {
        if (box_->findText(input, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0)
            return true;
        return input.size() >= 5 && input[0].isLetter() && input[1] == u':' && input[2] == u' ' &&
               input[3] == u'<' && input.back() == u'>';
    }

    // `input` is the shown text with one run of characters taken out (Backspace, Delete, or a
    // cut selection), and nothing put in.
    bool IsDeletionFromShown(const QString& input) const {
        if (input.size() >= shown_.size())
            return false;
        qsizetype same = 0;
        while (same < input.size() && input[same] == shown_[same])
            ++same;
        const qsizetype rest = input.size() - same;
        return QStringView(input).right(rest) == QStringView(shown_).right(rest);
    }

    const QComboBox* box_;
    QString shown_;
};

// The role of a drive entry that holds the label of the disk connected on its letter.
constexpr int kDiskLabelRole = Qt::UserRole + 1;

// The destination list shows each connected disk's label beside its letter ("e: <Removable>
// BACKUP"); the entry's text, which the project keeps, stays as it is.
class DriveEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString label = index.data(kDiskLabelRole).toString();
        if (!label.isEmpty())
            option->text += QStringLiteral("  ") + label;
    }
};

// The label of the disk connected on `letter`; empty for a folder or a disk without one.
std::string ConnectedDiskLabel(char letter) {
    const DriveTable& table = ActiveDriveTable();
    if (!table.IsPresent(letter))
        return {};
    for (const DriveDescription& drive : table.Describe())
        if (drive.letter == letter)
            return drive.volume.label;
    return {};
}

// "e: BACKUP at /media/alice/BACKUP": the disk or folder a letter stands for now, or what it
// waits for while it is not connected.
std::string DriveWhereabouts(char letter) {
    const std::string name = std::string(1, letter) + ": ";
    const DriveTable& table = ActiveDriveTable();
    for (const DriveDescription& drive : table.Describe()) {
        if (drive.letter != letter)
            continue;
        if (!drive.refusal.empty())
            return drive.refusal;
        if (drive.root && table.IsPresent(letter)) {
            if (!drive.volume.Known() && drive.kind == DriveDescription::Kind::Volume)
                return name + drive.volume.source + " at " + *drive.root;
            if (!drive.volume.Known())
                return name + "the folder " + *drive.root;
            const std::string volume =
                drive.volume.label.empty() ? "UUID " + drive.volume.uuid : drive.volume.label;
            return name + volume + " at " + *drive.root;
        }
        std::string awaited = table.AwaitedVolume(letter);
        if (awaited.empty())
            awaited = "the folder " + drive.root.value_or(drive.pin);
        return name + "not connected (waiting for " + awaited + ")";
    }
    return name + "not connected";
}

}  // namespace

std::string DriveTypeName(int code) {
    // The editor never says "Does not exist": a drive that is not there is of an unknown kind.
    if (code == kDriveUnknown || code == kDriveNoRootDir)
        return "Unknown";
    return DriveKindName(code);
}

std::string DriveEntryText(char letter) {
    return std::string(1, letter) + ": <" + DriveTypeName(GetDriveTypeCode(letter)) + ">";
}

QWidget* TprojecteditF::BuildDestinationBlock() {
    auto* block = new QWidget(body_);
    auto* outer = new QVBoxLayout(block);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(BuildDestinationPanel(block));

    confirmCB = new QCheckBox(
        QStringLiteral("C&onfirm changes? (ask to overwrite or delete files in destination)"),
        block);
    precalcCB = new QCheckBox(
        QStringLiteral("&Precalculate (always check future free size on destination before copy)"),
        block);
    precalcCB->setChecked(true);
    longfnameCB = new QCheckBox(
        QStringLiteral("&File name checking (better compatibility with CDs...)"), block);
    outer->addWidget(confirmCB);
    outer->addWidget(precalcCB);
    outer->addWidget(longfnameCB);
    outer->addLayout(BuildVersionsRow(block));
    verifyCB = new QCheckBox(
        QStringLiteral("&Verify copies (read each copied file back from the destination)"), block);
    outer->addWidget(verifyCB);
    outer->addStretch(1);
    return block;
}

// "Keep replaced and deleted files for [30] days", on for a new project; the days follow the
// check box.
QHBoxLayout* TprojecteditF::BuildVersionsRow(QWidget* block) {
    auto* row = new QHBoxLayout();
    versionsCB = new QCheckBox(QStringLiteral("&Keep replaced and deleted files for"), block);
    versionsCB->setChecked(true);
    versiondaysSE = new QSpinBox(block);
    versiondaysSE->setRange(1, kMaxVersionDays);
    versiondaysSE->setValue(kDefaultVersionDays);
    auto* days = new QLabel(QStringLiteral("days"), block);
    connect(versionsCB, &QCheckBox::toggled, versiondaysSE, &QWidget::setEnabled);
    row->addWidget(versionsCB);
    row->addWidget(versiondaysSE);
    row->addWidget(days);
    row->addStretch(1);
    return row;
}

// The framed part: the drive, its kind and the synchronize controls.
QFrame* TprojecteditF::BuildDestinationPanel(QWidget* block) {
    auto* frame = new QFrame(block);
    frame->setFrameShape(QFrame::StyledPanel);
    destP = frame;
    destGrid_ = new QGridLayout(destP);

    destL = new QLabel(QStringLiteral("Destination"), destP);
    QFont bold = destL->font();
    bold.setBold(true);
    destL->setFont(bold);
    QPalette red = destL->palette();
    red.setColor(QPalette::WindowText, QColor(170, 0, 0));
    destL->setPalette(red);

    BuildDestinationBoxes();

    syncCB = new QCheckBox(QStringLiteral("S&ynchronize"), destP);
    syncdestE = new QLineEdit(destP);
    syncdestE->installEventFilter(this);
    syncdestB = new QPushButton(QStringLiteral("Add"), destP);
    syncdestdelB = new QPushButton(QStringLiteral("Del"), destP);
    syncdestB->setAutoDefault(false);
    syncdestdelB->setAutoDefault(false);

    destGrid_->addWidget(destL, 0, 0);
    destGrid_->addWidget(syncCB, 0, 3, Qt::AlignRight);
    destGrid_->addWidget(destdriveC, 1, 0);
    destGrid_->addWidget(destkindL, 1, 1, Qt::AlignRight);
    destGrid_->addWidget(syncdestE, 2, 0, 1, 2);
    destGrid_->addWidget(syncdestB, 2, 2);
    destGrid_->addWidget(syncdestdelB, 2, 3);
    destGrid_->setColumnStretch(0, 1);
    PlaceKindBox(false);
    syncdestE->setVisible(false);
    syncdestB->setVisible(false);
    syncdestdelB->setVisible(false);
    return frame;
}

void TprojecteditF::BuildDestinationBoxes() {
    destdriveC = new QComboBox(destP);
    destdriveC->setItemDelegate(new DriveEntryDelegate(destdriveC));
    destdriveC->setEditable(true);
    destdriveC->setInsertPolicy(QComboBox::NoInsert);
    // A typed letter stays a letter: no completion to one of the entries.
    destdriveC->setCompleter(nullptr);
    destdriveC->addItem(QString::fromUtf8(kDefaultDestination));
    for (char letter = 'a'; letter <= 'z'; ++letter)
        destdriveC->addItem(QString(QChar(letter)) + QStringLiteral(":"));
    destdriveC->addItem(QString());
    destdriveC->setMaxVisibleItems(28);
    destdriveC->setMinimumWidth(140);
    destdriveC->setMaximumWidth(220);
    destdriveC->lineEdit()->setValidator(new DriveTextValidator(destdriveC, destdriveC));
    destdriveC->setEditText(QString());
    destdriveC->installEventFilter(this);
    destdriveC->lineEdit()->installEventFilter(this);

    destkindL = new QLabel(QStringLiteral("Kind of drive:"), destP);
    destkindC = new QComboBox(destP);
    destkindC->setEditable(true);
    destkindC->setInsertPolicy(QComboBox::NoInsert);
    for (const char* kind : {"HD", "USB-stick8GB", "ExternalHD500GB", "ExternalHD1TB", "Laptop",
                             "External Desktop", "CDR", "CDRW", "DVDR", "DVDRW", "type here..."})
        destkindC->addItem(QString::fromUtf8(kind));
    destkindC->setEditText(QString());
    destkindL->setBuddy(destkindC);
}

void TprojecteditF::PlaceKindBox(bool synchronising) {
    destGrid_->removeWidget(destkindC);
    if (synchronising) {
        destGrid_->addWidget(destkindC, 0, 1, 1, 2, Qt::AlignLeft);
        destkindC->setFixedWidth(KindBoxWidth(destkindC, kKindWidthSynchronising, "ExternalHD1TB"));
    } else {
        destGrid_->addWidget(destkindC, 1, 2, 1, 2);
        destkindC->setFixedWidth(KindBoxWidth(destkindC, kKindWidth, "External Desktop"));
    }
}

void TprojecteditF::ConnectDestinationSide() {
    connect(destdriveC, &QComboBox::editTextChanged, this,
            [this] { Guarded([&] { destdriveCChange(); }); });
    connect(destdriveC, &QComboBox::activated, this,
            [this] { Guarded([&] { destdriveCClick(); }); });
    connect(destdriveC, &QComboBox::highlighted, this,
            [this](int index) { Guarded([&] { destdriveCHighlighted(index); }); });
    connect(destkindC, &QComboBox::editTextChanged, this,
            [this] { Guarded([&] { destkindCChange(); }); });
    connect(syncCB, &QCheckBox::clicked, this, [this] { Guarded([&] { syncCBClick(); }); });
    connect(syncdestB, &QPushButton::clicked, this, [this] { Guarded([&] { syncdestBClick(); }); });
    connect(syncdestdelB, &QPushButton::clicked, this,
            [this] { Guarded([&] { syncdestdelBClick(); }); });
    connect(syncdestE, &QLineEdit::textChanged, this,
            [this] { Guarded([&] { syncdestEChange(); }); });
    connect(syncdestE, &QLineEdit::editingFinished, this,
            [this] { ShowTypedPathAsDrivePath(syncdestE); });
}

// --- Drive entries and hints --------------------------------------------------------------

void TprojecteditF::RebuildDriveEntries() {
    // The text in the box is the person's (or the file's) and stays whatever the entries say.
    const QSignalBlocker quiet(destdriveC);
    const QString text = destdriveC->currentText();
    for (char letter = 'a'; letter <= 'z'; ++letter) {
        const int index = letter - 'a' + 1;
        const QString entry = Q(DriveEntryText(letter));
        if (destdriveC->itemText(index) != entry)
            destdriveC->setItemText(index, entry);
        destdriveC->setItemData(index, Q(ConnectedDiskLabel(letter)), kDiskLabelRole);
    }
    if (destdriveC->currentText() != text)
        destdriveC->setEditText(text);
}

void TprojecteditF::destdriveCEnter() {
    SetStatus("Default destination is actually \"" + context_.settings.BackupLocation + "\"");
}

void TprojecteditF::destdriveCExit() {
    SetStatus("");
}

void TprojecteditF::destdriveCClick() {
    if (destdriveC->currentText().toStdString() == kDefaultDestination)
        SetStatus("Actual default destination is: " + context_.settings.BackupLocation);
}

void TprojecteditF::destdriveCHighlighted(int index) {
    const std::string entry = destdriveC->itemText(index).toStdString();
    if (StartsWithDriveLetter(entry))
        SetStatus(DriveWhereabouts(entry[0]));
}

void TprojecteditF::destdriveCChange() {
    showfromtoexample();
    std::string text = destdriveC->currentText().toStdString();
    if (text == kDefaultDestination)
        text = context_.settings.BackupLocation;
    // An emptied box names no drive: the kind stays as it was.
    if (text.empty())
        return;
    const int code = DriveNumber(text[0]) == 0 ? kDriveUnknown : GetDriveTypeCode(text[0]);
    // The kind that follows the drive is a description, not the person's pick: the kind rule
    // does not judge it.
    const QSignalBlocker quiet(destkindC);
    destkindC->setEditText(Q(DriveTypeName(code)));
}

void TprojecteditF::destkindCChange() {
    const std::string kind = LowerAscii(destkindC->currentText().toStdString());
    const bool fragileMedium =
        kind.find("cd") != std::string::npos || kind.find("dvd") != std::string::npos;
    longfnameCB->setChecked(fragileMedium);
}

// --- Synchronising ------------------------------------------------------------------------

void TprojecteditF::syncCBClick() {
    showsynccomponents();
    showfromtoexample();
}

void TprojecteditF::showsynccomponents() {
    const bool synchronising = syncCB->isChecked();
    destdriveC->setVisible(!synchronising);
    destkindL->setVisible(!synchronising);
    PlaceKindBox(synchronising);
    // The keyboard shortcuts belong to the buttons that matter in this layout.
    AddfnB->setText(synchronising ? QStringLiteral("Add") : QStringLiteral("&Add"));
    DelfnB->setText(synchronising ? QStringLiteral("Del") : QStringLiteral("&Del"));
    syncdestB->setText(synchronising ? QStringLiteral("&Add") : QStringLiteral("Add"));
    syncdestdelB->setText(synchronising ? QStringLiteral("&Del") : QStringLiteral("Del"));
    syncdestE->setVisible(synchronising);
    syncdestB->setVisible(synchronising);
    syncdestdelB->setVisible(synchronising);
    // One source item only: one file at a time.
    DirV->SetMultiSelect(!synchronising);
    if (!synchronising)
        return;
    if (AddfnE->text() == QString::fromUtf8(kMultiSelectionShown))
        AddfnE->clear();
    if (fdlistLB->count() > 1)
        ShowWarningBox(
            "There is more than 1 source item added. Please reduce to only 1 as you can "
            "synchronize only 1 file to another file or 1 folder to another folder.");
}

std::string TprojecteditF::SyncDestText() const {
    return AsDrivePath(syncdestE->text().toStdString());
}

void TprojecteditF::syncdestBClick() {
    const std::string item = ItemToAdd();
    if (item.empty()) {
        ShowPlain(kSelectItemFirst);
        return;
    }
    if (fdlistLB->count() > 0) {
        const std::string entry = StoredText(fdlistLB->item(0));
        const std::string lowerItem = LowerAscii(item), lowerEntry = LowerAscii(entry);
        if (IsPartOf(lowerItem, lowerEntry) || IsPartOf(lowerEntry, lowerItem)) {
            ShowErrorBox(NestingForbiddenText(entry, item));
            return;
        }
    }
    syncdestE->setText(Q(item));
    showfromtoexample();
}

void TprojecteditF::syncdestdelBClick() {
    syncdestE->clear();
    showfromtoexample();
}

void TprojecteditF::syncdestEChange() {
    SetStatus("Destination for synchronizing: " + syncdestE->text().toStdString());
}

// --- The example --------------------------------------------------------------------------

std::string TprojecteditF::DestinationBoxText() const {
    return syncCB->isChecked() ? SyncDestText() : destdriveC->currentText().toStdString();
}

void TprojecteditF::showfromtoexample() {
    if (fdlistLB->count() == 0) {
        SetStatus("No source items added");
        return;
    }
    HandOverState& handOver = context_.handOver;
    handOver.SyncMode = syncCB->isChecked();
    handOver.SyncDest = SyncDestText();
    const std::string destination =
        handOver.SyncMode ? handOver.SyncDest : destdriveC->currentText().toStdString();
    // The current entry counts only while it is highlighted: Qt moves the current row by itself
    // (to the next row after a Delete, to the first when the list gets the focus) without
    // selecting it, and the example must name what the person sees marked. Otherwise the last.
    const int current = fdlistLB->currentRow();
    const bool marked = current >= 0 && fdlistLB->item(current)->isSelected();
    const int row = marked ? current : fdlistLB->count() - 1;
    const std::string entry = StoredText(fdlistLB->item(row));
    const DestinationContext where{handOver.SyncMode, handOver.SyncDest,
                                   context_.settings.BackupLocation};
    const std::optional<std::string> path = DestPathFor(entry, destination, where);
    if (!path) {
        // Only a hand-edited project can bring such an item here; Add refuses them. The person
        // sees which entry to delete, and keeps the rest of the project.
        SetStatus(std::string(kIncorrectSourcePath) + " " + entry);
        return;
    }
    SetStatus("From " + entry + " To " + *path);
}

}  // namespace vlm
