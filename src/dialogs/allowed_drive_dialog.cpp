#include "dialogs/allowed_drive_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "util/message_boxes.h"

namespace vlm {

namespace {

bool IsDriveLetter(const std::string& text) {
    if (text.size() != 1)
        return false;
    const char c = text[0];
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

TalloweddestdriveF::TalloweddestdriveF(AppSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
    setObjectName(QStringLiteral("TalloweddestdriveF"));
    setWindowTitle(QStringLiteral("Limitation backup drives"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    setFont(font);

    alloweddestdriveC = new QComboBox(this);
    alloweddestdriveC->setEditable(true);
    alloweddestdriveC->setInsertPolicy(QComboBox::NoInsert);
    // What is typed is what is checked and stored: an editable combo box would otherwise
    // complete inline without regard to case ("all" becoming "All", "D" becoming "d", a lone
    // "a" becoming "All") and so change a refused entry into an accepted one.
    alloweddestdriveC->setCompleter(nullptr);
    alloweddestdriveC->addItem(QStringLiteral("All"));
    for (char letter = 'a'; letter <= 'z'; ++letter)
        alloweddestdriveC->addItem(QString(QChar(letter)));

    okB = new QPushButton(QStringLiteral("&Ok"), this);
    okB->setDefault(true);
    CancelB = new QPushButton(QStringLiteral("&Cancel"), this);
    BuildLayout();

    connect(okB, &QPushButton::clicked, this, [this] { okBClick(); });
    connect(CancelB, &QPushButton::clicked, this, &QDialog::reject);
}

void TalloweddestdriveF::BuildLayout() {
    auto* column = new QVBoxLayout(this);
    column->addWidget(
        new QLabel(QStringLiteral("For extra protection reasons you can give "), this));
    column->addWidget(new QLabel(QStringLiteral("the drive you usually write to:"), this));
    column->addWidget(alloweddestdriveC);
    column->addWidget(
        new QLabel(QStringLiteral("When you try to run a project which would"), this));
    column->addWidget(
        new QLabel(QStringLiteral("write to any other drive than given here,"), this));
    column->addWidget(new QLabel(QStringLiteral("then you will get an error."), this));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(okB);
    buttons->addWidget(CancelB);
    column->addLayout(buttons);
    column->setSpacing(2);
    // The client area is 231 by 173 unless the host's fonts need more.
    adjustSize();
    setFixedSize(std::max(231, sizeHint().width()), std::max(173, sizeHint().height()));
}

bool TalloweddestdriveF::Open() {
    alloweddestdriveC->setEditText(QString::fromStdString(settings_.AllowedDrive));
    return exec() == QDialog::Accepted;
}

void TalloweddestdriveF::okBClick() {
    const std::string text = alloweddestdriveC->currentText().toStdString();
    if (text.empty()) {
        ShowWarningBox("Nothing selected! Use cancel to exit.");
        return;
    }
    // Only "All" spelled so means no limitation; anything else must be one drive letter.
    if (text != "All" && !IsDriveLetter(text)) {
        ShowPlain("Invalid!");
        return;
    }
    settings_.AllowedDrive = text;
    accept();
}

}  // namespace vlm
