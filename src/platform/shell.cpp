#include "platform/shell.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/host_calls.h"
#include "platform/path_translation.h"
#include "platform/text_lines.h"

extern char** environ;

namespace vlm {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        return home;
    }
    if (const struct passwd* entry = ::getpwuid(::getuid()); entry != nullptr) {
        return entry->pw_dir;
    }
    return {};
}

bool IsDirectory(const std::string& host) {
    struct stat st {};
    return !host.empty() && ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string UserDirsFile() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME");
        config != nullptr && config[0] == '/') {
        return std::string(config) + "/user-dirs.dirs";
    }
    return HomeFolder() + "/.config/user-dirs.dirs";
}

// The value of `key` in user-dirs.dirs: KEY="$HOME/Folder" or KEY="/abs/folder", with
// backslash escapes as a shell would read them.
std::optional<std::string> UserDir(const std::string& key) {
    const FileResult<std::string> text = host::ReadWholeHostFile(HostPath(UserDirsFile()));
    if (!text) {
        return std::nullopt;
    }
    for (const std::string_view line : SplitLines(*text)) {
        if (line.substr(0, key.size() + 1) != key + "=") {
            continue;
        }
        std::string_view quoted = line.substr(key.size() + 1);
        if (quoted.size() < 2 || quoted.front() != '"') {
            continue;
        }
        std::string value;
        for (std::size_t i = 1; i < quoted.size() && quoted[i] != '"'; ++i) {
            if (quoted[i] == '\\' && i + 1 < quoted.size()) {
                ++i;
            }
            value += quoted[i];
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = HomeFolder() + value.substr(5);
        }
        while (value.size() > 1 && value.back() == '/') {
            value.pop_back();
        }
        if (value.empty() || value[0] != '/') {
            continue;
        }
        return value;
    }
    return std::nullopt;
}

std::string SpecialFolderHostPath(SpecialFolder folder) {
    const std::string home = HomeFolder();
    switch (folder) {
        case SpecialFolder::Home:
            return IsDirectory(home) ? home : std::string();
        case SpecialFolder::Personal:
            if (std::optional<std::string> dir = UserDir("XDG_DOCUMENTS_DIR");
                dir && IsDirectory(*dir)) {
                return *dir;
            }
            return IsDirectory(home + "/Documents") ? home + "/Documents" : std::string();
        case SpecialFolder::Desktop:
            if (std::optional<std::string> dir = UserDir("XDG_DESKTOP_DIR");
                dir && IsDirectory(*dir)) {
                return *dir;
            }
            return IsDirectory(home + "/Desktop") ? home + "/Desktop" : std::string();
    }
    return {};
}

// How long ShellOpen waits for xdg-open's verdict. Its own checks take a few milliseconds to a
// few hundred; an opener that is still running after this has started the program.
constexpr std::chrono::milliseconds kOpenerVerdictWait{1500};

// The exit status of `child` when it ends within `limit`; nullopt while it still runs.
std::optional<int> WaitForExit(pid_t child, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return status;
        }
        if (done < 0 && errno != EINTR) {
            return 0;  // already reaped elsewhere: nothing is known against it
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

HostPath ProgramFileHostPath() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    return HostPath(std::string_view(buffer, static_cast<std::size_t>(length)));
}

DrivePath ProgramFilePath() {
    return ToDrivePath(ProgramFileHostPath()).value_or(DrivePath());
}

DrivePath SpecialFolderPath(SpecialFolder folder) {
    const std::string host = SpecialFolderHostPath(folder);
    if (host.empty()) {
        return {};
    }
    return ToDrivePath(HostPath(host)).value_or(DrivePath());
}

ShellOpenResult ShellOpen(std::string_view target) {
    ShellOpenResult result;
    std::string argument;
    if (target.find("://") != std::string_view::npos || target.rfind("mailto:", 0) == 0) {
        argument = std::string(target);
    } else if (std::optional<std::string> host = ToHostPath(target)) {
        argument = *host;
    } else {
        result.refused = true;
        return result;
    }
    // A target that starts with '-' would be taken for an option of xdg-open.
    if (!argument.empty() && argument[0] == '-') {
        result.refused = true;
        return result;
    }

    char program[] = "xdg-open";
    char* argv[] = {program, argument.data(), nullptr};
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, program, nullptr, nullptr, argv, environ);
    if (spawned != 0) {
        result.startError = spawned;
        return result;
    }
    if (std::optional<int> status = WaitForExit(child, kOpenerVerdictWait)) {
        if (WIFEXITED(*status)) {
            result.exitStatus = WEXITSTATUS(*status);
        } else if (WIFSIGNALED(*status)) {
            result.signal = WTERMSIG(*status);
        }
    } else {
        // Still running: the opener runs on by itself; a detached waiter reaps it so no zombie
        // is left.
        std::thread([child]() {
            int ignored = 0;
            while (::waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    }
    return result;
}

std::string ShellOpenFailureText(const ShellOpenResult& result) {
    if (result.refused) {
        return "it is not on any drive";
    }
    if (result.startError == ENOENT) {
        return "there is no program to open it with (xdg-open is not installed)";
    }
    if (result.startError != 0) {
        return "xdg-open could not be started (" + std::string(std::strerror(result.startError)) +
               ")";
    }
    if (result.signal != 0) {
        return "xdg-open was ended by signal " + std::to_string(result.signal);
    }
    // The exit codes xdg-open documents.
    switch (result.exitStatus) {
        case 0:
            return {};
        case 1:
            return "xdg-open did not understand the request (exit status 1)";
        case 2:
            return "xdg-open did not find it (exit status 2)";
        case 3:
            return "there is no program to open it with (exit status 3 of xdg-open: a tool it "
                   "needs is not installed)";
        case 4:
            return "the program that should open it failed (exit status 4 of xdg-open)";
        default:
            return "xdg-open failed with exit status " + std::to_string(result.exitStatus);
    }
}

void SystemBeep() {
    if (::isatty(STDERR_FILENO)) {
        const ssize_t ignored = ::write(STDERR_FILENO, "\a", 1);
        (void)ignored;
    }
}

}  // namespace vlm
