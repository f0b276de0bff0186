#include "editor/exclusions_panel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/exclusions.h"

namespace vlm {

ExclusionsPanel::ExclusionsPanel(QWidget* parent) : QWidget(parent) {
    auto* title = new QLabel(QStringLiteral("Leave out (below the sources)"), this);
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    excludeLB = new QListWidget(this);
    excludeLB->setSelectionMode(QAbstractItemView::ExtendedSelection);
    excludeLB->setToolTip(QStringLiteral(
        "Patterns of files and folders that are neither copied nor removed from the backup:\n"
        "*.tmp  every file ending in .tmp, at any depth\n"
        ".cache/  every folder named .cache (a trailing / means folders only)\n"
        "Photos/*.raw  raw files directly in the folder Photos of a source\n"
        "**/Trash/  a folder Trash at any depth below a source folder"));

    excludeE = new QLineEdit(this);
    excludeE->setPlaceholderText(QStringLiteral("*.tmp, .cache/, **/Trash/ ..."));
    title->setBuddy(excludeE);
    AddexclB = new QPushButton(QStringLiteral("Add"), this);
    DelexclB = new QPushButton(QStringLiteral("Remove"), this);
    readyexclB = new QToolButton(this);
    readyexclB->setText(QStringLiteral("Common"));
    readyexclB->setToolTip(QStringLiteral("Add the patterns of a common choice"));
    readyexclB->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(readyexclB);
    for (const ExclusionChoice& choice : CommonExclusionChoices()) {
        QStringList shown;
        for (const std::string& pattern : choice.patterns)
            shown << QString::fromStdString(pattern);
        QAction* action =
            menu->addAction(QString::fromUtf8(choice.caption) + QStringLiteral("  (") +
                            shown.join(QStringLiteral("  ")) + QStringLiteral(")"));
        const std::vector<std::string> patterns = choice.patterns;
        connect(action, &QAction::triggered, this, [this, patterns] { AddPatterns(patterns); });
    }
    readyexclB->setMenu(menu);
    for (QPushButton* button : {AddexclB, DelexclB})
        button->setAutoDefault(false);

    auto* addRow = new QHBoxLayout;
    addRow->addWidget(excludeE, 1);
    addRow->addWidget(AddexclB);
    addRow->addWidget(DelexclB);
    addRow->addWidget(readyexclB);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(excludeLB, 1);
    layout->addLayout(addRow);

    connect(AddexclB, &QPushButton::clicked, this, [this] { AddexclBClick(); });
    // Enter in the field adds its pattern and nothing else: let through, it would also press the
    // editor's default button, which measures every source.
    excludeE->installEventFilter(this);
    connect(DelexclB, &QPushButton::clicked, this, [this] { DelexclBClick(); });
}

bool ExclusionsPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == excludeE && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            AddexclBClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ExclusionsPanel::SetPatterns(const std::vector<std::string>& patterns) {
    excludeLB->clear();
    AddPatterns(patterns);
}

std::vector<std::string> ExclusionsPanel::Patterns() const {
    std::vector<std::string> patterns;
    for (int i = 0; i < excludeLB->count(); ++i)
        patterns.push_back(excludeLB->item(i)->text().toStdString());
    return patterns;
}

bool ExclusionsPanel::Listed(const QString& pattern) const {
    return !excludeLB->findItems(pattern, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty();
}

void ExclusionsPanel::AddexclBClick() {
    const QString pattern = excludeE->text().trimmed();
    if (pattern.isEmpty())
        return;
    if (!Listed(pattern))
        excludeLB->addItem(pattern);
    excludeE->clear();
}

void ExclusionsPanel::DelexclBClick() {
    qDeleteAll(excludeLB->selectedItems());
}

void ExclusionsPanel::AddPatterns(const std::vector<std::string>& patterns) {
    for (const std::string& text : patterns) {
        const QString pattern = QString::fromStdString(text);
        if (!pattern.trimmed().isEmpty() && !Listed(pattern))
            excludeLB->addItem(pattern);
    }
}

}  // namespace vlm
