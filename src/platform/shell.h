#pragma once
// Shell services: the program's own file, special folders, opening documents, the beep.

#include <string>
#include <string_view>

namespace vlm {

// The running program file as a host path (/proc/self/exe) and as a drive path.
std::string ProgramFileHostPath();
std::string ProgramFilePath();

enum class SpecialFolder {
    Personal,  // the documents folder (XDG_DOCUMENTS_DIR)
    Desktop,   // XDG_DESKTOP_DIR
    Home,
};

// The folder as a drive path, from the XDG user directories ($XDG_CONFIG_HOME/user-dirs.dirs,
// falling back to ~/Documents and ~/Desktop when those exist). Empty when the host has none.
std::string SpecialFolderPath(SpecialFolder folder);

// Opens a document (drive path) or a web address with its associated program: xdg-open with
// the target as its one argument, started without a shell and without waiting for it.
// False when the program could not be started.
bool ShellOpen(std::string_view target);

// One audible beep on the terminal bell (the GUI replaces it with the window system's beep).
void SystemBeep();

}  // namespace vlm
