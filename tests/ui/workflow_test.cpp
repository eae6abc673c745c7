#include "window_fixture.h"

#include "support/temp_dir.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include <functional>

using namespace parvane;
using namespace parvane::testing;

namespace {

QString text(const WindowWithFakes& fixture, const char* label) {
    return fixture.control<QLabel>(label)->text();
}

void click(const WindowWithFakes& fixture, const char* control) {
    QTest::mouseClick(fixture.control<QWidget>(control), Qt::LeftButton);
}

} // namespace

class WorkflowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openPlaysTheFileAndKeepsTheSourceOnCancelOrRefusal();
    void marksSurviveASecondOpenWhichStopsThePreview();
    void aSaveLocksTheWorkflowButLeavesTheRestWorking();
    void closingMidSaveLeavesNoPartialFile();
};

void WorkflowTest::openPlaysTheFileAndKeepsTheSourceOnCancelOrRefusal() {
    WindowWithFakes fixture;
    const ClipState& state = fixture.window->state();
    fixture.dialog.answers = {"/dvd/VIDEO_TS/VTS_01_1.VOB", std::nullopt, "/notes.txt"};
    click(fixture, "Command4");
    QCOMPARE(state.sourcePath, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QCOMPARE(fixture.player.calls,
             (std::vector<std::string>{"endPlayback", "setMediaFileName", "play"}));

    fixture.player.calls.clear();
    click(fixture, "Command4"); // cancelled
    QCOMPARE(fixture.player.calls, std::vector<std::string>{"endPlayback"});

    fixture.player.refuseFiles = true;
    click(fixture, "Command4");
    // A file named at start is refused the same way; its name waits in the next dialog.
    fixture.window->openFile("/home/user/été.vob");
    QCOMPARE(state.sourcePath, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QCOMPARE(fixture.player.mediaFileName, state.sourcePath);
    QVERIFY2(fixture.messages.shown.empty(), "the player's own area says why");
    click(fixture, "Command4");
    QCOMPARE(fixture.dialog.namesAtShow.back(), std::string("/home/user/été.vob"));
}

void WorkflowTest::marksSurviveASecondOpenWhichStopsThePreview() {
    WindowWithFakes fixture;
    fixture.player.currentPosition = 3.2;
    click(fixture, "Command5");
    QVERIFY(!fixture.player.shownEnd); // no tick for an end not yet set
    fixture.player.currentPosition = 6.6;
    click(fixture, "Command6");
    QCOMPARE(fixture.player.shownBegin, std::optional<double>(3.0));
    QCOMPARE(fixture.player.shownEnd, std::optional<double>(7.0));
    click(fixture, "Command9");
    auto* timer1 = fixture.control<QTimer>("Timer1");
    QVERIFY(timer1->isActive());

    fixture.dialog.answers.push_back("/second.vob");
    click(fixture, "Command4");
    QVERIFY(!timer1->isActive());
    QCOMPARE(fixture.window->state().clipBegin, 3);
    QCOMPARE(fixture.window->state().clipEnd, 7);
    QCOMPARE(text(fixture, "Label3"), QStringLiteral(" 0 : 0 : 4"));
}

void WorkflowTest::aSaveLocksTheWorkflowButLeavesTheRestWorking() {
    TempDir dir;
    writeFile(dir.file("source.vob"), patternBytes(1024000));
    WindowWithFakes fixture;
    std::function<void()> duringSave;
    // At its third read, the save's next pass runs what the user does meanwhile.
    fixture.files.onRead = [&](int read) {
        if (read == 3)
            QMetaObject::invokeMethod(fixture.window.get(), duringSave, Qt::QueuedConnection);
    };
    // 20480 bytes a second: 20 steps, each a pass for the window.
    QVERIFY(fixture.readyToSave(dir.file("source.vob"), 1, 20, 50.0, dir.file("clip.vob")));
    fixture.player.currentPosition = 12.0;
    fixture.control<QTimer>("Timer2")->start(0); // the playing time, at every pass

    QString caption, playingTime;
    bool locked = false, tipShown = false;
    std::size_t dialogs = 0;
    duringSave = [&] {
        caption = fixture.window->windowTitle();
        locked = !fixture.control<QPushButton>("Command4")->isEnabled();
        for (const char* name : {"Command4", "Command5", "Command6", "Command7", "Command9"})
            click(fixture, name);
        dialogs = fixture.dialog.shown.size();
        playingTime = text(fixture, "Label4");
        click(fixture, "Command8");
        click(fixture, "Label2");
        tipShown = !fixture.window->isVisible();
    };
    click(fixture, "Command7");

    QCOMPARE(caption, QStringLiteral("Saving"));
    QVERIFY(locked);
    QCOMPARE(dialogs, std::size_t{1}); // only the save's own dialog
    QCOMPARE(playingTime, QStringLiteral(" 0 : 0 : 12"));
    QCOMPARE(fixture.links.opened.size(), std::size_t{1});
    QVERIFY(tipShown);
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Clip Saved"});
    QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Parvane 4.0"));
    for (QPushButton* button : fixture.window->workflowButtons())
        QVERIFY(button->isEnabled());
    QCOMPARE(fixture.control<QProgressBar>("pb")->value(), 0);
    QCOMPARE(readFile(dir.file("clip.vob")).size(), std::size_t{20 * 20480 + 1});
    fixture.window->tipWindow()->close();
    QVERIFY(fixture.window->isVisible());
}

// Closing the window ends playback and the program; a save under way stops and leaves nothing.
void WorkflowTest::closingMidSaveLeavesNoPartialFile() {
    TempDir dir;
    writeFile(dir.file("source.vob"), patternBytes(2048000));
    const std::vector<std::uint8_t> old(1000, 0x5A);
    writeFile(dir.file("clip.vob"), old);
    WindowWithFakes fixture;
    MainWindow* window = fixture.window.get();
    fixture.files.onRead = [window](int read) {
        if (read == 3)
            QMetaObject::invokeMethod(
                window, [window] { window->close(); }, Qt::QueuedConnection);
    };
    QVERIFY(fixture.readyToSave(dir.file("source.vob"), 1, 90, 100.0, dir.file("clip.vob")));
    fixture.messages.answers.push_back(true);
    QSignalSpy ending(window, &MainWindow::programEnding);
    click(fixture, "Command7");
    QCOMPARE(ending.count(), 1);
    QCOMPARE(fixture.player.calls.back(), std::string("endPlayback"));
    QVERIFY(!fixture.control<QTimer>("Timer2")->isActive());
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    QCOMPARE(readFile(dir.file("clip.vob")), old);
    QCOMPARE(dir.entries(), (std::vector<std::string>{"clip.vob", "source.vob"}));
}

QTEST_MAIN(WorkflowTest)
#include "workflow_test.moc"
