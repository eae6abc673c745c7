#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace parvane {

// The presentation times of a DVD video object unit (VOBU): the first picture it shows
// and the end of the last, in 90 kHz ticks of the stream's clock.
struct VobuTimes {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

// Where a VOBU belongs, as the data search information (DSI) of its navigation pack says.
// dvdauthor and discs fill it in; ffmpeg's DVD muxer leaves it all zero.
struct VobuPlace {
    int vob = 0;  // vobu_vob_idn: the video object, from 1; 0 when the pack is blank
    int cell = 0; // vobu_c_idn: the cell within that object, from 1
    // c_eltm: from the cell's first VOBU to this one, in 90 kHz ticks; nothing when its
    // digits or frame rate are not valid.
    std::optional<std::int64_t> cellElapsed;
};

// Reads the two packets of every DVD navigation pack: the presentation control
// information (PCI) and the data search information (DSI) after it.
class NavPackReader {
public:
    // Each packet's data after its substream number.
    static constexpr std::size_t kPciBytes = 979;
    static constexpr std::size_t kDsiBytes = 1017;
    using Pci = std::array<std::byte, kPciBytes>;
    using Dsi = std::array<std::byte, kDsiBytes>;

    virtual ~NavPackReader() = default;

    virtual VobuTimes readPci(const Pci& pci) const = 0;
    virtual VobuPlace readDsi(const Dsi& dsi) const = 0;
};

} // namespace parvane
