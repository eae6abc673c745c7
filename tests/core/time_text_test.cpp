#include "core/base/numbers.h"
#include "core/base/time_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace parvane {
namespace {

TEST(formatSeconds, FieldsHaveOneSignPositionAndNoFill) {
    // A field of two digits makes the text a character longer; negative times keep the blank
    // in their zero fields and truncate toward zero (-3725 is -1 h, not -2 h); past the old
    // 16-bit limit the hours simply take more digits.
    const std::pair<std::int32_t, const char*> cases[] = {{0, " 0 : 0 : 0"},
                                                          {10, " 0 : 0 : 10"},
                                                          {3599, " 0 : 59 : 59"},
                                                          {3725, " 1 : 2 : 5"},
                                                          {-59, " 0 : 0 :-59"},
                                                          {-3725, "-1 :-2 :-5"},
                                                          {-32768, "-9 :-6 :-8"},
                                                          {32768, " 9 : 6 : 8"},
                                                          {360061, " 100 : 1 : 1"},
                                                          {2147483647, " 596523 : 14 : 7"},
                                                          {-2147483647 - 1, "-596523 :-14 :-8"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(formatSeconds(seconds), text) << seconds;
}

TEST(RoundToInt32, NearestWithTiesToEvenAndOverflowOutside32Bits) {
    const std::pair<double, std::int32_t> cases[] = {{0.4, 0},
                                                     {10.5, 10},
                                                     {11.5, 12},
                                                     {-2.5, -2},
                                                     {-3.5, -4},
                                                     {32767.5, 32768},
                                                     {2147483647.4, 2147483647}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(roundToInt32(value), rounded) << value;
    for (const double value :
         {2147483647.5, -2147483649.0, std::numeric_limits<double>::quiet_NaN(),
          std::numeric_limits<double>::infinity()})
        EXPECT_THROW(roundToInt32(value), OverflowError) << value;
    EXPECT_THROW(roundToInt64(9.3e18), OverflowError);
    EXPECT_EQ(roundToInt64(500003.5), 500004);
}

} // namespace
} // namespace parvane
