#include "core/texts.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_progress_bar.h"
#include "platform/qt/seek_slider.h"
#include "platform/qt/termination_signals.h"
#include "support/temp_dir.h"

#include <QDir>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <csignal>

using namespace parvane;
using namespace parvane::testing;

class PlatformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openFilterMatchesAnyLetterCase();
    void progressBeyondIntShowsTheSameFraction();
    void terminationSignalsArriveInTheEventLoop();
    void theSliderShowsTheMarksAsTicks();
};

void PlatformTest::openFilterMatchesAnyLetterCase() {
    const QString filter = toQtNameFilter(texts::kOpenFilter);
    TempDir dir;
    for (const char* name : {"VTS_01_1.VOB", "clip.vob", "Mixed.Vob", "movie.mpg", "vob.txt"})
        writeFile(dir.file(name), {1});
    // The patterns Qt reads from the filter: those in its last parentheses.
    const QString patterns = filter.mid(filter.lastIndexOf('(') + 1).chopped(1);
    QDir folder(QString::fromStdString(dir.path().string()));
    folder.setNameFilters(patterns.split(' '));
    QCOMPARE(folder.entryList(QDir::Files, QDir::Name),
             (QStringList{"Mixed.Vob", "VTS_01_1.VOB", "clip.vob"}));
}

void PlatformTest::progressBeyondIntShowsTheSameFraction() {
    QProgressBar bar;
    QtProgressBar progress(bar);
    progress.setMaximum(6'000'000'000);
    progress.setValue(1'500'000'000);
    QCOMPARE(progress.value(), std::int64_t{1'500'000'000});
    QVERIFY(bar.maximum() > 0);
    QVERIFY(std::abs(double(bar.value()) / bar.maximum() - 0.25) < 1e-6);
    progress.setValue(6'000'000'000);
    QCOMPARE(bar.value(), bar.maximum());
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

// Two narrow ticks, one near each mark's place on the track, and none for a mark not set. The
// slider is for a 60 s video, in tenths of a second as the player uses it.
void PlatformTest::theSliderShowsTheMarksAsTicks() {
    SeekSlider slider;
    slider.setRange(0, 600);
    slider.resize(300, 22);
    slider.setValue(300); // the handle in the middle, away from both marks
    const QImage before = slider.grab().toImage();
    const auto changedColumns = [&](std::optional<int> begin, std::optional<int> end) {
        slider.setMarks(begin, end);
        const QImage after = slider.grab().toImage();
        QList<int> changed;
        for (int x = 0; x < after.width(); ++x)
            for (int y = 0; y < after.height(); ++y)
                if (after.pixel(x, y) != before.pixel(x, y)) {
                    changed << x;
                    break;
                }
        return changed;
    };
    const QList<int> both = changedColumns(90, 510); // 15 % and 85 % of the way
    QVERIFY2(!both.isEmpty() && both.size() <= 6, qPrintable(QString::number(both.size())));
    QVERIFY(std::abs(both.first() - 45) <= 8 && std::abs(both.last() - 255) <= 8);
    QVERIFY(!changedColumns(90, std::nullopt).contains(both.last()));
}

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
