#pragma once
// Exclusion patterns: the entries below a source item that a run neither copies nor removes from
// the backup, and that a verification does not read.
//
// The rule, for an entry at `path` below its source item (components separated by "/"; a "\" is
// read as "/" both in the path and in a pattern, so that both spellings of a drive path work):
//
// - A pattern that ends in "/" matches folders only; the "/" itself is no part of the match.
// - A pattern without any other "/" matches the entry's name at any depth: "*.tmp" leaves out
//   every file ending in ".tmp", ".cache/" every folder named ".cache".
// - A pattern with a "/" at its start or in its middle matches the whole path below the item,
//   from its first component: "Photos/*.raw" leaves out the raw files directly in the item's
//   folder Photos, "/build/" only the folder build at the top of the item.
// - "*" matches any run of characters within one component (none included, never a "/"); "?"
//   matches exactly one character; a component that is "**" alone matches any number of
//   components, none included ("**/Trash/" is a folder Trash at any depth, "a/**/b" is b
//   anywhere below a).
// - Letters are compared with their case, as the host looks names up. Other characters stand
//   for themselves; there are no character classes and no escapes.
// - An entry is excluded when a pattern matches it or any folder above it: what lies in a left-out
//   folder is left out with it.
// - Blank patterns match nothing.

#include <string>
#include <string_view>
#include <vector>

namespace vlm {

// The exclusion patterns of one project, asked about each entry a walk meets.
class ExclusionList {
public:
    ExclusionList() = default;
    explicit ExclusionList(std::vector<std::string> patterns);

    bool empty() const { return patterns_.empty(); }
    const std::vector<std::string>& Patterns() const { return patterns_; }

    // True when the entry at `path` below its item, or a folder above it, is left out.
    bool Excludes(std::string_view path, bool isFolder) const;
    // True when the entry itself is matched: for a walk that does not enter a left-out folder
    // and so never asks about what lies inside one.
    bool ExcludesEntry(std::string_view path, bool isFolder) const;

private:
    std::vector<std::string> patterns_;
};

// The ready choices the editor offers, each a short caption and its patterns.
struct ExclusionChoice {
    const char* caption;
    std::vector<std::string> patterns;
};
const std::vector<ExclusionChoice>& CommonExclusionChoices();

}  // namespace vlm
