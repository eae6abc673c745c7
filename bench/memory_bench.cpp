// Opens a DVD stream again and again in the main window with the real player, and prints
// the resident memory after each open has loaded and played a little. Run by bench/memory.

#include "platform/posix/heap_arenas.h"
#include "platform/qt/mpv_player.h"
#include "support/media.h"
#include "support/temp_dir.h"
#include "ui/window_fixture.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace parvane;
using namespace parvane::testing;

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmRSS:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    // As the program does, before any thread starts; PARVANE_UNBOUNDED_ARENAS=1 measures
    // what glibc does by itself.
    if (!std::getenv("PARVANE_UNBOUNDED_ARENAS"))
        boundHeapArenas();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int opens = argc > 1 ? std::atoi(argv[1]) : 30;
    TempDir dir;
    const std::string stream = dir.file("title.vob");
    makeProgramStream(stream, 60);

    auto* player = new MpvPlayer(nullptr, MpvPlayer::Options{"null"});
    WindowWithFakes fixture(player, player);
    MainWindow& window = *fixture.window;
    FakeDialog& dialog = fixture.dialog;
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;

    long first = 0;
    long last = 0;
    for (int open = 1; open <= opens; ++open) {
        dialog.answers.push_back(stream);
        QTest::mouseClick(window.findChild<QPushButton*>("Command4"), Qt::LeftButton);
        // Play a few seconds of it from a new place each time, as a user marking a clip would.
        const double seekTo = 5.0 + open % 40;
        if (!QTest::qWaitFor([&] { return player->isLoaded() && player->position() > 1.0; }, 10000))
            return 1;
        player->setPosition(seekTo);
        if (!QTest::qWaitFor([&] { return player->position() > seekTo + 3.0; }, 10000))
            return 1;
        last = residentKiB();
        if (open == 1)
            first = last;
        std::printf("open %2d: %ld MiB\n", open, last / 1024);
        std::fflush(stdout);
    }
    std::printf("resident memory: first open %ld MiB, after %d opens %ld MiB (+%ld MiB)\n",
                first / 1024, opens, last / 1024, (last - first) / 1024);
    return 0;
}
