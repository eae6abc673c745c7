#include "platform/qt/mpv_player.h"
#include "support/media.h"
#include "support/temp_dir.h"
#include "ui/window_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <tuple>

using namespace parvane;
using namespace parvane::testing;

// The whole workflow on a real DVD: the real window, the real player, real files; only the
// dialogs and message boxes are answered by the test.
class EndToEndTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openMarkPreviewAndSave();
};

void EndToEndTest::openMarkPreviewAndSave() {
    TempDir dir;
    makeProgramStream(dir.file("title.mpg"), 30);
    const std::string vob = authorDvd(dir.path().string(), dir.file("title.mpg"));
    auto* player = new MpvPlayer(nullptr, MpvPlayer::Options{"null"});
    WindowWithFakes fixture(player, player);
    MainWindow& window = *fixture.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto click = [&window](const char* name) {
        QTest::mouseClick(window.findChild<QPushButton*>(name), Qt::LeftButton);
    };
    const auto seconds = [&window](const char* label, int value) {
        return window.findChild<QLabel*>(label)->text() == QStringLiteral(" 0 : 0 : %1").arg(value);
    };
    const ClipState& state = window.state();

    fixture.dialog.answers.push_back(vob);
    click("Command4");
    QCOMPARE(state.SourcePath, vob);
    // Each mark is the playing position, read between the two readings around its click.
    for (const auto& [at, button, label, mark] :
         {std::tuple(3.0, "Command5", "Label7", &state.ClipBegin),
          std::tuple(6.0, "Command6", "Label9", &state.ClipEnd)}) {
        QTRY_VERIFY_WITH_TIMEOUT(player->position() >= at, 15000);
        const double before = player->position();
        click(button);
        const double after = player->position();
        QVERIFY(*mark == std::nearbyint(before) || *mark == std::nearbyint(after));
        QVERIFY(seconds(label, *mark));
    }
    QVERIFY(seconds("Label3", state.ClipEnd - state.ClipBegin));

    // The preview halts just past the end mark.
    auto* timer1 = window.findChild<QTimer*>("Timer1");
    click("Command9");
    QVERIFY(timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!timer1->isActive(), 15000);
    QVERIFY(player->isPaused());
    const double late = player->position() - state.ClipEnd;
    QVERIFY2(late > 0.0 && late <= 0.3, qPrintable(QString::number(late)));

    // The save copies the source's bytes from the begin mark's proportional byte on, whole
    // 20480-byte steps and one byte past the end mark's.
    fixture.dialog.answers.push_back(dir.file("clip.vob"));
    click("Command7");
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Clip Saved"});
    const auto source = readFile(vob);
    const auto clip = readFile(dir.file("clip.vob"));
    const double rate = std::nearbyint(double(source.size()) / player->duration());
    const double marked = rate * (state.ClipEnd - state.ClipBegin);
    QVERIFY2(double(clip.size()) > marked && double(clip.size()) <= marked + 20481,
             qPrintable(QString::number(clip.size())));
    const auto first = static_cast<std::ptrdiff_t>(rate * state.ClipBegin) - 1;
    QVERIFY(std::equal(clip.begin(), clip.end(), source.begin() + first));
    QVERIFY(std::abs(probe(dir.file("clip.vob")) - (state.ClipEnd - state.ClipBegin)) < 1);
}

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
