#include "platform/program_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/host_calls.h"
#include "platform/paths.h"
#include "platform/shell.h"

namespace vlm {

namespace {

// An environment value naming a folder: absolute, read as the host reads it ("a/../b" is "b");
// empty for anything else.
HostPath FolderFromEnvironment(const std::string& value) {
    if (value.empty() || value[0] != '/')
        return {};
    return HostPath(std::filesystem::path(value).lexically_normal().string());
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::string HomeFromEnvironment() {
    std::string home = EnvironmentValue("HOME");
    if (!home.empty() && home[0] == '/')
        return home;
    if (const struct passwd* entry = ::getpwuid(::getuid()); entry != nullptr)
        return entry->pw_dir;
    return {};
}

}  // namespace

HostPath ChooseProgramFolder(const ProgramFolderFacts& facts) {
    if (facts.executableFolderWritable && !facts.executableFolder.empty())
        return facts.executableFolder;
    // The XDG rules: a relative XDG_DATA_HOME is invalid and ignored.
    if (const HostPath data = FolderFromEnvironment(facts.xdgDataHome); !data.empty())
        return data / "velmora";
    if (const HostPath home = FolderFromEnvironment(facts.home); !home.empty())
        return home / ".local/share/velmora";
    return {};
}

bool ProgramMayWriteFolder(const HostPath& hostFolder) {
    if (hostFolder.empty() || hostFolder.IsAtOrBelow(HostPath("/usr")))
        return false;
    struct stat st {};
    if (::stat(hostFolder.Text().c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (IsReadOnlyMode(st.st_mode))
        return false;
    // The host's own answer: other users' folders, read-only mounts.
    return ::access(hostFolder.Text().c_str(), W_OK) == 0;
}

ProgramFolderFacts CurrentProgramFolderFacts() {
    ProgramFolderFacts facts;
    const HostPath program = ProgramFileHostPath();
    if (!program.empty())
        facts.executableFolder = program.Parent();
    facts.executableFolderWritable = ProgramMayWriteFolder(facts.executableFolder);
    facts.xdgDataHome = EnvironmentValue("XDG_DATA_HOME");
    facts.home = HomeFromEnvironment();
    return facts;
}

HostPath ResolveProgramFolder(std::string* error) {
    const HostPath folder = ChooseProgramFolder(CurrentProgramFolderFacts());
    if (folder.empty()) {
        if (error != nullptr)
            *error = "no folder for the program's files: HOME is not set";
        return {};
    }
    std::error_code failure;
    std::filesystem::create_directories(folder.Text(), failure);
    if (failure) {
        if (error != nullptr)
            *error =
                "cannot create the program's folder " + folder.Text() + ": " + failure.message();
        return {};
    }
    return folder;
}

HostPath InstalledDocFolder(const HostPath& executableFolder) {
    return executableFolder.Parent() / "share/doc/velmora";
}

std::optional<HostPath> ChosenProgramFolder(std::string_view argument, std::string& error) {
    const std::string folder = std::filesystem::absolute(argument).lexically_normal().string();
    std::error_code failure;
    std::optional<HostPath> path = HostPath::Parse(folder);
    if (!path || !std::filesystem::is_directory(folder, failure)) {
        error = "the program folder " + folder + " does not exist";
        return std::nullopt;
    }
    return path;
}

}  // namespace vlm
