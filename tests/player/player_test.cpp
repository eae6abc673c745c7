#include "platform/dvdread/dvdread_disc_reader.h"
#include "platform/qt/mpv_player.h"
#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"
#include "ui/window_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <tuple>

using namespace parvane;
using namespace parvane::testing;

// The real libmpv player in a real window, on MPEG-2 program streams made by ffmpeg.
class PlayerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup() { player_.reset(); }

    void playsHaltsAndTogglesWithTheStreamsDuration();
    void goesToAPositionAndStepsFramesEachWay();
    void filesItCannotPlayAreShownNotCrashed();
    void aClickOnTheSliderTrackSeeksThere();
    void theWholeWorkflowOnARealDvd();
    void aTitleWhoseCellsRestartTheirClocksIsOneTimeline();
    void playSelectedHaltsInTitleTime();
    void aTitlePlaysTheAudioAndSubtitlesChosenByTheirStreamIds();
    void eachAngleOfAnInterleavedTitleShowsItsOwnPictures();

private:
    void loadAndWait(const std::string& path);
    bool settledAt(double seconds, double within) const {
        return !player_->seekPending() && std::abs(player_->position() - seconds) < within;
    }

    // The title frame number that the picture on screen shows in its top strip.
    int frameShown() const;

    std::unique_ptr<TempDir> dir_;
    std::string stream_;
    double streamDuration_ = 0;
    std::string disc_; // a DVD of three cells of 12 s
    Title title_;
    std::unique_ptr<MpvPlayer> player_;
};

void PlayerTest::initTestCase() {
    dir_ = std::make_unique<TempDir>();
    stream_ = dir_->file("stream.vob");
    makeProgramStream(stream_, 20);
    streamDuration_ = probe(stream_);
    QVERIFY(streamDuration_ > 19.0);
    disc_ = authorTitleOfCells(dir_->path().string(), 3, 12);
    const std::optional<Disc> disc = DvdreadDiscReader().read(disc_);
    QVERIFY(disc && disc->titles.size() == 1);
    title_ = disc->titles.front();
    QCOMPARE(title_.cells.size(), std::size_t{3});
}

void PlayerTest::init() {
    player_ = std::make_unique<MpvPlayer>(nullptr, MpvPlayer::Options{"null"});
    player_->resize(323, 243);
    player_->show();
    QVERIFY(QTest::qWaitForWindowExposed(player_.get()));
}

void PlayerTest::loadAndWait(const std::string& path) {
    player_->setMediaFileName(path);
    player_->play();
    QTRY_VERIFY_WITH_TIMEOUT(player_->isLoaded(), 5000);
}

void PlayerTest::playsHaltsAndTogglesWithTheStreamsDuration() {
    loadAndWait(stream_);
    QVERIFY(std::abs(player_->duration() - streamDuration_) < 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(player_->position() > 1.0, 5000);
    QVERIFY(!player_->isPaused());
    // Ending playback halts it and keeps the file, as the halts for a save and a preview do.
    player_->endPlayback();
    QVERIFY(player_->isPaused());
    QVERIFY(std::abs(player_->duration() - streamDuration_) < 0.1);
    player_->togglePause();
    QVERIFY(!player_->isPaused());
    player_->togglePause();
    QVERIFY(player_->isPaused());
}

void PlayerTest::goesToAPositionAndStepsFramesEachWay() {
    loadAndWait(stream_);
    player_->haltBeforeSaving();
    player_->setPosition(10.0);
    QCOMPARE(player_->position(), 10.0); // while the seek is still in flight
    // Paused on the requested frame: within one frame (40 ms at 25 fps).
    QTRY_VERIFY_WITH_TIMEOUT(!player_->seekPending(), 5000);
    QVERIFY2(settledAt(10.0, 0.04), qPrintable(QString::number(player_->position())));
    // A slow machine may still be showing the frame the seek landed on when the first step
    // comes; from a frame a step has shown, each step moves exactly one frame (40 ms).
    const double start = player_->position();
    player_->stepFrame(+1);
    QTRY_VERIFY_WITH_TIMEOUT(!player_->seekPending() && player_->position() > start + 0.001, 5000);
    const double stepped = player_->position();
    player_->stepFrame(-1);
    QTRY_VERIFY_WITH_TIMEOUT(settledAt(stepped - 0.04, 0.005), 5000);
    player_->stepFrame(+1);
    QTRY_VERIFY_WITH_TIMEOUT(settledAt(stepped, 0.005), 5000);
    QVERIFY(player_->isPaused());

    player_->setPosition(10.0);
    player_->play();
    QTRY_VERIFY_WITH_TIMEOUT(!player_->seekPending(), 5000);
    const double justAfter = player_->position();
    QVERIFY2(justAfter >= 9.96 && justAfter < 10.5, qPrintable(QString::number(justAfter)));
    QTRY_VERIFY_WITH_TIMEOUT(player_->position() > 10.5, 5000);
}

void PlayerTest::filesItCannotPlayAreShownNotCrashed() {
    QCOMPARE(player_->position(), 0.0); // nothing loaded
    QCOMPARE(player_->duration(), 0.0);
    player_->endPlayback(); // harmless with nothing loaded

    const std::string text = dir_->file("notes.vob");
    writeFile(text, std::vector<std::uint8_t>(4096, 'x'));
    player_->setMediaFileName(text);
    QTRY_VERIFY_WITH_TIMEOUT(player_->message().startsWith("Cannot play this file"), 5000);
    QCOMPARE(player_->duration(), 0.0);
    player_->setPosition(6.0); // as Play Selected does: there is nothing to seek in
    QCOMPARE(player_->position(), 0.0);

    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             player_->setMediaFileName(dir_->file("absent.vob")));
    QVERIFY(player_->message().contains("does not exist"));

    // A playlist inside a file is not followed, whatever the file's name.
    const std::string list = "#EXTM3U\n" + stream_ + "\n";
    writeFile(dir_->file("list.vob"), std::vector<std::uint8_t>(list.begin(), list.end()));
    player_->setMediaFileName(dir_->file("list.vob"));
    player_->play();
    QTRY_VERIFY_WITH_TIMEOUT(player_->message().startsWith("Cannot play this file"), 5000);
    QVERIFY(!player_->isLoaded());
    QCOMPARE(player_->duration(), 0.0);

    loadAndWait(stream_); // and it still plays a good file afterwards
    QVERIFY(player_->message().isEmpty());
}

void PlayerTest::aClickOnTheSliderTrackSeeksThere() {
    loadAndWait(stream_);
    player_->haltBeforeSaving();
    auto* slider = player_->findChild<QSlider*>("position");
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                      QPoint(slider->width() * 3 / 4, slider->height() / 2));
    // Three quarters of the way, not a page step from where it was.
    QTRY_VERIFY_WITH_TIMEOUT(settledAt(0.75 * player_->duration(), 0.6), 5000);
}

// The whole workflow on a real DVD: the real window, the real player, real files; only the
// dialogs and message boxes are answered by the test.
void PlayerTest::theWholeWorkflowOnARealDvd() {
    player_.reset(); // the window has its own
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
    QCOMPARE(state.sourcePath, vob);
    // Each mark is the playing position, read between the two readings around its click.
    for (const auto& [at, button, label, mark] :
         {std::tuple(3.0, "Command5", "Label7", &state.clipBegin),
          std::tuple(6.0, "Command6", "Label9", &state.clipEnd)}) {
        QTRY_VERIFY_WITH_TIMEOUT(player->position() >= at, 15000);
        const double before = player->position();
        click(button);
        const double after = player->position();
        QVERIFY(*mark == std::nearbyint(before) || *mark == std::nearbyint(after));
        QVERIFY(seconds(label, *mark));
    }
    QVERIFY(seconds("Label3", state.clipEnd - state.clipBegin));

    // The preview halts just past the end mark.
    auto* timer1 = window.findChild<QTimer*>("Timer1");
    click("Command9");
    QVERIFY(timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!timer1->isActive(), 15000);
    QVERIFY(player->isPaused());
    const double late = player->position() - state.clipEnd;
    QVERIFY2(late > 0.0 && late <= 0.3, qPrintable(QString::number(late)));

    // The save copies the source's bytes from the begin mark's proportional byte on, whole
    // 20480-byte steps and one byte past the end mark's.
    fixture.dialog.answers.push_back(dir.file("clip.vob"));
    click("Command7");
    QCOMPARE(fixture.messages.shown, std::vector<std::string>{"Clip Saved"});
    const auto source = readFile(vob);
    const auto clip = readFile(dir.file("clip.vob"));
    const double rate = std::nearbyint(double(source.size()) / player->duration());
    const double marked = rate * (state.clipEnd - state.clipBegin);
    QVERIFY2(double(clip.size()) > marked && double(clip.size()) <= marked + 20481,
             qPrintable(QString::number(clip.size())));
    const auto first = static_cast<std::ptrdiff_t>(rate * state.clipBegin) - 1;
    QVERIFY(std::equal(clip.begin(), clip.end(), source.begin() + first));
    QVERIFY(std::abs(probe(dir.file("clip.vob")) - (state.clipEnd - state.clipBegin)) < 1);
}

int PlayerTest::frameShown() const {
    const QImage picture = player_->picture();
    // The video area has the picture's 4:3 shape, so the picture fills it.
    int frame = 0;
    for (int bit = 0; bit < 12; ++bit) {
        const QPoint at((30 + 60 * bit) * picture.width() / 720, 24 * picture.height() / 576);
        if (qGray(picture.pixel(at)) > 128)
            frame |= 1 << bit;
    }
    return frame;
}

// Three cells encoded apart, so each starts its clock again: the player shows them as one
// timeline of the title's length, seeks land on the title's frames, and the position runs on
// across a reset.
void PlayerTest::aTitleWhoseCellsRestartTheirClocksIsOneTimeline() {
    const Title& title = title_;
    player_->resize(320, 240 + 24); // a video area of the picture's shape
    player_->setTitle(title);
    QTRY_VERIFY_WITH_TIMEOUT(player_->isLoaded(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(player_->duration() - title.duration()) < 0.01, 5000);
    QVERIFY(std::abs(title.duration() - 36.0) < 0.1);

    player_->haltBeforeSaving();
    for (const double at : {5.0, 13.0, 30.0, 24.0}) {
        player_->setPosition(at);
        QTRY_VERIFY_WITH_TIMEOUT(settledAt(at, 0.04), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(frameShown(), int(std::lround(at * 25)), 5000);
    }
    // A step back from a cell's first frame shows the previous cell's last.
    player_->stepFrame(-1);
    QTRY_COMPARE_WITH_TIMEOUT(frameShown(), 24 * 25 - 1, 5000);

    // Through the reset at 12 s the position only grows, by no more than a few frames at a time.
    player_->setPosition(11.0);
    QTRY_VERIFY_WITH_TIMEOUT(settledAt(11.0, 0.04), 5000);
    player_->play();
    std::vector<double> seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen.push_back(player_->position()), seen.back() > 13.0), 10000);
    for (std::size_t i = 1; i < seen.size(); ++i)
        QVERIFY2(seen[i] >= seen[i - 1] && seen[i] - seen[i - 1] < 0.5,
                 qPrintable(QString("%1 then %2").arg(seen[i - 1]).arg(seen[i])));

    // A plain file after the title plays as one again.
    loadAndWait(stream_);
    QVERIFY(std::abs(player_->duration() - streamDuration_) < 0.1);
}

// The preview of a stretch in the third cell starts and halts on the title's timeline, in the
// real window with the disc opened as the user opens it.
void PlayerTest::playSelectedHaltsInTitleTime() {
    player_.reset(); // the window has its own
    auto* player = new MpvPlayer(nullptr, MpvPlayer::Options{"null"});
    WindowWithFakes fixture(player, player);
    fixture.discs.discs[disc_] = Disc{{title_}, 0, 0.0};
    MainWindow& window = *fixture.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.openFile(disc_);
    QTRY_VERIFY_WITH_TIMEOUT(player->isLoaded() && player->duration() > 35.9, 5000);
    window.state().clipBegin = 25;
    window.state().clipEnd = 27;
    auto* timer1 = window.findChild<QTimer*>("Timer1");
    QTest::mouseClick(window.findChild<QPushButton*>("Command9"), Qt::LeftButton);
    QVERIFY(timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!player->seekPending() && player->position() >= 25.0, 5000);
    QVERIFY2(player->position() < 25.5, qPrintable(QString::number(player->position())));
    QTRY_VERIFY_WITH_TIMEOUT(!timer1->isActive(), 15000);
    QVERIFY(player->isPaused());
    const double late = player->position() - 27.0;
    QVERIFY2(late > 0.0 && late <= 0.3, qPrintable(QString::number(late)));
}

// The title's ids reach mpv's tracks through libavformat's names for them, MPEG audio too;
// a title starts with its first audio and no subtitles.
void PlayerTest::aTitlePlaysTheAudioAndSubtitlesChosenByTheirStreamIds() {
    const std::string folder = dir_->file("streams");
    std::filesystem::create_directory(folder);
    const std::optional<Disc> disc = DvdreadDiscReader().read(authorStreamsTitle(folder));
    QVERIFY(disc && disc->titles.size() == 1);
    const Title& title = disc->titles.front();
    QCOMPARE(title.audio.size(), std::size_t{2});
    QCOMPARE(title.subpictures.size(), std::size_t{1});
    player_->setTitle(title);
    player_->play();
    QTRY_VERIFY_WITH_TIMEOUT(player_->isLoaded(), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(player_->audioPlaying().value_or(-1), title.audio[0].id, 5000);
    QVERIFY(!player_->subtitlesShown());

    player_->selectAudio(title.audio[1].id);
    player_->selectSubtitles(title.subpictures[0].id);
    QTRY_COMPARE_WITH_TIMEOUT(player_->audioPlaying().value_or(-1), title.audio[1].id, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(player_->subtitlesShown().value_or(-1), title.subpictures[0].id,
                              5000);
    player_->selectSubtitles(std::nullopt);
    QTRY_VERIFY_WITH_TIMEOUT(!player_->subtitlesShown(), 5000);
}

QTEST_MAIN(PlayerTest)
// The angles' units alternate on the disc; each angle plays as one timeline of its own
// pictures, the shared cells before and after it included.
void PlayerTest::eachAngleOfAnInterleavedTitleShowsItsOwnPictures() {
    std::filesystem::create_directory(dir_->file("angles"));
    const std::optional<Disc> disc =
        DvdreadDiscReader().read(authorAngleDisc(dir_->file("angles")));
    QVERIFY(disc && disc->titles.size() == 1 && disc->titles[0].angles == 2);
    player_->resize(320, 240 + 24);
    for (const int angle : {2, 1}) {
        player_->setTitle(disc->titles[0].withAngle(angle));
        QTRY_VERIFY_WITH_TIMEOUT(player_->isLoaded(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(player_->duration() - 22.0) < 0.1, 5000);
        player_->haltBeforeSaving();
        for (const double at : {7.0, 11.6, 15.0, 19.0}) {
            player_->setPosition(at);
            QTRY_VERIFY_WITH_TIMEOUT(settledAt(at, 0.04), 5000);
            const int frame = int(std::lround(at * 25));
            QTRY_COMPARE_WITH_TIMEOUT(frameShown(), frame | (frame < 400 ? angle << 10 : 0), 5000);
        }
    }
}

#include "player_test.moc"
