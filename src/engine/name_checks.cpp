#include "engine/name_checks.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file_system.h"
#include "platform/path_translation.h"
#include "util/text_helpers.h"

namespace vlm {

namespace {

// Listed by file127exists: read-only, hidden, system and archive files, no folders.
constexpr std::uint32_t kFilesOnlyMask = 39;

// In the order they are looked for.
constexpr char kForbiddenCharacters[] = {'\\', '/', ':', '*', '?', '"', '<', '>', '|'};

// The file name starts after the last backslash or colon; the folder part keeps that character.
std::size_t NameStart(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

constexpr char kQuote = '"';

std::string Quoted(std::string_view text) {
    std::string quoted;
    quoted += kQuote;
    quoted += text;
    quoted += kQuote;
    return quoted;
}

// Takes every absolutely forbidden character out of `name` (in the folder `folder`). A host
// character that a drive name holds as its stand-in is the character it stands for. Taking one
// out of a name with stray bytes can join its neighbours into another stand-in, so the removal
// goes on until nothing forbidden is left.
template <typename Say>
void RemoveForbidden(const std::string& folder, std::string& name, Say&& say) {
    for (bool removed = true; removed;) {
        removed = false;
        for (const char forbidden : kForbiddenCharacters) {
            const std::string standIn =
                NeedsStandIn(forbidden) ? StandInFor(forbidden) : std::string();
            for (const std::string_view form :
                 {std::string_view(&forbidden, 1), std::string_view(standIn)}) {
                if (form.empty())
                    continue;
                for (auto at = name.find(form); at != std::string::npos; at = name.find(form)) {
                    say("Ignoring absolutely forbidden character in " + Quoted(folder + name) +
                        "...!");
                    name.erase(at, form.size());
                    removed = true;
                }
            }
        }
    }
}

// The cleaning and cutting of fnamecutto127; `say` receives each line it reports.
template <typename Say>
std::string CleanAndCut(std::string_view path, Say&& say) {
    const std::string folder(path.substr(0, NameStart(path)));
    std::string name(path.substr(NameStart(path)));
    RemoveForbidden(folder, name, say);

    while (!name.empty() && (name.front() == ' ' || name.front() == '.')) {
        say("Ignoring forbidden character in " + Quoted(folder + name) + "...!");
        name.erase(0, 1);
    }

    const CharacterPrefix kept = FirstCharacters(name, kMaxNameLength);
    if (kept.bytes < name.size()) {
        say("File name longer than 127 characters detected in source and will be cut in "
            "destination...!");
        say("It is better you cut file name " + Quoted(name) + " in directory " + Quoted(folder) +
            " manually!");
        name.resize(kept.bytes);
    }
    return folder + name;
}

}  // namespace

std::string fnamecutto127(std::string_view path, RunLog& log) {
    return CleanAndCut(path, [&log](const std::string& line) { log.report(line, true); });
}

std::string CleanedName(std::string_view name) {
    return CleanAndCut(name, [](const std::string&) {});
}

bool NameIsEmpty(std::string_view path) {
    return NameStart(path) == path.size();
}

bool file127exists(const DrivePath& sourceFolder, std::string_view name, RunLog& log) {
    if (CharacterCount(name) != static_cast<std::size_t>(kMaxNameLength))
        return false;
    log.report("File name " + Quoted(name) + " with 127 characters detected in backup!", true);

    FolderListing entries;
    if (!entries.Read(sourceFolder, kFilesOnlyMask) || !IsCutOfListedFile(name, entries))
        return false;
    log.report("Similar name found in source, supposing same file!", true);
    return true;
}

bool IsCutOfListedFile(std::string_view name, const FolderListing& sourceEntries) {
    if (CharacterCount(name) != static_cast<std::size_t>(kMaxNameLength))
        return false;
    for (std::size_t i = 0; i < sourceEntries.size(); ++i) {
        if (sourceEntries.Kind(i) == EntryKind::Directory)
            continue;  // the files-only listing of file127exists holds no folders
        const std::string_view entryName = sourceEntries.Name(i);
        const CharacterPrefix prefix = FirstCharacters(entryName, kMaxNameLength);
        if (prefix.characters < static_cast<std::size_t>(kMaxNameLength))
            continue;
        if (entryName.substr(0, prefix.bytes) == name)
            return true;
    }
    return false;
}

bool IsCleanedFormOfListedFile(std::string_view name, const FolderListing& sourceEntries) {
    // A name of 127 characters is a cut name: file127exists judges it, with its own lines.
    if (CharacterCount(name) == static_cast<std::size_t>(kMaxNameLength))
        return false;
    for (std::size_t i = 0; i < sourceEntries.size(); ++i) {
        const std::string_view entryName = sourceEntries.Name(i);
        if (sourceEntries.Kind(i) != EntryKind::Directory && entryName != name &&
            CleanedName(entryName) == name)
            return true;
    }
    return false;
}

}  // namespace vlm
