#include "window_fixture.h"

#include "platform/qt/desktop_link_opener.h"
#include "support/synthetic_stream.h"
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
        window->state().beginSeconds = 2;
        window->state().endSeconds = 5;
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
    void aDiscOpensItsStartTitleAndOffersTheOthers();
    void theTitleMenuOffersTheTitlesAudioAndSubtitles();
    void chapterKeysMoveAndMarkByChapter();
    void anotherAngleGoesOnFromTheSamePlace();
    void theSaveMenuTellsWhereAStreamTimeClipReallyFalls();
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
    QCOMPARE(menu->actions().size(), 3);
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

namespace {

// A title of cells of `seconds` each, one chapter a cell, whose bytes lie in `files`.
Title titleOf(int number, const std::vector<double>& seconds,
              const std::vector<std::string>& files = {}) {
    Title title;
    title.number = number;
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        const std::int64_t at = static_cast<std::int64_t>(i) << 23;
        title.cells.push_back({at, at + (std::int64_t{1} << 23), title.duration(), seconds[i]});
        title.chapters.push_back(title.cells.back().start);
        title.extents.push_back({i < files.size() ? files[i] : "/dvd/VTS_01_1.VOB", 0, 1 << 23});
    }
    return title;
}

QStringList actionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions())
        if (!action->isSeparator())
            texts << action->text() + (action->isChecked() ? "*" : "");
    return texts;
}

} // namespace

// The disc opens at its start title and place; the Title menu plays the others, and the source
// stays the disc. An unreadable disc is told where an unplayable file is; a plain file after a
// disc has no titles.
void MainWindowTest::aDiscOpensItsStartTitleAndOffersTheOthers() {
    ActiveWindow fixture;
    QVERIFY(fixture.ready("Command8"));
    Disc disc;
    disc.titles = {titleOf(1, {100.0}), titleOf(2, {1800.0, 1861.5}), titleOf(3, {30.0})};
    disc.titles[2].problems = {"the title's cell at 0:00:30 cannot be read"};
    disc.startTitle = 1;
    disc.startSeconds = 1800.0; // the opened VOB's place
    fixture.discs.discs["/media/FILM/VIDEO_TS/VTS_02_2.VOB"] = disc;
    fixture.discs.failures["/media/LOCKED"] = "the disc is encrypted";
    auto* titles = fixture.control<QPushButton>("titleButton");
    auto* menu = fixture.control<QMenu>("titleMenu");
    QVERIFY(titles->isHidden());

    fixture.window->openFile("/media/FILM/VIDEO_TS/VTS_02_2.VOB");
    QCOMPARE(fixture.outcome(), "|2-5|endPlayback,setTitle,setPosition,play|1800|");
    QCOMPARE(fixture.window->state().sourcePath, "/media/FILM/VIDEO_TS/VTS_02_2.VOB");
    QVERIFY(fixture.player.title && fixture.player.title->number == 2);
    QVERIFY(fixture.window->state().title && fixture.window->state().title->number == 2);
    QVERIFY(titles->isVisible());
    QCOMPARE(actionTexts(menu).mid(0, 3),
             (QStringList{"Title 1 (0:01:40)", "Title 2 (1:01:01)*", "Title 3 (0:00:30)"}));

    fixture.player.calls.clear();
    menu->actions().at(2)->trigger();
    QCOMPARE(fixture.player.calls, (std::vector<std::string>{"endPlayback", "setTitle", "play"}));
    QCOMPARE(fixture.player.title->number, 3);
    QCOMPARE(fixture.window->state().title->number, 3);
    QCOMPARE(fixture.window->state().sourcePath, "/media/FILM/VIDEO_TS/VTS_02_2.VOB");
    QCOMPARE(actionTexts(menu).at(2), "Title 3 (0:00:30)*");
    // What could not be read of it is told when it opens, once.
    const std::vector<std::string> told = {"Parts of this title cannot be read and are left "
                                           "out:\nthe title's cell at 0:00:30 cannot be read"};
    QCOMPARE(fixture.messages.shown, told);
    menu->actions().at(2)->trigger();
    QCOMPARE(fixture.messages.shown, told);
    fixture.messages.shown.clear();
    // While a save runs the titles stay as they are.
    fixture.window->workflowButtons()[0]->setEnabled(false);
    menu->actions().at(0)->trigger();
    QCOMPARE(fixture.player.title->number, 3);
    fixture.window->workflowButtons()[0]->setEnabled(true);

    fixture.player.calls.clear();
    fixture.window->openFile("/media/LOCKED");
    QCOMPARE(fixture.player.cannotPlay, "the disc is encrypted");
    QCOMPARE(fixture.outcome(), "|2-5|endPlayback|1800|");
    QCOMPARE(fixture.window->state().sourcePath, "/media/FILM/VIDEO_TS/VTS_02_2.VOB");

    fixture.window->openFile("/films/plain.vob");
    QVERIFY(!fixture.player.title && !fixture.window->state().title);
    QCOMPARE(fixture.player.mediaFileName, "/films/plain.vob");
    QVERIFY(titles->isHidden());

    // A lone VOB whose clock starts again plays as the title of its cells, so the marks set
    // while it plays are on the timeline its stream-time save cuts on.
    TempDir dir;
    SyntheticLayout layout;
    layout.size = std::int64_t{1} << 23;
    layout.cellStarts = {2160};
    SyntheticStream stream(layout);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream.size()));
    stream.readAt(0, reinterpret_cast<std::byte*>(bytes.data()), bytes.size());
    writeFile(dir.file("VTS_01_1.VOB"), bytes);
    fixture.window->openFile(dir.file("VTS_01_1.VOB"));
    QVERIFY(fixture.player.title && fixture.window->state().title);
    QCOMPARE(fixture.player.title->cells.size(), std::size_t{2});
    QCOMPARE(fixture.player.title->extents.at(0).path, dir.file("VTS_01_1.VOB"));
    QVERIFY(fixture.player.title->duration() > fixture.player.title->cells[0].duration + 1.0);
}

// A title of two angles offers both; the other angle plays its own bytes from the same place
// with the marks kept, so a save then cuts that angle.
void MainWindowTest::anotherAngleGoesOnFromTheSamePlace() {
    ActiveWindow fixture;
    QVERIFY(fixture.ready("Command8"));
    Title title = titleOf(1, {60.0});
    title.angles = 2;
    title.angleViews = {{title.extents, title.cells},
                        {{{"/dvd/VTS_01_2.VOB", 0, 1 << 23}}, title.cells}};
    Disc disc;
    disc.titles = {title};
    fixture.discs.discs["/dvd"] = disc;
    auto* menu = fixture.control<QMenu>("titleMenu");
    fixture.window->openFile("/dvd");
    QCOMPARE(actionTexts(menu).mid(1, 2), (QStringList{"Angle 1*", "Angle 2"}));
    fixture.player.currentPosition = 42.0;
    fixture.press(QKeyCombination(Qt::Key_I));
    fixture.player.calls.clear();

    menu->actions().at(3)->trigger(); // after the title and a separator
    QCOMPARE(fixture.player.calls,
             (std::vector<std::string>{"endPlayback", "setTitle", "setPosition", "play"}));
    QCOMPARE(fixture.player.currentPosition, 42.0);
    QCOMPARE(fixture.player.title->extents.at(0).path, "/dvd/VTS_01_2.VOB");
    QCOMPARE(fixture.window->state().title->extents.at(0).path, "/dvd/VTS_01_2.VOB");
    QCOMPARE(actionTexts(menu).mid(1, 2), (QStringList{"Angle 1", "Angle 2*"}));
    QCOMPARE(fixture.player.shownBegin, std::optional<double>(42.0));
}

// Audio to choose when a title has more than one stream, subtitles when it has any, each by
// its language; a choice reaches the player, and lasts while the same title plays.
void MainWindowTest::theTitleMenuOffersTheTitlesAudioAndSubtitles() {
    WindowWithFakes fixture;
    Title film = titleOf(1, {100.0});
    film.audio = {{0x80, "AC-3", 6, "en"}, {0xC1, "MPEG", 2, "de"}, {0x88, "DTS", 0, ""}};
    film.subpictures = {{0x20, "fr"}, {0x22, ""}};
    Title extra = titleOf(2, {30.0});
    extra.audio = {{0x80, "AC-3", 2, "en"}};
    fixture.discs.discs["/dvd"].titles = {film, extra};
    const auto menuTexts = [&fixture](const char* name) {
        const auto* menu = fixture.window->findChild<QMenu*>(name);
        return menu ? actionTexts(menu) : QStringList();
    };

    fixture.window->openFile("/dvd");
    QCOMPARE(fixture.player.audio.value_or(-1), 0x80);
    QCOMPARE(menuTexts("audioMenu"), (QStringList{"English (AC-3, 6 channels)*",
                                                  "German (MPEG, 2 channels)", "Audio 3 (DTS)"}));
    QCOMPARE(menuTexts("subtitlesMenu"), (QStringList{"Off*", "French", "Subtitles 2"}));
    fixture.window->findChild<QMenu*>("audioMenu")->actions().at(1)->trigger();
    fixture.window->findChild<QMenu*>("subtitlesMenu")->actions().at(2)->trigger();
    QCOMPARE(fixture.player.audio.value_or(-1), 0xC1);
    QCOMPARE(fixture.player.subtitles.value_or(-1), 0x22);
    QCOMPARE(menuTexts("subtitlesMenu"), (QStringList{"Off", "French", "Subtitles 2*"}));

    // Opened again, the title starts over in the player and gets the choice again.
    fixture.window->openFile("/dvd");
    QCOMPARE(fixture.player.audio.value_or(-1), 0xC1);
    QCOMPARE(fixture.player.subtitles.value_or(-1), 0x22);
    QCOMPARE(menuTexts("audioMenu").at(1), "German (MPEG, 2 channels)*");
    fixture.window->findChild<QMenu*>("subtitlesMenu")->actions().at(0)->trigger();
    QVERIFY(!fixture.player.subtitles);

    // One audio stream and no subtitles: nothing to choose.
    fixture.window->findChild<QMenu*>("titleMenu")->actions().at(1)->trigger();
    QCOMPARE(fixture.player.title->number, 2);
    QCOMPARE(fixture.player.audio.value_or(-1), 0x80);
    QVERIFY(!fixture.window->findChild<QMenu*>("audioMenu") &&
            !fixture.window->findChild<QMenu*>("subtitlesMenu"));
}

// Page Down and Page Up go to the next and previous chapter's start; Shift+I and Shift+O mark
// the start and the end of the chapter playing. On a plain file they do nothing.
void MainWindowTest::chapterKeysMoveAndMarkByChapter() {
    const auto shift = Qt::ShiftModifier;
    const struct {
        QKeyCombination key;
        double position;
        const char* outcome;
    } rows[] = {
        {QKeyCombination(Qt::Key_PageDown), 20.0, "|2-5|setPosition|30|"},
        // Just short of a chapter's start, as read right after going there, is in it.
        {QKeyCombination(Qt::Key_PageDown), 29.99, "|2-5|setPosition|45|"},
        {QKeyCombination(Qt::Key_PageDown), 50.0, "|2-5||50|"},
        {QKeyCombination(Qt::Key_PageUp), 50.0, "|2-5|setPosition|30|"},
        {QKeyCombination(Qt::Key_PageUp), 20.0, "|2-5|setPosition|0|"},
        {QKeyCombination(shift, Qt::Key_I), 40.0, "|30-5||40|"},
        {QKeyCombination(shift, Qt::Key_O), 40.0, "|2-45||40|"},
        {QKeyCombination(shift, Qt::Key_O), 50.0, "|2-60||50|"}, // the title's end
    };
    for (const bool disc : {true, false}) {
        for (const auto& row : rows) {
            ActiveWindow fixture;
            QVERIFY(fixture.ready("Command8"));
            if (disc) {
                fixture.discs.discs["/dvd"].titles = {titleOf(1, {30.0, 15.0, 15.0})};
                fixture.window->openFile("/dvd");
            } else {
                fixture.window->openFile("/plain.vob");
            }
            fixture.player.calls.clear();
            fixture.player.currentPosition = row.position;
            fixture.press(row.key);
            const QString key = QKeySequence(row.key).toString(QKeySequence::NativeText);
            const QString unmoved = QStringLiteral("|2-5||%1|").arg(row.position);
            QCOMPARE(key + " " + fixture.outcome(), key + " " + (disc ? row.outcome : unmoved));
        }
    }
}

// Once both marks are set, the slider and the menu show where the stream-time clip would
// begin and end: the picture group at or before the begin mark, the end of the group that
// shows the end mark; on a title, each found in its own cell.
void MainWindowTest::theSaveMenuTellsWhereAStreamTimeClipReallyFalls() {
    TempDir dir;
    // Two files whose clocks both start at 0, picture groups of 0.6 s.
    for (const char* name : {"VTS_01_1.VOB", "VTS_01_2.VOB"}) {
        SyntheticLayout layout;
        layout.size = std::int64_t{1} << 23;
        SyntheticStream stream(layout);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream.size()));
        stream.readAt(0, reinterpret_cast<std::byte*>(bytes.data()), bytes.size());
        writeFile(dir.file(name), bytes);
    }
    ActiveWindow fixture;
    QVERIFY(fixture.ready("Command8"));
    auto* streamSave = fixture.control<QMenu>("saveMenu")->actions().front();
    auto* exactSave = fixture.control<QMenu>("saveMenu")->findChild<QAction*>("exactSave");
    const auto mark = [&fixture](double at, const char* button) {
        fixture.player.currentPosition = at;
        click(fixture.control<QPushButton>(button));
    };

    fixture.window->openFile(dir.file("VTS_01_1.VOB"));
    // A picture's own time, which the frame-exact save keeps.
    mark(2.04, "Command5");
    QVERIFY(!fixture.player.streamClip);
    QCOMPARE(streamSave->text(), "Save at Stream Times...");
    mark(5.0, "Command6");
    QVERIFY(fixture.player.streamClip);
    QVERIFY(std::abs(fixture.player.streamClip->first - 1.8) < 1e-6);
    QVERIFY(std::abs(fixture.player.streamClip->second - 5.4) < 1e-6);
    QCOMPARE(streamSave->text(),
             QStringLiteral("Save at Stream Times (0:00:01.8 \u2013 0:00:05.4)..."));
    QCOMPARE(exactSave->text(),
             QStringLiteral("Save Frame-Exact (0:00:02.04 \u2013 0:00:05.00)..."));

    // The end mark in the second cell, 3.2 s into its own clock.
    fixture.discs.discs["/disc"].titles = {
        titleOf(1, {6.8, 6.8}, {dir.file("VTS_01_1.VOB"), dir.file("VTS_01_2.VOB")})};
    fixture.window->openFile("/disc");
    mark(10.0, "Command6");
    QVERIFY(std::abs(fixture.player.streamClip->first - 1.8) < 1e-6);
    QVERIFY(std::abs(fixture.player.streamClip->second - 10.4) < 1e-6);
    QCOMPARE(streamSave->text(),
             QStringLiteral("Save at Stream Times (0:00:01.8 \u2013 0:00:10.4)..."));

    mark(1.0, "Command6"); // no selection: nothing to show
    QVERIFY(!fixture.player.streamClip);
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
