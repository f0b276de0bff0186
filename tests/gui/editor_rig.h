#pragma once
// A project editor over temporary drives, with the main window's state, scripted message boxes
// and a few hands that use the window as a person would: clicking items, typing, pressing keys.
//
//   c:  holds the documents folder c:\docs, where the browse pane starts, and c:\projects,
//       the projects location;  d: holds the default destination d:\backup;  e: is free.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QTreeWidget>
#include <memory>
#include <string>
#include <vector>

#include "core/app_settings.h"
#include "editor/project_editor.h"
#include "engine/run_state.h"
#include "gui/qt_test_app.h"
#include "support/scripted_dialogs.h"
#include "support/temp_drives.h"
#include "util/file_helpers.h"

namespace vlm::test {

class EditorRig : public ::testing::Test {
protected:
    EditorRig() {
        EnsureQtApplication();
        MakeDir(drives.Host("c:\\docs"));
        MakeDir(drives.Host("c:\\projects"));
        MakeDir(drives.Host("c:\\logs"));
        MakeDir(drives.Host("d:\\backup"));
        settings.ProgramFolder = DrivePath("c:\\prog");
        settings.ProjectsLocation = "c:\\projects";
        settings.BackupLocation = "d:\\backup";
        settings.LogLocation = "c:\\logs";
    }

    // A fresh editor as the main window makes it; shown, so that its widgets have their places.
    TprojecteditF& Open() {
        editor.reset();
        editor = std::make_unique<TprojecteditF>(
            EditorContext{settings, run, handOver,
                          [this](const std::string& path) { recentAdded.push_back(path); },
                          [this](const std::string& path) {
                              runsOpened.push_back(path);
                              editorVisibleDuringRun.push_back(editor && editor->isVisible());
                              projectExistedDuringRun.push_back(ItemKind(DrivePath(path)) == 'f');
                          },
                          [this] { ++helpOpened; }, "c:\\docs"});
        editor->show();
        QApplication::processEvents();
        return *editor;
    }

    TprojecteditF& E() { return *editor; }

    // Types `text` into the add field and presses Add.
    void AddItem(const std::string& text) {
        E().AddfnE->setText(QString::fromStdString(text));
        E().AddfnB->click();
    }
    void AddItems(const std::vector<std::string>& items) {
        for (const std::string& item : items)
            AddItem(item);
    }

    // Key presses as the keyboard sends them, to the widget that has the focus.
    static void Press(QWidget* target, int key, const QString& text = {},
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        test::PressKey(target, key, text, modifiers);
    }
    static void Type(QWidget* target, const QString& text) { test::TypeText(target, text); }

    // A mouse click on a row of a tree or list view.
    static void Click(QTreeWidget* tree, QTreeWidgetItem* item,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_NE(item, nullptr);
        tree->scrollToItem(item);
        ClickInView(tree, tree->visualItemRect(item).center(), modifiers);
    }
    static void Click(QListWidget* list, QListWidgetItem* item,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        ASSERT_NE(item, nullptr);
        list->scrollToItem(item);
        ClickInView(list, list->visualItemRect(item).center(), modifiers);
    }
    static void ClickInView(QAbstractItemView* view, QPoint at, Qt::KeyboardModifiers modifiers) {
        const QPoint global = view->viewport()->mapToGlobal(at);
        QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                          modifiers);
        QApplication::sendEvent(view->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                            modifiers);
        QApplication::sendEvent(view->viewport(), &release);
    }
    static void ClickWidget(QWidget* widget) {
        const QPoint at = widget->rect().center();
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &release);
    }

    std::string Text(const QLineEdit* edit) const { return edit->text().toStdString(); }

    TempDrives drives{"cde"};
    ScriptedDialogs dialogs;
    AppSettings settings;
    RunState run;
    HandOverState handOver;
    std::vector<std::string> recentAdded;
    std::vector<std::string> runsOpened;
    std::vector<bool> editorVisibleDuringRun;
    std::vector<bool> projectExistedDuringRun;
    int helpOpened = 0;
    std::unique_ptr<TprojecteditF> editor;
};

}  // namespace vlm::test
