#pragma once
// Reading a text line by line: the program's own files, the desktop's files and command output
// all end their lines with "\n" or "\r\n".

#include <string_view>
#include <vector>

namespace vlm {

// The lines of a text, without their line ends ("\r\n" or "\n"); a final line end opens no
// further line.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace vlm
