#include "support/runner_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/temp_drives.h"

extern char** environ;

namespace vlm::test {

std::string BuiltRunner() {
    return std::string(VELMORA_BUILD_DIR) + "/velmora-run";
}

pid_t StartProgram(const std::vector<std::string>& args, const ProgramOutput& to,
                   const std::vector<std::string>* environment) {
    const auto pointers = [](const std::vector<std::string>& texts) {
        std::vector<char*> result;
        for (const std::string& text : texts)
            result.push_back(const_cast<char*>(text.c_str()));
        result.push_back(nullptr);
        return result;
    };
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = environment ? pointers(*environment) : std::vector<char*>();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC;
    posix_spawn_file_actions_addopen(&actions, 1, to.output.c_str(), kFlags, 0644);
    if (to.errors.empty())
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, to.errors.c_str(), kFlags, 0644);
    pid_t pid = -1;
    const int error = posix_spawnp(&pid, args[0].c_str(), &actions, nullptr, argv.data(),
                                   environment ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << "cannot start " << args[0];
    return error == 0 ? pid : -1;
}

pid_t StartRunner(std::vector<std::string> args, const ProgramOutput& to) {
    args.insert(args.begin(), BuiltRunner());
    return StartProgram(args, to);
}

namespace {

// True when `pid` ended within `limitSeconds`, with its status in `status`; a hang is killed.
bool EndedWithin(pid_t pid, int limitSeconds, int& status) {
    for (int tenths = 0; tenths < limitSeconds * 10; ++tenths) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return true;
        usleep(100000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return false;
}

}  // namespace

int WaitForExit(pid_t pid, int limitSeconds) {
    int status = 0;
    if (pid < 0)
        return -1;
    if (limitSeconds > 0 ? !EndedWithin(pid, limitSeconds, status)
                         : waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int RunRunner(std::vector<std::string> args, const ProgramOutput& to) {
    return WaitForExit(StartRunner(std::move(args), to));
}

void WriteDrivesIni(const std::string& programFolder, const TempDrives& drives,
                    std::string_view letters,
                    const std::vector<std::pair<char, std::string>>& pins) {
    std::string text = "[Drives]\r\n";
    for (const char letter : letters)
        text += std::string(1, letter) + "=" + drives.HostRoot(letter) + "\r\n";
    for (const auto& [letter, folder] : pins)
        text += std::string(1, letter) + "=" + folder + "\r\n";
    WriteFile(programFolder + "/drives.ini", text);
    drives.WriteSourcesInto(programFolder);
}

}  // namespace vlm::test
