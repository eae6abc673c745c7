// Parvane: cuts a clip out of a DVD video object file without re-encoding it.

#include "platform/posix/posix_file_system.h"
#include "platform/qt/desktop_launcher.h"
#include "platform/qt/mpv_player.h"
#include "platform/qt/web_engine_pane.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include <unistd.h>

namespace {

bool haveDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    if (!haveDisplay()) {
        std::fprintf(stderr, "parvane: no display found (DISPLAY is not set). Start Parvane "
                             "from a desktop session.\n");
        return 2;
    }
    // The web engine refuses to run as root with its sandbox on; other users keep it.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Parvane"));
    QApplication::setApplicationVersion(QStringLiteral("1.00"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/parvane.png")));
    // Qt has just set the locale from the environment; mpv needs C number formats.
    std::setlocale(LC_NUMERIC, "C");

    try {
        parvane::PosixFileSystem files;
        parvane::DesktopLauncher launcher;
        auto* player = new parvane::MpvPlayer();
        auto* web = new parvane::WebEnginePane();
        parvane::MainWindow window({.playerWidget = player,
                                    .player = player,
                                    .webWidget = web,
                                    .web = web,
                                    .files = &files,
                                    .launcher = &launcher});
        window.setWindowIcon(QIcon(QStringLiteral(":/parvane.png")));
        QObject::connect(&window, &parvane::MainWindow::programEnding, &app,
                         [] { QCoreApplication::exit(0); });
        window.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QStringLiteral("Parvane 4.0"),
                              QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
