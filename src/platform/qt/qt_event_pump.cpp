#include "qt_event_pump.h"

#include <QCoreApplication>

namespace parvane {

namespace {
constexpr qint64 kMinimumPassGapNs = 1'000'000;
}

QtEventPump::QtEventPump() {
    sinceLastPass_.start();
}

bool QtEventPump::processPendingEvents() {
    if (!ending_ && sinceLastPass_.nsecsElapsed() >= kMinimumPassGapNs) {
        QCoreApplication::processEvents();
        sinceLastPass_.restart();
    }
    return !ending_;
}

} // namespace parvane
