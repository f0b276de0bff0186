#include "scheduled_notice.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vlm {

namespace {

// The environment for notify-send: a run started by cron has no session bus address, so the
// person's bus is named by its standard place when it is there.
std::vector<std::string> NoticeEnvironment() {
    std::vector<std::string> environment;
    bool hasBus = false;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.emplace_back(*entry);
        hasBus = hasBus || environment.back().rfind("DBUS_SESSION_BUS_ADDRESS=", 0) == 0;
    }
    const std::string bus = "/run/user/" + std::to_string(::getuid()) + "/bus";
    struct stat st {};
    if (!hasBus && ::stat(bus.c_str(), &st) == 0)
        environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + bus);
    return environment;
}

}  // namespace

void SendScheduledNotice(const std::string& line) {
    std::cerr << "velmora-run: " << line << '\n' << std::flush;
    std::vector<std::string> args = {"notify-send", "--urgency=critical", "--app-name=Velmora",
                                     "Velmora", line};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment = NoticeEnvironment();
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    // Its own complaints (no bus, no service) are no news: the line above said it all.
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned =
        ::posix_spawnp(&pid, "notify-send", &quiet, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0)
        return;
    // A notice is not worth a hung run: a few seconds, then it is left to itself.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (::waitpid(pid, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > limit)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace vlm
