#include "core/base/errors.h"
#include "core/stream/cell_survey.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "support/synthetic_stream.h"

#include <gtest/gtest.h>

#include <string>

namespace parvane {
namespace {

using namespace parvane::testing;
using Navigation = SyntheticLayout::Navigation;

constexpr std::int64_t kMiB = std::int64_t{1} << 20;
constexpr std::int64_t kGroup = SyntheticStream::kGroupPacks; // 0.6 s of packs
constexpr std::int64_t kPack = SyntheticStream::kPackSize;

// Cells of 20, 25 and 46 picture groups: 12 s, 15 s and 27.6 s.
SyntheticLayout threeCells(Navigation navigation, bool cellIds) {
    SyntheticLayout layout;
    layout.size = 91 * kGroup * kPack;
    layout.navigation = navigation;
    layout.cellIds = cellIds;
    layout.cellStarts = {20 * kGroup, 45 * kGroup};
    return layout;
}

std::string refusal(const SyntheticLayout& layout) {
    SyntheticStream stream(layout);
    DvdreadNavReader navPacks;
    try {
        surveyCells(stream, &navPacks, "title.vob");
    } catch (const SaveError& error) {
        return error.what();
    }
    return "no refusal";
}

// From the navigation packs' cells and elapsed times, and, where they are blank or
// missing, from the clock resets themselves: the same cells either way.
TEST(CellSurvey, FindsTheCellsWhereTheClockStartsAgain) {
    const struct {
        const char* name;
        SyntheticLayout layout;
        bool readNavigation;
    } rows[] = {
        {"cells in the navigation packs", threeCells(Navigation::Timed, true), true},
        {"blank navigation packs", threeCells(Navigation::Blank, false), true},
        {"no navigation packs", threeCells(Navigation::None, false), true},
        {"navigation not read", threeCells(Navigation::Timed, true), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        SyntheticStream stream(row.layout);
        DvdreadNavReader navPacks;
        const auto title = surveyCells(stream, row.readNavigation ? &navPacks : nullptr, "t.vob");
        ASSERT_TRUE(title);
        ASSERT_EQ(title->extents.size(), 1u);
        EXPECT_EQ(title->extents[0].path, "t.vob");
        EXPECT_EQ(title->extents[0].length, stream.size());
        ASSERT_EQ(title->cells.size(), 3u);
        const std::int64_t packs = stream.size() / kPack;
        const std::int64_t starts[] = {0, 20 * kGroup, 45 * kGroup, packs};
        double start = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            const Cell& cell = title->cells[i];
            EXPECT_EQ(cell.begin, starts[i] * kPack) << i;
            EXPECT_EQ(cell.end, starts[i + 1] * kPack) << i;
            EXPECT_DOUBLE_EQ(cell.start, start) << i;
            EXPECT_NEAR(cell.duration, double(starts[i + 1] - starts[i]) / kGroup * 0.6, 1e-9) << i;
            start += cell.duration;
        }
    }

    // One clock throughout, or a clock that wraps past 2^33: nothing to survey, the stream
    // is cut as it is today.
    SyntheticLayout plain;
    plain.size = 256 * kMiB;
    SyntheticStream oneClock(plain);
    DvdreadNavReader navPacks;
    EXPECT_FALSE(surveyCells(oneClock, &navPacks, "t.vob"));
    plain.firstClock = (std::int64_t{1} << 33) - 20 * 90000;
    SyntheticStream wrapping(plain);
    EXPECT_FALSE(surveyCells(wrapping, &navPacks, "t.vob"));
}

// Jumps that are no cell's new clock are refused with the time near them on the cells'
// timeline.
TEST(CellSurvey, RefusesJumpsThatFitNoCells) {
    // Forward by a minute at 18 s, 6 s into the second cell (the last pack before the jump
    // is 17.998 s in).
    SyntheticLayout forward = threeCells(Navigation::Blank, false);
    forward.jumpAtPack = 30 * kGroup;
    forward.jumpTicks = 60 * 90000;
    EXPECT_EQ(refusal(forward), "the stream's times jump near 0:00:17");

    // Back to the cell's start at 21 s, inside the second cell by its navigation packs.
    SyntheticLayout insideCell = threeCells(Navigation::Timed, true);
    insideCell.resetAtPack = 35 * kGroup;
    EXPECT_EQ(refusal(insideCell), "the stream's times jump near 0:00:20");
    // Without the navigation packs' cells the same reset is one more cell.
    insideCell.cellIds = false;
    EXPECT_EQ(refusal(insideCell), "no refusal");

    // A forward jump alone is left to the range finder, as before.
    SyntheticLayout alone;
    alone.jumpAtPack = 30 * kGroup;
    alone.jumpTicks = 60 * 90000;
    EXPECT_EQ(refusal(alone), "no refusal");
}

// Bytes read through a counting source: within the limit for the cells found, and about
// the same for a file four times the size.
TEST(CellSurvey, ReadsWithinALimitThatGrowsWithTheCellsOnly) {
    for (const Navigation navigation : {Navigation::Timed, Navigation::Blank})
        for (const int cells : {1, 2, 8}) {
            std::int64_t reads[2] = {};
            for (const int i : {0, 1}) {
                SyntheticLayout layout;
                layout.size = (i == 0 ? 1024 : 4096) * kMiB;
                layout.navigation = navigation;
                layout.cellIds = navigation == Navigation::Timed;
                const std::int64_t groups = layout.size / kPack / kGroup;
                for (int cell = 1; cell < cells; ++cell)
                    layout.cellStarts.push_back(groups * cell / cells * kGroup);
                SyntheticStream stream(layout);
                DvdreadNavReader navPacks;
                const auto title = surveyCells(stream, &navPacks, "t.vob");
                EXPECT_EQ(title ? title->cells.size() : 1u, static_cast<std::size_t>(cells));
                EXPECT_LE(stream.bytesRead, surveyReadLimit(static_cast<std::size_t>(cells)))
                    << cells << " cells, " << layout.size;
                reads[i] = stream.bytesRead;
            }
            EXPECT_LT(reads[1], reads[0] * 3 / 2) << cells << " cells";
        }
}

} // namespace
} // namespace parvane
