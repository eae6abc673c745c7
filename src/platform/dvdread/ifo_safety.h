#pragma once

#include <cstdint>
#include <vector>

namespace parvane {

// An IFO file holds tables of a few thousand entries at most.
inline constexpr std::int64_t kLargestIfo = std::int64_t{64} << 20;

// Whether libdvdread 6.1.3 can read the IFO file (or its backup) `ifo` without writing or
// freeing memory it does not own.
bool ifoIsSafe(std::vector<std::uint8_t> ifo);

} // namespace parvane
