#include "app/open_with_program.h"

#include "platform/shell.h"
#include "util/message_boxes.h"

namespace vlm {

bool OpenWithItsProgram(const std::string& target, const std::string& what) {
    const ShellOpenResult result = ShellOpen(target);
    if (!result) {
        ShowErrorBox("Unable to open " + what + ": " + ShellOpenFailureText(result));
    }
    return result.Succeeded();
}

}  // namespace vlm
