#include "dvdread_nav_reader.h"

#include <dvdread/nav_read.h>

#include <cstdint>
#include <cstring>
#include <optional>

namespace parvane {

namespace {

// PCI_BYTES counts the substream number too.
static_assert(NavPackReader::kPciBytes == PCI_BYTES - 1);
static_assert(NavPackReader::kDsiBytes == DSI_BYTES - 1);

// The general information (pci_gi) at the start of the PCI holds the times.
constexpr std::size_t kGeneralInformationBytes = 0x3C;
// pci_gi.zero1: reserved, and checked by the library.
constexpr std::size_t kReservedAt = 6;
// The DSI's general information (dsi_gi) holds the VOBU's object, cell and elapsed time.
constexpr std::size_t kDsiGeneralInformationBytes = 32;
// dsi_gi.zero1, which the library checks as well.
constexpr std::size_t kDsiReservedAt = 26;

std::optional<int> bcd(std::uint8_t value) {
    if ((value >> 4) > 9 || (value & 0x0F) > 9)
        return std::nullopt;
    return (value >> 4) * 10 + (value & 0x0F);
}

// A dvd_time_t: hours, minutes, seconds and frames in BCD; the frames' top two bits say
// the rate, 1 for 25 frames a second and 3 for 30 (NTSC's 29.97, counted as 30).
std::optional<std::int64_t> ticksOf(const dvd_time_t& time) {
    const auto hours = bcd(time.hour);
    const auto minutes = bcd(time.minute);
    const auto seconds = bcd(time.second);
    const auto frames = bcd(time.frame_u & 0x3F);
    const unsigned rate = time.frame_u >> 6;
    if (!hours || !minutes || !seconds || !frames || (rate != 1 && rate != 3) || *minutes > 59 ||
        *seconds > 59)
        return std::nullopt;
    constexpr std::int64_t kTicksPerSecond = 90000;
    const std::int64_t whole = (*hours * 3600 + *minutes * 60 + *seconds) * kTicksPerSecond;
    return whole + *frames * (rate == 1 ? kTicksPerSecond / 25 : 3003);
}

} // namespace

VobuTimes DvdreadNavReader::readPci(const Pci& pci) const {
    // The library prints a line to stderr for every odd field it meets, and damaged or
    // hostile packs have many. Only the general information is passed on; the rest (the
    // highlights and buttons of menus, which a cut never uses) stays zero.
    unsigned char data[PCI_BYTES] = {};
    std::memcpy(data, pci.data(), kGeneralInformationBytes);
    data[kReservedAt] = data[kReservedAt + 1] = 0;
    pci_t decoded{};
    navRead_PCI(&decoded, data);
    return {decoded.pci_gi.vobu_s_ptm, decoded.pci_gi.vobu_e_ptm};
}

VobuPlace DvdreadNavReader::readDsi(const Dsi& dsi) const {
    // As with the PCI: only the general information, so the library has nothing to complain
    // about in the rest.
    unsigned char data[DSI_BYTES] = {};
    std::memcpy(data, dsi.data(), kDsiGeneralInformationBytes);
    data[kDsiReservedAt] = 0;
    dsi_t decoded{};
    navRead_DSI(&decoded, data);
    return {decoded.dsi_gi.vobu_vob_idn, decoded.dsi_gi.vobu_c_idn, ticksOf(decoded.dsi_gi.c_eltm)};
}

} // namespace parvane
