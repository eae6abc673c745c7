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
#if defined(__GLIBC__) && defined(M_MMAP_THRESHOLD)
    // Blocks of 4 MiB and more get pages of their own, given back when they are freed. mpv
    // zero-fills a 10 MiB probe buffer for every stream it opens and frees it at once; taken
    // from the heap, each was freed among blocks allocated meanwhile and the next took fresh
    // pages (a title played as 99 streams held 1.2 GB). A fixed threshold also stops glibc
    // from raising it to the size of the largest block freed.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
}

void releaseFreedHeap() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace parvane
