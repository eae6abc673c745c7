#include "core/base/texts.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_progress_bar.h"
#include "platform/qt/seek_slider.h"
#include "platform/qt/termination_signals.h"
#include "support/temp_dir.h"

#include <QDir>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <filesystem>

using namespace parvane;
using namespace parvane::testing;

class PlatformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openFilterMatchesAnyLetterCase();
    void progressBeyondIntShowsTheSameFraction();
    void terminationSignalsArriveInTheEventLoop();
    void theSliderShowsTheMarksAsTicks();
    void theOpenDialogTakesADvdFolder();
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

// Two narrow ticks under the track, one near each mark's place, and none for a mark not set;
// the stream clip's ends and the chapter starts above it. The slider is for a 60 s video, in
// tenths of a second as the player uses it.
void PlatformTest::theSliderShowsTheMarksAsTicks() {
    SeekSlider slider;
    slider.setRange(0, 600);
    slider.resize(300, 22);
    slider.setValue(300); // the handle in the middle, away from both marks
    const QImage before = slider.grab().toImage();
    // The columns that changed, and whether any change lies in the lower half.
    const auto changed = [&] {
        const QImage after = slider.grab().toImage();
        QList<int> columns;
        bool below = false;
        for (int x = 0; x < after.width(); ++x)
            for (int y = 0; y < after.height(); ++y)
                if (after.pixel(x, y) != before.pixel(x, y)) {
                    if (columns.isEmpty() || columns.back() != x)
                        columns << x;
                    below = below || y >= after.height() / 2;
                }
        return std::pair(columns, below);
    };
    slider.setMarks(90, 510); // 15 % and 85 % of the way
    const auto [both, marksBelow] = changed();
    QVERIFY2(!both.isEmpty() && both.size() <= 6, qPrintable(QString::number(both.size())));
    QVERIFY(std::abs(both.first() - 45) <= 8 && std::abs(both.last() - 255) <= 8);
    QVERIFY(marksBelow);
    slider.setMarks(90, std::nullopt);
    QVERIFY(!changed().first.contains(both.last()));

    slider.setMarks(std::nullopt, std::nullopt);
    slider.setChapters({200});
    slider.setStreamClip(std::pair(120, 480));
    const auto [above, aboveBelow] = changed();
    QVERIFY2(!above.isEmpty() && above.size() <= 7, qPrintable(QString::number(above.size())));
    QVERIFY(std::abs(above.first() - 60) <= 8 && std::abs(above.last() - 240) <= 8);
    QVERIFY(std::any_of(above.begin(), above.end(), [](int x) { return std::abs(x - 100) <= 8; }));
    QVERIFY(!aboveBelow);
}

// With a DVD's folder selected, Open takes the folder; with any other, it goes into it.
void PlatformTest::theOpenDialogTakesADvdFolder() {
    TempDir dir;
    std::filesystem::create_directories(dir.file("FILM/VIDEO_TS"));
    std::filesystem::create_directories(dir.file("photos"));
    writeFile(dir.file("FILM/VIDEO_TS/video_ts.ifo"), {1}); // a copy in lower case
    QVERIFY(isDiscFolder(QString::fromStdString(dir.file("FILM"))));
    QVERIFY(isDiscFolder(QString::fromStdString(dir.file("FILM/VIDEO_TS"))));
    QVERIFY(!isDiscFolder(QString::fromStdString(dir.file("photos"))));
    QVERIFY(!isDiscFolder(QString::fromStdString(dir.file("FILM/VIDEO_TS/video_ts.ifo"))));
    for (const char* folder : {"FILM", "photos"}) {
        DiscFolderDialog dialog(nullptr);
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDirectory(QString::fromStdString(dir.path().string()));
        dialog.selectFile(QString::fromLatin1(folder));
        dialog.accept();
        const bool disc = std::string(folder) == "FILM";
        QCOMPARE(dialog.result(), disc ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(dialog.discFolder(), disc ? QString::fromStdString(dir.file("FILM")) : QString());
    }
}

QTEST_MAIN(PlatformTest)
#include "platform_test.moc"
