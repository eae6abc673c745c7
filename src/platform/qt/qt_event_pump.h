#pragma once

#include "platform/event_pump.h"

#include <QElapsedTimer>

namespace parvane {

// Runs pending window events from inside a long handler. A full pass costs a few
// microseconds, so passes closer than a millisecond apart are skipped: events then wait
// at most about a millisecond, which no one can see.
class QtEventPump : public EventPump {
public:
    QtEventPump();

    bool processPendingEvents() override;
    // The program is ending: the running handler should stop at its next pass.
    void endProgram() { ending_ = true; }

private:
    QElapsedTimer sinceLastPass_;
    bool ending_ = false;
};

} // namespace parvane
