#pragma once

#include "platform/timer.h"

#include <QTimer>

namespace parvane {

class QtTimer : public Timer {
public:
    explicit QtTimer(QTimer& timer) : timer_(timer) {}

    void start() override { timer_.start(); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer& timer_;
};

} // namespace parvane
