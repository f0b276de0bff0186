#pragma once
// No exception may cross the window system's message loop: every handler that can reach file
// input or output runs through Guarded, and an error that escapes it is shown in a box instead.

#include <exception>
#include <utility>

#include "util/message_boxes.h"

namespace vlm {

template <typename Handler>
void Guarded(Handler&& handler) {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        ShowErrorBox(error.what());
    } catch (...) {
        ShowErrorBox("The command ended because of an unexpected error.");
    }
}

}  // namespace vlm
