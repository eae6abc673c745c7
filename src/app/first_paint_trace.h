#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

#include <chrono>
#include <cstdio>

namespace parvane {

// Prints the wall-clock time of a window's first paint and its X window id, for the start-up
// benchmark; again for any native window that replaces it, so a benchmark can tell the
// paint of the window that stays.
class FirstPaintTrace : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WinIdChange) {
            painted_ = false;
        } else if (event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            std::fprintf(stderr, "parvane: first paint %lld window %llu\n",
                         static_cast<long long>(
                             std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
                         static_cast<unsigned long long>(static_cast<QWidget*>(watched)->winId()));
        }
        return false;
    }

private:
    bool painted_ = false;
};

} // namespace parvane
