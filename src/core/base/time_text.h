#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace parvane {

// Hours, minutes and seconds as " h : m : s": each field has one sign position
// (a blank, or "-" when negative) and no zero fill. 3725 gives " 1 : 2 : 5".
// The hours field takes as many digits as it needs.
std::string formatSeconds(std::int32_t seconds);

// The clock form of messages, "H:MM:SS", whole seconds cut off: 3725.9 gives "1:02:05".
// Negative times read as 0.
std::string clockText(double seconds);

// The same to a tenth of a second, rounded: 4.46 gives "0:00:04.5".
std::string tenthsClockText(double seconds);

// The same to a hundredth of a second, rounded: 9.6 gives "0:00:09.60", so a time names a
// picture.
std::string hundredthsClockText(double seconds);

// Seconds from a time as people type it: "75", "75.5", "1:15", "1:15.5" or "0:01:15.250".
// Minutes and seconds after the first field are two digits below 60. Nothing when the
// text is not such a time.
std::optional<double> parseTime(std::string_view text);

} // namespace parvane
