#pragma once
// Translation between drive paths ("e:\Mirror\Data") and host paths ("/media/x/Mirror/Data")
// through the active drive table.

#include <optional>
#include <string>
#include <string_view>

namespace vlm {

// The character that stands for a host '\' inside a drive path component (U+F05C, private use),
// so that no host name is ever split into two components.
inline constexpr std::string_view kBackslashStandIn = "\xEF\x81\x9C";

// "c:\a\b" → "<root of c>/a/b". Accepts "c:", "c:\" (the root) and one trailing backslash.
// Refuses (nullopt): no letter and colon at the front, a colon not followed by a backslash or
// the end, an unmapped letter, a "." or ".." component, an empty component ("c:\a\\b").
// The drive letter is case-insensitive; the rest is passed on as it is.
std::optional<std::string> ToHostPath(std::string_view drivePath);

// "/media/x/Mirror/Data" → "e:\Mirror\Data": the drive whose root is the longest prefix of the
// path at a component boundary. The letter comes out in lower case; a root yields "e:\".
// Refuses relative paths, paths with "." / ".." / empty components and paths under no drive.
std::optional<std::string> ToDrivePath(std::string_view hostPath);

// True when `text` is a path that a person may have typed natively (starts with '/').
bool LooksLikeHostPath(std::string_view text);

}  // namespace vlm
