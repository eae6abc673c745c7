#pragma once

namespace parvane {

// A window timer that a handler switches on and off.
class Timer {
public:
    virtual ~Timer() = default;

    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

} // namespace parvane
