#include "dialogs/run_history_overview.h"

#include <QDialog>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "core/run_history.h"
#include "core/run_reports.h"
#include "platform/path_translation.h"
#include "util/message_boxes.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

const char* const kColumnCaptions[RunHistoryModel::kColumnCount] = {
    "Project", "When started", "How started", "Duration", "Success"};

}  // namespace

RunHistoryModel::RunHistoryModel(RunHistory& history, QObject* parent)
    : QAbstractTableModel(parent), history_(history) {
    // The store says only that something changed; the rows are few, so the table is read anew.
    history_.SetChangeListener([this] {
        if (ownEdit_)
            return;
        beginResetModel();
        endResetModel();
    });
}

RunHistoryModel::~RunHistoryModel() {
    history_.SetChangeListener(nullptr);
}

int RunHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(history_.Rows().size());
}

int RunHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant RunHistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= history_.Rows().size())
        return {};
    const HistoryRow& entry = history_.Rows()[row];
    // The caption is edited as it is kept; it is shown as a person reads it.
    if (index.column() == 0)
        return role == Qt::EditRole ? QString::fromStdString(entry.caption)
                                    : ShownText(entry.caption);
    const auto item = static_cast<std::size_t>(index.column() - 1);
    if (item >= entry.subItems.size())
        return QString();
    return QString::fromStdString(entry.subItems[item]);
}

QVariant RunHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumnCount)
        return {};
    return QString::fromLatin1(kColumnCaptions[section]);
}

Qt::ItemFlags RunHistoryModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == 0)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool RunHistoryModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::EditRole)
        return false;
    const auto row = static_cast<std::size_t>(index.row());
    if (row >= history_.Rows().size() || historyPath_.empty())
        return false;
    const std::string caption = value.toString().toStdString();
    std::vector<HistoryRow> expected = history_.Rows();
    expected[row].caption = caption;
    // Our own change: the view already shows it, so only this cell is told, and the selection
    // and the current row stay where they are. The edit is written to the file as it is now,
    // so the rows may also bring what other processes wrote meanwhile: then the table is read
    // anew.
    ownEdit_ = true;
    std::string error;
    try {
        error = history_.SetCaption(historyPath_, row, caption);
    } catch (const std::exception& e) {
        error = e.what();
    }
    ownEdit_ = false;
    if (history_.Rows() == expected) {
        emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    } else {
        beginResetModel();
        endResetModel();
    }
    if (!error.empty())
        ShowErrorBox(error);
    return true;
}

QRect RunHistoryPlacement(const QRect& mainFrame, int menuBottom, QSize wanted,
                          const QRect& available) {
    const QSize size = wanted.boundedTo(available.size());
    const auto inside = [&](QPoint at) {
        at.setX(std::clamp(at.x(), available.left(), available.right() - size.width() + 1));
        at.setY(std::clamp(at.y(), available.top(), available.bottom() - size.height() + 1));
        return QRect(at, size);
    };
    if (available.right() - mainFrame.right() >= size.width())
        return inside({mainFrame.right() + 1, mainFrame.top()});
    if (mainFrame.left() - available.left() >= size.width())
        return inside({mainFrame.left() - size.width(), mainFrame.top()});
    if (available.bottom() - mainFrame.bottom() >= size.height())
        return inside({mainFrame.left(), mainFrame.bottom() + 1});
    // No room beside or below: the lower right corner, shortened to stay below the menu bar.
    QRect corner = inside(available.bottomRight() - QPoint(size.width() - 1, size.height() - 1));
    corner.setTop(std::max(corner.top(), std::min(menuBottom + 1, available.bottom())));
    return corner;
}

TrunhisoverviewF::TrunhisoverviewF(RunHistory& history, QWidget* parent)
    // A tool window of its parent (the main window): the window system keeps it above the
    // main window, yet the run window, the project editor, dialogs and message boxes, all
    // opened later over the main window, come above it. Staying on top of everything would
    // cover their questions.
    : QWidget(parent, Qt::Tool),
      history_(history),
      model_(new RunHistoryModel(history, this)),
      view_(new QTableView(this)),
      popup_(new QMenu(this)) {
    setWindowTitle(QStringLiteral("Run history - Overview"));
    // Its designed size, but never larger than the screen: at 200 % scaling 841 points are
    // wider than a 1600-pixel screen, and the last columns would be cut off.
    QSize size = kDesignedSize;
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableGeometry().size());
    resize(size);
    SetUpView();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    QAction* edit = popup_->addAction(QStringLiteral("&Edit"));
    QAction* run = popup_->addAction(QStringLiteral("&Run"));
    QAction* report = popup_->addAction(QStringLiteral("Show re&port"));
    connect(edit, &QAction::triggered, this, &TrunhisoverviewF::Edit1Click);
    connect(run, &QAction::triggered, this, &TrunhisoverviewF::Run1Click);
    connect(report, &QAction::triggered, this, [this] { Report1Click(); });
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { popup_->popup(view_->viewport()->mapToGlobal(at)); });
}

void TrunhisoverviewF::SetUpView() {
    view_->setModel(model_);
    view_->setShowGrid(true);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setSortingEnabled(false);
    view_->horizontalHeader()->setSectionsClickable(false);
    view_->horizontalHeader()->setHighlightSections(false);
    view_->verticalHeader()->hide();
    view_->setWordWrap(false);
    // A list view edits its caption on a click into the selected row, or on F2.
    view_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    for (int column = 0; column < RunHistoryModel::kColumnCount; ++column)
        view_->setColumnWidth(column, kColumnWidths[column]);
    view_->installEventFilter(this);
}

void TrunhisoverviewF::FormCreate(const DrivePath& historyPath) {
    historyPath_ = historyPath;
    model_->SetHistoryPath(historyPath_);
    WatchHistoryFile();
}

void TrunhisoverviewF::WatchHistoryFile() {
    const std::optional<HostPath> host = ToHostPath(historyPath_);
    if (!host)
        return;
    historyHostPath_ = QString::fromStdString(host->Text());
    // Every writer replaces the file by a rename, and a watch on a file ends with the file it
    // was set on: the folder's watch sees the new file arrive. A burst of changes (the lock
    // file, the temporary, the rename) is read once.
    watcher_ = new QFileSystemWatcher(this);
    rereadTimer_ = new QTimer(this);
    rereadTimer_->setSingleShot(true);
    rereadTimer_->setInterval(100);
    watcher_->addPath(QFileInfo(historyHostPath_).absolutePath());
    if (QFileInfo::exists(historyHostPath_))
        watcher_->addPath(historyHostPath_);
    const auto soon = [this] { rereadTimer_->start(); };
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, soon);
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, soon);
    connect(rereadTimer_, &QTimer::timeout, this, &TrunhisoverviewF::RereadHistoryFile);
}

void TrunhisoverviewF::RereadHistoryFile() {
    if (QFileInfo::exists(historyHostPath_) && !watcher_->files().contains(historyHostPath_))
        watcher_->addPath(historyHostPath_);
    // A file that cannot be read now is read at its next change; the list stays meanwhile.
    try {
        history_.Reread(historyPath_);
    } catch (const std::exception&) {
    }
}

std::optional<HistoryRow> TrunhisoverviewF::SelectedRow() const {
    const QModelIndexList rows = view_->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return std::nullopt;
    const auto row = static_cast<std::size_t>(rows.front().row());
    if (row >= history_.Rows().size())
        return std::nullopt;
    return history_.Rows()[row];
}

std::optional<std::string> TrunhisoverviewF::SelectedProject() const {
    const std::optional<HistoryRow> row = SelectedRow();
    if (!row)
        return std::nullopt;
    return row->caption;
}

QDialog* TrunhisoverviewF::Report1Click() {
    const std::optional<HistoryRow> row = SelectedRow();
    if (!row)
        return nullptr;
    const std::optional<std::string> report = ReadRunReport(historyPath_, *row);
    if (!report) {
        ShowPlain("No report is kept for this run.");
        return nullptr;
    }
    const std::string when = row->subItems.empty() ? std::string() : row->subItems[0];
    auto* window = new QDialog(this, Qt::Window);
    window->setObjectName(QStringLiteral("RunReportD"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(ShownText("Report of " + row->caption + " (" + when + ")"));
    auto* text = new QPlainTextEdit(window);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setPlainText(ShownText(*report));
    auto* close = new QPushButton(QStringLiteral("&Close"), window);
    connect(close, &QPushButton::clicked, window, &QDialog::close);
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(text);
    layout->addWidget(close, 0, Qt::AlignRight);
    window->resize(760, 520);
    // The report opens at its end: the result and the summary.
    text->moveCursor(QTextCursor::End);
    window->show();
    return window;
}

void TrunhisoverviewF::Edit1Click() {
    const std::optional<std::string> project = SelectedProject();
    if (!project)
        return;
    // Hidden first, so the window that opens is not covered by this one.
    hide();
    emit editRequested(QString::fromStdString(*project));
}

void TrunhisoverviewF::Run1Click() {
    const std::optional<std::string> project = SelectedProject();
    if (!project)
        return;
    hide();
    emit runRequested(QString::fromStdString(*project));
}

void TrunhisoverviewF::FormKeyPress() {
    hide();
}

void TrunhisoverviewF::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        FormKeyPress();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TrunhisoverviewF::eventFilter(QObject* watched, QEvent* event) {
    // The window sees ESC before its table does. An edit in place has its own editor, which
    // keeps ESC to cancel the edit.
    if (watched == view_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        FormKeyPress();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace vlm
