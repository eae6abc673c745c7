#pragma once

#include <QObject>

class QSocketNotifier;

namespace parvane {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread. The handler only
// writes a byte to a pipe; a socket notifier reads it in the event loop, also while a
// save lets events run. One instance at a time; it restores the default handlers when
// it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

Q_SIGNALS:
    void received(int signalNumber);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace parvane
