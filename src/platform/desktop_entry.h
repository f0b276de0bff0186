#pragma once
// Desktop shortcuts on this host: `.desktop` launchers (the freedesktop.org Desktop Entry
// format) in place of shell link files.
//
// The Exec line of a launcher is read by the desktop in two steps: first as a string value
// (backslash escapes such as "\\" and "\s"), then split into arguments with double quotes, where
// a backslash escapes `"`, backquote, `$` and backslash, and `%%` stands for a percent sign.
// Every argument written here is quoted and escaped for both steps, so that no character of a
// path — blanks, quotes, `$`, backquotes, `%`, backslashes — can split it or run anything else.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "platform/windows_info.h"

namespace vlm {

// One argument quoted for an Exec line (before the string-value escaping); nullopt for an
// argument that holds a control character, which the format cannot carry in an argument.
std::optional<std::string> QuoteExecArgument(std::string_view argument);

// A whole Exec value as it stands in the file: every argument quoted and the line escaped as a
// string value. nullopt when an argument cannot be carried (see QuoteExecArgument) or the list
// is empty.
std::optional<std::string> ExecValue(const std::vector<std::string>& arguments);

// The string-value escaping of the format (backslash, newline, tab, carriage return, and a
// leading blank).
std::string EscapeDesktopString(std::string_view text);

// Reads an Exec value as a desktop starts it: the string escapes undone, the line split into
// arguments by the quoting rules, `%%` made `%` and the field codes of a launch without files
// removed. nullopt for a line that breaks the rules (an unknown escape, an unterminated quote,
// a character that must be quoted standing unquoted, an unknown field code).
std::optional<std::vector<std::string>> ParseExecValue(std::string_view value);

// The value of `key` in the "[Desktop Entry]" group of a launcher's text, as written (string
// escapes not undone); nullopt when absent.
std::optional<std::string> DesktopEntryValue(std::string_view text, std::string_view key);

// The text of a launcher that starts `arguments` (the program first) in `workingFolder` (empty:
// none), shown with `name`. nullopt when ExecValue refuses the arguments.
std::optional<std::string> DesktopEntryText(std::string_view name,
                                            const std::vector<std::string>& arguments,
                                            const HostPath& workingFolder);

// The file name ending of a launcher.
inline constexpr std::string_view kLauncherExtension = ".desktop";

struct ShortcutResult {
    bool ok = false;
    std::string path;     // drive path of the launcher file that was (or would have been) written
    std::string message;  // why it was not written, for the person
};

// Writes the launcher `linkName` + ".desktop" into the folder of `location` (or at `linkName`
// itself for FullPath), replacing one of that name, safely (a temporary file renamed over it),
// with its executable bit set so that desktops trust it. `target` is the program, `arguments`
// its arguments one by one, `workingFolder` empty for none.
// A shell folder the host has no counterpart for, a link name that is no single file name, or
// arguments that cannot be carried are refused with a message; nothing is written then.
ShortcutResult CreateShortcut(const DrivePath& target, const std::vector<std::string>& arguments,
                              const DrivePath& workingFolder, ShellFolderKind location,
                              std::string_view linkName, const TWindowsInfo& folders);

}  // namespace vlm
