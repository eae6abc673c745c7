#pragma once

#include "platform/event_pump.h"

namespace parvane {

// Runs pending window events from inside a long handler.
class QtEventPump : public EventPump {
public:
    bool processPendingEvents() override;
    // The program is ending: the running handler should stop at its next pass.
    void endProgram() { ending_ = true; }

private:
    bool ending_ = false;
};

} // namespace parvane
