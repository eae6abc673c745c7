#include "core/numbers.h"
#include "core/time_text.h"

#include <gtest/gtest.h>

namespace parvane {
namespace {

struct TimeTextCase {
    const char* name;
    std::int32_t seconds;
    const char* text;
};

class FormatSecondsTest : public ::testing::TestWithParam<TimeTextCase> {};

TEST_P(FormatSecondsTest, RendersFieldsWithOneSignPositionAndNoFill) {
    EXPECT_EQ(FormatSeconds(GetParam().seconds), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamplesAndEdges, FormatSecondsTest,
    ::testing::Values(TimeTextCase{"zero", 0, " 0 : 0 : 0"},
                      // The text grows by one character when a field reaches two digits.
                      TimeTextCase{"ten", 10, " 0 : 0 : 10"},
                      TimeTextCase{"lastSecondOfHour", 3599, " 0 : 59 : 59"},
                      TimeTextCase{"noZeroFill", 3605, " 1 : 0 : 5"},
                      TimeTextCase{"mixed", 3725, " 1 : 2 : 5"},
                      TimeTextCase{"largest16Bit", 32767, " 9 : 6 : 7"},
                      TimeTextCase{"negativeKeepsBlankInZeroFields", -59, " 0 : 0 :-59"},
                      TimeTextCase{"negativeMinuteAndSecond", -61, " 0 :-1 :-1"},
                      // Truncation toward zero: -3725 is -1 h, not -2 h.
                      TimeTextCase{"negativeTruncatesTowardZero", -3725, "-1 :-2 :-5"},
                      TimeTextCase{"smallest16Bit", -32768, "-9 :-6 :-8"},
                      // Past the old 16-bit limit the hours simply take more digits.
                      TimeTextCase{"justPast16Bit", 32768, " 9 : 6 : 8"},
                      TimeTextCase{"hundredHours", 360000 + 61, " 100 : 1 : 1"},
                      TimeTextCase{"largest32Bit", 2147483647, " 596523 : 14 : 7"},
                      TimeTextCase{"smallest32Bit", -2147483647 - 1, "-596523 :-14 :-8"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RoundingCase {
    const char* name;
    double value;
    std::int32_t rounded;
};

class RoundToInt32Test : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(RoundToInt32Test, RoundsToNearestWithTiesToEven) {
    EXPECT_EQ(roundToInt32(GetParam().value), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(Positions, RoundToInt32Test,
                         ::testing::Values(RoundingCase{"belowHalf", 0.4, 0},
                                           RoundingCase{"tieDownToEven", 10.5, 10},
                                           RoundingCase{"tieUpToEven", 11.5, 12},
                                           RoundingCase{"negativeTie", -2.5, -2},
                                           RoundingCase{"negativeOddTie", -3.5, -4},
                                           RoundingCase{"past16BitLimit", 32767.5, 32768},
                                           RoundingCase{"largest", 2147483647.4, 2147483647}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RoundToInt32, ValuesOutside32BitsOrNotANumberOverflow) {
    EXPECT_THROW(roundToInt32(2147483647.5), OverflowError);
    EXPECT_THROW(roundToInt32(-2147483649.0), OverflowError);
    EXPECT_THROW(roundToInt32(std::numeric_limits<double>::quiet_NaN()), OverflowError);
    EXPECT_THROW(roundToInt32(std::numeric_limits<double>::infinity()), OverflowError);
    EXPECT_THROW(roundToInt64(9.3e18), OverflowError);
    EXPECT_EQ(roundToInt64(500003.5), 500004);
}

TEST(CheckedArithmetic, ThrowsInsteadOfWrapping) {
    EXPECT_EQ(checkedMul(3000000000LL, 3), 9000000000LL);
    EXPECT_THROW(checkedMul(INT64_MAX / 2 + 1, 2), OverflowError);
    EXPECT_THROW(checkedAdd(INT64_MAX, 1), OverflowError);
    EXPECT_THROW(checkedSub(INT64_MIN, 1), OverflowError);
}

} // namespace
} // namespace parvane
