#include "dialogs/drives_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/destination_media.h"
#include "platform/mount_table.h"
#include "platform/volume_identity.h"
#include "widgets/folder_dialog.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

// The dialog's margin around its table, as its layout has it.
constexpr int kMargin = 12;

// Every mounted volume that has a UUID, once, at the first of its mount points.
std::vector<MountedVolume> MountedVolumesWithUuid() {
    std::vector<MountedVolume> volumes;
    const DriveSources& sources = ActiveDriveTable().Sources();
    for (const MountEntry& mount : sources.Mounts()) {
        const VolumeIdentity identity = IdentifyVolume(mount, sources.udevRecords);
        if (!identity.Known())
            continue;
        const bool seen = std::any_of(volumes.begin(), volumes.end(), [&](const MountedVolume& v) {
            return v.identity.uuid == identity.uuid;
        });
        if (!seen)
            volumes.push_back({mount.mountPoint, identity});
    }
    std::sort(volumes.begin(), volumes.end(), [](const MountedVolume& a, const MountedVolume& b) {
        return a.mountPoint.Text() < b.mountPoint.Text();
    });
    return volumes;
}

// "BACKUP (UUID 1234-ABCD)", the way the run's report names a volume.
std::string VolumeName(const VolumeIdentity& volume) {
    const std::string label = volume.label.empty() ? "a volume without a label" : volume.label;
    return label + " (UUID " + volume.uuid + ")";
}

// What drives.ini holds for a letter: its pin, and whether the folder is a plain one.
std::string IniText(const DriveDescription& drive) {
    if (drive.pin.empty())
        return "-";
    return drive.plain ? drive.pin + ", plain folder" : drive.pin;
}

}  // namespace

DrivesDialog::DrivesDialog(DrivesDialogHooks hooks, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("DrivesDialog"));
    setWindowTitle(QStringLiteral("Drives"));
    if (!hooks_.connectedVolumes)
        hooks_.connectedVolumes = MountedVolumesWithUuid;
    if (!hooks_.chooseFolder)
        hooks_.chooseFolder = [this](const std::string& caption, const std::string& start) {
            return ChooseFolderWithDialog(this, caption, start);
        };

    BuildControls();
    BuildLayout();
    ConnectControls();
}

void DrivesDialog::BuildControls() {
    drivesLV = new QTreeWidget(this);
    drivesLV->setRootIsDecorated(false);
    drivesLV->setAllColumnsShowFocus(true);
    drivesLV->setHeaderLabels({QStringLiteral("Drive"), QStringLiteral("Kind"),
                               QStringLiteral("Label"), QStringLiteral("UUID"),
                               QStringLiteral("Mount folder"), QStringLiteral("In drives.ini")});

    letterC = new QComboBox(this);
    for (char letter = 'a'; letter <= 'z'; ++letter)
        letterC->addItem(QString(QChar(letter)) + QStringLiteral(":"), QVariant(int(letter)));
    // The first letter a disk gets.
    letterC->setCurrentIndex('d' - 'a');
    volumeC = new QComboBox(this);
    volumeC->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pinvolumeB = new QPushButton(QStringLiteral("Pin to this &volume"), this);
    pinlabelB = new QPushButton(QStringLiteral("Pin to any disk with this l&abel"), this);
    pinsL = new QLabel(
        QStringLiteral("A pin to the volume is that one disk: another disk never gets its letter. "
                       "A pin to a label is any disk so labelled, for backup disks used in turn: "
                       "connect one at a time (with two connected, the run is refused)."),
        this);
    pinsL->setWordWrap(true);
    pinfolderB = new QPushButton(QStringLiteral("Pin to a f&older..."), this);
    plainCB = new QCheckBox(
        QStringLiteral("&Plain folder (used whether or not a disk is mounted there)"), this);
    forgetB = new QPushButton(QStringLiteral("&Remove the pin"), this);
    noteL = new QLabel(this);
    noteL->setWordWrap(true);
    noteL->setTextInteractionFlags(Qt::TextSelectableByMouse);
    closeB = new QPushButton(QStringLiteral("&Close"), this);
    for (QPushButton* button : {pinvolumeB, pinlabelB, pinfolderB, forgetB})
        button->setAutoDefault(false);
    closeB->setDefault(true);
}

void DrivesDialog::BuildLayout() {
    auto* letterL = new QLabel(QStringLiteral("&Letter:"), this);
    letterL->setBuddy(letterC);
    auto* volumeL = new QLabel(QStringLiteral("Connected &volume:"), this);
    volumeL->setBuddy(volumeC);
    auto* actions = new QGridLayout;
    actions->addWidget(letterL, 0, 0);
    actions->addWidget(letterC, 0, 1, Qt::AlignLeft);
    actions->addWidget(forgetB, 0, 2, Qt::AlignLeft);
    actions->addWidget(volumeL, 1, 0);
    actions->addWidget(volumeC, 1, 1);
    actions->addWidget(pinvolumeB, 1, 2, Qt::AlignLeft);
    actions->addWidget(pinlabelB, 1, 3, Qt::AlignLeft);
    actions->addWidget(pinsL, 2, 1, 1, 4);
    actions->addWidget(pinfolderB, 3, 1, Qt::AlignLeft);
    actions->addWidget(plainCB, 4, 1, 1, 3);
    actions->setColumnStretch(4, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(noteL, 1);
    bottom->addWidget(closeB, 0, Qt::AlignBottom);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->addWidget(drivesLV, 1);
    column->addLayout(actions);
    column->addLayout(bottom);
    resize(820, 460);
}

void DrivesDialog::ConnectControls() {
    connect(drivesLV, &QTreeWidget::currentItemChanged, this, [this] { drivesLVClick(); });
    connect(letterC, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { letterCChange(); }); });
    connect(pinvolumeB, &QPushButton::clicked, this,
            [this] { Guarded([this] { pinvolumeBClick(); }); });
    connect(pinlabelB, &QPushButton::clicked, this,
            [this] { Guarded([this] { pinlabelBClick(); }); });
    connect(pinfolderB, &QPushButton::clicked, this,
            [this] { Guarded([this] { pinfolderBClick(); }); });
    connect(plainCB, &QCheckBox::clicked, this, [this] { Guarded([this] { plainCBClick(); }); });
    connect(forgetB, &QPushButton::clicked, this, [this] { Guarded([this] { forgetBClick(); }); });
    connect(closeB, &QPushButton::clicked, this, &QDialog::accept);
}

void DrivesDialog::Open() {
    RefreshActiveDriveTable();
    Redraw();
    // Wide enough for every column, as far as the screen allows.
    const int columns = drivesLV->header()->length() + 2 * drivesLV->frameWidth() +
                        drivesLV->verticalScrollBar()->sizeHint().width() + 2 * kMargin;
    const int widest = screen() != nullptr ? screen()->availableGeometry().width() - 40 : columns;
    resize(std::max(width(), std::min(columns, widest)), height());
    const std::string folder = IniFolder();
    noteL->setText(folder.empty()
                       ? QStringLiteral("The drive table was not read from a program folder: "
                                        "there is no drives.ini to change here.")
                       : Q("The letters are kept in " + folder + "/drives.ini."));
    exec();
}

void DrivesDialog::Redraw() {
    const char chosen = Letter();
    {
        const QSignalBlocker quiet(drivesLV);
        drivesLV->clear();
        const std::vector<DriveDescription> described = ActiveDriveTable().Describe();
        for (const std::string& line : DriveTableLines()) {
            QStringList fields = Q(line).split(QLatin1Char('\t'));
            const char letter = line.empty() ? 0 : line[0];
            const auto drive =
                std::find_if(described.begin(), described.end(),
                             [&](const DriveDescription& d) { return d.letter == letter; });
            fields.append(Q(drive != described.end() ? IniText(*drive) : "-"));
            auto* item = new QTreeWidgetItem(drivesLV, fields);
            item->setData(0, Qt::UserRole, QVariant(int(letter)));
        }
        for (int column = 0; column < drivesLV->columnCount(); ++column)
            drivesLV->resizeColumnToContents(column);
    }
    volumes_ = hooks_.connectedVolumes();
    const QSignalBlocker quiet(volumeC);
    const int shown = volumeC->currentIndex();
    volumeC->clear();
    for (const MountedVolume& volume : volumes_)
        volumeC->addItem(Q(VolumeName(volume.identity) + " at " + volume.mountPoint.Text()));
    if (volumeC->count() > 0)
        volumeC->setCurrentIndex(std::clamp(shown, 0, volumeC->count() - 1));
    const QSignalBlocker still(letterC);
    letterC->setCurrentIndex(chosen - 'a');
    letterCChange();
}

void DrivesDialog::drivesLVClick() {
    const QTreeWidgetItem* item = drivesLV->currentItem();
    if (item == nullptr)
        return;
    const int letter = item->data(0, Qt::UserRole).toInt();
    if (letter >= 'a' && letter <= 'z')
        letterC->setCurrentIndex(letter - 'a');
}

void DrivesDialog::letterCChange() {
    // The table shows the letter the actions are about, when it lists it.
    const QSignalBlocker quiet(drivesLV);
    drivesLV->setCurrentItem(nullptr);
    for (int row = 0; row < drivesLV->topLevelItemCount(); ++row) {
        QTreeWidgetItem* item = drivesLV->topLevelItem(row);
        if (item->data(0, Qt::UserRole).toInt() == Letter())
            drivesLV->setCurrentItem(item);
    }
    ShowLetterActions();
}

void DrivesDialog::ShowLetterActions() {
    const bool editable = !IniFolder().empty();
    const DriveDescription drive = Described(Letter());
    VolumeReference reference;
    const bool pinnedVolume = ParseVolumeReference(drive.pin, reference);
    const bool pinnedFolder = !drive.pin.empty() && !pinnedVolume;
    pinvolumeB->setEnabled(editable && !volumes_.empty());
    const int shown = volumeC->currentIndex();
    pinlabelB->setEnabled(editable && shown >= 0 && shown < static_cast<int>(volumes_.size()) &&
                          !volumes_[static_cast<std::size_t>(shown)].identity.label.empty());
    volumeC->setEnabled(editable && !volumes_.empty());
    pinfolderB->setEnabled(editable);
    // c: is "/" unless pinned: there is nothing to forget about it then.
    forgetB->setEnabled(editable && !drive.pin.empty());
    forgetB->setText(pinnedVolume ? QStringLiteral("&Forget the volume")
                                  : QStringLiteral("&Remove the pin"));
    plainCB->setEnabled(editable && pinnedFolder);
    plainCB->setChecked(pinnedFolder && drive.plain);
}

void DrivesDialog::pinvolumeBClick() {
    const int index = volumeC->currentIndex();
    if (index < 0 || index >= static_cast<int>(volumes_.size()))
        return;
    const std::string folder = IniFolder();
    const char letter = Letter();
    const VolumeIdentity volume = volumes_[static_cast<std::size_t>(index)].identity;
    bool written = SaveDrivePin(HostPath(folder), letter, "UUID=" + volume.uuid) &&
                   SaveDriveLabel(HostPath(folder), letter, volume.label);
    std::string done = std::string(1, letter) + ": is now the volume " + VolumeName(volume);
    // A letter belongs to a disk, and a disk has one letter: the one it had before is free.
    for (const DriveDescription& other : ActiveDriveTable().Describe()) {
        VolumeReference reference;
        if (other.letter == letter || !ParseVolumeReference(other.pin, reference) ||
            reference.by != VolumeReference::By::Uuid || !reference.Matches(volume))
            continue;
        written = SaveDrivePin(HostPath(folder), other.letter, "") && written;
        done += std::string("; ") + other.letter + ": is free again";
    }
    AfterChange(written, done + ".");
}

void DrivesDialog::pinlabelBClick() {
    const int index = volumeC->currentIndex();
    if (index < 0 || index >= static_cast<int>(volumes_.size()))
        return;
    const char letter = Letter();
    const std::string label = volumes_[static_cast<std::size_t>(index)].identity.label;
    if (label.empty())
        return;
    AfterChange(SaveDrivePin(HostPath(IniFolder()), letter, "LABEL=" + label),
                std::string(1, letter) + ": is now any disk labelled " + label +
                    ": whichever of them is connected. Connect one at a time.");
}

void DrivesDialog::pinfolderBClick() {
    const char letter = Letter();
    const DriveDescription drive = Described(letter);
    const std::string start = drive.root ? *drive.root : QDir::homePath().toStdString();
    const std::string chosen =
        hooks_.chooseFolder("Pin " + std::string(1, letter) + ": to a folder", start);
    if (chosen.empty())
        return;
    AfterChange(SaveDrivePin(HostPath(IniFolder()), letter, chosen),
                std::string(1, letter) + ": is now the folder " + chosen + ".");
}

void DrivesDialog::plainCBClick() {
    const char letter = Letter();
    const bool plain = plainCB->isChecked();
    AfterChange(SavePlainFolder(HostPath(IniFolder()), letter, plain),
                std::string(1, letter) +
                    (plain ? ": is a plain folder: it is used whether or not a disk is mounted "
                             "there."
                           : ": is no plain folder: while its disk is not mounted, it is not "
                             "connected."));
}

void DrivesDialog::forgetBClick() {
    const std::string folder = IniFolder();
    const char letter = Letter();
    const DriveDescription drive = Described(letter);
    bool written = SaveDrivePin(HostPath(folder), letter, "");
    if (drive.plain)
        written = SavePlainFolder(HostPath(folder), letter, false) && written;
    std::string done = std::string(1, letter) + ": is forgotten.";
    AfterChange(written, done);
    // A connected volume is seen anew at once and gets the first free letter again.
    if (!written || !drive.volume.Known())
        return;
    for (const DriveDescription& now : ActiveDriveTable().Describe())
        if (now.volume.uuid == drive.volume.uuid && now.root)
            done += std::string(" The volume is connected and has ") + now.letter + ": now.";
    noteL->setText(Q(done));
}

char DrivesDialog::Letter() const {
    const QVariant data = letterC->currentData();
    return data.isValid() ? static_cast<char>(data.toInt()) : 0;
}

DriveDescription DrivesDialog::Described(char letter) const {
    for (const DriveDescription& drive : ActiveDriveTable().Describe())
        if (drive.letter == letter)
            return drive;
    return {};
}

std::string DrivesDialog::IniFolder() const {
    return ActiveDriveTable().ProgramFolder().Text();
}

void DrivesDialog::AfterChange(bool written, const std::string& done) {
    RefreshActiveDriveTable();
    Redraw();
    noteL->setText(written ? Q(done)
                           : Q("drives.ini in " + IniFolder() + " could not be written."));
}

}  // namespace vlm
