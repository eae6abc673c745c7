#pragma once

#include "core/base/title.h"

#include <dvdread/ifo_types.h>

namespace parvane {

// The audio and subpicture streams the title's chain lets play, as the title set describes
// them, with the ids their packs carry in the VOB, and the chain's subpicture colours. A
// chain lists the title set's streams by its own numbers; a player maps them the same way.
void describeStreams(const ifo_handle_t& ifo, const pgc_t& chain, Title& title);

} // namespace parvane
