#pragma once

#include "platform/nav_pack_reader.h"

namespace parvane {

// Navigation packs read with libdvdread, the library DVD players use for them.
class DvdreadNavReader : public NavPackReader {
public:
    VobuTimes readPci(const Pci& pci) const override;
    VobuPlace readDsi(const Dsi& dsi) const override;
};

} // namespace parvane
