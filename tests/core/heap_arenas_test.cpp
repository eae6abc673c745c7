#include "platform/posix/heap_arenas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define PARVANE_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARVANE_OWN_ALLOCATOR 1
#endif
#endif

namespace {

#if defined(__GLIBC__) && !defined(PARVANE_OWN_ALLOCATOR)
// The number of arenas glibc's heap has, from its own report.
int heapArenas() {
    char* text = nullptr;
    std::size_t size = 0;
    FILE* report = open_memstream(&text, &size);
    malloc_info(0, report);
    std::fclose(report);
    const std::string xml(text, size);
    std::free(text);
    int arenas = 0;
    for (auto at = xml.find("<heap nr="); at != std::string::npos;
         at = xml.find("<heap nr=", at + 1))
        ++arenas;
    return arenas;
}

long residentKiB() {
    long pages = 0, resident = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm)
        return -1;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}
#endif

TEST(HeapArenas, ThreadsThatAllocateAtOnceShareTwoArenas) {
#if !defined(__GLIBC__) || defined(PARVANE_OWN_ALLOCATOR)
    GTEST_SKIP() << "not glibc's heap";
#else
    parvane::boundHeapArenas();
    const int before = heapArenas();
    // Each new thread that allocates takes an arena of its own while the cap allows; all are
    // kept alive together so that none inherits an arena another has given back.
    constexpr int kThreads = 6;
    std::latch allocated(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&allocated] {
            // volatile, or the compiler drops an allocation nothing reads.
            char* volatile block = static_cast<char*>(std::malloc(4096));
            block[0] = 1;
            allocated.arrive_and_wait();
            std::free(block);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_LE(heapArenas(), std::max(before, 2)) << "arenas before the threads: " << before;
#endif
}

TEST(HeapArenas, LargeBlocksGoBackToTheSystemWhenFreed) {
#if !defined(__GLIBC__) || defined(PARVANE_OWN_ALLOCATOR)
    GTEST_SKIP() << "not glibc's heap";
#else
    parvane::boundHeapArenas();
    // As the player's probe of each cell it opens: 10 MiB zero-filled, freed at once. glibc
    // would take the second and later ones from the heap and keep their pages.
    constexpr std::size_t kLarge = std::size_t{10} << 20;
    const long before = residentKiB();
    for (int cell = 0; cell < 3; ++cell) {
        char* volatile block = static_cast<char*>(std::malloc(kLarge));
        std::fill_n(block, kLarge, 'x');
        std::free(block);
    }
    const long after = residentKiB();
    ASSERT_GT(before, 0);
    EXPECT_LT(after, before + 4 * 1024) << "resident KiB before " << before << ", after " << after;
#endif
}

TEST(HeapArenas, FreedBlocksBelowOneInUseGoBackToTheSystem) {
#if !defined(__GLIBC__) || defined(PARVANE_OWN_ALLOCATOR)
    GTEST_SKIP() << "not glibc's heap";
#else
    // 64 MiB in small blocks, all freed but the last: the heap cannot shrink from its top, so
    // free() alone keeps the pages, as it keeps what a closed file's decoders used.
    constexpr std::size_t kBlock = 4000, kBlocks = 64 * 1024 * 1024 / kBlock;
    std::vector<char*> blocks(kBlocks);
    for (auto& block : blocks) {
        block = static_cast<char*>(std::malloc(kBlock));
        std::fill_n(block, kBlock, 'x');
    }
    for (std::size_t i = 0; i + 1 < kBlocks; ++i)
        std::free(blocks[i]);
    const long before = residentKiB();
    parvane::releaseFreedHeap();
    const long after = residentKiB();
    std::free(blocks.back());
    ASSERT_GT(before, 0);
    EXPECT_LT(after, before - 48 * 1024) << "resident KiB before " << before << ", after " << after;
#endif
}

} // namespace
