#include "dialogs/restore_browser.h"

#include <cstdio>

#include "platform/file_system.h"
#include "platform/locale_text.h"
#include "util/dialogs.h"
#include "util/file_helpers.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// "c:\a" + "b" → "c:\a\b"; a root keeps its one backslash.
std::string Joined(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

// The part of `path` below `folder` ("" for the folder itself); nullopt when it is not below.
std::optional<std::string> Below(const std::string& path, const std::string& folder) {
    if (path == folder)
        return std::string();
    if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
        path[folder.size()] == '\\')
        return path.substr(folder.size() + 1);
    return std::nullopt;
}

BrowsedEntry FromListing(const DirEntry& entry, const std::string& from) {
    return {entry.name, entry.kind == EntryKind::Directory, entry.size, entry.modified, from};
}

std::string RunStartText(DateTime when) {
    const LocalFields f = SplitDateTime(when);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d.%02d.%02d", f.year, f.month, f.day,
                  f.hour, f.minute, f.second);
    return text;
}

}  // namespace

RestoreBrowser::RestoreBrowser(std::vector<BackedUpItem> items, bool versionsOn)
    : items_(std::move(items)), versionsOn_(versionsOn) {}

bool RestoreBrowser::HasBackup() const {
    for (const BackedUpItem& item : items_)
        if (ItemKind(item.backup) != 'n')
            return true;
    return false;
}

const BackedUpItem* RestoreBrowser::ItemOf(const std::string& path) const {
    for (const BackedUpItem& item : items_)
        if (Below(path, item.source))
            return &item;
    return nullptr;
}

std::vector<std::string> RestoreBrowser::RunTimes() const {
    return {};
}

std::optional<BrowsedEntry> RestoreBrowser::Find(const std::string& path,
                                                 const std::string& /*asOf*/) const {
    const BackedUpItem* item = ItemOf(path);
    if (item == nullptr)
        return std::nullopt;
    const std::string backup = item->backup + path.substr(item->source.size());
    const std::optional<DirEntry> entry = QueryEntry(backup);
    if (!entry || (entry->kind != EntryKind::File && entry->kind != EntryKind::Directory))
        return std::nullopt;
    BrowsedEntry found = FromListing(*entry, backup);
    found.name = path.substr(path.rfind('\\') + 1);
    return found;
}

std::vector<BrowsedEntry> RestoreBrowser::List(const std::string& folder,
                                               const std::string& asOf) const {
    std::vector<BrowsedEntry> folders, files;
    const std::optional<BrowsedEntry> self = Find(folder, asOf);
    if (!self)
        return {};
    if (!self->folder)
        return {*self};
    std::vector<DirEntry> entries;
    ListDirectory(self->from, kAttrAnyFile, entries);
    for (const DirEntry& entry : entries) {
        if (entry.kind == EntryKind::Directory)
            folders.push_back(FromListing(entry, Joined(self->from, entry.name)));
        else if (entry.kind == EntryKind::File)
            files.push_back(FromListing(entry, Joined(self->from, entry.name)));
    }
    folders.insert(folders.end(), files.begin(), files.end());
    return folders;
}

std::vector<FileVersion> RestoreBrowser::Versions(const std::string& file) const {
    std::vector<FileVersion> versions;
    if (const std::optional<BrowsedEntry> now = Find(file, {}); now && !now->folder)
        versions.push_back({{}, now->size, now->modified, now->from});
    return versions;
}

std::string KeptAsideName(const std::string& path, const std::string& when) {
    const std::size_t nameStart = path.rfind('\\') + 1;
    std::size_t dot = path.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();
    const std::string stem = path.substr(0, dot) + " (before restore " + when;
    const std::string extension = path.substr(dot);
    std::string aside = stem + ")" + extension;
    for (int n = 2; ItemKind(aside) != 'n'; ++n)
        aside = stem + " " + std::to_string(n) + ")" + extension;
    return aside;
}

namespace {

// The question before a newer file is replaced.
std::string NewerFileQuestion(const std::string& target, const BrowsedEntry& entry) {
    return "The file " + target + " (" + ItemDateText(target) +
           ") is newer than the one to restore (" +
           DateTimeText(HostTimeToDateTime(entry.modified.seconds, entry.modified.nanoseconds)) +
           ").\nReplace it? It is kept beside it under another name.";
}

void RestoreFile(const BrowsedEntry& entry, const std::string& target, RestoreCount& count) {
    if (const std::optional<DirEntry> there = QueryEntry(target)) {
        if (there->kind == EntryKind::File && there->size == entry.size &&
            SameFileAge(FileAgeOf(there->modified), FileAgeOf(entry.modified))) {
            ++count.unchanged;
            return;
        }
        const bool newer =
            there->kind == EntryKind::File && (there->modified.seconds > entry.modified.seconds);
        if (newer && !AskYesNoDefaultNo(BoxType::Warning, NewerFileQuestion(target, entry))) {
            ++count.skipped;
            return;
        }
        const std::string aside = KeptAsideName(target, RunStartText(NowLocal()));
        if (!RenameReplacing(target, aside)) {
            ++count.failed;
            count.failures.push_back("Could not move " + target + " aside to " + aside);
            return;
        }
    }
    try {
        CopyFileKeepAge(entry.from, target);
        ++count.restored;
    } catch (const CopyError& error) {
        ++count.failed;
        count.failures.push_back(error.what());
    }
}

}  // namespace

namespace {

bool MakeFolder(const std::string& folder, RestoreCount& count) {
    // "c:" alone is the root of its drive.
    if (ForceDirChain(folder.size() == 2 ? folder + "\\" : folder))
        return true;
    ++count.failed;
    count.failures.push_back("Could not create the folder " + folder);
    return false;
}

}  // namespace

void RestorePath(const RestoreBrowser& backup, const std::string& path, const std::string& target,
                 const std::string& asOf, RestoreCount& count) {
    const std::optional<BrowsedEntry> entry = backup.Find(path, asOf);
    if (!entry) {
        ++count.failed;
        count.failures.push_back("The backup holds no " + path);
        return;
    }
    if (!entry->folder) {
        if (MakeFolder(target.substr(0, target.rfind('\\')), count))
            RestoreFile(*entry, target, count);
        return;
    }
    if (!MakeFolder(target, count))
        return;
    for (const BrowsedEntry& child : backup.List(path, asOf))
        RestorePath(backup, Joined(path, child.name), Joined(target, child.name), asOf, count);
}

void RestoreVersion(const FileVersion& version, const std::string& target, RestoreCount& count) {
    const BrowsedEntry entry{{}, false, version.size, version.modified, version.from};
    if (MakeFolder(target.substr(0, target.rfind('\\')), count))
        RestoreFile(entry, target, count);
}

}  // namespace vlm
