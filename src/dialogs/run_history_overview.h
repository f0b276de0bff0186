#pragma once
// TrunhisoverviewF, the "Run history - Overview" window: the run history as a table, newest run
// at the top, followed live as runs add and complete rows; its pop-up menu opens the project of
// a row in the editor or in the run window.

#include <QAbstractTableModel>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/run_history.h"
#include "platform/paths.h"

class QDialog;
class QFileSystemWatcher;
class QMenu;
class QTableView;
class QTimer;

namespace vlm {

class RunHistory;

// The rows of a RunHistory as five columns: "Project" (editable in place), "When started",
// "How started", "Duration", "Success". Sub-items beyond the fourth are kept but not shown.
class RunHistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    static constexpr int kColumnCount = 5;

    explicit RunHistoryModel(RunHistory& history, QObject* parent = nullptr);
    ~RunHistoryModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // The file the rows mirror; an edit in place is written there. Until it is set, the
    // project column cannot be edited.
    void SetHistoryPath(DrivePath path) { historyPath_ = std::move(path); }

private:
    RunHistory& history_;
    DrivePath historyPath_;
    bool ownEdit_ = false;  // the change being reported is our own in-place edit
};

// Where the overview opens at start, so that it covers neither the main window's title bar nor
// its menu bar: beside the main window (right, then left), else below it, else over the main
// window's lower right below its menu bar (a maximised main window); always inside `available`.
// `mainFrame`, `wanted` and the result are frames, title bars included; `menuBottom` is the
// last line of the main window's menu bar. Screen coordinates throughout.
QRect RunHistoryPlacement(const QRect& mainFrame, int menuBottom, QSize wanted,
                          const QRect& available);

class TrunhisoverviewF : public QWidget {
    Q_OBJECT

public:
    static constexpr int kColumnWidths[RunHistoryModel::kColumnCount] = {350, 200, 75, 100, 100};
    static constexpr QSize kDesignedSize{841, 480};

    explicit TrunhisoverviewF(RunHistory& history, QWidget* parent = nullptr);

    // Once, at program start, after the history was loaded from `historyPath`
    // (core/program_start: LoadRunHistory): from then on the file is watched, and when another
    // process (velmora-run started by a schedule, another window) changes it, the list is read
    // anew.
    void FormCreate(const DrivePath& historyPath);

    // The pop-up menu's commands: hide the window, then ask for the selected row's project to be
    // opened. Without a selected row they do nothing.
    void Edit1Click();
    void Run1Click();
    // Shows the kept report of the selected row in a window of its own (or says that none is
    // kept); the window is returned, null when none opened.
    QDialog* Report1Click();

    // The project path of the selected row, as it is now (an edit in place included).
    std::optional<std::string> SelectedProject() const;
    // The selected row as it is now.
    std::optional<HistoryRow> SelectedRow() const;

    QTableView* runhisLVRT() const { return view_; }
    QMenu* edit_or_run_fromhis() const { return popup_; }

signals:
    void editRequested(const QString& path);
    void runRequested(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The list's columns, selection and editing as a list view of rows has them.
    void SetUpView();
    void FormKeyPress();
    void WatchHistoryFile();
    void RereadHistoryFile();

    RunHistory& history_;
    RunHistoryModel* model_;
    QTableView* view_;
    QMenu* popup_;
    DrivePath historyPath_;
    QString historyHostPath_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* rereadTimer_ = nullptr;
};

}  // namespace vlm
