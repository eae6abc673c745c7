#include "window_fixture.h"

#include <QDialog>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

using namespace parvane;
using namespace parvane::testing;

namespace {

QString joined(const std::vector<std::string>& words) {
    QStringList list;
    for (const std::string& word : words)
        list << QString::fromStdString(word);
    return list.join(',');
}

// A shown, active window with a source open: the player at 20 s of 60, marks 2 to 5.
struct ActiveWindow : WindowWithFakes {
    // Gives `focus` the keyboard focus; the stand-in web pane takes it as the real one does.
    bool ready(const QString& focus, bool saving = false) {
        window->show();
        window->activateWindow();
        player.currentPosition = 20.0;
        player.mediaDuration = 60.0;
        window->state().ClipBegin = 2;
        window->state().ClipEnd = 5;
        if (saving) // as the save leaves them while it runs
            for (QPushButton* button : window->workflowButtons())
                button->setEnabled(false);
        QWidget* control = this->control<QWidget>(focus.toLatin1());
        if (control->focusPolicy() == Qt::NoFocus)
            control->setFocusPolicy(Qt::StrongFocus);
        control->setFocus();
        return QTest::qWaitForWindowActive(window.get()) &&
               QTest::qWaitFor([control] { return control->hasFocus(); });
    }

    // What a key can change, in one line: dialogs shown, marks, player calls, messages.
    QString outcome() const {
        return QStringLiteral("%1|%2-%3|%4|%5")
            .arg(joined(dialog.shown))
            .arg(window->state().ClipBegin)
            .arg(window->state().ClipEnd)
            .arg(joined(player.calls), joined(messages.shown));
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
    void dropOpensOneLocalFile_data();
    void dropOpensOneLocalFile();
    void workflowKeysPressTheirButtons_data();
    void workflowKeysPressTheirButtons();
    void playerKeysWorkFromAnyControl_data();
    void playerKeysWorkFromAnyControl();
    void noKeyWorksWhileADialogIsUp();
};

void DesktopTest::dropOpensOneLocalFile_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("saving");
    QTest::addColumn<QString>("opened"); // empty: the drop is refused

    const QUrl vob = QUrl::fromLocalFile("/media/dvd/VIDEO_TS/VTS_01_1.VOB");
    const QString unusual = QStringLiteral("/home/user/Mes vidéos/été.vob");
    QTest::newRow("one file") << QList<QUrl>{vob} << false << vob.toLocalFile();
    QTest::newRow("blanks and non-ASCII")
        << QList<QUrl>{QUrl::fromLocalFile(unusual)} << false << unusual;
    QTest::newRow("two files") << QList<QUrl>{vob, vob} << false << QString();
    QTest::newRow("a web address")
        << QList<QUrl>{QUrl(QStringLiteral("https://example.org/a.vob"))} << false << QString();
    QTest::newRow("no file") << QList<QUrl>{} << false << QString();
    QTest::newRow("while a save runs") << QList<QUrl>{vob} << true << QString();
}

void DesktopTest::dropOpensOneLocalFile() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, saving);
    QFETCH(QString, opened);

    ActiveWindow fixture;
    QVERIFY(fixture.ready("Command8", saving));
    fixture.window->state().SourcePath = "/before.vob";
    // A file manager offers a move as well: the window must take a copy.
    QCOMPARE(drop(fixture.window.get(), urls, Qt::CopyAction | Qt::MoveAction), !opened.isEmpty());
    QCOMPARE(fixture.outcome(), opened.isEmpty() ? QStringLiteral("|2-5||")
                                                 : QStringLiteral("|2-5|endPlayback,"
                                                                  "setMediaFileName,play|"));
    QCOMPARE(QString::fromStdString(fixture.window->state().SourcePath),
             opened.isEmpty() ? QStringLiteral("/before.vob") : opened);
}

void DesktopTest::workflowKeysPressTheirButtons_data() {
    QTest::addColumn<QKeyCombination>("key");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("outcome");

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
            << row.key << row.button << row.focus << false << QStringLiteral("|2-5||");
    }
}

void DesktopTest::workflowKeysPressTheirButtons() {
    QFETCH(QKeyCombination, key);
    QFETCH(QString, button);
    QFETCH(QString, focus);
    QFETCH(bool, enabled);
    QFETCH(QString, outcome);

    ActiveWindow fixture;
    QVERIFY(fixture.ready(focus));
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
    QTest::addColumn<bool>("saving");
    QTest::addColumn<QString>("calls");
    QTest::addColumn<double>("after");

    const auto row = [](const char* name, Qt::Key key, Qt::KeyboardModifiers modifiers,
                        const char* focus, double position, double duration, bool saving,
                        const char* calls, double after) {
        QTest::newRow(name) << QKeyCombination(modifiers, key) << focus << position << duration
                            << saving << calls << after;
    };
    const auto none = Qt::NoModifier;
    const auto shift = Qt::ShiftModifier;
    // A focused button would take Space as a click of its own.
    row("Space on a button", Qt::Key_Space, none, "Command4", 20, 60, false, "togglePause", 20);
    row("Right", Qt::Key_Right, none, "wmp", 20, 60, false, "setPosition", 25);
    row("Left", Qt::Key_Left, none, "Command8", 20, 60, false, "setPosition", 15);
    row("Shift+Right", Qt::Key_Right, shift, "WebBrowser1", 20, 60, false, "setPosition", 21);
    row("Shift+Left", Qt::Key_Left, shift, "Command7", 20, 60, false, "setPosition", 19);
    row("Left stops at the start", Qt::Key_Left, none, "wmp", 2, 60, false, "setPosition", 0);
    row("Right stops at the end", Qt::Key_Right, none, "wmp", 58, 60, false, "setPosition", 60);
    row("Home", Qt::Key_Home, none, "Command5", 20, 60, false, "setPosition", 0);
    row("End", Qt::Key_End, none, "Command6", 20, 60, false, "setPosition", 60);
    row("comma", Qt::Key_Comma, none, "wmp", 20, 60, false, "stepFrame-1", 20);
    row("period", Qt::Key_Period, none, "Command8", 20, 60, false, "stepFrame+1", 20);
    // The player's keys stay with the user while a save has the workflow buttons off.
    row("Space while a save runs", Qt::Key_Space, none, "wmp", 20, 60, true, "togglePause", 20);
    // A position set with nothing loaded would wait for the next file.
    row("Right with nothing loaded", Qt::Key_Right, none, "wmp", 0, 0, false, "", 0);
}

void DesktopTest::playerKeysWorkFromAnyControl() {
    QFETCH(QKeyCombination, key);
    QFETCH(QString, focus);
    QFETCH(double, position);
    QFETCH(double, duration);
    QFETCH(bool, saving);
    QFETCH(QString, calls);
    QFETCH(double, after);

    ActiveWindow fixture;
    QVERIFY(fixture.ready(focus, saving));
    fixture.player.currentPosition = position;
    fixture.player.mediaDuration = duration;
    QTest::keyClick(QApplication::focusWidget(), key.key(), key.keyboardModifiers());
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5|%1|").arg(calls));
    QCOMPARE(fixture.player.currentPosition, after);
}

void DesktopTest::noKeyWorksWhileADialogIsUp() {
    ActiveWindow fixture;
    QVERIFY(fixture.ready("wmp"));
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

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
