#include "editor/project_editor.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include "editor/editor_texts.h"
#include "editor/exclusions_panel.h"
#include "platform/drive_table.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/documents_icon.h"
#include "widgets/drive_box.h"
#include "widgets/folder_tree.h"
#include "widgets/guarded_handler.h"
#include "widgets/shown_text.h"

namespace vlm {

TprojecteditF::TprojecteditF(EditorContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setWindowTitle(QStringLiteral("Velmora: Project Editor"));
    setMinimumSize(784, 550);
    setSizeGripEnabled(true);
    BuildWindow();
    ConnectSourceSide();
    ConnectDestinationSide();
    ConnectSizeChecks();
    ConnectLifecycle();

    // FormCreate.
    context_.handOver.EditorOpen = true;
    // A run started from here could meet the timer's own run; while the timer is armed the
    // editor only saves.
    RunB->setEnabled(!context_.handOver.TimerArmed);
    syncCB->setVisible(context_.settings.ShowSyncOption);
    DriV->SetShowSizes(context_.settings.ShowDirSizes);
    mydocBB->setIcon(DocumentsFolderIcon(style()));
    RebuildDriveEntries();
    mydocBBClick();
    // The form starts without a status; the first folder choice gave none the person asked for.
    SetStatus("");
}

TprojecteditF::~TprojecteditF() {
    if (!editorOpenCleared_)
        context_.handOver.EditorOpen = false;
}

void TprojecteditF::BuildWindow() {
    body_ = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body_);
    bodyLayout->addWidget(BuildSourceSide(), 1);

    auto* lower = new QHBoxLayout;
    lower->addWidget(BuildDestinationBlock(), 3);
    lower->addWidget(BuildSizeBlock(), 2);
    bodyLayout->addLayout(lower);
    bodyLayout->addWidget(BuildBottomRow());

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setSizeGripEnabled(false);

    auto* windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->setSpacing(0);
    windowLayout->addWidget(body_, 1);
    windowLayout->addWidget(StatusBar1);
}

QWidget* TprojecteditF::BuildBottomRow() {
    auto* row = new QWidget(body_);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 0);

    projnameL = new QLabel(QStringLiteral("Project name (Eg label of destination disk)"), row);
    projnameE = new QLineEdit(row);
    projnameE->setMinimumWidth(220);
    projnameL->setBuddy(projnameE);
    openedprojnameL = new QLabel(row);
    openedprojnameL->setVisible(false);

    helpB = new QPushButton(row);
    QIcon help = QIcon::fromTheme(QStringLiteral("help-contents"));
    if (help.isNull())
        help = style()->standardIcon(QStyle::SP_MessageBoxQuestion);
    helpB->setIcon(help);
    helpB->setToolTip(QStringLiteral("Help"));
    canceleditB = new QPushButton(QStringLiteral("&Cancel"), row);
    RunB = new QPushButton(QStringLiteral("Save && &Run"), row);
    SaveprojB = new QPushButton(QStringLiteral("&Save"), row);
    for (QPushButton* button : {helpB, canceleditB, RunB, SaveprojB})
        button->setAutoDefault(false);

    layout->addWidget(projnameL);
    layout->addWidget(projnameE, 1);
    layout->addSpacing(24);
    layout->addWidget(helpB);
    layout->addWidget(canceleditB);
    layout->addWidget(RunB);
    layout->addWidget(SaveprojB);
    return row;
}

void TprojecteditF::ConnectLifecycle() {
    connect(projnameE, &QLineEdit::textChanged, this,
            [this] { Guarded([this] { projnameEChange(); }); });
    connect(SaveprojB, &QPushButton::clicked, this,
            [this] { Guarded([this] { SaveprojBClick(); }); });
    connect(RunB, &QPushButton::clicked, this, [this] { Guarded([this] { RunBClick(); }); });
    connect(canceleditB, &QPushButton::clicked, this, [this] { canceleditBClick(); });
    connect(helpB, &QPushButton::clicked, this, [this] { Guarded([this] { HelpBClick(); }); });
}

// --- Opening ------------------------------------------------------------------------------

void TprojecteditF::LoadProject(const OpenEditOutcome& outcome) {
    setWindowTitle(Q(outcome.caption));
    openedprojnameL->setText(Q(outcome.name));
    const ProjectFields& fields = outcome.fields;
    {
        // The fields are the file's: filling them is not the person's typing, so no rule of
        // the form fires (a kind would otherwise replace the stored one, or the name be judged).
        const QSignalBlocker name(projnameE), drive(destdriveC), kind(destkindC), sync(syncdestE);
        projnameE->setText(Q(outcome.projectName));
        destdriveC->setEditText(Q(fields.destdrive));
        destkindC->setEditText(Q(fields.destkind));
        confirmCB->setChecked(fields.confirm);
        precalcCB->setChecked(fields.precalc);
        longfnameCB->setChecked(fields.longnames);
        versionsCB->setChecked(fields.versions);
        versiondaysSE->setValue(fields.versionDays);
        verifyCB->setChecked(fields.verify);
        syncCB->setChecked(fields.sync);
        if (fields.sync)
            syncdestE->setText(Q(fields.syncdest));
    }
    showsynccomponents();
    fdlistLB->clear();
    for (const std::string& item : fields.items)
        AddShownItem(fdlistLB, item);
    exclusionsP->SetPatterns(fields.exclusions);
}

// --- Window events ------------------------------------------------------------------------

bool TprojecteditF::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Guarded([this] { FormActivate(); });
    return QDialog::event(event);
}

void TprojecteditF::showEvent(QShowEvent* event) {
    if (!shownOnce_) {
        shownOnce_ = true;
        setWindowState(windowState() | Qt::WindowMaximized);
    }
    QDialog::showEvent(event);
}

void TprojecteditF::FormActivate() {
    // Drives plugged in while the editor was in the background appear when the person returns;
    // the write-once estimate keeps the letters it started with.
    if (!context_.run.RunActive && !context_.run.EstimateRunning)
        RefreshActiveDriveTable();
    RebuildDriveEntries();
}

void TprojecteditF::RefreshDriveLists() {
    RebuildDriveEntries();
    IEDriveComboBox1->Refresh();
}

void TprojecteditF::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        canceleditBClick();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TprojecteditF::closeEvent(QCloseEvent* event) {
    if (estimateRunning_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TprojecteditF::done(int result) {
    // The write-once estimate still walks the source list and this window's labels.
    if (estimateRunning_)
        return;
    // FormClose.
    context_.handOver.EditorOpen = false;
    editorOpenCleared_ = true;
    QDialog::done(result);
}

void TprojecteditF::SetStatus(const std::string& text) {
    if (text.empty()) {
        StatusBar1->clearMessage();
    } else {
        StatusBar1->showMessage(Q(text));
    }
}

void TprojecteditF::ShowTypedPathAsDrivePath(QLineEdit* edit) {
    const std::string typed = edit->text().toStdString();
    const std::string drivePath = AsDrivePath(typed);
    if (drivePath != typed)
        edit->setText(Q(drivePath));
}

std::string TprojecteditF::StatusText() const {
    return StatusBar1->currentMessage().toStdString();
}

// --- Project name -------------------------------------------------------------------------

std::string TprojecteditF::ProjectTargetPath() const {
    std::string folder = context_.settings.ProjectsLocation;
    // A drive root ("e:\") already ends with its separator.
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return folder + projnameE->text().toStdString() + ".vlm";
}

void TprojecteditF::projnameEChange() {
    const std::string name = projnameE->text().toStdString();
    // Only the character just typed is judged here; Saveproj judges the whole name.
    if (!name.empty() && !IsValidFileName(name.substr(name.size() - 1)))
        ShowErrorBox("Invalid character in file name! Please change.");
    SetStatus("Project will be saved as " + ProjectTargetPath());
}

// --- Saving -------------------------------------------------------------------------------

void TprojecteditF::Saveproj() {
    saved_ = true;
    const std::string name = projnameE->text().toStdString();
    const ProjectFields fields = FieldsOfForm();
    const std::string target = ProjectTargetPath();
    if (!MaySave(name, fields, target)) {
        saved_ = false;
        return;
    }
    // The file is replaced only when the new one is complete: a failed save leaves the old
    // project as it was.
    if (!WriteProjectFile(DrivePath(target), fields)) {
        ShowErrorBox("Could not save file!");
        saved_ = false;
        return;
    }
    if (context_.addToRecentLists)
        context_.addToRecentLists(target);
}

ProjectFields TprojecteditF::FieldsOfForm() const {
    ProjectFields fields;
    fields.destdrive = destdriveC->currentText().toStdString();
    fields.destkind = destkindC->currentText().toStdString();
    fields.confirm = confirmCB->isChecked();
    fields.precalc = precalcCB->isChecked();
    fields.longnames = longfnameCB->isChecked();
    fields.versions = versionsCB->isChecked();
    fields.versionDays = versiondaysSE->value();
    fields.sync = syncCB->isChecked();
    fields.syncdest = SyncDestText();
    fields.items = SourceItems();
    fields.exclusions = exclusionsP->Patterns();
    fields.verify = verifyCB->isChecked();
    return fields;
}

bool TprojecteditF::MaySave(const std::string& name, const ProjectFields& fields,
                            const std::string& target) {
    const bool incomplete = (!fields.sync && fields.destdrive.empty()) ||
                            (fields.sync && fields.syncdest.empty()) || fields.items.empty() ||
                            name.empty();
    if (incomplete) {
        ShowWarningBox("Form not completed, ... not saved");
        return false;
    }
    if (!IsValidFileName(name)) {
        ShowErrorBox("Invalid file name. please correct!!");
        return false;
    }
    // A line break pasted into a field would split its line and be read back as something else.
    if (!ProjectFileCanHold(fields)) {
        ShowErrorBox(
            "A field holds a line break, which a project file cannot store. "
            "Please correct!");
        return false;
    }
    return ItemKind(DrivePath(target)) == 'n' ||
           AskYesNo(BoxType::Warning, target + " already exists! Overwrite??");
}

void TprojecteditF::SaveprojBClick() {
    Saveproj();
    if (saved_)
        done(QDialog::Accepted);
}

void TprojecteditF::RunBClick() {
    Saveproj();
    if (!saved_)
        return;
    const std::string path = ProjectTargetPath();
    // The run window opens above the editor and returns when it has closed.
    if (context_.openRunForm)
        context_.openRunForm(path);
    done(QDialog::Accepted);
}

void TprojecteditF::canceleditBClick() {
    done(QDialog::Rejected);
}

void TprojecteditF::HelpBClick() {
    if (context_.openHelp)
        context_.openHelp();
}

}  // namespace vlm
