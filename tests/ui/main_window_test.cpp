#include "window_fixture.h"

#include "core/time_text.h"
#include "ui/controls.h"

#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace parvane;
using namespace parvane::testing;

Q_DECLARE_METATYPE(QRect)

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void controlsMatchTheLayout_data();
    void controlsMatchTheLayout();
    void tabOrderFollowsTheLayout();
    void windowIsFixedWhiteAndTitled();
    void startsWithEmptyStateAndAsksForThePromoPage();
    void closingEndsPlaybackAndTheProgram();
    void anUnhandledErrorIsShownAndTheProgramGoesOn();
};

void MainWindowTest::controlsMatchTheLayout_data() {
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<QColor>("background"); // invalid: not checked
    QTest::addColumn<QColor>("foreground");

    const QColor white(255, 255, 255), black(0, 0, 0), grey(224, 224, 224), none;
    auto row = [](const char* name, const char* parent, const char* kind, const char* text,
                  QRect pixels, QColor background, QColor foreground) {
        QTest::newRow(name) << QString::fromLatin1(parent) << QString::fromLatin1(kind)
                            << QString::fromLatin1(text) << pixels << background << foreground;
    };
    row("Frame3", "Form1", "QGroupBox", "", {47, 3, 203, 26}, white, black);
    row("plate", "Frame3", "QLabel", "  Orlendt Presentation", {11, 9, 182, 14}, none, none);
    row("Label2", "Form1", "parvane::LinkLabel", "Important Tip", {264, 22, 63, 14}, white,
        QColor(0, 0, 192));
    row("wmp", "Form1", "QWidget", "", {6, 36, 323, 243}, none, none);
    row("Command4", "Form1", "QPushButton", "Open", {100, 293, 60, 25}, none, none);
    row("Command7", "Form1", "QPushButton", "Save", {158, 295, 60, 25}, none, none);
    row("Command5", "Form1", "QPushButton", "Select Start", {64, 324, 93, 25}, none, none);
    row("Command6", "Form1", "QPushButton", "Select End", {156, 323, 91, 25}, none, none);
    row("Frame1", "Form1", "QGroupBox", "Clip Information", {19, 353, 144, 86}, white, black);
    row("bp", "Frame1", "QLabel", "Begin Position :", {4, 22, 75, 16}, white, black);
    row("Label7", "Frame1", "QLabel", "", {79, 24, 59, 12}, grey, black);
    row("ep1", "Frame1", "QLabel", "End Position :", {4, 41, 67, 16}, white, black);
    row("Label9", "Frame1", "QLabel", "", {72, 42, 66, 12}, grey, black);
    row("ln", "Frame1", "QLabel", "Length :", {4, 58, 39, 13}, white, black);
    row("Label3", "Frame1", "QLabel", "", {46, 60, 92, 12}, grey, black);
    row("Frame2", "Form1", "QGroupBox", "Current Time", {174, 353, 138, 35}, white, black);
    row("Label4", "Frame2", "QLabel", "", {6, 16, 124, 12}, grey, black);
    row("Command9", "Form1", "QPushButton", "Play Selected", {185, 390, 110, 25}, none, none);
    row("Command8", "Form1", "QPushButton", "Home Page", {190, 415, 99, 25}, none, none);
    row("pb", "Form1", "QProgressBar", "", {4, 454, 331, 23}, none, none);
    row("WebBrowser1", "Form1", "QWidget", "", {0, 481, 337, 81}, none, none);
    row("Label1", "Form1", "parvane::LinkLabel",
        "Download software that automatically defrags your disk drives", {13, 565, 294, 17}, white,
        QColor(0, 0, 255));
}

void MainWindowTest::controlsMatchTheLayout() {
    QFETCH(QString, parentName);
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(QRect, pixels);
    QFETCH(QColor, background);
    QFETCH(QColor, foreground);

    WindowWithFakes fixture;
    auto* widget =
        fixture.window->findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QVERIFY2(widget->inherits(kind.toLatin1()), widget->metaObject()->className());
    QCOMPARE(widget->geometry(), pixels);
    if (background.isValid()) {
        QVERIFY(widget->autoFillBackground());
        QCOMPARE(widget->palette().color(QPalette::Window), background);
        QCOMPARE(widget->palette().color(QPalette::WindowText), foreground);
    }

    QString shown;
    int room = pixels.width();
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        shown = label->text();
        QVERIFY2(QFontMetrics(label->font()).height() <= pixels.height(), "text too tall");
        if (label->alignment() & Qt::AlignHCenter)
            QCOMPARE(label->alignment(), Qt::AlignCenter);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        shown = button->text();
        room -= 8; // the button's own frame
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        shown = box->title();
        room -= 16; // the title's inset
    }
    QCOMPARE(shown, text);
    // Every caption fits its control in the window's font.
    QVERIFY2(QFontMetrics(widget->font()).horizontalAdvance(shown) <= room,
             qPrintable(QStringLiteral("\"%1\" needs %2 px, has %3")
                            .arg(shown)
                            .arg(QFontMetrics(widget->font()).horizontalAdvance(shown))
                            .arg(room)));
}

void MainWindowTest::tabOrderFollowsTheLayout() {
    WindowWithFakes fixture;
    const QStringList expected = {
        "Command4", "Command7", "Frame1", "bp",          "ep1",      "ln",       "Command9", "pb",
        "Command8", "Label7",   "Label9", "Label3",      "Command5", "Command6", "Label1",   "wmp",
        "Frame2",   "Label4",   "Label2", "WebBrowser1", "Frame3",   "plate"};
    // Labels and frames take no focus; the controls that do follow the layout's order.
    QStringList focusable;
    for (const QString& name : expected)
        if (fixture.control<QWidget>(name.toLatin1())->focusPolicy() != Qt::NoFocus)
            focusable << name;
    QVERIFY(focusable.contains("wmp"));
    QStringList chain;
    QWidget* start = fixture.control<QWidget>("Command4");
    QWidget* at = start;
    do {
        if (focusable.contains(at->objectName()))
            chain << at->objectName();
        at = at->nextInFocusChain();
    } while (at != start && chain.size() < 100);
    QCOMPARE(chain, focusable);
}

void MainWindowTest::windowIsFixedWhiteAndTitled() {
    WindowWithFakes fixture;
    MainWindow& window = *fixture.window;
    QCOMPARE(window.objectName(), QStringLiteral("Form1"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Parvane 4.0"));
    QCOMPARE(window.size(), QSize(338, 561));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    const Qt::WindowFlags flags = window.windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QCOMPARE(window.palette().color(QPalette::Window), QColor(255, 255, 255));
    // The compact-disc icon: 32 x 32, transparent at the corners and in the hole.
    const QImage icon = window.windowIcon().pixmap(32, 32).toImage();
    QCOMPARE(icon.size(), QSize(32, 32));
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(15, 15)), 0);
    QCOMPARE(qAlpha(icon.pixel(15, 8)), 255);
    // Below the client area: not visible at the window's size.
    QVERIFY(fixture.control<QWidget>("Label1")->y() >= window.height());
}

void MainWindowTest::startsWithEmptyStateAndAsksForThePromoPage() {
    WindowWithFakes fixture;
    QCOMPARE(fixture.window->state().clipBegin, 0);
    QCOMPARE(fixture.window->state().clipEnd, 0);
    QVERIFY(fixture.window->state().sourcePath.empty());
    for (const char* name : {"Label7", "Label9", "Label3", "Label4"})
        QVERIFY2(fixture.control<QLabel>(name)->text().isEmpty(), name);

    auto* timer1 = fixture.control<QTimer>("Timer1");
    auto* timer2 = fixture.control<QTimer>("Timer2");
    QVERIFY(!timer1->isActive());
    QCOMPARE(timer1->interval(), 100);
    QVERIFY(timer2->isActive());
    QCOMPARE(timer2->interval(), 1000);
    auto* pb = fixture.control<QProgressBar>("pb");
    QCOMPARE(pb->minimum(), 0);
    QCOMPARE(pb->maximum(), 100);

    for (const char* name : {"Label1", "Label2"}) {
        auto* link = fixture.control<QLabel>(name);
        QVERIFY2(link->font().underline(), name);
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    }

    const std::string site = siteAddress();
    QVERIFY(site.rfind("https://", 0) == 0 || site.rfind("http://", 0) == 0);
    QVERIFY(site.back() != '/');
    QCOMPARE(fixture.web.addresses, std::vector<std::string>{site + "/info.php?n=parvane"});

    const auto buttons = fixture.window->workflowButtons();
    QStringList names;
    for (QPushButton* button : buttons)
        names << button->objectName();
    QCOMPARE(names, (QStringList{"Command4", "Command5", "Command6", "Command7", "Command9"}));
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
