#include "engine/name_checks.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/file_system.h"
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

}  // namespace

std::string fnamecutto127(std::string_view path, RunLog& log) {
    const std::string folder(path.substr(0, NameStart(path)));
    std::string name(path.substr(NameStart(path)));

    for (const char forbidden : kForbiddenCharacters) {
        for (auto at = name.find(forbidden); at != std::string::npos; at = name.find(forbidden)) {
            log.report(
                "Ignoring absolutely forbidden character in " + Quoted(folder + name) + "...!",
                true);
            name.erase(at, 1);
        }
    }

    while (!name.empty() && (name.front() == ' ' || name.front() == '.')) {
        log.report("Ignoring forbidden character in " + Quoted(folder + name) + "...!", true);
        name.erase(0, 1);
    }

    const CharacterPrefix kept = FirstCharacters(name, kMaxNameLength);
    if (kept.bytes < name.size()) {
        log.report(
            "File name longer than 127 characters detected in source and will be cut in "
            "destination...!",
            true);
        log.report("It is better you cut file name " + Quoted(name) + " in directory " +
                       Quoted(folder) + " manually!",
                   true);
        name.resize(kept.bytes);
    }
    return folder + name;
}

bool NameIsEmpty(std::string_view path) {
    return NameStart(path) == path.size();
}

bool file127exists(std::string_view sourceFolder, std::string_view name, RunLog& log) {
    if (CharacterCount(name) != static_cast<std::size_t>(kMaxNameLength))
        return false;
    log.report("File name " + Quoted(name) + " with 127 characters detected in backup!", true);

    std::vector<DirEntry> entries;
    if (!ListDirectory(sourceFolder, kFilesOnlyMask, entries))
        return false;
    for (const DirEntry& entry : entries) {
        const CharacterPrefix prefix = FirstCharacters(entry.name, kMaxNameLength);
        if (prefix.characters < static_cast<std::size_t>(kMaxNameLength))
            continue;
        if (std::string_view(entry.name).substr(0, prefix.bytes) == name) {
            log.report("Similar name found in source, supposing same file!", true);
            return true;
        }
    }
    return false;
}

}  // namespace vlm
