#pragma once
// TWindowsInfo: where the user's shell folders are — the desktop, the documents folder and the
// others a Windows desktop names. On this host they come from the XDG user directories; a
// folder the host has no counterpart for stays empty.
//
//     TWindowsInfo folders;                 // read once, at program start
//     folders.Desktop                       // "c:\home\alice\Desktop", or "" when there is none

#include <string>

namespace vlm {

// The location codes of the shell folders, in the order of the fields of TWindowsInfo;
// `FullPath` means that a link name is a whole path already.
enum class ShellFolderKind : unsigned char {
    FullPath = 0,
    Desktop = 1,
    Favorites = 2,
    Fonts = 3,
    NetHood = 4,
    Personal = 5,
    Programs = 6,
    Recent = 7,
    SendTo = 8,
    StartMenu = 9,
    Startup = 10,
    Templates = 11,
};

class TWindowsInfo {
public:
    // Reads the folders of the current user (drive paths).
    TWindowsInfo();

    // The folder of a location code 1 to 11; empty for any other code and for a folder the host
    // has none of.
    const std::string& FolderOf(ShellFolderKind kind) const;

    // One field per shell folder, in the order of the location codes.
    std::string Desktop;
    std::string Favorites;
    std::string Fonts;
    std::string NetHood;
    std::string Personal;
    std::string Programs;
    std::string Recent;
    std::string SendTo;
    std::string StartMenu;
    std::string Startup;
    std::string Templates;
};

}  // namespace vlm
