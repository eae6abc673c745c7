#include "window_fixture.h"

#include "platform/qt/desktop_launcher.h"
#include "support/temp_dir.h"
#include "ui/tip_window.h"

#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <filesystem>

using namespace parvane;
using namespace parvane::testing;

namespace {

const std::string kOpen = "xdg-open ";

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

bool hasInk(const QImage& image, int left, int right, int top, int bottom) {
    const QRgb background = image.pixel(image.width() - 1, 0);
    for (int y = std::max(0, top); y < std::min(image.height(), bottom); ++y)
        for (int x = std::max(0, left); x < std::min(image.width(), right); ++x)
            if (image.pixel(x, y) != background)
                return true;
    return false;
}

} // namespace

// The main window's own parts: its layout, the links and the tip window, the save menu.
class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCaptionFitsItsControlInsideTheWindow();
    void loadAsksForThePromoPageAndUnderlinesTheLinks();
    void linksStartTheOpenerWithTheSitesPages();
    void theRealLauncherStartsTheDesktopsOpener();
    void hereFollowsCodecsOnTheSecondLine();
    void tipWindowSwapsWithTheMainWindowAndLoadsAfresh();
    void theSaveMenuSavesAtStreamTimesAndKeepsToTheLockedWorkflow();
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

void MainWindowTest::linksStartTheOpenerWithTheSitesPages() {
    WindowWithFakes fixture;
    const std::string site = siteAddress();
    click(fixture.control<QPushButton>("Command8"));
    click(fixture.control<QWidget>("Label1"));
    click(fixture.control<QWidget>("Label2"));
    click(fixture.window->tipWindow()->findChild<QWidget*>("Label2"));
    const ShowStyle style = ShowStyle::MinimizedWithFocus;
    QCOMPARE(fixture.launcher.started, (std::vector<std::pair<std::string, ShowStyle>>{
                                           {kOpen + site, style},
                                           {kOpen + site + "/redirect.html", style},
                                           {kOpen + site + "/codecdownload.html", style}}));

    // An opener that cannot be started is reported, and the program goes on.
    fixture.launcher.fail = true;
    click(fixture.control<QPushButton>("Command8"));
    QCOMPARE(fixture.messages.shown.size(), std::size_t{1});
    QVERIFY(fixture.messages.shown[0].find("xdg-open") != std::string::npos);
    QVERIFY(fixture.player.calls.empty());
}

void MainWindowTest::theRealLauncherStartsTheDesktopsOpener() {
    TempDir dir;
    // An opener that writes down its arguments, then shows it is done.
    const std::string record = dir.file("arguments");
    const std::string script = "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + record +
                               ".tmp'\nmv '" + record + ".tmp' '" + record + "'\n";
    writeFile(dir.file("xdg-open"), {script.begin(), script.end()});
    std::filesystem::permissions(dir.file("xdg-open"), std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(dir.path().string()) + ":" + oldPath);

    DesktopLauncher launcher;
    launcher.start(kOpen + siteAddress(), ShowStyle::MinimizedWithFocus);
    QTRY_VERIFY(std::filesystem::exists(record));
    const auto arguments = readFile(record);
    QCOMPARE(std::string(arguments.begin(), arguments.end()), "1\n" + siteAddress() + "\n");

    qputenv("PATH", "/nonexistent");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             launcher.start(kOpen + siteAddress(), ShowStyle::Normal));
    qputenv("PATH", oldPath);
}

void MainWindowTest::hereFollowsCodecsOnTheSecondLine() {
    WindowWithFakes fixture;
    click(fixture.control<QWidget>("Label2"));
    TipWindow* tip = fixture.window->tipWindow();
    QVERIFY(QTest::qWaitForWindowExposed(tip));
    auto* body = tip->findChild<QLabel*>("Label1");
    auto* here = tip->findChild<QLabel*>("Label2");
    const int lineHeight = QFontMetrics(body->font()).height();

    // On the second line of the text, inside the text's rectangle, drawn above it.
    const QRect at = here->geometry().translated(-body->pos());
    QVERIFY2(std::abs(at.top() - lineHeight) <= 1, qPrintable(QString::number(at.top())));
    QVERIFY(body->geometry().contains(here->geometry().center()));
    QVERIFY(tip->children().indexOf(here) > tip->children().indexOf(body));

    // Rendered text: ink ("codecs") right before the link, nothing under the link or after
    // it on that line (the blanks), and the last sentence on a later line.
    const QImage image = body->grab().toImage();
    QVERIFY(hasInk(image, at.left() - 10, at.left() - 1, at.top(), at.bottom()));
    QVERIFY(!hasInk(image, at.left(), image.width(), at.top() + 1, at.bottom()));
    QVERIFY(hasInk(image, 0, image.width(), at.bottom() + 1, image.height()));
}

void MainWindowTest::tipWindowSwapsWithTheMainWindowAndLoadsAfresh() {
    WindowWithFakes fixture;
    fixture.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
    fixture.player.currentPosition = 7.0;
    click(fixture.control<QPushButton>("Command5"));
    const QString beginText = fixture.control<QLabel>("Label7")->text();

    click(fixture.control<QWidget>("Label2"));
    QPointer<TipWindow> first = fixture.window->tipWindow();
    QVERIFY(first && first->isVisible());
    QVERIFY(!fixture.window->isVisible());
    QVERIFY(fixture.control<QTimer>("Timer2")->isActive());

    // The main window is back before the tip window goes, so the program does not end.
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    first->close();
    QTRY_VERIFY(!first); // unloaded, not merely hidden
    QCOMPARE(lastWindowClosed.count(), 0);
    QVERIFY(fixture.window->isVisible());
    QCOMPARE(fixture.control<QLabel>("Label7")->text(), beginText);
    QCOMPARE(fixture.window->state().ClipBegin, 7);

    click(fixture.control<QWidget>("Label2"));
    TipWindow* second = fixture.window->tipWindow();
    QVERIFY(second);
    QVERIFY(second->findChild<QLabel*>("Label2")->font().underline());
    QCOMPARE(second->windowIcon().pixmap(32).toImage(),
             fixture.window->windowIcon().pixmap(32).toImage());

    // Ending the program from the main window takes the tip window with it, without its
    // unload showing the main window again.
    QPointer<TipWindow> open = second;
    fixture.window->close();
    QVERIFY(!open);
    QVERIFY(!fixture.window->isVisible());
}

// The Save button's second way to save: a menu on right click and Ctrl+Shift+S.
void MainWindowTest::theSaveMenuSavesAtStreamTimesAndKeepsToTheLockedWorkflow() {
    TempDir dir;
    writeFile(dir.file("source.vob"), patternBytes(204800)); // bytes, no program stream
    WindowWithFakes fixture;
    QVERIFY(fixture.readyToSave(dir.file("source.vob"), 2, 5, 10.0, dir.file("clip.vob")));
    auto* save = fixture.control<QPushButton>("Command7");
    auto* menu = fixture.control<QMenu>("saveMenu");
    QVERIFY(save->toolTip().contains(QStringLiteral("Save at Stream Times")));
    const auto rightClick = [save] {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                save->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(save, &event);
    };
    const auto pressShortcut = [&fixture] {
        // The offscreen platform leaves a closed menu the active window.
        QApplication::setActiveWindow(fixture.window.get());
        QTest::keyClick(fixture.window.get(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    };

    rightClick();
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->actions().size(), 2);
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions().front()).center());
    QCOMPARE(
        fixture.messages.shown,
        std::vector<std::string>{"Clip not saved: the source is not an MPEG-2 program stream"});
    pressShortcut();
    QVERIFY(menu->isVisible());
    fixture.dialog.answers.push_back(dir.file("clip.vob"));
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(menu->actions().back()).center());
    QCOMPARE(fixture.messages.shown.back(), std::string("Clip Saved"));

    // While the workflow buttons are off (a save runs), neither way opens the menu.
    for (QPushButton* button : fixture.window->workflowButtons())
        button->setEnabled(false);
    rightClick();
    pressShortcut();
    QVERIFY(!menu->isVisible());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
