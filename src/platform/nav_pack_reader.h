#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace parvane {

// The presentation times of a DVD video object unit (VOBU): the first picture it shows
// and the end of the last, in 90 kHz ticks of the stream's clock.
struct VobuTimes {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

// Reads the presentation control information (PCI) that opens every DVD navigation pack.
class NavPackReader {
public:
    // The PCI packet's data after its substream number.
    static constexpr std::size_t kPciBytes = 979;
    using Pci = std::array<std::byte, kPciBytes>;

    virtual ~NavPackReader() = default;

    virtual VobuTimes readPci(const Pci& pci) const = 0;
};

} // namespace parvane
