#pragma once
// TvlmdesktopF: puts a launcher on the desktop that starts the program with one project and one
// of three switches — open it in the editor, load it into the run window, or load it and run it
// at once. Created once at start, so the chosen action is kept from one opening to the next.

#include <QDialog>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "dialogs/project_browse.h"
#include "platform/windows_info.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vlm {

// The launcher's name for a shortcut text such as "QUICK run C:\Backup\daily.vlm": ":\" becomes
// "_", then "\" and "/" become "-", then "." becomes "_" — "QUICK run C_Backup-daily_vlm".
std::string ShortcutName(std::string_view text);

class TvlmdesktopF : public QDialog {
    Q_OBJECT

public:
    using ListSource = std::function<std::vector<std::string>()>;

    // `editHistory` and `runHistory` give the two recent-projects lists as they stand.
    TvlmdesktopF(const TWindowsInfo& folders, ProjectBrowseHooks browse, ListSource editHistory,
                 ListSource runHistory, QWidget* parent = nullptr);

    // Createdesktopshortcut1Click: the combo box gets the editor's list, then the dialog shows.
    void Open();

    // The program the launchers start (a drive path); the running program unless set.
    void SetProgramFile(std::string path) { programFile_ = std::move(path); }

    void dtRB1Click();
    void dtRB2Click();
    void dtRB3Click();
    void dtCBChange(const QString& text);
    void dtbrowseBClick();
    void createdtBClick();

    QPushButton* dtbrowseB;
    QComboBox* dtCB;
    QLineEdit* dtE;
    QRadioButton* dtRB1;
    QRadioButton* dtRB2;
    QRadioButton* dtRB3;
    QPushButton* createdtB;
    QPushButton* dtexitB;

private:
    // Which project: browse, the recent lists, the path.
    QGroupBox* BuildProjectGroup();
    // What the shortcut does with it.
    QGroupBox* BuildActionGroup();
    // Adds (or with `replace`, sets) the combo box's entries, leaving its text as it was.
    void AddEntries(const std::vector<std::string>& paths, bool replace);

    const TWindowsInfo& folders_;
    ProjectBrowseHooks browse_;
    ListSource editHistory_;
    ListSource runHistory_;
    std::string programFile_;
};

}  // namespace vlm
