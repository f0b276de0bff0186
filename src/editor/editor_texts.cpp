#include "editor/editor_texts.h"

#include <optional>

#include "platform/path_translation.h"
#include "util/text_helpers.h"

namespace vlm {

std::string AsDrivePath(const std::string& text) {
    if (!LooksLikeHostPath(text))
        return text;
    const std::optional<DrivePath> drivePath = DrivePathFromArgument(text, HostPath());
    // The same form as the browse pane gives: a drive root as "e:", a folder without a
    // trailing backslash.
    return drivePath ? StripTrailingBackslash(drivePath->Text()) : text;
}

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace vlm
