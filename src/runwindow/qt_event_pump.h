#pragma once
// "Let pending window messages be handled" for a run inside a window: the Cancel button and ESC
// are seen between the directory entries of a pass.

#include <chrono>

#include "engine/run_view.h"

namespace vlm {

class QtEventPump final : public EventPump {
public:
    void ProcessPendingEvents() override;

private:
    static constexpr std::chrono::milliseconds kInterval{10};
    bool handled_ = false;
    std::chrono::steady_clock::time_point lastHandled_{};
};

}  // namespace vlm
