#pragma once
// Where the program's help lives: the user guide beside the program (a build folder) or with
// the installed documentation, and the project's home page.

namespace vlm {

// The how-to sections of the README as one HTML page, made by the build.
inline constexpr const char* kHelpFileName = "user-guide.html";
inline constexpr const char* kWebsiteAddress = "https://velmora.example.org/";

inline constexpr const char* kTextHelpMessage =
    "All the basic info is also available in txt-files (included in zip-package) which you can "
    "open with simple programs like Notepad.";

}  // namespace vlm
