#pragma once

#include <cstdint>
#include <string>

namespace parvane {

// Hours, minutes and seconds as " h : m : s": each field has one sign position
// (a blank, or "-" when negative) and no zero fill. 3725 gives " 1 : 2 : 5".
// The hours field takes as many digits as it needs.
std::string FormatSeconds(std::int32_t seconds);

} // namespace parvane
