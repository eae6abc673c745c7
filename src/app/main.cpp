// Parvane: cuts a clip out of a DVD video object file without re-encoding it.

#include "command_line.h"
#include "core/base/texts.h"
#include "core/build_facts.h"
#include "first_paint_trace.h"
#include "platform/avcodec/loaded_picture_codec.h"
#include "platform/posix/heap_arenas.h"
#include "platform/posix/posix_file_system.h"
#include "platform/qt/deferred_player.h"
#include "platform/qt/deferred_web_pane.h"
#include "platform/qt/desktop_link_opener.h"
#include "platform/qt/termination_signals.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Calls `then` once the window's first paint is done: a file named on the command line
// loads the player only after the window has been seen, as the plugins do.
class AfterFirstPaint : public QObject {
public:
    AfterFirstPaint(QWidget& window, std::function<void()> then)
        : QObject(&window), then_(std::move(then)) {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                then_();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> then_;
};

bool haveDisplay() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[]) {
    parvane::boundHeapArenas();
    // Before the display check, so help and usage work from any terminal.
    const parvane::CommandLine commandLine =
        parvane::parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (commandLine.action) {
    case parvane::CommandLine::Action::Help:
        std::fputs(parvane::helpText().c_str(), stdout);
        return 0;
    case parvane::CommandLine::Action::Version:
        std::printf("parvane %s\n", parvane::build::kVersion);
        return 0;
    case parvane::CommandLine::Action::Misuse:
        std::fprintf(stderr, "parvane: %s\n%s", commandLine.error.c_str(),
                     parvane::usageLine().c_str());
        return 2;
    case parvane::CommandLine::Action::Run:
        break;
    }
    if (!haveDisplay()) {
        std::fprintf(stderr, "parvane: no display found (DISPLAY is not set). Start Parvane "
                             "from a desktop session.\n");
        return 2;
    }
    // The web engine refuses to run as root with its sandbox on; other users keep it.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // Not Qt::AA_ShareOpenGLContexts: with it the application makes its shared GL context
    // (and loads the GL driver) before the window's first paint. The web pane makes it once
    // it is painted, before the web engine is loaded.

    // Qt sees no arguments: a file name must not be taken for one of its options.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Parvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(parvane::build::kVersion));
    QApplication::setWindowIcon(QIcon(QString::fromLatin1(parvane::kIconResource)));

    try {
        parvane::PosixFileSystem files;
        parvane::DesktopLinkOpener links;
        const QString plugins = QCoreApplication::applicationDirPath() + "/../lib/parvane/";
        auto* player = new parvane::DeferredPlayer(plugins + "parvane-player.so");
        auto* web = new parvane::DeferredWebPane(plugins + "parvane-web.so");
        parvane::MainWindowParts parts;
        parts.playerWidget = player;
        parts.player = player;
        parts.webWidget = web;
        parts.web = web;
        parts.files = &files;
        parts.links = &links;
        parvane::LoadedPictureCodec codec((plugins + "parvane-codec.so").toStdString());
        parts.codec = &codec;
        parvane::MainWindow window(parts);
        QObject::connect(&window, &parvane::MainWindow::programEnding, &app,
                         [] { QCoreApplication::exit(0); });
        // Asked to stop by the system or the terminal: end as closing the window does, so
        // a save in progress stops and leaves nothing behind.
        parvane::TerminationSignals termination;
        QObject::connect(&termination, &parvane::TerminationSignals::received, &window,
                         &QWidget::close);
        // With PARVANE_TRACE_STARTUP set, for the start-up benchmark.
        parvane::FirstPaintTrace trace;
        if (qEnvironmentVariableIsSet("PARVANE_TRACE_STARTUP"))
            window.installEventFilter(&trace);
        window.show();
        if (!commandLine.file.empty()) {
            // The open dialog returns absolute paths; so does this.
            const QString path = QFile::decodeName(commandLine.file.c_str());
            const std::string file = QFileInfo(path).absoluteFilePath().toStdString();
            new AfterFirstPaint(window, [&window, file] { window.openFile(file); });
        }
        return QApplication::exec();
    } catch (const std::exception& error) {
        QMessageBox::critical(nullptr, QString::fromLatin1(parvane::texts::kWindowTitle),
                              QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
