#pragma once
// Texts the application's commands share: numbers the person types into input boxes, and the
// wording of a file error shown in a box.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_result.h"

namespace vlm {

// An integer typed by the person: decimal with an optional sign, blanks around it allowed,
// within the 32-bit signed range. Anything else is no integer.
std::optional<std::int32_t> ParseIntegerAnswer(std::string_view text);

// "Cannot <verb> file "<path>". <the host's reason for `error`>".
std::string FileErrorText(std::string_view verb, std::string_view path, const FileError& error);

// `name` in the folder `folder`, with one separator (a drive root already ends with one).
std::string FileInFolder(std::string_view folder, std::string_view name);

}  // namespace vlm
