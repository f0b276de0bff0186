#pragma once
// The one QApplication of the GUI test program, made on first use (widgets need it).

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

namespace vlm::test {

inline QApplication& EnsureQtApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "gui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own globals are gone by the time static objects are, and an
    // application torn down after them crashes the test program at exit.
    static QApplication* application = new QApplication(argc, argv);
    return *application;
}

// A fixture's first member, so that the application exists before any widget member.
struct WithQtApplication {
    WithQtApplication() { EnsureQtApplication(); }
};

// Key presses as the keyboard sends them, so that what a widget does with typing (completion,
// validators, length limits) takes part.
inline void PressKey(QWidget* target, int key, const QString& text = {},
                     Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}
inline void TypeText(QWidget* target, const QString& text) {
    for (QChar c : text)
        PressKey(target, 0, QString(c));
}

}  // namespace vlm::test
