#pragma once
// TMYcustomhistory: a list of recently used project paths, most recent first, kept in a text
// file in the program's folder and shown as menu items under a host menu, with a ">>>" submenu
// from which the person manages the list.
//
//     TMYcustomhistory edits(this);
//     edits.SetMenuitem(editMenu);            // after its "&Browse..." and separator
//     edits.sethistname("editfiles.his");     // ... and the two number files
//     edits.LoadHistory(settings.ProgramFolder);
//     connect(&edits, &TMYcustomhistory::itemClicked, ...);

#include <QAction>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vlm {

class TMYcustomhistory : public QObject {
    Q_OBJECT
    Q_PROPERTY(int maxhist READ maxhist WRITE setmaxhist)
    Q_PROPERTY(int maxitemlen READ maxitemlen WRITE setmaxitemlen)
    Q_PROPERTY(QString histname READ histname WRITE sethistname)
    Q_PROPERTY(QString maxhistname READ maxhistname WRITE setmaxhistname)
    Q_PROPERTY(QString maxitemlenname READ maxitemlenname WRITE setmaxitemlenname)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)

public:
    static constexpr int kDefaultMaxHist = 10;
    static constexpr int kDefaultMaxItemLen = 2000;
    static constexpr int kMaxHistLimit = 100;
    static constexpr int kMaxItemLenLimit = 10000;
    static constexpr int kHistoryMenuTag = 1000;

    explicit TMYcustomhistory(QObject* parent = nullptr);
    ~TMYcustomhistory() override;

    void SetMenuitem(QMenu* host) { host_ = host; }

    int maxhist() const { return maxhist_; }
    void setmaxhist(int value) { maxhist_ = value; }
    int maxitemlen() const { return maxitemlen_; }
    void setmaxitemlen(int value) { maxitemlen_ = value; }
    QString histname() const { return histname_; }
    void sethistname(const QString& name) { histname_ = name; }
    QString maxhistname() const { return maxhistname_; }
    void setmaxhistname(const QString& name) { maxhistname_ = name; }
    QString maxitemlenname() const { return maxitemlenname_; }
    void setmaxitemlenname(const QString& name) { maxitemlenname_ = name; }
    bool Enabled() const { return enabled_; }
    // Takes effect on the entry items at once.
    void SetEnabled(bool enabled);

    // Once, at start: builds ">>>" under the host, reads the two numbers and the entries from
    // the files in `programFolder` (a drive path), and makes the menu.
    void LoadHistory(std::string_view programFolder);
    // Puts `path` at the top; an entry equal to it but for the case of A–Z goes away.
    void AddItem(const std::string& path);
    const std::vector<std::string>& HistoryList() const { return list_; }

    // The menu handlers; `tag` is the entry's position in HistoryList.
    void HistItemClick(int tag);
    void RemoveItemClick(int tag);
    void RemoveAllClick();
    void SetMaxHistClick();
    void SetMaxItemLenClick();

    // What the menus hold now, for the main window and for tests.
    QMenu* HistoryMenu() const { return historyMenu_; }
    const QList<QAction*>& EntryItems() const { return entryItems_; }
    const QList<QAction*>& RemoveItems() const { return removeItems_; }

    // The full path of the entries file, fixed by LoadHistory.
    const std::string& EntriesFilePath() const { return entriesPath_; }

signals:
    // The person chose an entry (after it moved to the top of this list).
    void itemClicked(const QString& path);

private:
    void BuildHistoryMenu();
    // Every write of the entries file: under a lock beside it, the file is read again, `change`
    // is applied to what it holds, the result is written and becomes the list, and the menu is
    // rebuilt. False when the file could not be read or written (the person has been told).
    bool ChangeEntries(const std::function<void(std::vector<std::string>&)>& change);
    // Recreates the entry and remove items from the list; writes nothing.
    void RebuildMenuItems();
    int ReadNumberFile(const std::string& path, const QString& name, int fallback);
    void ClearMenuItems();
    // Asks for a number between 0 and `limit`; nullopt when cancelled or invalid (told so).
    std::optional<int> AskNumber(const std::string& caption, const std::string& prompt, int current,
                                 int limit);
    void SaveNumber(const std::string& path, int value);

    QPointer<QMenu> host_;
    QPointer<QMenu> historyMenu_;
    QPointer<QAction> historyMenuItem_;
    QList<QAction*> entryItems_;
    QList<QAction*> removeItems_;

    int maxhist_ = kDefaultMaxHist;
    int maxitemlen_ = kDefaultMaxItemLen;
    QString histname_ = QStringLiteral("files.his");
    QString maxhistname_ = QStringLiteral("max.his");
    QString maxitemlenname_ = QStringLiteral("maxlen.his");
    bool enabled_ = true;

    std::vector<std::string> list_;
    std::string entriesPath_;
    std::string maxHistPath_;
    std::string maxItemLenPath_;
};

// The caption of a menu item that shows `text` as it is ("&" would otherwise mark a shortcut).
QString PlainMenuCaption(const std::string& text);

}  // namespace vlm
