#pragma once

#include "platform/disc_reader.h"

namespace parvane {

// DVD-Video read with libdvdread: the titles from the disc's title table, each title's cells
// from its program chains, its bytes mapped onto the folder's VOB files or onto the image.
//
// Only the first angle of a multi-angle block is taken (its sectors as the IFO gives them);
// a title whose chapters run through several program chains takes each chain once, in the
// order its chapters name them, each followed by the chains it links to as it ends. Cells
// play in their chain's order, as often as the chain plays them; a cell whose sectors the
// files do not hold is left out and named in the title's problems. Titles that play no
// time or no bytes are left out.
class DvdreadDiscReader : public DiscReader {
public:
    std::optional<Disc> read(const std::string& path) const override;
};

} // namespace parvane
