#include "core/clip_state.h"
#include "core/mark_controller.h"
#include "core/numbers.h"
#include "core/source_opener.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace parvane {
namespace {

using testing::FakeDialog;
using testing::FakeMessages;
using testing::FakePlayer;
using testing::FakeReadouts;
using testing::FakeTimer;

class MarksTest : public ::testing::Test {
protected:
    void markBeginAt(double seconds) {
        player.currentPosition = seconds;
        marks.setBegin();
    }
    void markEndAt(double seconds) {
        player.currentPosition = seconds;
        marks.setEnd();
    }

    ClipState state;
    FakePlayer player;
    FakeReadouts readouts;
    FakeMessages messages;
    FakeTimer watch;
    MarkController marks{state, player, readouts, messages, watch};
};

TEST_F(MarksTest, EndMarkFirstShowsEndAndLengthAndLeavesBeginEmpty) {
    markEndAt(20.0);
    EXPECT_EQ(state.clipEnd, 20);
    EXPECT_EQ(readouts.end, " 0 : 0 : 20");
    EXPECT_EQ(readouts.length, " 0 : 0 : 20");
    EXPECT_FALSE(readouts.begin.has_value());
}

TEST_F(MarksTest, LengthIsTheBareDigitZeroWhenTheSelectionIsNotValid) {
    markBeginAt(30.0);
    markEndAt(30.0);
    EXPECT_EQ(readouts.length, "0") << "equal marks";

    markEndAt(95.0);
    EXPECT_EQ(readouts.length, " 0 : 1 : 5");

    // A begin after the end is not swapped.
    markBeginAt(100.0);
    EXPECT_EQ(state.clipBegin, 100);
    EXPECT_EQ(state.clipEnd, 95);
    EXPECT_EQ(readouts.length, "0");
}

TEST_F(MarksTest, MarksRoundTiesToEven) {
    markBeginAt(12.5);
    markEndAt(13.5);
    EXPECT_EQ(state.clipBegin, 12);
    EXPECT_EQ(state.clipEnd, 14);
    EXPECT_EQ(readouts.begin, " 0 : 0 : 12");
    EXPECT_EQ(readouts.length, " 0 : 0 : 2");
}

TEST_F(MarksTest, TimesPastNineHoursAreStoredAndShown) {
    markBeginAt(40000.0);
    markEndAt(76000.4);
    EXPECT_EQ(state.clipBegin, 40000);
    EXPECT_EQ(readouts.begin, " 11 : 6 : 40");
    EXPECT_EQ(readouts.end, " 21 : 6 : 40");
    EXPECT_EQ(readouts.length, " 10 : 0 : 0");
}

TEST_F(MarksTest, APositionBeyond32BitsOverflowsWithoutTouchingTheMark) {
    markBeginAt(5.0);
    player.currentPosition = 3e9;
    EXPECT_THROW(marks.setBegin(), OverflowError);
    EXPECT_EQ(state.clipBegin, 5);
}

TEST_F(MarksTest, PreviewWithoutAValidSelectionOnlyShowsInvalidSelection) {
    marks.preview(); // both marks 0 at start
    markBeginAt(7.0);
    markEndAt(3.0);
    marks.preview();
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"Invalid Selection", "Invalid Selection"}));
    EXPECT_TRUE(player.calls.empty());
    EXPECT_FALSE(watch.active);
}

TEST_F(MarksTest, PreviewSeeksToBeginPlaysAndStartsTheWatch) {
    markBeginAt(3.0);
    markEndAt(6.0);
    player.currentPosition = 42.0;
    marks.preview();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"setPosition", "play"}));
    EXPECT_EQ(player.currentPosition, 3.0);
    EXPECT_TRUE(watch.active);
}

TEST_F(MarksTest, WatchHaltsOnlyStrictlyPastTheEndMarkAndStopsItselfFirst) {
    markBeginAt(3.0);
    markEndAt(6.0);
    marks.preview();
    player.calls.clear();

    player.currentPosition = 6.0; // equal: keep playing
    marks.watchTick();
    EXPECT_TRUE(watch.active);
    EXPECT_TRUE(player.calls.empty());

    player.currentPosition = 6.04;
    marks.watchTick();
    EXPECT_FALSE(watch.active);
    EXPECT_EQ(player.calls, (std::vector<std::string>{"haltAtPreviewEnd"}));
}

TEST_F(MarksTest, MovingTheEndMarkDuringAPreviewMovesTheStop) {
    markBeginAt(3.0);
    markEndAt(6.0);
    marks.preview();
    markEndAt(9.0);
    player.currentPosition = 7.0;
    marks.watchTick();
    EXPECT_TRUE(watch.active);
    player.currentPosition = 9.1;
    marks.watchTick();
    EXPECT_FALSE(watch.active);
}

class OpenerTest : public ::testing::Test {
protected:
    ClipState state;
    FakePlayer player;
    FakeDialog dialog;
    FakeReadouts readouts;
    FakeTimer watch;
    SourceOpener opener{state, player, dialog, readouts, watch};
};

TEST_F(OpenerTest, PlayingTimeShowsTheRoundedPositionAndKeepsItAtZero) {
    opener.showPlayingTime();
    EXPECT_FALSE(readouts.playingTime.has_value()) << "nothing loaded: position 0";

    player.currentPosition = 2.5;
    opener.showPlayingTime();
    EXPECT_EQ(readouts.playingTime, " 0 : 0 : 2");
    player.currentPosition = 3.5;
    opener.showPlayingTime();
    EXPECT_EQ(readouts.playingTime, " 0 : 0 : 4");

    player.currentPosition = 0.0;
    opener.showPlayingTime();
    EXPECT_EQ(readouts.playingTime, " 0 : 0 : 4");

    player.currentPosition = 40000.0;
    opener.showPlayingTime();
    EXPECT_EQ(readouts.playingTime, " 11 : 6 : 40");
}

} // namespace
} // namespace parvane
