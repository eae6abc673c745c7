#include "platform/qt/deferred_player.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <stdexcept>

using namespace parvane;
using namespace parvane::testing;

namespace {

bool libraryLoaded(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

} // namespace

// The player as the program loads it: a plugin, after the window's first paint.
class PluginsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thePlayerLoadsAfterTheFirstPaintAndPlays();
    void aPlayerThatCannotBeLoadedLeavesATextAndRefusesFiles();
};

void PluginsTest::thePlayerLoadsAfterTheFirstPaintAndPlays() {
    TempDir dir;
    const std::string stream = dir.file("stream.vob");
    makeProgramStream(stream, 5);
    DeferredPlayer player(QStringLiteral(PARVANE_PLUGIN_DIR "/parvane-player.so"));
    player.resize(323, 243);
    QCOMPARE(player.position(), 0.0); // nothing to ask yet, and nothing loaded for it
    QVERIFY(!libraryLoaded("libmpv"));

    QSignalSpy ready(&player, &PluginHost::contentReady);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QVERIFY(ready.count() == 1 || ready.wait(10000));
    QVERIFY(libraryLoaded("libmpv"));

    player.setMediaFileName(stream);
    player.play();
    QTRY_VERIFY_WITH_TIMEOUT(player.duration() > 4.0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0.5, 10000);
}

void PluginsTest::aPlayerThatCannotBeLoadedLeavesATextAndRefusesFiles() {
    DeferredPlayer player(QStringLiteral(PARVANE_PLUGIN_DIR "/absent.so"));
    player.resize(323, 243);
    player.show();
    QVERIFY(QTest::qWaitForWindowExposed(&player));
    QTRY_VERIFY(!player.failure().isEmpty());
    auto* text = player.findChild<QLabel*>();
    QVERIFY(text && text->isVisible());
    QVERIFY(text->text().startsWith(QStringLiteral("The media player could not be started.")));
    try {
        player.setMediaFileName("/any.vob");
        QFAIL("a file was taken without a player");
    } catch (const std::runtime_error& error) {
        QVERIFY(
            QString::fromUtf8(error.what()).startsWith(QStringLiteral("Cannot play this file")));
    }
    player.endPlayback();
    QCOMPARE(player.position(), 0.0);
}

QTEST_MAIN(PluginsTest)
#include "plugins_test.moc"
