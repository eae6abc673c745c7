#include "window_fixture.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

using namespace parvane;
using namespace parvane::testing;

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCaptionFitsItsControlInsideTheWindow();
    void loadAsksForThePromoPageAndUnderlinesTheLinks();
    void closingEndsPlaybackAndTheProgram();
    void anUnhandledErrorIsShownAndTheProgramGoesOn();
};

// The layout's sizes were made for a small face: in the window's font every caption fits its
// control, and every control but the hidden link below the client area is in the window.
void MainWindowTest::everyCaptionFitsItsControlInsideTheWindow() {
    WindowWithFakes fixture;
    QCOMPARE(fixture.window->minimumSize(), fixture.window->maximumSize());
    QVERIFY(!fixture.window->windowIcon().isNull());
    for (QWidget* widget : fixture.window->findChildren<QWidget*>()) {
        if (widget->isWindow())
            continue;
        const QString name = widget->objectName();
        if (widget->parentWidget() == fixture.window.get() && name != "Label1")
            QVERIFY2(fixture.window->rect().contains(widget->geometry().center()),
                     qPrintable(name));
        QString caption;
        int room = widget->width();
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            caption = label->text();
            QVERIFY2(QFontMetrics(label->font()).height() <= widget->height(), qPrintable(name));
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            caption = button->text();
            room -= 8; // the button's own frame
        } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            caption = box->title();
            room -= 16; // the title's inset
        }
        const int needed = QFontMetrics(widget->font()).horizontalAdvance(caption);
        QVERIFY2(
            needed <= room,
            qPrintable(QStringLiteral("%1 needs %2 px of %3").arg(name).arg(needed).arg(room)));
    }
}

void MainWindowTest::loadAsksForThePromoPageAndUnderlinesTheLinks() {
    WindowWithFakes fixture;
    QCOMPARE(fixture.web.addresses,
             std::vector<std::string>{siteAddress() + "/info.php?n=parvane"});
    for (const char* name : {"Label1", "Label2"})
        QVERIFY2(fixture.control<QLabel>(name)->font().underline(), name);
}

void MainWindowTest::closingEndsPlaybackAndTheProgram() {
    WindowWithFakes fixture;
    fixture.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
    QSignalSpy ending(fixture.window.get(), &MainWindow::programEnding);
    fixture.window->close();
    QCOMPARE(fixture.player.calls, std::vector<std::string>{"endPlayback"});
    QCOMPARE(ending.count(), 1);
    QVERIFY(!fixture.control<QTimer>("Timer2")->isActive());
}

void MainWindowTest::anUnhandledErrorIsShownAndTheProgramGoesOn() {
    WindowWithFakes fixture;
    fixture.player.currentPosition = 3e9; // beyond any whole-second mark
    QTest::mouseClick(fixture.control<QPushButton>("Command5"), Qt::LeftButton);
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Overflow"});
    QVERIFY(fixture.control<QLabel>("Label7")->text().isEmpty());

    fixture.player.currentPosition = 4.0;
    QTest::mouseClick(fixture.control<QPushButton>("Command5"), Qt::LeftButton);
    QCOMPARE(fixture.control<QLabel>("Label7")->text(), QStringLiteral(" 0 : 0 : 4"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
