#include "platform/qt/web_engine_pane.h"

#include <QApplication>
#include <QTest>
#include <QWebEngineView>

using namespace parvane;

// The real web engine: it starts after the first paint and leaves dropped files to the window.
class WebPaneTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void filesDroppedOnThePageGoToTheWindow();
};

void WebPaneTest::filesDroppedOnThePageGoToTheWindow() {
    QWidget window;
    window.setAcceptDrops(true);
    auto* pane = new WebEnginePane(&window);
    pane->setGeometry(0, 0, 320, 80);
    pane->navigate("about:blank");
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(pane->view(), 5000);
    // The page is drawn by a widget the view makes once the engine runs.
    QTRY_VERIFY_WITH_TIMEOUT(!pane->view()->findChildren<QWidget*>().isEmpty(), 10000);
    // Qt hands a drop to the innermost widget under the pointer that accepts drops.
    const QPoint middle(160, 40);
    QVERIFY(window.childAt(middle));
    QCOMPARE(window.childAt(middle)->parentWidget(), pane->view());
    for (QWidget* at = window.childAt(middle); at != &window; at = at->parentWidget())
        QVERIFY2(!at->acceptDrops(), at->metaObject()->className());
}

int main(int argc, char* argv[]) {
    // As the program does: the engine refuses to run as root with its sandbox on.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    WebPaneTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "web_pane_test.moc"
