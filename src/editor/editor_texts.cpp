#include "editor/editor_texts.h"

#include <optional>

#include "platform/path_translation.h"
#include "util/text_helpers.h"

namespace vlm {

std::string AsDrivePath(const std::string& text) {
    if (!LooksLikeHostPath(text))
        return text;
    std::string host = text;
    while (host.size() > 1 && host.back() == '/')
        host.pop_back();
    std::optional<std::string> drivePath = ToDrivePath(host);
    // The same form as the browse pane gives: a drive root as "e:", a folder without a
    // trailing backslash.
    return drivePath ? StripTrailingBackslash(*drivePath) : text;
}

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace vlm
