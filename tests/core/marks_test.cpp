#include "core/base/numbers.h"
#include "core/marks/mark_controller.h"
#include "core/marks/source_opener.h"
#include "support/fakes.h"

#include <gtest/gtest.h>

namespace parvane {
namespace {

using namespace parvane::testing;
using Texts = std::vector<std::string>;

class MarksTest : public ::testing::Test {
protected:
    // Marks at each position in turn: 'b' for Select Start, 'e' for Select End.
    void mark(std::initializer_list<std::pair<char, double>> marks_) {
        for (const auto& [which, seconds] : marks_) {
            player.currentPosition = seconds;
            which == 'b' ? marks.setBegin() : marks.setEnd();
        }
    }
    // The marks and the three read-outs, "-" for one never written.
    std::string shown() const {
        const auto text = [](const std::optional<std::string>& t) { return t.value_or("-"); };
        return std::to_string(state.clipBegin) + " " + std::to_string(state.clipEnd) + " [" +
               text(readouts.begin) + "][" + text(readouts.end) + "][" + text(readouts.length) +
               "]";
    }

    ClipState state;
    FakePlayer player;
    FakeReadouts readouts;
    FakeMessages messages;
    bool watching = false;
    MarkController marks{state, player, readouts, messages, [this](bool on) { watching = on; }};
};

TEST_F(MarksTest, StoreTheRoundedPositionAndShowTheClip) {
    mark({{'e', 20.0}});
    EXPECT_EQ(shown(), "0 20 [-][ 0 : 0 : 20][ 0 : 0 : 20]");
    mark({{'b', 12.5}, {'e', 13.5}}); // ties to even
    EXPECT_EQ(shown(), "12 14 [ 0 : 0 : 12][ 0 : 0 : 14][ 0 : 0 : 2]");
    // Equal marks, or a begin after the end (not swapped), are no selection: a bare zero.
    mark({{'e', 12.0}});
    EXPECT_EQ(shown(), "12 12 [ 0 : 0 : 12][ 0 : 0 : 12][0]");
    mark({{'b', 100.0}});
    EXPECT_EQ(shown(), "100 12 [ 0 : 1 : 40][ 0 : 0 : 12][0]");
    mark({{'b', 40000.0}, {'e', 76000.4}});
    EXPECT_EQ(shown(), "40000 76000 [ 11 : 6 : 40][ 21 : 6 : 40][ 10 : 0 : 0]");
    // Past 32 bits: the overflow error, and the mark as it was.
    player.currentPosition = 3e9;
    EXPECT_THROW(marks.setBegin(), OverflowError);
    EXPECT_EQ(state.clipBegin, 40000);
}

// Without a valid selection the preview only says so. With one it plays from the begin mark;
// the watch halts it only strictly past the end mark as it stands at each tick.
TEST_F(MarksTest, PreviewPlaysFromTheBeginUntilJustPastTheEnd) {
    marks.preview(); // both marks 0 at start
    mark({{'b', 7.0}, {'e', 3.0}});
    marks.preview();
    EXPECT_EQ(messages.shown, (Texts{"Invalid Selection", "Invalid Selection"}));
    EXPECT_TRUE(player.calls.empty());
    EXPECT_FALSE(watching);

    mark({{'b', 3.0}, {'e', 6.0}});
    player.currentPosition = 42.0;
    marks.preview();
    EXPECT_EQ(player.calls, (Texts{"setPosition", "play"}));
    EXPECT_EQ(player.currentPosition, 3.0);
    EXPECT_TRUE(watching);

    player.calls.clear();
    mark({{'e', 9.0}}); // moved during the preview
    marks.watchTick();  // at 9.0: keep playing
    EXPECT_TRUE(watching);
    EXPECT_TRUE(player.calls.empty());
    player.currentPosition = 9.04;
    marks.watchTick();
    EXPECT_FALSE(watching);
    EXPECT_EQ(player.calls, Texts{"haltAtPreviewEnd"});
}

TEST(Opener, PlayingTimeShowsTheRoundedPositionAndKeepsItAtZero) {
    ClipState state;
    FakePlayer player;
    FakeDialog dialog;
    FakeReadouts readouts;
    FakeDiscReader discs;
    SourceOpener opener{state, player, dialog, discs, readouts, [](bool) {}};
    const auto at = [&](double seconds) {
        player.currentPosition = seconds;
        opener.showPlayingTime();
        return readouts.playingTime.value_or("-");
    };
    EXPECT_EQ(at(0.0), "-") << "nothing loaded: position 0";
    EXPECT_EQ(at(2.5), " 0 : 0 : 2");
    EXPECT_EQ(at(3.5), " 0 : 0 : 4");
    EXPECT_EQ(at(0.0), " 0 : 0 : 4");
    EXPECT_EQ(at(40000.0), " 11 : 6 : 40");
}

} // namespace
} // namespace parvane
