#include "heap_arenas.h"

// <malloc.h> brings in <features.h>, which is what defines __GLIBC__: the test for the C
// library can only come after it.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace parvane {

void boundHeapArenas() {
#if defined(__GLIBC__) && defined(M_ARENA_MAX)
    // The main arena and one more: the GUI thread keeps its own, the player's threads share
    // the other, and nothing freed waits in an arena that no thread will use again.
    mallopt(M_ARENA_MAX, 2);
#endif
}

void releaseFreedHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace parvane
