#pragma once
// Opening a document or web address with the program the desktop associates with it.

#include <string>

namespace vlm {

// Opens `target` (a drive path or web address) with its associated program. When that fails,
// one error box "Unable to open <what>: <cause>", the cause as the host gave it (no program to
// open it with, ...), so a good file is never made to look unreadable. False on failure.
bool OpenWithItsProgram(const std::string& target, const std::string& what);

}  // namespace vlm
