#include "app/recent_projects.h"

#include <QAction>
#include <QMenu>
#include <QMetaMethod>
#include <algorithm>
#include <functional>

#include "app/app_text.h"
#include "platform/file_lock.h"
#include "platform/file_system.h"
#include "util/dialogs.h"
#include "util/message_boxes.h"
#include "util/text_helpers.h"
#include "widgets/shown_text.h"

namespace vlm {

namespace {

// Paths are equal for the list when they differ only in the case of the letters A to Z.
bool SameEntry(std::string_view a, std::string_view b) {
    const auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

std::string LineEnd() {
    return "\r\n";
}

}  // namespace

QString PlainMenuCaption(const std::string& text) {
    QString caption = ShownText(text);
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return caption;
}

TMYcustomhistory::TMYcustomhistory(QObject* parent) : QObject(parent) {}

TMYcustomhistory::~TMYcustomhistory() {
    // Without a host the ">>>" menu has no parent to release it.
    if (historyMenu_ && historyMenu_->parent() == nullptr)
        delete historyMenu_;
}

void TMYcustomhistory::SetEnabled(bool enabled) {
    enabled_ = enabled;
    for (QAction* item : entryItems_)
        item->setEnabled(enabled);
}

void TMYcustomhistory::LoadHistory(std::string_view programFolder) {
    entriesPath_ = FileInFolder(programFolder, histname_.toStdString());
    maxHistPath_ = FileInFolder(programFolder, maxhistname_.toStdString());
    maxItemLenPath_ = FileInFolder(programFolder, maxitemlenname_.toStdString());

    BuildHistoryMenu();
    maxhist_ = ReadNumberFile(maxHistPath_, maxhistname_, kDefaultMaxHist);
    maxitemlen_ = ReadNumberFile(maxItemLenPath_, maxitemlenname_, kDefaultMaxItemLen);
    // Only read: the file is replaced whole by every writer, so a reader needs no lock, and a
    // load changes nothing to write back.
    if (FileExists(DrivePath(entriesPath_))) {
        const auto text = ReadWholeFile(DrivePath(entriesPath_));
        if (!text) {
            ShowErrorBox(FileErrorText("read", entriesPath_, text.Error()));
            RebuildMenuItems();
            return;
        }
        const std::vector<std::string_view> lines = SplitLines(*text);
        list_.assign(lines.begin(), lines.end());
    }
    RebuildMenuItems();
}

void TMYcustomhistory::BuildHistoryMenu() {
    if (historyMenu_)
        return;
    historyMenu_ = new QMenu(QStringLiteral(">>>"), host_.data());
    if (host_) {
        historyMenuItem_ = host_->addMenu(historyMenu_);
        historyMenuItem_->setData(kHistoryMenuTag);
    }
    QAction* heading = historyMenu_->addAction(QStringLiteral("HISTORY MENU:"));
    heading->setEnabled(false);  // a label only
    historyMenu_->addSeparator();
    connect(historyMenu_->addAction(QStringLiteral("Set &max. history items")), &QAction::triggered,
            this, [this] { SetMaxHistClick(); });
    historyMenu_->addSeparator();
    connect(historyMenu_->addAction(QStringLiteral("Set ma&x. length per item")),
            &QAction::triggered, this, [this] { SetMaxItemLenClick(); });
    historyMenu_->addSeparator();
    connect(historyMenu_->addAction(QStringLiteral("Remove ALL history")), &QAction::triggered,
            this, [this] { RemoveAllClick(); });
    historyMenu_->addSeparator();
}

int TMYcustomhistory::ReadNumberFile(const std::string& path, const QString& name, int fallback) {
    if (!FileExists(DrivePath(path)))
        return fallback;
    std::optional<std::int32_t> number;
    if (const auto text = ReadWholeFile(DrivePath(path))) {
        const std::vector<std::string_view> lines = SplitLines(*text);
        if (!lines.empty())
            number = ParseIntegerAnswer(lines.front());
    }
    if (!number) {
        ShowWarningBox("Invalid number in " + name.toStdString());
        return fallback;
    }
    return *number;
}

void TMYcustomhistory::AddItem(const std::string& path) {
    ChangeEntries([&](std::vector<std::string>& list) {
        // The last equal entry is the one that moves.
        auto equal = std::find_if(list.rbegin(), list.rend(),
                                  [&](const std::string& entry) { return SameEntry(entry, path); });
        if (equal != list.rend()) {
            list.erase(std::next(equal).base());
            list.insert(list.begin(), path);
            return;
        }
        list.insert(list.begin(), path);
        // One entry goes: the one just past the maximum. A list that was already longer (its
        // maximum file lowered by hand) keeps the rest until the person sets the maximum.
        const auto drop = static_cast<std::size_t>(std::max(maxhist_, 0));
        if (list.size() > drop)
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(drop));
    });
}

bool TMYcustomhistory::ChangeEntries(const std::function<void(std::vector<std::string>&)>& change) {
    if (entriesPath_.empty()) {
        // Not loaded yet: there is no file to write.
        change(list_);
        RebuildMenuItems();
        return true;
    }
    // Another window or a second program may have written the file since this list was read;
    // writing this list would erase what it added. So the change is made to the file as it is
    // now, under a lock beside it (the file itself is replaced by a rename, so its own inode
    // cannot carry the lock), and the list becomes what was written.
    const FileLock lock{DrivePath(entriesPath_)};
    std::vector<std::string> list;
    if (FileExists(DrivePath(entriesPath_))) {
        const auto text = ReadWholeFile(DrivePath(entriesPath_));
        if (!text) {
            // Writing now would put this list over entries that could not be read.
            ShowErrorBox(FileErrorText("read", entriesPath_, text.Error()));
            return false;
        }
        const std::vector<std::string_view> lines = SplitLines(*text);
        list.assign(lines.begin(), lines.end());
    }
    change(list);
    std::string text;
    for (const std::string& entry : list)
        text += entry + LineEnd();
    const FileStatus written = WriteFileAtomically(DrivePath(entriesPath_), text);
    list_ = std::move(list);
    RebuildMenuItems();
    if (!written) {
        ShowErrorBox(FileErrorText("create", entriesPath_, written.Error()));
        return false;
    }
    return true;
}

void TMYcustomhistory::ClearMenuItems() {
    // An item may be the one whose click is being handled now: it goes once that is over.
    for (QAction* item : entryItems_) {
        if (host_)
            host_->removeAction(item);
        item->deleteLater();
    }
    for (QAction* item : removeItems_) {
        if (historyMenu_)
            historyMenu_->removeAction(item);
        item->deleteLater();
    }
    entryItems_.clear();
    removeItems_.clear();
}

void TMYcustomhistory::RebuildMenuItems() {
    ClearMenuItems();
    for (std::size_t i = 0; i < list_.size(); ++i) {
        if (static_cast<long long>(i) >= maxhist_) {
            ShowPlain("count > maxhist??");
            break;
        }
        const int tag = static_cast<int>(i);
        auto* entry = new QAction(PlainMenuCaption(ShortenLeft(list_[i], maxitemlen_)), this);
        entry->setData(tag);
        entry->setEnabled(enabled_);
        connect(entry, &QAction::triggered, this, [this, tag] { HistItemClick(tag); });
        if (host_)
            host_->addAction(entry);
        entryItems_.append(entry);

        auto* remove = new QAction(
            QStringLiteral("remove ") + PlainMenuCaption(ShortenLeft(list_[i], maxitemlen_ - 7)),
            this);
        remove->setData(tag);
        connect(remove, &QAction::triggered, this, [this, tag] { RemoveItemClick(tag); });
        if (historyMenu_)
            historyMenu_->addAction(remove);
        removeItems_.append(remove);
    }
}

void TMYcustomhistory::HistItemClick(int tag) {
    if (tag < 0 || static_cast<std::size_t>(tag) >= list_.size())
        return;
    const std::string path = list_[static_cast<std::size_t>(tag)];
    AddItem(path);
    if (isSignalConnected(QMetaMethod::fromSignal(&TMYcustomhistory::itemClicked)))
        emit itemClicked(QString::fromStdString(path));
    else
        ShowPlain("onitemclicked not assigned yet");
}

void TMYcustomhistory::RemoveItemClick(int tag) {
    if (tag < 0 || static_cast<std::size_t>(tag) >= list_.size())
        return;
    // The entry is found in the file by its text: others may have moved it meanwhile.
    const std::string entry = list_[static_cast<std::size_t>(tag)];
    ChangeEntries([&](std::vector<std::string>& list) {
        const auto found = std::find(list.begin(), list.end(), entry);
        if (found != list.end())
            list.erase(found);
    });
}

void TMYcustomhistory::RemoveAllClick() {
    if (list_.empty()) {
        ShowPlain("History is already empty!");
        return;
    }
    if (CurrentDialogs().Show(BoxType::Warning, Buttons::YesNo,
                              "Really want to remove all history items??") != Answer::Yes)
        return;
    ChangeEntries([](std::vector<std::string>& list) { list.clear(); });
}

std::optional<int> TMYcustomhistory::AskNumber(const std::string& caption,
                                               const std::string& prompt, int current, int limit) {
    const std::optional<std::string> answer =
        CurrentDialogs().Input(caption, prompt, std::to_string(current));
    if (!answer)
        return std::nullopt;
    const std::optional<std::int32_t> number = ParseIntegerAnswer(*answer);
    if (!number) {
        ShowErrorBox("Invalid number!!");
        return std::nullopt;
    }
    if (*number < 0 || *number > limit) {
        ShowErrorBox("Number must be between 0 and " + std::to_string(limit));
        return std::nullopt;
    }
    return *number;
}

void TMYcustomhistory::SaveNumber(const std::string& path, int value) {
    if (path.empty())
        return;  // not loaded yet: there is no file to write
    if (!WriteFileAtomically(DrivePath(path), std::to_string(value) + LineEnd()))
        ShowErrorBox("Unable to save max history file " + path + "!!");
}

void TMYcustomhistory::SetMaxHistClick() {
    const std::optional<int> value =
        AskNumber("Set maximum history items",
                  "Give maximum history items (max. " + std::to_string(kMaxHistLimit) + ")",
                  maxhist_, kMaxHistLimit);
    if (!value)
        return;
    maxhist_ = *value;
    const auto max = static_cast<std::size_t>(maxhist_);
    if (!ChangeEntries([max](std::vector<std::string>& list) {
            if (list.size() > max)
                list.resize(max);
        }))
        return;
    SaveNumber(maxHistPath_, maxhist_);
}

void TMYcustomhistory::SetMaxItemLenClick() {
    const std::optional<int> value = AskNumber(
        "Set maximum length of one history item",
        "Give maximum length of one history item (max. " + std::to_string(kMaxItemLenLimit) + ")",
        maxitemlen_, kMaxItemLenLimit);
    if (!value)
        return;
    maxitemlen_ = *value;
    RebuildMenuItems();
    SaveNumber(maxItemLenPath_, maxitemlen_);
}

}  // namespace vlm
