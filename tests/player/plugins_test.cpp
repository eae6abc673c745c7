#include "platform/qt/deferred_player.h"
#include "platform/qt/deferred_web_pane.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMimeData>
#include <QOpenGLContext>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

#include <fstream>
#include <optional>

using namespace parvane;
using namespace parvane::testing;

namespace {

bool libraryLoaded(const char* name) {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(name);
}

// A window that takes dropped files, as the program's does.
class DropTarget : public QWidget {
public:
    QList<QUrl> dropped;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override {
        if (event->mimeData()->hasUrls())
            event->acceptProposedAction();
    }
    void dropEvent(QDropEvent* event) override {
        dropped = event->mimeData()->urls();
        event->acceptProposedAction();
    }
};

// The X window that the window's first paint went to, and the kind of surface it had then.
class FirstPaint : public QObject {
public:
    WId window = 0;
    std::optional<QSurface::SurfaceType> surface;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !surface) {
            auto* widget = static_cast<QWidget*>(watched);
            window = widget->winId();
            surface = widget->windowHandle()->surfaceType();
        }
        return false;
    }
};

} // namespace

// The player and the web pane as the program loads them: plugins, after the window's first
// paint.
class PluginsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void thePlayerLoadsAfterTheFirstPaintAndPlays();
    void aPlayerThatCannotBeLoadedLeavesATextAndRefusesFiles();
    // Before the web engine is first loaded, which it must not be here.
    void noSharedMemoryFolderLeavesTheWebEngineUnloadedAndATextInItsPlace();
    // Made GL, a window is painted a few hundred milliseconds later; made raster and given GL
    // content, it is destroyed and mapped anew.
    void theWindowIsPaintedRasterAndKeptWhenThePlayerAndThePageArrive();
    void filesDroppedOnTheWebPageGoToTheWindow();
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

void PluginsTest::theWindowIsPaintedRasterAndKeptWhenThePlayerAndThePageArrive() {
    TempDir dir;
    const std::string stream = dir.file("stream.vob");
    makeProgramStream(stream, 5);
    // Loaded from a plugin, the engine warns when no GL context is there to share with it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("initialized from a plugin")));
    QWidget window;
    window.resize(323, 343);
    auto* player =
        new DeferredPlayer(QStringLiteral(PARVANE_PLUGIN_DIR "/parvane-player.so"), &window);
    player->setGeometry(0, 0, 323, 243);
    auto* pane = new DeferredWebPane(QStringLiteral(PARVANE_PLUGIN_DIR "/parvane-web.so"), &window);
    pane->setGeometry(0, 243, 323, 100);
    pane->navigate("about:blank");
    FirstPaint firstPaint;
    window.installEventFilter(&firstPaint);
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(player->content() && pane->content(), 10000);
    QVERIFY(firstPaint.surface);
    QCOMPARE(*firstPaint.surface, QSurface::RasterSurface);
    QVERIFY(QOpenGLContext::globalShareContext());

    player->setMediaFileName(stream);
    player->play();
    QTRY_VERIFY_WITH_TIMEOUT(player->position() > 0.5, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!pane->content()->findChildren<QWidget*>().isEmpty(), 10000);
    QCOMPARE(window.winId(), firstPaint.window);
    QCOMPARE(window.windowHandle()->surfaceType(), QSurface::RasterSurface);
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
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, player.setMediaFileName("/any.vob"));
    player.endPlayback();
    QCOMPARE(player.position(), 0.0);
}

// The engine would end the whole program where it cannot keep its shared memory.
void PluginsTest::noSharedMemoryFolderLeavesTheWebEngineUnloadedAndATextInItsPlace() {
    TempDir dir;
    std::ofstream(dir.file("plain-file")) << "not a folder";
    for (const char* name : {"absent", "plain-file"}) {
        const QString folder = QString::fromStdString(dir.file(name));
        const QString why = folder + " cannot hold the web engine's shared memory: ";
        // On the terminal as well as in the pane.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(
                                               "The page cannot be shown. " + why)));
        DeferredWebPane pane(QStringLiteral(PARVANE_PLUGIN_DIR "/parvane-web.so"), nullptr, folder);
        pane.resize(320, 80);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        QTRY_VERIFY(!pane.failure().isEmpty());
        QVERIFY(!pane.content());
        auto* text = pane.findChild<QLabel*>();
        QVERIFY(text && text->isVisible());
        QVERIFY2(text->text().startsWith("The page cannot be shown.\n" + why),
                 qPrintable(text->text()));
        QVERIFY(!libraryLoaded("libQt6WebEngineCore"));
    }
}

void PluginsTest::filesDroppedOnTheWebPageGoToTheWindow() {
    DropTarget window;
    window.setAcceptDrops(true);
    auto* pane = new DeferredWebPane(QStringLiteral(PARVANE_PLUGIN_DIR "/parvane-web.so"), &window);
    pane->setGeometry(0, 0, 320, 80);
    pane->navigate("about:blank");
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(pane->content(), 5000);
    // The page is drawn by a widget the view makes once the engine runs.
    QTRY_VERIFY_WITH_TIMEOUT(!pane->content()->findChildren<QWidget*>().isEmpty(), 10000);
    // The page has a native window of its own: the system hands the drag to it, and Qt to
    // the innermost widget under the pointer that accepts drops, within that window.
    QWindow* page = pane->content()->window()->windowHandle();
    QVERIFY(page);
    QMimeData data;
    const QUrl file = QUrl::fromLocalFile(QStringLiteral("/media/title.vob"));
    data.setUrls({file});
    const QPoint middle(160, 40);
    QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &drop);
    QCOMPARE(window.dropped, QList<QUrl>{file});
}

int main(int argc, char* argv[]) {
    // As the program does: the engine refuses to run as root with its sandbox on.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    PluginsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "plugins_test.moc"
