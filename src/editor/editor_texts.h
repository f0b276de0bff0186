#pragma once
// Texts and small text rules that more than one side of the project editor uses.

#include <string>
#include <string_view>

#include "platform/utf8_text.h"

namespace vlm {

inline constexpr const char* kSelectItemFirst =
    "Select an item to add first, by clicking a folder or file!";
inline constexpr const char* kMultiSelectionShown = "(See multi-selection of files above...)";
inline constexpr const char* kDefaultDestination = "<default>";

// A text the person typed or the browse pane gave, as the drive path the program works with: a
// native path ("/home/alice/Documents") is translated to its drive; anything else stays as it
// is, also a native path under no drive, which the caller then refuses.
std::string AsDrivePath(const std::string& text);

// True when the text would break a project file's line: a CR, LF or NUL in it.
bool HoldsLineBreak(std::string_view text);

}  // namespace vlm
