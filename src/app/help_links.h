#pragma once
// Where the program's help lives: the help file beside the program and the project's home page.

namespace vlm {

inline constexpr const char* kHelpFileName = "vlmcopy.chm";
inline constexpr const char* kWebsiteAddress = "https://velmora.example.org/";

inline constexpr const char* kTextHelpMessage =
    "All the basic info is also available in txt-files (included in zip-package) which you can "
    "open with simple programs like Notepad.";

}  // namespace vlm
