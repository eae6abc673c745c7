#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_progress_bar.h"
#include "platform/qt/seek_slider.h"
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
    void aClickOnTheSliderTrackGoesToThatPoint_data();
    void aClickOnTheSliderTrackGoesToThatPoint();
    void draggingTheSliderFollowsThePointer();
    void marksShowAsTwoTicksWhereTheyLie();
};

namespace {

// A position slider for a 60 s video, in tenths of a second as the player uses it.
struct ShownSlider {
    ShownSlider() {
        slider.setRange(0, 600);
        slider.resize(300, 22);
        slider.show();
    }
    int xAt(double fraction) const { return int(fraction * slider.width()); }
    double fractionOf(int value) const { return double(value) / slider.maximum(); }

    SeekSlider slider;
};

} // namespace

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
    // A dialog that is cancelled keeps the name it started with. The call runs once the
    // dialog's own loop does, with the dialog up.
    QMetaObject::invokeMethod(
        &parent, [] { QApplication::activeModalWidget()->close(); }, Qt::QueuedConnection);
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

void PlatformTest::aClickOnTheSliderTrackGoesToThatPoint_data() {
    QTest::addColumn<double>("fraction");
    QTest::newRow("a quarter") << 0.25;
    QTest::newRow("three quarters") << 0.75;
    QTest::newRow("near the end") << 0.97;
}

void PlatformTest::aClickOnTheSliderTrackGoesToThatPoint() {
    QFETCH(double, fraction);
    ShownSlider shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.slider));
    QSignalSpy released(&shown.slider, &QSlider::sliderReleased);
    QTest::mouseClick(&shown.slider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(shown.xAt(fraction), shown.slider.height() / 2));
    // The player seeks once, when the slider is let go.
    QCOMPARE(released.count(), 1);
    // Within the few pixels the handle's ends take from the track.
    QVERIFY2(std::abs(shown.fractionOf(shown.slider.value()) - fraction) < 0.03,
             qPrintable(QString::number(shown.slider.value())));
}

void PlatformTest::draggingTheSliderFollowsThePointer() {
    ShownSlider shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.slider));
    QSignalSpy moved(&shown.slider, &QSlider::sliderMoved);
    QSignalSpy released(&shown.slider, &QSlider::sliderReleased);
    const int y = shown.slider.height() / 2;
    QTest::mousePress(&shown.slider, Qt::LeftButton, Qt::NoModifier, QPoint(shown.xAt(0.02), y));
    for (const double fraction : {0.2, 0.4, 0.5})
        QTest::mouseMove(&shown.slider, QPoint(shown.xAt(fraction), y));
    QVERIFY2(moved.count() >= 2, "a drag moves the slider as it goes");
    QCOMPARE(released.count(), 0);
    QTest::mouseRelease(&shown.slider, Qt::LeftButton, Qt::NoModifier, QPoint(shown.xAt(0.5), y));
    QCOMPARE(released.count(), 1);
    QVERIFY2(std::abs(shown.fractionOf(shown.slider.value()) - 0.5) < 0.03,
             qPrintable(QString::number(shown.slider.value())));
}

void PlatformTest::marksShowAsTwoTicksWhereTheyLie() {
    ShownSlider shown;
    QVERIFY(QTest::qWaitForWindowExposed(&shown.slider));
    shown.slider.setValue(300); // the handle in the middle, away from both marks
    const QImage before = shown.slider.grab().toImage();
    shown.slider.setMarks(std::nullopt, std::nullopt);
    QCOMPARE(shown.slider.grab().toImage(), before);

    shown.slider.setMarks(90, 510); // 15 % and 85 % of the way
    const QImage after = shown.slider.grab().toImage();
    QList<int> changed;
    for (int x = 0; x < after.width(); ++x)
        for (int y = 0; y < after.height(); ++y)
            if (after.pixel(x, y) != before.pixel(x, y)) {
                changed << x;
                break;
            }
    QVERIFY2(!changed.isEmpty(), "no tick drawn");
    // Two narrow ticks, one near each mark's place on the track.
    QVERIFY2(changed.size() <= 6, qPrintable(QString::number(changed.size())));
    QVERIFY(std::abs(changed.first() - shown.xAt(0.15)) <= 8);
    QVERIFY(std::abs(changed.last() - shown.xAt(0.85)) <= 8);

    shown.slider.setMarks(90, std::nullopt); // only the begin set
    const QImage beginOnly = shown.slider.grab().toImage();
    for (int y = 0; y < beginOnly.height(); ++y)
        QCOMPARE(beginOnly.pixel(changed.last(), y), before.pixel(changed.last(), y));
}

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
