#include "app/app_text.h"

#include "util/text_helpers.h"

namespace vlm {

std::optional<std::int32_t> ParseIntegerAnswer(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return ParseDecimalInt32(text);
}

std::string FileErrorText(std::string_view verb, std::string_view path, const FileError& error) {
    std::string text = "Cannot " + std::string(verb) + " file \"" + std::string(path) + "\".";
    const std::string reason = error.Text();
    if (!reason.empty())
        text += " " + reason;
    return text;
}

std::string FileInFolder(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    path += name;
    return path;
}

}  // namespace vlm
