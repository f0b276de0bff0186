#include "core/exclusions.h"

#include <algorithm>

namespace vlm {

namespace {

using Components = std::vector<std::string_view>;

// The components of a path or pattern, "\" read as "/", empty components dropped.
Components SplitComponents(std::string_view text, std::string& normalized) {
    normalized.assign(text);
    std::replace(normalized.begin(), normalized.end(), '\\', '/');
    Components parts;
    std::size_t pos = 0;
    while (pos <= normalized.size()) {
        std::size_t end = normalized.find('/', pos);
        if (end == std::string::npos)
            end = normalized.size();
        if (end > pos)
            parts.push_back(std::string_view(normalized).substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

// The length of the UTF-8 character that begins at `text[at]`, so that "?" takes a whole
// character, not one byte of it.
std::size_t CharacterLength(std::string_view text, std::size_t at) {
    std::size_t next = at + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
        ++next;
    return next - at;
}

// One component against one pattern component with "*" and "?". A "*" that fails to place is
// tried again one character further, which the last "*" seen alone needs to be.
bool ComponentMatches(std::string_view pattern, std::string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starAt = std::string_view::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += CharacterLength(name, n);
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            resumeAt += CharacterLength(name, resumeAt);
            n = resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Pattern components from `pi` against path components from `xi`; "**" takes none or more.
bool ComponentsMatch(const Components& pattern, std::size_t pi, const Components& path,
                     std::size_t xi) {
    if (pi == pattern.size())
        return xi == path.size();
    if (pattern[pi] == "**") {
        for (std::size_t skip = xi; skip <= path.size(); ++skip) {
            if (ComponentsMatch(pattern, pi + 1, path, skip))
                return true;
        }
        return false;
    }
    return xi < path.size() && ComponentMatches(pattern[pi], path[xi]) &&
           ComponentsMatch(pattern, pi + 1, path, xi + 1);
}

// `path` (already split) against `pattern`, the entry alone.
bool MatchesSplit(std::string_view pattern, const Components& path, bool isFolder) {
    std::string normalized;
    const Components parts = SplitComponents(pattern, normalized);
    if (parts.empty() || path.empty())
        return false;
    const bool foldersOnly = normalized.back() == '/';
    if (foldersOnly && !isFolder)
        return false;
    // Without a "/" before its end the pattern names an entry at any depth.
    std::string_view body(normalized);
    while (body.back() == '/')
        body.remove_suffix(1);
    const bool anchored = body.find('/') != std::string_view::npos;
    if (!anchored)
        return ComponentMatches(parts.front(), path.back());
    return ComponentsMatch(parts, 0, path, 0);
}

}  // namespace

ExclusionList::ExclusionList(std::vector<std::string> patterns) {
    for (std::string& pattern : patterns) {
        if (pattern.find_first_not_of(" \t") != std::string::npos)
            patterns_.push_back(std::move(pattern));
    }
}

bool ExclusionList::ExcludesEntry(std::string_view path, bool isFolder) const {
    if (patterns_.empty())
        return false;
    std::string normalized;
    const Components parts = SplitComponents(path, normalized);
    return std::any_of(patterns_.begin(), patterns_.end(), [&](const std::string& pattern) {
        return MatchesSplit(pattern, parts, isFolder);
    });
}

bool ExclusionList::Excludes(std::string_view path, bool isFolder) const {
    if (patterns_.empty())
        return false;
    std::string normalized;
    Components parts = SplitComponents(path, normalized);
    // The entry itself, then each folder above it, nearest first.
    for (bool folder = isFolder; !parts.empty(); folder = true, parts.pop_back()) {
        for (const std::string& pattern : patterns_) {
            if (MatchesSplit(pattern, parts, folder))
                return true;
        }
    }
    return false;
}

const std::vector<ExclusionChoice>& CommonExclusionChoices() {
    static const std::vector<ExclusionChoice> choices = {
        {"Caches", {".cache/", "**/Cache/", "**/cache2/"}},
        {"Trash", {".Trash/", ".Trash-*/", "**/Trash/", "$RECYCLE.BIN/"}},
        {"Temporary files", {"*.tmp", "*.temp", "*~", "~$*", ".~lock.*#"}},
    };
    return choices;
}

}  // namespace vlm
