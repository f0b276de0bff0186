#include "platform/platform_error.h"

#include <cstring>

namespace vlm {

std::string PlatformErrorText(int code) {
    char buffer[256];
    return strerror_r(code, buffer, sizeof buffer);
}

}  // namespace vlm
