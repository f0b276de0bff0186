#pragma once
// The reason of the last failed platform call on this thread, like GetLastError.

#include <string>

namespace vlm {

struct PlatformError {
    int code = 0;      // errno value; 0 when the last call succeeded
    std::string text;  // the host's text for it, e.g. "No space left on device"
};

const PlatformError& LastPlatformError();
void SetLastPlatformError(int code);  // used by the platform layer itself
// The host's text for an errno value.
std::string PlatformErrorText(int code);

}  // namespace vlm
