#include "platform/platform_error.h"

#include <cstring>

namespace vlm {

namespace {
thread_local PlatformError gLastError;
}

const PlatformError& LastPlatformError() {
    return gLastError;
}

void SetLastPlatformError(int code) {
    gLastError.code = code;
    if (code == 0) {
        gLastError.text.clear();
        return;
    }
    gLastError.text = PlatformErrorText(code);
}

std::string PlatformErrorText(int code) {
    char buffer[256];
    return strerror_r(code, buffer, sizeof buffer);
}

}  // namespace vlm
