#pragma once
// The program's entry: start-up, the command line, and the message loop.

#include <string>

namespace vlm {

// Runs the program with the process's arguments; returns its exit code.
int RunVelmora(int argc, char** argv);

// The program's folder as a drive path: the folder of `programFilePath` without a trailing
// backslash, except on a drive root ("c:\").
std::string ProgramFolderOf(const std::string& programFilePath);

}  // namespace vlm
