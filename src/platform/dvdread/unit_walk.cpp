#include "unit_walk.h"

#include <dvdread/nav_read.h>

#include <cstring>
#include <optional>

namespace parvane {

namespace {

// The sml_pbi category's flag for a VOBU that belongs to an interleaved unit.
constexpr unsigned kInInterleavedUnit = 0x4000;
// The end of an angle's units.
constexpr std::uint32_t kNoNextUnit = 0x7FFFFFFF;
// A relative address's direction bit and its value.
constexpr std::uint32_t kBackwards = 0x80000000;
constexpr std::uint32_t kAddress = 0x3FFFFFFF;

// Where a navigation pack's PCI and DSI packets start: each after its 6-byte packet header
// and its substream number, the DSI in the pack's second half.
constexpr std::size_t kPciAt = 0x2D;
constexpr std::size_t kDsiAt = 0x407;
// The PCI's general information and the non-seamless angle addresses after it.
constexpr std::size_t kPciAngleBytes = 0x3C + 9 * 4;
// dsi_gi.zero1 and pci_gi.zero1, which the library checks.
constexpr std::size_t kDsiReservedAt = 26;
constexpr std::size_t kPciReservedAt = 6;

struct NavPack {
    pci_t pci{};
    dsi_t dsi{};
};

std::optional<NavPack> navPack(const Block& block) {
    const auto b = [&block](std::size_t i) { return mpeg::byteAt(block, i); };
    // A pack header, a system header, then private stream 2 twice: the PCI (substream 0)
    // and the DSI (substream 1), each at its fixed place.
    if (b(0) != 0 || b(1) != 0 || b(2) != 1 || b(3) != 0xBA || b(0x26) != 0 || b(0x27) != 0 ||
        b(0x28) != 1 || b(0x29) != 0xBF || b(0x2C) != 0 || b(0x400) != 0 || b(0x401) != 0 ||
        b(0x402) != 1 || b(0x403) != 0xBF || b(0x406) != 1)
        return std::nullopt;
    NavPack nav;
    unsigned char pci[PCI_BYTES] = {};
    std::memcpy(pci, block.data() + kPciAt, kPciAngleBytes);
    pci[kPciReservedAt] = pci[kPciReservedAt + 1] = 0;
    navRead_PCI(&nav.pci, pci);
    unsigned char dsi[DSI_BYTES] = {};
    std::memcpy(dsi, block.data() + kDsiAt, DSI_BYTES - 1);
    dsi[kDsiReservedAt] = 0;
    navRead_DSI(&nav.dsi, dsi);
    return nav;
}

// A forward address relative to `from`; nothing for one that goes back or says "none".
std::optional<std::int64_t> forward(std::int64_t from, std::uint32_t address) {
    if (address == kNoNextUnit || (address & kBackwards) != 0 || (address & kAddress) == 0)
        return std::nullopt;
    return from + (address & kAddress);
}

// Where the cell's next unit after the one whose navigation pack is `nav` starts; nothing
// at the cell's end.
std::optional<std::int64_t> nextUnit(const CellLayout& cell, std::int64_t at, const NavPack& nav) {
    const auto angle = static_cast<std::size_t>(cell.angle - 1);
    if (cell.angleBlock && angle < 9) {
        if (!cell.seamlessAngle && nav.pci.nsml_agli.nsml_agl_dsta[angle] != 0)
            return forward(at, nav.pci.nsml_agli.nsml_agl_dsta[angle]);
        if (nav.dsi.sml_agli.data[angle].address != 0)
            return forward(at, nav.dsi.sml_agli.data[angle].address);
    }
    if ((nav.dsi.sml_pbi.category & kInInterleavedUnit) != 0 && nav.dsi.sml_pbi.ilvu_sa != 0)
        return forward(at, nav.dsi.sml_pbi.ilvu_sa);
    if (nav.dsi.vobu_sri.next_vobu == SRI_END_OF_CELL)
        return std::nullopt;
    return forward(at, nav.dsi.vobu_sri.next_vobu);
}

} // namespace

CellUnits walkCell(const CellLayout& cell, const BlockSource& read) {
    CellUnits units;
    if (cell.first > cell.last)
        return units;
    if (!cell.interleaved) {
        units.runs.push_back({cell.first, cell.last});
        units.complete = true;
        return units;
    }
    Block block{};
    std::int64_t at = cell.first;
    // Each step moves forward inside the cell, so this many steps are never needed.
    for (std::int64_t step = 0; step <= cell.last - cell.first; ++step) {
        if (!read(at, block))
            return units;
        const auto nav = navPack(block);
        if (!nav || nav->dsi.dsi_gi.nv_pck_lbn != static_cast<std::uint32_t>(at))
            return units;
        const bool inUnit = (nav->dsi.sml_pbi.category & kInInterleavedUnit) != 0;
        const std::int64_t end =
            at + (inUnit && nav->dsi.sml_pbi.ilvu_ea != 0 ? nav->dsi.sml_pbi.ilvu_ea
                                                          : nav->dsi.dsi_gi.vobu_ea);
        if (end > cell.last)
            return units;
        units.runs.push_back({at, end});
        const auto next = end == cell.last ? std::nullopt : nextUnit(cell, at, *nav);
        if (!next) {
            // A cell ends with its last unit; one that says so earlier has lost its tail.
            units.complete = end == cell.last;
            return units;
        }
        if (*next <= end || *next > cell.last)
            return units;
        at = *next;
    }
    return units;
}

} // namespace parvane
