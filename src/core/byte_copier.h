#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace parvane {

class ClipFile;
class SourceFile;

// A stretch of the source: a zero-based offset and a length in bytes.
struct ByteRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;

    std::int64_t end() const { return offset + length; }
};

// Told the number of bytes copied so far after every block; returns false to stop.
using CopyProgress = std::function<bool(std::int64_t copied)>;

// How much one step of the copy moves. Large blocks let the kernel copy at its own speed;
// tests use small ones to act between steps.
inline constexpr std::size_t kKernelCopyBlock = std::size_t{8} << 20;
// A read-and-write buffer larger than the processor's caches copies more slowly.
inline constexpr std::size_t kBufferedCopyBlock = std::size_t{256} << 10;

struct CopyBlocks {
    std::size_t kernel = kKernelCopyBlock;
    std::size_t buffered = kBufferedCopyBlock;
};

// Copies `range` of the source to the start of the clip, byte for byte: in the kernel
// where the files allow it, through a buffer otherwise. Returns false when `progress`
// asked to stop. Throws SaveError when the source ends before the range does (it
// changed since it was opened) and FileError when a read or write fails.
bool copyBytes(SourceFile& source, ClipFile& clip, ByteRange range, const CopyProgress& progress,
               CopyBlocks blocks = {});

} // namespace parvane
