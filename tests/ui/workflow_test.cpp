#include "window_fixture.h"

#include "support/temp_dir.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <thread>

using namespace parvane;
using namespace parvane::testing;

namespace {

QString text(const WindowWithFakes& fixture, const char* label) {
    return fixture.control<QLabel>(label)->text();
}

void click(const WindowWithFakes& fixture, const char* button) {
    QTest::mouseClick(fixture.control<QPushButton>(button), Qt::LeftButton);
}

} // namespace

class WorkflowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openSetsTheSourceAndPlays();
    void cancelledOpenLeavesEverything();
    void refusedFileKeepsTheSourcePath();
    void playingTimeWaitsForAPositionAndKeepsItsLastText();
    void marksAndCaptionsSurviveASecondOpen();
    void aNewOpenStopsThePreviewWatch();
    void aSaveLocksTheWorkflowButLeavesTheRestWorking();
    void closingMidSaveLeavesNoPartialFile();
};

void WorkflowTest::openSetsTheSourceAndPlays() {
    WindowWithFakes fixture;
    fixture.dialog.answers.push_back("/dvd/VIDEO_TS/VTS_01_1.VOB");
    click(fixture, "Command4");
    QCOMPARE(fixture.window->state().sourcePath, std::string("/dvd/VIDEO_TS/VTS_01_1.VOB"));
    QCOMPARE(fixture.player.calls,
             (std::vector<std::string>{"endPlayback", "setMediaFileName", "play"}));
    QCOMPARE(fixture.dialog.shown, std::vector<std::string>{"open"});
}

void WorkflowTest::cancelledOpenLeavesEverything() {
    WindowWithFakes fixture;
    fixture.dialog.answers.push_back("/first.vob");
    click(fixture, "Command4");
    fixture.player.calls.clear();
    fixture.dialog.answers.push_back(std::nullopt);
    click(fixture, "Command4");
    QCOMPARE(fixture.window->state().sourcePath, std::string("/first.vob"));
    QCOMPARE(fixture.player.mediaFileName, std::string("/first.vob"));
    QCOMPARE(fixture.player.calls, std::vector<std::string>{"endPlayback"});
    QVERIFY(fixture.messages.shown.empty());
}

void WorkflowTest::refusedFileKeepsTheSourcePath() {
    WindowWithFakes fixture;
    fixture.dialog.answers.push_back("/first.vob");
    click(fixture, "Command4");
    fixture.player.refuseFiles = true;
    fixture.dialog.answers.push_back("/notes.txt");
    click(fixture, "Command4");
    QCOMPARE(fixture.window->state().sourcePath, std::string("/first.vob"));
    QVERIFY2(fixture.messages.shown.empty(), "the player's own area says why");
}

void WorkflowTest::playingTimeWaitsForAPositionAndKeepsItsLastText() {
    WindowWithFakes fixture;
    QTest::qWait(1200); // at least one tick with nothing loaded
    QVERIFY(text(fixture, "Label4").isEmpty());
    fixture.player.currentPosition = 83.5;
    QTRY_COMPARE_WITH_TIMEOUT(text(fixture, "Label4"), QStringLiteral(" 0 : 1 : 24"), 2500);
    fixture.player.currentPosition = 0.0;
    QTest::qWait(1200);
    QCOMPARE(text(fixture, "Label4"), QStringLiteral(" 0 : 1 : 24"));
}

void WorkflowTest::marksAndCaptionsSurviveASecondOpen() {
    WindowWithFakes fixture;
    fixture.dialog.answers.push_back("/first.vob");
    click(fixture, "Command4");
    fixture.player.currentPosition = 3.2;
    click(fixture, "Command5");
    fixture.player.currentPosition = 6.6;
    click(fixture, "Command6");
    QCOMPARE(text(fixture, "Label3"), QStringLiteral(" 0 : 0 : 4"));

    fixture.dialog.answers.push_back("/second.vob");
    click(fixture, "Command4");
    QCOMPARE(fixture.window->state().sourcePath, std::string("/second.vob"));
    QCOMPARE(fixture.window->state().clipBegin, 3);
    QCOMPARE(fixture.window->state().clipEnd, 7);
    QCOMPARE(text(fixture, "Label7"), QStringLiteral(" 0 : 0 : 3"));
    QCOMPARE(text(fixture, "Label9"), QStringLiteral(" 0 : 0 : 7"));
    QCOMPARE(text(fixture, "Label3"), QStringLiteral(" 0 : 0 : 4"));
}

void WorkflowTest::aNewOpenStopsThePreviewWatch() {
    WindowWithFakes fixture;
    fixture.player.currentPosition = 3.0;
    click(fixture, "Command5");
    fixture.player.currentPosition = 6.0;
    click(fixture, "Command6");
    click(fixture, "Command9");
    auto* timer1 = fixture.control<QTimer>("Timer1");
    QVERIFY(timer1->isActive());

    fixture.dialog.answers.push_back("/other.vob");
    click(fixture, "Command4");
    QVERIFY(!timer1->isActive());
}

void WorkflowTest::aSaveLocksTheWorkflowButLeavesTheRestWorking() {
    TempDir dir;
    writeFile(dir.file("source.vob"), patternBytes(4096000));
    PosixFileSystem realFiles;
    int timer2Ticks = 0;
    std::function<void()> duringSave;
    // Reads wait like a slow disk until the playing time has ticked once during the save.
    WatchedReadsFileSystem watchedFiles(realFiles, [&](int read) {
        if (read == 3)
            QMetaObject::invokeMethod(this, duringSave, Qt::QueuedConnection);
        if (timer2Ticks == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    });
    WindowWithFakes fixture(&watchedFiles);
    // 40960 bytes a second: 197 steps, each a chance for the window to run.
    QVERIFY(fixture.readyToSave(dir.file("source.vob"), 1, 99, 100.0, dir.file("clip.vob")));
    fixture.player.currentPosition = 12.0;

    // Record the order in which the buttons change.
    QStringList changes;
    struct Recorder : QObject {
        QStringList* changes;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::EnabledChange)
                *changes << watched->objectName() + (static_cast<QWidget*>(watched)->isEnabled()
                                                         ? QStringLiteral(" on")
                                                         : QStringLiteral(" off"));
            return false;
        }
    } recorder;
    recorder.changes = &changes;
    for (QPushButton* button : fixture.window->workflowButtons())
        button->installEventFilter(&recorder);

    connect(fixture.control<QTimer>("Timer2"), &QTimer::timeout, this, [&] { ++timer2Ticks; });
    QString captionDuringSave;
    bool workflowDisabled = false;
    std::size_t dialogsDuringSave = 0;
    duringSave = [&] {
        captionDuringSave = fixture.window->windowTitle();
        workflowDisabled = !fixture.control<QPushButton>("Command4")->isEnabled();
        for (const char* name : {"Command4", "Command5", "Command6", "Command7", "Command9"})
            click(fixture, name);
        dialogsDuringSave = fixture.dialog.shown.size();
        click(fixture, "Command8");
    };
    fixture.player.calls.clear();
    click(fixture, "Command7");

    QCOMPARE(captionDuringSave, QStringLiteral("Saving"));
    QVERIFY(workflowDisabled);
    QCOMPARE(dialogsDuringSave, std::size_t{1}); // only the save's own dialog
    QCOMPARE(fixture.window->state().clipBegin, 1);
    QCOMPARE(fixture.launcher.started.size(), std::size_t{1});
    QVERIFY2(timer2Ticks >= 1, "the playing time goes on during a save");
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Clip Saved"});
    QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Parvane 4.0"));
    QCOMPARE(changes, (QStringList{"Command4 off", "Command5 off", "Command6 off", "Command7 off",
                                   "Command9 off", "Command4 on", "Command5 on", "Command6 on",
                                   "Command7 on", "Command9 on"}));
    QCOMPARE(fixture.control<QProgressBar>("pb")->value(), 0);
    QCOMPARE(readFile(dir.file("clip.vob")).size(), std::size_t{197 * 20480 + 1});
}

void WorkflowTest::closingMidSaveLeavesNoPartialFile() {
    TempDir dir;
    writeFile(dir.file("source.vob"), patternBytes(2048000));
    const std::vector<std::uint8_t> old(1000, 0x5A);
    writeFile(dir.file("clip.vob"), old);
    PosixFileSystem realFiles;
    std::unique_ptr<WindowWithFakes> fixture;
    WatchedReadsFileSystem watchedFiles(realFiles, [&](int read) {
        if (read == 3)
            QMetaObject::invokeMethod(
                fixture->window.get(), [&] { fixture->window->close(); }, Qt::QueuedConnection);
    });
    fixture = std::make_unique<WindowWithFakes>(&watchedFiles);
    QVERIFY(fixture->readyToSave(dir.file("source.vob"), 1, 90, 100.0, dir.file("clip.vob")));
    fixture->messages.answers.push_back(true);
    QSignalSpy ending(fixture->window.get(), &MainWindow::programEnding);

    click(*fixture, "Command7");

    QCOMPARE(ending.count(), 1);
    QCOMPARE(fixture->messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    QCOMPARE(readFile(dir.file("clip.vob")), old);
    QCOMPARE(dir.entries(), (std::vector<std::string>{"clip.vob", "source.vob"}));
}

QTEST_MAIN(WorkflowTest)
#include "workflow_test.moc"
