#pragma once

namespace parvane {

// Caps the C library's heap at a few arenas. glibc gives each new thread that allocates
// under contention an arena of its own, up to eight per core, and keeps what is freed in
// them: the player's threads for each opened file took a fresh one, so resident memory grew
// with every open. Large blocks are kept out of the arenas too, so that freeing one gives
// its pages back. Call it first in main(), before any thread starts.
void boundHeapArenas();

// Gives the system back the free pages inside the heap's arenas. What a closed file's
// demuxer and decoders freed lies among blocks still in use, below the top of the heap,
// where free() alone does not return it: call it once a file is unloaded.
void releaseFreedHeap();

} // namespace parvane
