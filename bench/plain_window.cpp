// A plain Qt Widgets window, a QLabel, for the start-up benchmark to set the program's first
// paint beside: it prints the same trace line as parvane with PARVANE_TRACE_STARTUP set.

#include <QApplication>
#include <QLabel>

#include <chrono>
#include <cstdio>

namespace {

class FirstPaintTrace : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_) {
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

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Parvane 4.0"));
    label.setWindowTitle(QStringLiteral("plain window"));
    label.resize(338, 561); // the program's window size
    FirstPaintTrace trace;
    label.installEventFilter(&trace);
    label.show();
    return QApplication::exec();
}
