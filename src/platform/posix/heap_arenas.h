#pragma once

namespace parvane {

// Caps the C library's heap at a few arenas. glibc gives each new thread that allocates
// under contention an arena of its own, up to eight per core, and keeps what is freed in
// them: the player's threads for each opened file took a fresh one, so resident memory grew
// with every open. Call it first in main(), before any thread starts.
void boundHeapArenas();

} // namespace parvane
