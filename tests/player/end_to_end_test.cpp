#include "core/clip_plan.h"
#include "core/numbers.h"
#include "core/time_text.h"
#include "platform/posix/posix_file_system.h"
#include "platform/qt/mpv_player.h"
#include "support/fakes.h"
#include "support/media.h"
#include "support/temp_dir.h"
#include "ui/main_window.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>

using namespace parvane;
using namespace parvane::testing;

// The whole workflow on a real DVD: the real window, the real player, real files; only the
// dialogs and message boxes are answered by the test.
class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void openMarkAndPreview();
    void saveWritesTheProportionalByteRange();

private:
    QString text(const char* label) const { return window_->findChild<QLabel*>(label)->text(); }
    void click(const char* button) {
        QTest::mouseClick(window_->findChild<QPushButton*>(button), Qt::LeftButton);
    }
    void markAt(double seconds, const char* button, const char* label, std::int32_t& mark);

    std::unique_ptr<TempDir> dir_;
    std::string vob_;
    FakeDialog dialog_;
    FakeMessages messages_;
    FakeWebPane web_;
    FakeLauncher launcher_;
    PosixFileSystem files_;
    MpvPlayer* player_ = nullptr;
    std::unique_ptr<MainWindow> window_;
};

void EndToEndTest::initTestCase() {
    dir_ = std::make_unique<TempDir>();
    vob_ = makeDvd(dir_->path().string(), 30);
    player_ = new MpvPlayer(nullptr, MpvPlayer::Options{"null"});
    MainWindowParts parts;
    parts.playerWidget = player_;
    parts.player = player_;
    parts.webWidget = new QWidget;
    parts.web = &web_;
    parts.files = &files_;
    parts.launcher = &launcher_;
    parts.dialog = &dialog_;
    parts.messages = &messages_;
    window_ = std::make_unique<MainWindow>(parts);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void EndToEndTest::cleanupTestCase() {
    window_.reset();
}

void EndToEndTest::markAt(double seconds, const char* button, const char* label,
                          std::int32_t& mark) {
    QTRY_VERIFY_WITH_TIMEOUT(player_->position() >= seconds, 15000);
    const double before = player_->position();
    QElapsedTimer clock;
    clock.start();
    click(button);
    const qint64 captionNs = clock.nsecsElapsed();
    const double after = player_->position();
    qInfo("%s: click to caption %.3f ms", button, captionNs / 1e6);
    // The handler read the position between these two readings.
    QVERIFY(mark == roundToInt32(before) || mark == roundToInt32(after));
    QCOMPARE(text(label), QString::fromStdString(formatSeconds(mark)));
}

void EndToEndTest::openMarkAndPreview() {
    dialog_.answers.push_back(vob_);
    click("Command4");
    QCOMPARE(window_->state().sourcePath, vob_);

    ClipState& state = window_->state();
    markAt(3.0, "Command5", "Label7", state.clipBegin);
    markAt(6.0, "Command6", "Label9", state.clipEnd);
    QCOMPARE(text("Label3"),
             QString::fromStdString(formatSeconds(state.clipEnd - state.clipBegin)));
    // A picture of the window at work, for a person to look at.
    window_->grab().save(QStringLiteral(QT_TESTCASE_BUILDDIR "/parvane-at-work.png"));

    auto* timer1 = window_->findChild<QTimer*>("Timer1");
    const int runs = qEnvironmentVariableIsSet("PARVANE_PREVIEW_RUNS")
                         ? qEnvironmentVariableIntValue("PARVANE_PREVIEW_RUNS")
                         : 2;
    std::vector<double> late;
    for (int run = 0; run < runs; ++run) {
        click("Command9");
        QVERIFY(timer1->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!timer1->isActive(), 15000);
        QTest::qWait(150); // let the pause settle before reading where it stopped
        const double stoppedAt = player_->position();
        QVERIFY(player_->isPaused());
        late.push_back(stoppedAt - state.clipEnd);
        qInfo("preview %d halted %.3f s past the end mark", run + 1, late.back());
        QVERIFY2(late.back() > 0.0 && late.back() <= 0.3, qPrintable(QString::number(late.back())));
    }
    std::sort(late.begin(), late.end());
    qInfo("preview halt lateness: median %.3f s, worst %.3f s over %d", late[late.size() / 2],
          late.back(), runs);
}

void EndToEndTest::saveWritesTheProportionalByteRange() {
    const ClipState& state = window_->state();
    QVERIFY(state.selectionValid());
    const std::string clipPath = dir_->file("clip.vob");
    dialog_.answers.push_back(clipPath);
    messages_.shown.clear();
    click("Command7");
    QCOMPARE(messages_.shown, std::vector<std::string>{"Clip Saved"});

    const auto source = readFile(vob_);
    const auto clip = readFile(clipPath);
    const ClipPlan plan = planClip(static_cast<std::int64_t>(source.size()), player_->duration(),
                                   state.clipBegin, state.clipEnd);
    const std::int64_t steps = (plan.lastPos - plan.firstPos) / kCopyStep + 1;
    const auto first = static_cast<std::size_t>(plan.firstPos - 1);
    const auto count = std::min<std::size_t>(static_cast<std::size_t>(steps * kCopyStep + 1),
                                             source.size() - first);
    QCOMPARE(clip.size(), count);
    QVERIFY(
        std::equal(clip.begin(), clip.end(), source.begin() + static_cast<std::ptrdiff_t>(first)));

    const double clipSeconds = probeDuration(clipPath);
    qInfo("clip of %d s marked; ffprobe reads %.2f s", state.clipEnd - state.clipBegin,
          clipSeconds);
    QVERIFY(std::abs(clipSeconds - (state.clipEnd - state.clipBegin)) < 1.0);
}

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
