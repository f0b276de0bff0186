#pragma once
// Where the program keeps its own files: the settings, the run history, the recent lists and
// drives.ini. One decision, shared by `velmora` and `velmora-run`.
//
// A program started from a folder it may write to (a build folder, an unpacked copy) keeps them
// beside itself, as it always has. An installed program cannot: its folder (/usr/bin) belongs to
// the system, so its files go to the person's data folder, $XDG_DATA_HOME/velmora, or
// ~/.local/share/velmora when XDG_DATA_HOME is not set (the XDG Base Directory rules).
//
// "May write to" follows the rules the rest of this layer enforces: the folder's owner-write bit
// must be set (root ignores permission bits, but a folder marked read-only is read-only to us,
// as it is to every other write this program makes), the host must allow the write (a read-only
// mount), and the folder must not be below /usr, which the file-system hierarchy keeps for
// installed, read-only files — root's /usr/bin has its write bit set, yet an installed program
// run by root must not leave its settings there.

#include <string>

#include "platform/paths.h"

namespace vlm {

struct ProgramFolderFacts {
    HostPath executableFolder;  // folder of the running program
    bool executableFolderWritable = false;
    std::string xdgDataHome;  // $XDG_DATA_HOME as set (the rules ignore a relative one)
    std::string home;         // $HOME, or the password database's home folder
};

// The program folder for these facts; empty when they decide none.
HostPath ChooseProgramFolder(const ProgramFolderFacts& facts);

// True when the program may keep its files in `hostFolder` (see above).
bool ProgramMayWriteFolder(const HostPath& hostFolder);

// The facts of this process: its executable, the environment.
ProgramFolderFacts CurrentProgramFolderFacts();

// The program folder of this process, created (with its parents) when it does not exist yet.
// The empty path when no folder could be decided or created; `error` then says why.
HostPath ResolveProgramFolder(std::string* error = nullptr);
// The folder a command line names as the program folder (`--program-folder`), absolute and
// tidied; nullopt, with `error` saying so, when it is no folder.
std::optional<HostPath> ChosenProgramFolder(std::string_view argument, std::string& error);

// The folder an installed program's documentation lives in (the user guide):
// <prefix>/share/doc/velmora for an executable in <prefix>/bin.
HostPath InstalledDocFolder(const HostPath& executableFolder);

}  // namespace vlm
