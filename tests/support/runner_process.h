#pragma once
// Test support: the built programs started as a script or a person starts them, over a program
// folder with its own drives.ini.
//
//   vlm::test::WriteDrivesIni(programFolder, drives, "ce", {{'l', programFolder}});
//   const int exitCode = vlm::test::RunRunner({project, "--program-folder", programFolder});

#include <sys/types.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vlm::test {

class TempDrives;

// The velmora-run of this build.
std::string BuiltRunner();

// Where a started program's standard output and standard error go.
struct ProgramOutput {
    std::string output = "/dev/null";
    std::string errors = "/dev/null";  // empty: into `output`, after it
};

// Starts `args` (the program first, looked up in PATH when it has no slash) with this process's
// environment, or with exactly `environment` when one is given. Fails the test when it cannot.
pid_t StartProgram(const std::vector<std::string>& args, const ProgramOutput& to = {},
                   const std::vector<std::string>* environment = nullptr);
// The built runner with `args`.
pid_t StartRunner(std::vector<std::string> args, const ProgramOutput& to = {});
// The exit code; -1 when the program did not exit by itself or, with a limit, was still running
// after `limitSeconds` (it is killed then).
int WaitForExit(pid_t pid, int limitSeconds = 0);
// The built runner with `args`, to its end.
int RunRunner(std::vector<std::string> args, const ProgramOutput& to = {});

// drives.ini in `programFolder`: each letter of `letters` pinned to its folder in `drives`, then
// each of `pins`.
void WriteDrivesIni(const std::string& programFolder, const TempDrives& drives,
                    std::string_view letters,
                    const std::vector<std::pair<char, std::string>>& pins = {});

}  // namespace vlm::test
