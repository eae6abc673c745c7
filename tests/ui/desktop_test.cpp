#include "window_fixture.h"

#include <QDialog>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

using namespace parvane;
using namespace parvane::testing;

namespace {

// A shown, active window with a source open: the player at 20 s of 60, marks 2 to 5.
struct ActiveWindow : WindowWithFakes {
    bool ready() {
        window->show();
        window->activateWindow();
        player.currentPosition = 20.0;
        player.mediaDuration = 60.0;
        window->state().clipBegin = 2;
        window->state().clipEnd = 5;
        return QTest::qWaitForWindowActive(window.get());
    }

    // Gives a control the keyboard focus; the stand-in web pane takes it as the real one does.
    bool focus(const QString& name) {
        QWidget* control = this->control<QWidget>(name.toLatin1());
        if (control->focusPolicy() == Qt::NoFocus)
            control->setFocusPolicy(Qt::StrongFocus);
        control->setFocus();
        return QTest::qWaitFor([control] { return control->hasFocus(); });
    }

    // What a key can change, in one line: dialogs shown, marks, player calls, messages.
    QString outcome() const {
        QStringList calls;
        for (const std::string& call : player.calls)
            calls << QString::fromStdString(call);
        QStringList dialogs;
        for (const std::string& kind : dialog.shown)
            dialogs << QString::fromStdString(kind);
        QStringList shown;
        for (const std::string& text : messages.shown)
            shown << QString::fromStdString(text);
        return QStringLiteral("%1|%2-%3|%4|%5")
            .arg(dialogs.join(','))
            .arg(window->state().clipBegin)
            .arg(window->state().clipEnd)
            .arg(calls.join(','), shown.join(','));
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

class DesktopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aFileGivenAtStartOpensAsIfChosen();
    void dropOpensOneLocalFile_data();
    void dropOpensOneLocalFile();
    void workflowKeysPressTheirButtons_data();
    void workflowKeysPressTheirButtons();
    void playerKeysWorkFromAnyControl_data();
    void playerKeysWorkFromAnyControl();
    void noKeyWorksWhileADialogIsUp();
    void marksShowOnThePlayerOnceSet();
};

void DesktopTest::aFileGivenAtStartOpensAsIfChosen() {
    WindowWithFakes fixture;
    fixture.window->show();
    fixture.window->openFile("/dvd/VIDEO_TS/VTS_01_1.VOB");
    QCOMPARE(fixture.window->state().sourcePath, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QCOMPARE(fixture.player.mediaFileName, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QCOMPARE(fixture.player.calls,
             (std::vector<std::string>{"endPlayback", "setMediaFileName", "play"}));
    QVERIFY(fixture.dialog.shown.empty());
    QCOMPARE(fixture.dialog.filter, std::string("VOB Files (*.vob)|*.vob"));

    // A file the player refuses: the window stays up, the source stays, and the name waits
    // in the next Open dialog, as after a refused choice in the dialog.
    fixture.player.refuseFiles = true;
    fixture.window->openFile("/home/user/notes.txt");
    QVERIFY(fixture.window->isVisible());
    QCOMPARE(fixture.window->state().sourcePath, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QVERIFY2(fixture.messages.shown.empty(), "the player's own area says why");
    QTest::mouseClick(fixture.control<QPushButton>("Command4"), Qt::LeftButton);
    QCOMPARE(fixture.dialog.namesAtShow, std::vector<std::string>{"/home/user/notes.txt"});
}

void DesktopTest::dropOpensOneLocalFile_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("saving");
    QTest::addColumn<QString>("opened"); // empty: the drop is refused

    const QUrl vob = QUrl::fromLocalFile("/media/dvd/VIDEO_TS/VTS_01_1.VOB");
    const QUrl other = QUrl::fromLocalFile("/media/dvd/VIDEO_TS/VTS_01_2.VOB");
    QTest::newRow("one file") << QList<QUrl>{vob} << false << vob.toLocalFile();
    QTest::newRow("a name with blanks and non-ASCII")
        << QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/home/user/Mes vidéos/été.vob"))}
        << false << QStringLiteral("/home/user/Mes vidéos/été.vob");
    QTest::newRow("two files") << QList<QUrl>{vob, other} << false << QString();
    QTest::newRow("a web address")
        << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.vob"))} << false << QString();
    QTest::newRow("no file") << QList<QUrl>{} << false << QString();
    QTest::newRow("while a save runs") << QList<QUrl>{vob} << true << QString();
}

void DesktopTest::dropOpensOneLocalFile() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, saving);
    QFETCH(QString, opened);

    WindowWithFakes fixture;
    fixture.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(fixture.window.get()));
    fixture.window->state().sourcePath = "/before.vob";
    if (saving) // as the save leaves them while it runs
        for (QPushButton* button : fixture.window->workflowButtons())
            button->setEnabled(false);

    // A file manager offers a move as well: the window must take a copy.
    const bool taken = drop(fixture.window.get(), urls, Qt::CopyAction | Qt::MoveAction);
    QCOMPARE(taken, !opened.isEmpty());
    if (opened.isEmpty()) {
        QVERIFY(fixture.player.calls.empty());
        QCOMPARE(fixture.window->state().sourcePath, std::string("/before.vob"));
    } else {
        QCOMPARE(fixture.player.calls,
                 (std::vector<std::string>{"endPlayback", "setMediaFileName", "play"}));
        QCOMPARE(QString::fromStdString(fixture.window->state().sourcePath), opened);
    }
    QVERIFY(fixture.dialog.shown.empty());
}

void DesktopTest::workflowKeysPressTheirButtons_data() {
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("outcome");

    // The player stands at 20 s of 60 and the marks are 2 to 5 before each key.
    const QString untouched = QStringLiteral("|2-5||");
    struct Row {
        const char* name;
        QKeyCombination key;
        const char* button;
        const char* focus;
        const char* outcome;
    };
    const Row rows[] = {
        {"Ctrl+O", Qt::CTRL | Qt::Key_O, "Command4", "wmp", "open|2-5|endPlayback|"},
        {"I", QKeyCombination(Qt::Key_I), "Command5", "Command8", "|20-5||"},
        {"O", QKeyCombination(Qt::Key_O), "Command6", "WebBrowser1", "|2-20||"},
        {"Ctrl+S", Qt::CTRL | Qt::Key_S, "Command7", "Command4", "save|2-5|haltBeforeSaving|"},
        {"P", QKeyCombination(Qt::Key_P), "Command9", "Command9", "|2-5|setPosition,play|"},
    };
    for (const Row& row : rows) {
        QTest::addRow("%s", row.name) << row.key << row.button << row.focus << true << row.outcome;
        QTest::addRow("%s, button disabled", row.name)
            << row.key << row.button << row.focus << false << untouched;
    }
}

void DesktopTest::workflowKeysPressTheirButtons() {
    QFETCH(QKeyCombination, key);
    QFETCH(QString, button);
    QFETCH(QString, focus);
    QFETCH(bool, enabled);
    QFETCH(QString, outcome);

    ActiveWindow fixture;
    QVERIFY(fixture.ready());
    QVERIFY(fixture.focus(focus));
    auto* pressed = fixture.control<QPushButton>(button.toLatin1());
    pressed->setEnabled(enabled);

    QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    QCOMPARE(fixture.outcome(), outcome);
    const QString keyText = QKeySequence(key).toString(QKeySequence::NativeText);
    QVERIFY2(pressed->toolTip().contains(QStringLiteral("(%1)").arg(keyText)),
             qPrintable(pressed->toolTip()));
}

void DesktopTest::playerKeysWorkFromAnyControl_data() {
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<double>("position");
    QTest::addColumn<double>("duration"); // 0: nothing loaded
    QTest::addColumn<QString>("calls");
    QTest::addColumn<double>("after");
    QTest::addColumn<bool>("saving");

    const auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        return QKeyCombination(m, k);
    };
    // A focused button would take Space as a click of its own.
    QTest::newRow("Space on a button")
        << key(Qt::Key_Space) << "Command4" << 20.0 << 60.0 << "togglePause" << 20.0 << false;
    QTest::newRow("Right") << key(Qt::Key_Right) << "wmp" << 20.0 << 60.0 << "setPosition" << 25.0
                           << false;
    QTest::newRow("Left") << key(Qt::Key_Left) << "Command8" << 20.0 << 60.0 << "setPosition"
                          << 15.0 << false;
    QTest::newRow("Shift+Right") << key(Qt::Key_Right, Qt::ShiftModifier) << "WebBrowser1" << 20.0
                                 << 60.0 << "setPosition" << 21.0 << false;
    QTest::newRow("Shift+Left") << key(Qt::Key_Left, Qt::ShiftModifier) << "Command7" << 20.0
                                << 60.0 << "setPosition" << 19.0 << false;
    QTest::newRow("Left stops at the start")
        << key(Qt::Key_Left) << "wmp" << 2.0 << 60.0 << "setPosition" << 0.0 << false;
    QTest::newRow("Right stops at the end")
        << key(Qt::Key_Right) << "wmp" << 58.0 << 60.0 << "setPosition" << 60.0 << false;
    QTest::newRow("Home") << key(Qt::Key_Home) << "Command5" << 20.0 << 60.0 << "setPosition" << 0.0
                          << false;
    QTest::newRow("End") << key(Qt::Key_End) << "Command6" << 20.0 << 60.0 << "setPosition" << 60.0
                         << false;
    QTest::newRow("comma") << key(Qt::Key_Comma) << "wmp" << 20.0 << 60.0 << "stepFrame-1" << 20.0
                           << false;
    QTest::newRow("period") << key(Qt::Key_Period) << "Command8" << 20.0 << 60.0 << "stepFrame+1"
                            << 20.0 << false;
    // The player's keys stay with the user while a save has the workflow buttons off.
    QTest::newRow("Space while a save runs")
        << key(Qt::Key_Space) << "wmp" << 20.0 << 60.0 << "togglePause" << 20.0 << true;
    // A position set with nothing loaded would wait for the next file.
    QTest::newRow("Right with nothing loaded")
        << key(Qt::Key_Right) << "wmp" << 0.0 << 0.0 << "" << 0.0 << false;
}

void DesktopTest::playerKeysWorkFromAnyControl() {
    QFETCH(QKeyCombination, key);
    QFETCH(QString, focus);
    QFETCH(double, position);
    QFETCH(double, duration);
    QFETCH(QString, calls);
    QFETCH(double, after);
    QFETCH(bool, saving);

    ActiveWindow fixture;
    QVERIFY(fixture.ready());
    fixture.player.currentPosition = position;
    fixture.player.mediaDuration = duration;
    QVERIFY(fixture.focus(focus));
    if (saving) // as the save leaves them while it runs
        for (QPushButton* button : fixture.window->workflowButtons())
            button->setEnabled(false);

    QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5|%1|").arg(calls));
    QCOMPARE(fixture.player.currentPosition, after);
}

void DesktopTest::noKeyWorksWhileADialogIsUp() {
    ActiveWindow fixture;
    QVERIFY(fixture.ready());
    // As the file dialogs and message boxes: modal, over the main window.
    QDialog dialog(fixture.window.get());
    dialog.setModal(true);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    for (const QKeyCombination key :
         {Qt::CTRL | Qt::Key_O, QKeyCombination(Qt::Key_I), Qt::CTRL | Qt::Key_S,
          QKeyCombination(Qt::Key_Space), QKeyCombination(Qt::Key_Right),
          QKeyCombination(Qt::Key_Period)})
        QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5||"));
    QVERIFY(!drop(fixture.window.get(), {QUrl::fromLocalFile("/a.vob")}, Qt::CopyAction));

    dialog.close();
    QVERIFY(QTest::qWaitForWindowActive(fixture.window.get()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5|togglePause|"));
}

void DesktopTest::marksShowOnThePlayerOnceSet() {
    WindowWithFakes fixture;
    fixture.player.currentPosition = 7.4;
    QTest::mouseClick(fixture.control<QPushButton>("Command5"), Qt::LeftButton);
    QCOMPARE(fixture.player.shownBegin, std::optional<double>(7.0));
    QCOMPARE(fixture.player.shownEnd, std::nullopt);
    // An end before the begin is no selection, but both marks still show where they are.
    fixture.player.currentPosition = 3.0;
    QTest::mouseClick(fixture.control<QPushButton>("Command6"), Qt::LeftButton);
    QCOMPARE(fixture.player.shownBegin, std::optional<double>(7.0));
    QCOMPARE(fixture.player.shownEnd, std::optional<double>(3.0));
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
