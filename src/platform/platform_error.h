#pragma once
// The host's words for an error number.

#include <string>

namespace vlm {

// The host's text for an errno value, e.g. "No space left on device".
std::string PlatformErrorText(int code);

}  // namespace vlm
