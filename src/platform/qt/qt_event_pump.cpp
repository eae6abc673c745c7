#include "qt_event_pump.h"

#include <QCoreApplication>

namespace parvane {

bool QtEventPump::processPendingEvents() {
    if (!ending_)
        QCoreApplication::processEvents();
    return !ending_;
}

} // namespace parvane
