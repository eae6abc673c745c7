#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_progress_bar.h"
#include "platform/qt/termination_signals.h"
#include "support/temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <csignal>

using namespace parvane;
using namespace parvane::testing;

class PlatformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openFilterIsOneEntryThatMatchesAnyLetterCase();
    void fileDialogKeepsItsSettingsBetweenShowings();
    void progressBeyondIntShowsTheSameFraction();
    void eventPumpRunsEventsAndStopsWhenTheProgramEnds();
    void terminationSignalsArriveInTheEventLoop();
};

void PlatformTest::openFilterIsOneEntryThatMatchesAnyLetterCase() {
    const QStringList filters = toQtNameFilters("VOB Files (*.vob)|*.vob");
    QCOMPARE(filters.size(), 1);
    QVERIFY(filters[0].startsWith("VOB Files (*.vob) "));

    TempDir dir;
    for (const char* name : {"VTS_01_1.VOB", "clip.vob", "Mixed.Vob", "movie.mpg", "vob.txt"})
        writeFile(dir.file(name), {1});
    // The patterns Qt reads from the filter: those in its last parentheses.
    const QString filter = filters[0];
    const QString patterns = filter.mid(filter.lastIndexOf('(') + 1).chopped(1);
    QDir folder(QString::fromStdString(dir.path().string()));
    folder.setNameFilters(patterns.split(' '));
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name),
             (QStringList{"Mixed.Vob", "VTS_01_1.VOB", "clip.vob"}));

    QCOMPARE(toQtNameFilters("VOB Files(*.vob)|*.vob|All|*.*").size(), 2);
}

void PlatformTest::fileDialogKeepsItsSettingsBetweenShowings() {
    QWidget parent;
    QtFileDialog dialog(&parent);
    QCOMPARE(dialog.objectName(), QStringLiteral("Cdlg"));
    QCOMPARE(dialog.fileName(), std::string());
    dialog.setFileName("/tmp/last.vob");
    dialog.setTitle("Open");
    // A dialog that is cancelled keeps the name it started with.
    QTimer::singleShot(200, &parent, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QVERIFY(!dialog.showSave());
    QCOMPARE(dialog.fileName(), std::string("/tmp/last.vob"));
}

void PlatformTest::progressBeyondIntShowsTheSameFraction() {
    QProgressBar bar;
    QtProgressBar progress(bar);
    const std::int64_t maximum = 6'000'000'000;
    progress.setMaximum(maximum);
    progress.setValue(1'500'000'000);
    QCOMPARE(progress.value(), std::int64_t{1'500'000'000});
    QVERIFY(bar.maximum() > 0);
    const double shown = double(bar.value()) / bar.maximum();
    QVERIFY(std::abs(shown - 0.25) < 1e-6);

    progress.setValue(maximum);
    QCOMPARE(bar.value(), bar.maximum());
    progress.setMaximum(61441); // small ranges are not scaled
    progress.setValue(20480);
    QCOMPARE(bar.maximum(), 61441);
    QCOMPARE(bar.value(), 20480);
}

void PlatformTest::eventPumpRunsEventsAndStopsWhenTheProgramEnds() {
    QtEventPump pump;
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    QVERIFY(pump.processPendingEvents());
    QVERIFY(ran);
    pump.endProgram();
    QVERIFY(!pump.processPendingEvents());
}

void PlatformTest::terminationSignalsArriveInTheEventLoop() {
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        TerminationSignals termination;
        QSignalSpy received(&termination, &TerminationSignals::received);
        ::raise(signalNumber); // would end the test program were it not caught
        QVERIFY(received.wait(5000));
        QCOMPARE(received.takeFirst().at(0).toInt(), signalNumber);
    }
}

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
