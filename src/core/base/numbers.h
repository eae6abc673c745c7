#pragma once

#include "core/base/errors.h"

#include <cstdint>

namespace parvane {

// Rounds to the nearest whole number, ties to even (10.5 -> 10, 11.5 -> 12).
// Throws OverflowError for NaN or a result outside the target range.
std::int32_t roundToInt32(double value);
std::int64_t roundToInt64(double value);

// 64-bit arithmetic that throws OverflowError instead of wrapping.
std::int64_t checkedAdd(std::int64_t a, std::int64_t b);
std::int64_t checkedSub(std::int64_t a, std::int64_t b);
std::int64_t checkedMul(std::int64_t a, std::int64_t b);

} // namespace parvane
