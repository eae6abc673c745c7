// A plain Qt Widgets window, a QLabel, for the start-up benchmark to set the program's first
// paint beside: it prints the same trace line as parvane with PARVANE_TRACE_STARTUP set.

#include "app/first_paint_trace.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Parvane 4.0"));
    label.setWindowTitle(QStringLiteral("plain window"));
    label.resize(338, 561); // the program's window size
    parvane::FirstPaintTrace trace;
    label.installEventFilter(&trace);
    label.show();
    return QApplication::exec();
}
