#include "heap_arenas.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace parvane {

void boundHeapArenas() {
#if defined(__GLIBC__)
    // The main arena and one more: the GUI thread keeps its own, the player's threads share
    // the other, and nothing freed waits in an arena that no thread will use again.
    mallopt(M_ARENA_MAX, 2);
#endif
}

} // namespace parvane
