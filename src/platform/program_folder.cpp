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

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
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

std::string ChooseProgramFolder(const ProgramFolderFacts& facts) {
    if (facts.executableFolderWritable && !facts.executableFolder.empty())
        return WithoutTrailingSlashes(facts.executableFolder);
    // The XDG rules: a relative XDG_DATA_HOME is invalid and ignored.
    if (!facts.xdgDataHome.empty() && facts.xdgDataHome[0] == '/')
        return WithoutTrailingSlashes(facts.xdgDataHome) + "/velmora";
    if (!facts.home.empty() && facts.home[0] == '/') {
        const std::string home = WithoutTrailingSlashes(facts.home);
        return (home == "/" ? std::string() : home) + "/.local/share/velmora";
    }
    return {};
}

bool ProgramMayWriteFolder(const std::string& hostFolder) {
    if (hostFolder.empty() || hostFolder[0] != '/')
        return false;
    if (HostPath(hostFolder).IsAtOrBelow(HostPath("/usr")))
        return false;
    struct stat st {};
    if (::stat(hostFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    if (IsReadOnlyMode(st.st_mode))
        return false;
    // The host's own answer: other users' folders, read-only mounts.
    return ::access(hostFolder.c_str(), W_OK) == 0;
}

ProgramFolderFacts CurrentProgramFolderFacts() {
    ProgramFolderFacts facts;
    const HostPath program = ProgramFileHostPath();
    if (!program.empty())
        facts.executableFolder = program.Parent().Text();
    facts.executableFolderWritable = ProgramMayWriteFolder(facts.executableFolder);
    facts.xdgDataHome = EnvironmentValue("XDG_DATA_HOME");
    facts.home = HomeFromEnvironment();
    return facts;
}

std::string ResolveProgramFolder(std::string* error) {
    const std::string folder = ChooseProgramFolder(CurrentProgramFolderFacts());
    if (folder.empty()) {
        if (error != nullptr)
            *error = "no folder for the program's files: HOME is not set";
        return {};
    }
    std::error_code failure;
    std::filesystem::create_directories(folder, failure);
    if (failure) {
        if (error != nullptr)
            *error = "cannot create the program's folder " + folder + ": " + failure.message();
        return {};
    }
    return folder;
}

std::string InstalledDocFolder(const std::string& executableFolder) {
    const std::filesystem::path bin(WithoutTrailingSlashes(executableFolder));
    return (bin.parent_path() / "share" / "doc" / "velmora").string();
}

}  // namespace vlm
