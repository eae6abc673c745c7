#include "core/clip_state.h"
#include "core/mark_controller.h"
#include "core/numbers.h"
#include "core/source_opener.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

#include <optional>

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

// Marks set at player positions, in order; what the window keeps and shows afterwards.
struct MarkCase {
    const char* name;
    std::vector<std::pair<char, double>> marks; // 'b' for Select Start, 'e' for Select End
    std::int32_t begin, end;
    std::optional<std::string> beginText, endText, lengthText;
};

class MarkRows : public MarksTest, public ::testing::WithParamInterface<MarkCase> {};

TEST_P(MarkRows, StoreTheRoundedPositionAndShowTheClip) {
    for (const auto& [which, seconds] : GetParam().marks)
        which == 'b' ? markBeginAt(seconds) : markEndAt(seconds);
    EXPECT_EQ(state.ClipBegin, GetParam().begin);
    EXPECT_EQ(state.ClipEnd, GetParam().end);
    EXPECT_EQ(readouts.begin, GetParam().beginText);
    EXPECT_EQ(readouts.end, GetParam().endText);
    EXPECT_EQ(readouts.length, GetParam().lengthText);
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MarkRows,
    ::testing::Values(
        MarkCase{"endFirst", {{'e', 20.0}}, 0, 20, std::nullopt, " 0 : 0 : 20", " 0 : 0 : 20"},
        MarkCase{"tiesToEven",
                 {{'b', 12.5}, {'e', 13.5}},
                 12,
                 14,
                 " 0 : 0 : 12",
                 " 0 : 0 : 14",
                 " 0 : 0 : 2"},
        // Not a selection: the length is the bare digit zero.
        MarkCase{"equal", {{'b', 30.0}, {'e', 30.0}}, 30, 30, " 0 : 0 : 30", " 0 : 0 : 30", "0"},
        // A begin after the end is not swapped.
        MarkCase{"beginAfterEnd",
                 {{'b', 30.0}, {'e', 95.0}, {'b', 100.0}},
                 100,
                 95,
                 " 0 : 1 : 40",
                 " 0 : 1 : 35",
                 "0"},
        MarkCase{"pastNineHours",
                 {{'b', 40000.0}, {'e', 76000.4}},
                 40000,
                 76000,
                 " 11 : 6 : 40",
                 " 21 : 6 : 40",
                 " 10 : 0 : 0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MarksTest, APositionBeyond32BitsOverflowsWithoutTouchingTheMark) {
    markBeginAt(5.0);
    player.currentPosition = 3e9;
    EXPECT_THROW(marks.setBegin(), OverflowError);
    EXPECT_EQ(state.ClipBegin, 5);
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

TEST_F(MarksTest, TheWatchHaltsOnlyStrictlyPastTheEndMarkAsItStandsNow) {
    markBeginAt(3.0);
    markEndAt(6.0);
    marks.preview();
    player.calls.clear();
    markEndAt(9.0); // moved during the preview

    player.currentPosition = 9.0; // equal: keep playing
    marks.watchTick();
    EXPECT_TRUE(watch.active);
    EXPECT_TRUE(player.calls.empty());

    player.currentPosition = 9.04;
    marks.watchTick();
    EXPECT_FALSE(watch.active);
    EXPECT_EQ(player.calls, (std::vector<std::string>{"haltAtPreviewEnd"}));
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
