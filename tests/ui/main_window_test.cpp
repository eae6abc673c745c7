#include "window_fixture.h"

#include "platform/qt/desktop_link_opener.h"
#include "support/temp_dir.h"
#include "ui/tip_window.h"

#include <QContextMenuEvent>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QUrl>

using namespace parvane;
using namespace parvane::testing;

namespace {

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}

QString joined(const std::vector<std::string>& words) {
    QStringList list;
    for (const std::string& word : words)
        list << QString::fromStdString(word);
    return list.join(',');
}

// A shown, active window with a source open: the player at 20 s of 60, marks 2 to 5.
struct ActiveWindow : WindowWithFakes {
    // Gives `focus` the keyboard focus; the stand-in web pane takes it as the real one does.
    bool ready(const char* focus, bool saving = false) {
        window->show();
        window->activateWindow();
        player.currentPosition = 20.0;
        player.mediaDuration = 60.0;
        window->state().clipBegin = 2;
        window->state().clipEnd = 5;
        if (saving) // as the save leaves them while it runs
            for (QPushButton* button : window->workflowButtons())
                button->setEnabled(false);
        QWidget* control = this->control<QWidget>(focus);
        control->setFocusPolicy(Qt::StrongFocus);
        control->setFocus();
        return QTest::qWaitForWindowActive(window.get()) &&
               QTest::qWaitFor([control] { return control->hasFocus(); });
    }

    // What a key can change, in one line: dialogs shown, marks, player calls and position,
    // messages.
    QString outcome() const {
        return QStringLiteral("%1|%2-%3|%4|%5|%6")
            .arg(joined(dialog.shown))
            .arg(window->state().clipBegin)
            .arg(window->state().clipEnd)
            .arg(joined(player.calls))
            .arg(player.currentPosition)
            .arg(joined(messages.shown));
    }

    void press(QKeyCombination key) {
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    }
};

// Sends a drag that enters the window and drops there; returns whether the drop was taken.
bool drop(QWidget* window, const QList<QUrl>& urls, Qt::DropActions offered) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(window->width() / 2, window->height() / 2);
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent dropped(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &dropped);
    return dropped.isAccepted() && dropped.dropAction() == Qt::CopyAction;
}

} // namespace

// The main window's own parts: its layout, the links and the tip window, the save menu, the
// keys and dropped files.
class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyCaptionFitsItsControlInsideTheWindow();
    void linksStartTheOpenerWithTheSitesPages();
    void theRealLauncherStartsTheDesktopsOpener();
    void tipWindowSwapsWithTheMainWindowAndLoadsAfresh();
    void theSaveMenuSavesAtStreamTimesAndKeepsToTheLockedWorkflow();
    void dropOpensOneLocalFile();
    void keysWorkFromAnyControl();
    void noKeyWorksWhileADialogIsUp();
};

// The layout's sizes were made for a small face: in the window's font every caption fits its
// control, and every control but the hidden link below the client area is in the window. Once
// loaded, the links are underlined and the web pane asks for the promo page.
void MainWindowTest::everyCaptionFitsItsControlInsideTheWindow() {
    WindowWithFakes fixture;
    QCOMPARE(fixture.web.addresses,
             std::vector<std::string>{siteAddress() + "/info.php?n=parvane"});
    for (const char* name : {"Label1", "Label2"})
        QVERIFY2(fixture.control<QLabel>(name)->font().underline(), name);
    QCOMPARE(fixture.window->minimumSize(), fixture.window->maximumSize());
    QVERIFY(!fixture.window->windowIcon().isNull());
    for (QWidget* widget : fixture.window->findChildren<QWidget*>()) {
        if (widget->isWindow())
            continue;
        const QString name = widget->objectName();
        if (widget->parentWidget() == fixture.window.get() && name != "Label1")
            QVERIFY2(fixture.window->rect().contains(widget->geometry().center()),
                     qPrintable(name));
        const auto* label = qobject_cast<QLabel*>(widget);
        const auto* button = qobject_cast<QPushButton*>(widget);
        const auto* box = qobject_cast<QGroupBox*>(widget);
        const QString caption = label    ? label->text()
                                : button ? button->text()
                                : box    ? box->title()
                                         : QString();
        const int room = widget->width() - (button ? 8 : box ? 16 : 0); // frame, title inset
        const QFontMetrics metrics(widget->font());
        QVERIFY2(metrics.horizontalAdvance(caption) <= room, qPrintable(name));
        QVERIFY2(!label || metrics.height() <= widget->height(), qPrintable(name));
    }
}

void MainWindowTest::linksStartTheOpenerWithTheSitesPages() {
    WindowWithFakes fixture;
    const std::string site = siteAddress();
    click(fixture.control<QPushButton>("Command8"));
    click(fixture.control<QWidget>("Label1"));
    click(fixture.control<QWidget>("Label2"));
    click(fixture.window->tipWindow()->findChild<QWidget*>("Label2"));
    QCOMPARE(fixture.links.opened, (std::vector<std::string>{site, site + "/redirect.html",
                                                             site + "/codecdownload.html"}));

    // An opener that cannot be started is reported, and the program goes on.
    fixture.links.fail = true;
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

    DesktopLinkOpener links;
    links.open(siteAddress());
    QTRY_VERIFY(std::filesystem::exists(record));
    const auto arguments = readFile(record);
    QCOMPARE(std::string(arguments.begin(), arguments.end()), "1\n" + siteAddress() + "\n");

    qputenv("PATH", "/nonexistent");
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, links.open(siteAddress()));
    qputenv("PATH", oldPath);
}

// The tip window stands in for the main window until it is closed, and goes with it.
void MainWindowTest::tipWindowSwapsWithTheMainWindowAndLoadsAfresh() {
    WindowWithFakes fixture;
    fixture.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
    click(fixture.control<QWidget>("Label2"));
    QPointer<TipWindow> first = fixture.window->tipWindow();
    QVERIFY(first && first->isVisible() && !fixture.window->isVisible());
    QCOMPARE(first->windowIcon().pixmap(32).toImage(),
             fixture.window->windowIcon().pixmap(32).toImage());
    // The main window is back before the tip window goes, so the program does not end.
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);
    first->close();
    QTRY_VERIFY(!first); // unloaded, not merely hidden
    QCOMPARE(lastWindowClosed.count(), 0);
    QVERIFY(fixture.window->isVisible());

    click(fixture.control<QWidget>("Label2"));
    QPointer<TipWindow> second = fixture.window->tipWindow();
    QVERIFY(second && second->findChild<QLabel*>("Label2")->font().underline());
    // Ending the program from the main window takes the tip window with it, without its
    // unload showing the main window again.
    fixture.window->close();
    QVERIFY(!second);
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

void MainWindowTest::dropOpensOneLocalFile() {
    const QUrl vob = QUrl::fromLocalFile(QStringLiteral("/home/user/Mes vidéos/été.vob"));
    const struct {
        QList<QUrl> urls;
        bool saving;
        bool taken;
    } rows[] = {
        {{vob}, false, true},
        {{vob, vob}, false, false},
        {{QUrl(QStringLiteral("https://example.org/a.vob"))}, false, false},
        {{}, false, false},
        {{vob}, true, false}, // while a save runs
    };
    for (const auto& row : rows) {
        ActiveWindow fixture;
        QVERIFY(fixture.ready("Command8", row.saving));
        // A file manager offers a move as well: the window must take a copy.
        QCOMPARE(drop(fixture.window.get(), row.urls, Qt::CopyAction | Qt::MoveAction), row.taken);
        QCOMPARE(fixture.window->state().sourcePath,
                 row.taken ? vob.toLocalFile().toStdString() : std::string());
        QCOMPARE(fixture.outcome(),
                 row.taken ? "|2-5|endPlayback,setMediaFileName,play|20|" : "|2-5||20|");
    }
}

// The workflow keys press their buttons, so a disabled button's key does nothing; the
// player's keys work even while a save has the workflow locked.
void MainWindowTest::keysWorkFromAnyControl() {
    const auto shift = Qt::ShiftModifier;
    const struct {
        QKeyCombination key;
        const char* focus;
        const char* button; // whose tooltip names the key
        bool saving;
        double duration;
        double position;
        const char* outcome;
    } rows[] = {
        {Qt::CTRL | Qt::Key_O, "wmp", "Command4", false, 60, 20, "open|2-5|endPlayback|20|"},
        {QKeyCombination(Qt::Key_I), "Command8", "Command5", false, 60, 20, "|20-5||20|"},
        {QKeyCombination(Qt::Key_O), "WebBrowser1", "Command6", false, 60, 20, "|2-20||20|"},
        {Qt::CTRL | Qt::Key_S, "Command4", "Command7", false, 60, 20,
         "save|2-5|haltBeforeSaving|20|"},
        {QKeyCombination(Qt::Key_P), "Command9", "Command9", false, 60, 20,
         "|2-5|setPosition,play|2|"},
        {Qt::CTRL | Qt::Key_S, "wmp", "Command7", true, 60, 20, "|2-5||20|"},
        // A focused button would take Space as a click of its own.
        {QKeyCombination(Qt::Key_Space), "Command4", nullptr, false, 60, 20,
         "|2-5|togglePause|20|"},
        {QKeyCombination(Qt::Key_Right), "wmp", nullptr, false, 60, 20, "|2-5|setPosition|25|"},
        {QKeyCombination(shift, Qt::Key_Left), "Command7", nullptr, false, 60, 20,
         "|2-5|setPosition|19|"},
        {QKeyCombination(Qt::Key_Left), "wmp", nullptr, false, 60, 2, "|2-5|setPosition|0|"},
        {QKeyCombination(Qt::Key_Right), "wmp", nullptr, false, 60, 58, "|2-5|setPosition|60|"},
        {QKeyCombination(Qt::Key_Home), "Command5", nullptr, false, 60, 20, "|2-5|setPosition|0|"},
        {QKeyCombination(Qt::Key_End), "Command6", nullptr, false, 60, 20, "|2-5|setPosition|60|"},
        {QKeyCombination(Qt::Key_Comma), "wmp", nullptr, false, 60, 20, "|2-5|stepFrame-1|20|"},
        {QKeyCombination(Qt::Key_Period), "Command8", nullptr, true, 60, 20,
         "|2-5|stepFrame+1|20|"},
        // A position set with nothing loaded would wait for the next file.
        {QKeyCombination(Qt::Key_Right), "wmp", nullptr, false, 0, 0, "|2-5||0|"},
    };
    for (const auto& row : rows) {
        ActiveWindow fixture;
        QVERIFY(fixture.ready(row.focus, row.saving));
        fixture.player.mediaDuration = row.duration;
        fixture.player.currentPosition = row.position;
        fixture.press(row.key);
        const QString key = QKeySequence(row.key).toString(QKeySequence::NativeText);
        QCOMPARE(key + " " + fixture.outcome(), key + " " + row.outcome);
        if (row.button)
            QVERIFY(fixture.control<QPushButton>(row.button)->toolTip().contains("(" + key + ")"));
    }
}

void MainWindowTest::noKeyWorksWhileADialogIsUp() {
    ActiveWindow fixture;
    QVERIFY(fixture.ready("wmp"));
    // As the file dialogs and message boxes: modal, over the main window.
    QDialog dialog(fixture.window.get());
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    for (const QKeyCombination key : {Qt::CTRL | Qt::Key_O, QKeyCombination(Qt::Key_Space)})
        fixture.press(key);
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5||20|"));
    QVERIFY(!drop(fixture.window.get(), {QUrl::fromLocalFile("/a.vob")}, Qt::CopyAction));

    dialog.close();
    QVERIFY(QTest::qWaitForWindowActive(fixture.window.get()));
    fixture.press(QKeyCombination(Qt::Key_Space));
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5|togglePause|20|"));
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
