#include "app/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "widgets/shown_text.h"

namespace vlm {

namespace {

// The captions a Windows message dialog gives each kind of box; a plain message carries the
// program's name.
QString CaptionOf(BoxType type) {
    switch (type) {
        case BoxType::Plain:
            return QStringLiteral("Velmora");
        case BoxType::Error:
            return QStringLiteral("Error");
        case BoxType::Warning:
            return QStringLiteral("Warning");
        case BoxType::Information:
            return QStringLiteral("Information");
        case BoxType::Confirmation:
            return QStringLiteral("Confirm");
    }
    return QStringLiteral("Velmora");
}

QMessageBox::Icon IconOf(BoxType type) {
    switch (type) {
        case BoxType::Plain:
            return QMessageBox::NoIcon;
        case BoxType::Error:
            return QMessageBox::Critical;
        case BoxType::Warning:
            return QMessageBox::Warning;
        case BoxType::Information:
            return QMessageBox::Information;
        case BoxType::Confirmation:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

Answer QtDialogs::Show(BoxType type, Buttons buttons, const std::string& text) {
    QMessageBox box(IconOf(type), CaptionOf(type), ShownText(text), QMessageBox::NoButton,
                    QApplication::activeWindow());
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            box.setEscapeButton(QMessageBox::Ok);
            break;
        case Buttons::YesNo:
            // Closing the box without a choice is the answer that changes nothing.
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::No);
            break;
        case Buttons::YesNoDefaultNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::No);
            box.setEscapeButton(QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Yes);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    const int pressed = box.exec();
    switch (pressed) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Cancel:
            return Answer::Cancel;
        default:
            return buttons == Buttons::Ok ? Answer::Ok : Answer::No;
    }
}

std::optional<std::string> QtDialogs::Input(const std::string& caption, const std::string& prompt,
                                            const std::string& value) {
    bool ok = false;
    const QString answer = QInputDialog::getText(
        QApplication::activeWindow(), QString::fromStdString(caption), ShownText(prompt),
        QLineEdit::Normal, QString::fromStdString(value), &ok);
    if (!ok)
        return std::nullopt;
    return answer.toStdString();
}

void QtDialogs::Beep() {
    QApplication::beep();
}

}  // namespace vlm
