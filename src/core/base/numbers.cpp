#include "core/base/numbers.h"

#include <cmath>

namespace parvane {

namespace {

// Round-half-even without depending on the current floating-point rounding mode.
double roundHalfEven(double value) {
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

} // namespace

std::int32_t roundToInt32(double value) {
    if (!std::isfinite(value))
        throw OverflowError();
    const double rounded = roundHalfEven(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0)
        throw OverflowError();
    return static_cast<std::int32_t>(rounded);
}

std::int64_t roundToInt64(double value) {
    if (!std::isfinite(value))
        throw OverflowError();
    const double rounded = roundHalfEven(value);
    // 2^63 is exactly representable; every double below it converts safely.
    if (rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        throw OverflowError();
    return static_cast<std::int64_t>(rounded);
}

std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    if (__builtin_add_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

std::int64_t checkedSub(std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    if (__builtin_sub_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

std::int64_t checkedMul(std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    if (__builtin_mul_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

} // namespace parvane
