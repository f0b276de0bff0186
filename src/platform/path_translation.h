#pragma once
// Translation between drive paths ("e:\Mirror\Data") and host paths ("/media/x/Mirror/Data")
// through the active drive table.

#include <optional>
#include <string>
#include <string_view>

#include "platform/paths.h"

namespace vlm {

// A host name may hold characters that a drive path component cannot: '\ : * ? " < > |' and the
// control characters 1 to 31. Each is shown to the program as the private-use character
// U+F000 + its code (the convention of other Windows-on-Unix layers), and turned back on the way
// to the host, so the mapping is one-to-one: no name is split into two components, no two host
// names meet at one drive name, and no drive path can break a line of a text file.
// The stand-in of the host '\' (U+F05C).
inline constexpr std::string_view kBackslashStandIn = "\xEF\x81\x9C";

// True for the characters a host name holds that a drive name shows as a stand-in.
bool NeedsStandIn(char c);
// The UTF-8 text of the stand-in of `c` (U+F000 + its code).
std::string StandInFor(char c);
// A host name as the program sees it; nullopt when the host name already holds a character of
// U+F000-U+F07F, which would make two host names one drive name: such a name is reported by the
// walks, never merged.
std::optional<std::string> HostNameToDriveName(std::string_view hostName);
// The drive name of a host name stored on a medium that refuses the characters a drive name
// shows as stand-ins: the stand-ins it holds are its own (the name was stored so); nullopt for one
// that stands for nothing.
std::optional<std::string> StoredNameToDriveName(std::string_view hostName);
// The host name of a drive name: every stand-in back to its character. nullopt for a name with
// a character of U+F000-U+F07F that stands in for nothing (no host name maps to it).
std::optional<std::string> DriveNameToHostName(std::string_view driveName);
// A name, path or report line as a person reads it on screen: the stand-ins of printable
// characters shown as the characters they stand for; those of control characters stay, so the
// text stays on one line.
std::string ShownName(std::string_view text);

// "c:\a\b" → "<root of c>/a/b"; nullopt for the empty path and an unmapped letter.
std::optional<HostPath> ToHostPath(const DrivePath& drivePath);
// "/media/x/Mirror/Data" → "e:\Mirror\Data": the drive whose root is the longest prefix of the
// path at a component boundary. The letter comes out in lower case; a root yields "e:\". nullopt
// for a path under no drive and one with a name that HostNameToDriveName refuses.
std::optional<DrivePath> ToDrivePath(const HostPath& hostPath);

// The same on texts. "c:\a\b" → "<root of c>/a/b". Accepts "c:", "c:\" (the root) and one trailing
// backslash. Refuses (nullopt): no letter and colon at the front, a colon not followed by a
// backslash or the end, an unmapped letter, a "." or ".." component, an empty component
// ("c:\a\\b"), a component holding a '/' or a control character, or a stand-in that stands for
// nothing. The drive letter is case-insensitive; the rest is passed on as it is.
std::optional<std::string> ToHostPath(std::string_view drivePath);

// "/media/x/Mirror/Data" → "e:\Mirror\Data": the drive whose root is the longest prefix of the
// path at a component boundary. The letter comes out in lower case; a root yields "e:\".
// Refuses relative paths, paths with "." / ".." / empty components, paths under no drive and
// paths with a name that HostNameToDriveName refuses.
std::optional<std::string> ToDrivePath(std::string_view hostPath);

// True when `text` holds a control character (0-31). Such a value read from one of the program's
// files is damaged, never a path: a NUL would cut it short on the host. (A drive path shows a
// host name's control characters as stand-ins, so it never holds one either.)
bool HoldsControlCharacter(std::string_view text);

// True when `text` is a path that a person may have typed natively (starts with '/').
bool LooksLikeHostPath(std::string_view text);

}  // namespace vlm
