#pragma once
// The program's entry: start-up, the command line, and the message loop.

#include <string>

namespace vlm {

// Runs the program with the process's arguments; returns its exit code.
int RunVelmora(int argc, char** argv);

}  // namespace vlm
