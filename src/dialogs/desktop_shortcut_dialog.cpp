#include "dialogs/desktop_shortcut_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/desktop_entry.h"
#include "platform/shell.h"
#include "util/message_boxes.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

std::string ShortcutName(std::string_view text) {
    std::string name = ReplaceAll(std::string(text), ":\\", "_");
    name = ReplaceAll(name, "\\", "-");
    // On this host "/" separates folders too; a name must stay one file in the desktop folder.
    name = ReplaceAll(name, "/", "-");
    return ReplaceAll(name, ".", "_");
}

TvlmdesktopF::TvlmdesktopF(const TWindowsInfo& folders, ProjectBrowseHooks browse,
                           ListSource editHistory, ListSource runHistory, QWidget* parent)
    : QDialog(parent),
      folders_(folders),
      browse_(std::move(browse)),
      editHistory_(std::move(editHistory)),
      runHistory_(std::move(runHistory)),
      programFile_(ProgramFilePath().Text()) {
    setObjectName(QStringLiteral("TvlmdesktopF"));
    setWindowTitle(QStringLiteral("Create desktop shortcut"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);
    resize(542, 319);

    QGroupBox* projectGroup = BuildProjectGroup();
    QGroupBox* actionGroup = BuildActionGroup();

    createdtB = new QPushButton(QStringLiteral("&Create!"), this);
    dtexitB = new QPushButton(QStringLiteral("E&xit"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(createdtB);
    buttons->addWidget(dtexitB);

    auto* column = new QVBoxLayout(this);
    column->addWidget(projectGroup);
    column->addWidget(actionGroup);
    column->addStretch(1);
    column->addLayout(buttons);

    connect(dtCB, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { dtCBChange(text); });
    connect(dtRB1, &QRadioButton::clicked, this, [this] { dtRB1Click(); });
    connect(dtRB2, &QRadioButton::clicked, this, [this] { dtRB2Click(); });
    connect(dtRB3, &QRadioButton::clicked, this, [this] { dtRB3Click(); });
    connect(dtbrowseB, &QPushButton::clicked, this, [this] { dtbrowseBClick(); });
    connect(createdtB, &QPushButton::clicked, this, [this] { createdtBClick(); });
    connect(dtexitB, &QPushButton::clicked, this, &QDialog::accept);
}

QGroupBox* TvlmdesktopF::BuildProjectGroup() {
    auto* projectGroup = new QGroupBox(QStringLiteral("Project"), this);
    dtbrowseB = new QPushButton(QStringLiteral("&Browse..."), projectGroup);
    dtCB = new QComboBox(projectGroup);
    dtCB->setEditable(true);
    dtCB->setInsertPolicy(QComboBox::NoInsert);
    dtCB->setEditText(QStringLiteral("History"));
    dtE = new QLineEdit(projectGroup);
    auto* projectRows = new QGridLayout(projectGroup);
    projectRows->addWidget(dtbrowseB, 0, 0);
    projectRows->addWidget(dtCB, 0, 1);
    projectRows->addWidget(dtE, 1, 0, 1, 2);
    projectRows->setColumnStretch(1, 1);
    return projectGroup;
}

QGroupBox* TvlmdesktopF::BuildActionGroup() {
    auto* actionGroup = new QGroupBox(QStringLiteral("Action"), this);
    dtRB1 = new QRadioButton(QStringLiteral("Open project in &project editor"), actionGroup);
    dtRB1->setChecked(true);
    dtRB2 = new QRadioButton(QStringLiteral("Load  project in &run form"), actionGroup);
    auto* warning = new QLabel(QStringLiteral("Following option is only for advanced users! "
                                              "Inappropriate use can lead to data loss!!"),
                               actionGroup);
    warning->setStyleSheet(QStringLiteral("color: red; text-decoration: underline;"));
    warning->setWordWrap(true);
    dtRB3 = new QRadioButton(
        QStringLiteral("Load project in run form and &start running immediately"), actionGroup);
    dtRB3->setStyleSheet(QStringLiteral("color: red; font-weight: bold;"));
    auto* actions = new QVBoxLayout(actionGroup);
    actions->addWidget(dtRB1);
    actions->addWidget(dtRB2);
    actions->addWidget(warning);
    actions->addWidget(dtRB3);
    return actionGroup;
}

void TvlmdesktopF::AddEntries(const std::vector<std::string>& paths, bool replace) {
    // Filling the list is no choice of the person's: the text and dtE stay as they are.
    const QSignalBlocker quiet(dtCB);
    const QString text = dtCB->currentText();
    if (replace)
        dtCB->clear();
    for (const auto& path : paths)
        dtCB->addItem(Q(path));
    dtCB->setEditText(text);
}

void TvlmdesktopF::Open() {
    AddEntries(editHistory_ ? editHistory_() : std::vector<std::string>{}, true);
    exec();
}

void TvlmdesktopF::dtRB1Click() {
    if (editHistory_)
        AddEntries(editHistory_(), false);
}

void TvlmdesktopF::dtRB2Click() {
    if (runHistory_)
        AddEntries(runHistory_(), false);
}

void TvlmdesktopF::dtRB3Click() {
    dtRB2Click();
}

void TvlmdesktopF::dtCBChange(const QString& text) {
    dtE->setText(text);
}

void TvlmdesktopF::dtbrowseBClick() {
    if (const auto path = BrowseForProject(browse_, "Select VLM-file for desktop"))
        dtE->setText(Q(*path));
}

void TvlmdesktopF::createdtBClick() {
    const std::string p = dtE->text().toStdString();
    if (p.empty()) {
        ShowErrorBox("Choose a project first!");
        return;
    }
    std::string commandSwitch = "-edit";
    std::string prefix = "Edit ";
    if (dtRB2->isChecked()) {
        commandSwitch = "-saferun";
        prefix = "Run ";
    } else if (dtRB3->isChecked()) {
        commandSwitch = "-qrun";
        prefix = "QUICK run ";
    }
    const std::string name = ShortcutName(prefix + p);
    // The project path travels as one argument of its own, whatever blanks it holds.
    const ShortcutResult made =
        CreateShortcut(DrivePath(programFile_), {p, commandSwitch}, DrivePath(),
                       ShellFolderKind::Desktop, name, folders_);
    if (!made.ok) {
        ShowErrorBox(made.message);
        return;
    }
    ShowInfoBox("A shortcut with name \"" + name + "\" has been created on your desktop.");
}

}  // namespace vlm
