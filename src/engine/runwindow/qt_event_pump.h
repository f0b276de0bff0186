#pragma once
// "Let pending window messages be handled" for a run inside a window: the Cancel button and ESC
// are seen between the directory entries of a pass.

#include "engine/run_view.h"

namespace vlm {

class QtEventPump final : public EventPump {
public:
    void ProcessPendingEvents() override;
};

}  // namespace vlm
