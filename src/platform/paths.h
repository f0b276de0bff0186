#pragma once
// The two kinds of path the program meets. A DrivePath is what the program thinks in
// ("e:\Mirror\Data"); a HostPath is what the host's calls take ("/media/x/Mirror/Data"). Each
// holds only text that its own rules accept, so a path of one kind never passes for the other:
// the two meet only through the drive table (ToHostPath, ToDrivePath in path_translation.h) and
// at the desktop's edge (DrivePathFromArgument).
//
// Letter case. The drive letter is read without case, as Windows reads it. The rest of a path
// is compared as it is written, case-sensitively: the host looks names up that way, and two
// names differing only in case are two items to it. (The editor's nesting warnings about source
// items are a rule of their own, IsPartOf, not a path comparison.)

#include <optional>
#include <string>
#include <string_view>

namespace vlm {

// "c:\a\b". Its text has a letter and a colon, then "\" alone for the root or "\" before each
// component; no trailing backslash below the root. The empty path (default-constructed, or made
// from a refused text) names no item: every file operation takes it for a missing one.
class DrivePath {
public:
    DrivePath() = default;
    // Refuses (nullopt) a text without a letter and colon at the front, a colon followed by
    // anything but a backslash, a "." or ".." component, an empty component ("c:\a\\b"), and a
    // component holding a '/' or a control character. Accepts "c:", "c:\" (both the root) and
    // one trailing backslash. The letter is kept as it was written.
    static std::optional<DrivePath> Parse(std::string_view text);
    // The same, with a refused text giving the empty path: for texts that a refusal should make
    // a missing item, as the program's own files and the paths it composes itself.
    explicit DrivePath(std::string_view text);

    bool empty() const { return text_.empty(); }
    const std::string& Text() const { return text_; }
    // The letter in lower case; 0 for the empty path.
    char Letter() const;
    bool IsRoot() const { return text_.size() == 3; }
    // The folder that holds this item; a root is its own parent.
    DrivePath Parent() const;
    // The last component; "" for a root.
    std::string_view Name() const;
    // The item `relative` below this folder: one name, or several joined by backslashes. The
    // empty path when `relative` holds a component Parse refuses; this path when it is empty.
    DrivePath operator/(std::string_view relative) const;
    // True when this path is `folder` or lies below it, component by component.
    bool IsAtOrBelow(const DrivePath& folder) const;
    // The item beside this one whose name is this one's with `suffix` added ("x.vlm" ->
    // "x.vlm.lock"): the program's companion files. The empty path stays empty.
    DrivePath WithSuffix(std::string_view suffix) const;
    // This path, at or below `from`, taken to the same place below `to` ("c:\a\b\x" from
    // "c:\a" to "e:\m" is "e:\m\b\x"); the empty path when it is not at or below `from`.
    DrivePath Rebased(const DrivePath& from, const DrivePath& to) const;

    // Exact, letter included: two texts that name the same item in different letter case are
    // still two texts (a project file stores what was typed).
    friend bool operator==(const DrivePath&, const DrivePath&) = default;

private:
    std::string text_;
};

// "/a/b": absolute, no ".", ".." or empty component, no trailing '/' below "/".
class HostPath {
public:
    HostPath() = default;
    // Refuses (nullopt) a relative path and one with a ".", ".." or empty component. Trailing
    // slashes are dropped.
    static std::optional<HostPath> Parse(std::string_view text);
    // The same, with a refused text giving the empty path.
    explicit HostPath(std::string_view text);

    bool empty() const { return text_.empty(); }
    const std::string& Text() const { return text_; }
    bool IsRoot() const { return text_ == "/"; }
    // The folder that holds this item; "/" is its own parent.
    HostPath Parent() const;
    // The last component; "" for "/".
    std::string_view Name() const;
    // The item `relative` ("name" or "a/b") below this folder; the empty path when a component
    // is refused.
    HostPath operator/(std::string_view relative) const;
    // True when this path is `folder` or lies below it, component by component, case-sensitive.
    bool IsAtOrBelow(const HostPath& folder) const;

    friend bool operator==(const HostPath&, const HostPath&) = default;

private:
    std::string text_;
};

// The path as the file system finds it: the links in its existing part resolved, the rest
// tidied. Two spellings of one folder, one of them through a link, give the same path.
HostPath ResolvedHostPath(const HostPath& path);

// True when `text` begins with a drive letter and a colon: what a person means as a drive path,
// whether or not the rest of it can be one.
bool StartsWithDriveLetter(std::string_view text);

// A drive path's text as the program shows it and a person writes it, with ':' '?' and the other
// characters a drive name holds as stand-ins written out: those turned back into their
// stand-ins, which is how the names are held (and stored, on a disk that refuses them). Text that
// does not begin with a drive letter comes back as it is.
std::string DrivePathTextFromShown(std::string_view text);

// A path given on a command line or typed in a dialog, as a drive path: a drive path as it is; a
// path of this system, absolute or relative to `currentFolder`, tidied (".." taken back, "."
// and doubled slashes dropped) and translated through the drive table. nullopt when the text is
// empty, a drive path that does not parse, or a host path under no drive.
std::optional<DrivePath> DrivePathFromArgument(std::string_view text,
                                               const HostPath& currentFolder);

}  // namespace vlm
