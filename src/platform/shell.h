#pragma once
// Shell services: the program's own file, special folders, opening documents, the beep.

#include <string>
#include <string_view>

#include "platform/paths.h"

namespace vlm {

// The running program file as a host path (/proc/self/exe) and as a drive path.
// Empty when the program file cannot be named (or lies on no drive).
HostPath ProgramFileHostPath();
DrivePath ProgramFilePath();

enum class SpecialFolder {
    Personal,  // the documents folder (XDG_DOCUMENTS_DIR)
    Desktop,   // XDG_DESKTOP_DIR
    Home,
};

// The folder as a drive path, from the XDG user directories ($XDG_CONFIG_HOME/user-dirs.dirs,
// falling back to ~/Documents and ~/Desktop when those exist). Empty when the host has none or
// it lies on no drive.
DrivePath SpecialFolderPath(SpecialFolder folder);

// How handing a target to xdg-open went. A failure keeps what the host said, so the message can
// name the real cause (no opener installed, no program for the type, ...) rather than blame the
// file.
struct ShellOpenResult {
    bool refused = false;  // the target is no drive path or address (nothing was started)
    int startError = 0;    // errno of starting xdg-open; ENOENT: it is not installed
    int exitStatus = 0;    // xdg-open's exit status when it ended within the wait, else 0
    int signal = 0;        // the signal that ended xdg-open, if one did

    bool Succeeded() const { return !refused && startError == 0 && exitStatus == 0 && signal == 0; }
    explicit operator bool() const { return Succeeded(); }
};

// Opens a document (drive path) or a web address with its associated program: xdg-open with
// the target as its one argument, started without a shell. xdg-open finds out quickly whether
// anything can open the target, so its exit status is awaited for a short while; an opener
// still running after that has handed the target over (some desktops keep xdg-open alive for
// as long as the program runs) and is left to run on.
ShellOpenResult ShellOpen(std::string_view target);

// The cause of a failed ShellOpen in words, e.g. "there is no program to open it with
// (xdg-open is not installed)". Empty for a success.
std::string ShellOpenFailureText(const ShellOpenResult& result);

// One audible beep on the terminal bell (the GUI replaces it with the window system's beep).
void SystemBeep();

}  // namespace vlm
