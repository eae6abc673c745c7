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
    bool ready(const char* focus, bool saving = false) {
        window->show();
        window->activateWindow();
        player.currentPosition = 20.0;
        player.mediaDuration = 60.0;
        window->state().ClipBegin = 2;
        window->state().ClipEnd = 5;
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
            .arg(window->state().ClipBegin)
            .arg(window->state().ClipEnd)
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

class DesktopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void dropOpensOneLocalFile();
    void keysWorkFromAnyControl();
    void noKeyWorksWhileADialogIsUp();
};

void DesktopTest::dropOpensOneLocalFile() {
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
        QCOMPARE(fixture.window->state().SourcePath,
                 row.taken ? vob.toLocalFile().toStdString() : std::string());
        QCOMPARE(fixture.outcome(),
                 row.taken ? "|2-5|endPlayback,setMediaFileName,play|20|" : "|2-5||20|");
    }
}

// The workflow keys press their buttons, so a disabled button's key does nothing; the
// player's keys work even while a save has the workflow locked.
void DesktopTest::keysWorkFromAnyControl() {
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
        {QKeyCombination(Qt::Key_I), "wmp", "Command5", true, 60, 20, "|2-5||20|"},
        // A focused button would take Space as a click of its own.
        {QKeyCombination(Qt::Key_Space), "Command4", nullptr, false, 60, 20,
         "|2-5|togglePause|20|"},
        {QKeyCombination(Qt::Key_Right), "wmp", nullptr, false, 60, 20, "|2-5|setPosition|25|"},
        {QKeyCombination(Qt::Key_Left), "Command8", nullptr, false, 60, 20, "|2-5|setPosition|15|"},
        {QKeyCombination(shift, Qt::Key_Right), "WebBrowser1", nullptr, false, 60, 20,
         "|2-5|setPosition|21|"},
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
        fixture.press(key);
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5||20|"));
    QVERIFY(!drop(fixture.window.get(), {QUrl::fromLocalFile("/a.vob")}, Qt::CopyAction));

    dialog.close();
    QVERIFY(QTest::qWaitForWindowActive(fixture.window.get()));
    fixture.press(QKeyCombination(Qt::Key_Space));
    QCOMPARE(fixture.outcome(), QStringLiteral("|2-5|togglePause|20|"));
}

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
