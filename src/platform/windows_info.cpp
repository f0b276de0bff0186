#include "platform/windows_info.h"

#include "platform/desktop_entry.h"
#include "platform/shell.h"

namespace vlm {

TWindowsInfo::TWindowsInfo()
    : Desktop(SpecialFolderPath(SpecialFolder::Desktop).Text()),
      Personal(SpecialFolderPath(SpecialFolder::Personal).Text()) {}

const std::string& TWindowsInfo::FolderOf(ShellFolderKind kind) const {
    static const std::string none;
    switch (kind) {
        case ShellFolderKind::Desktop:
            return Desktop;
        case ShellFolderKind::Favorites:
            return Favorites;
        case ShellFolderKind::Fonts:
            return Fonts;
        case ShellFolderKind::NetHood:
            return NetHood;
        case ShellFolderKind::Personal:
            return Personal;
        case ShellFolderKind::Programs:
            return Programs;
        case ShellFolderKind::Recent:
            return Recent;
        case ShellFolderKind::SendTo:
            return SendTo;
        case ShellFolderKind::StartMenu:
            return StartMenu;
        case ShellFolderKind::Startup:
            return Startup;
        case ShellFolderKind::Templates:
            return Templates;
        case ShellFolderKind::FullPath:
            break;
    }
    return none;
}

}  // namespace vlm
