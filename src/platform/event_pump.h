#pragma once

namespace parvane {

// Lets pending window events run inside a long handler.
class EventPump {
public:
    virtual ~EventPump() = default;

    // Returns false once the program is ending, so the caller can stop and clean up.
    virtual bool processPendingEvents() = 0;
};

} // namespace parvane
