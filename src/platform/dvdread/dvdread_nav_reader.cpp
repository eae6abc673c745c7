#include "dvdread_nav_reader.h"

#include <dvdread/nav_read.h>

#include <cstring>

namespace parvane {

namespace {

// PCI_BYTES counts the substream number too.
static_assert(NavPackReader::kPciBytes == PCI_BYTES - 1);

// The general information (pci_gi) at the start of the PCI holds the times.
constexpr std::size_t kGeneralInformationBytes = 0x3C;
// pci_gi.zero1: reserved, and checked by the library.
constexpr std::size_t kReservedAt = 6;

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

} // namespace parvane
