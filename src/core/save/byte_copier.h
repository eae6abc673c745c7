#pragma once

#include "core/base/byte_range.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace parvane {

class ClipFile;
class SourceFile;

// Told after every block how many of the clip's first bytes are on disk, and once more when
// all of them are; returns false to stop.
using CopyProgress = std::function<bool(std::int64_t onDisk)>;

// How much one step of the copy moves at most, and how much goes to disk at a time. Large
// blocks let the kernel copy at its own speed; a slow disk gets smaller ones; tests use small
// ones to act between steps.
inline constexpr std::size_t kKernelCopyBlock = std::size_t{8} << 20;
// A read-and-write buffer larger than the processor's caches copies more slowly.
inline constexpr std::size_t kBufferedCopyBlock = std::size_t{256} << 10;

struct CopyBlocks {
    std::size_t kernel = kKernelCopyBlock;
    std::size_t buffered = kBufferedCopyBlock;
};

// Copies `range` of the source to the start of the clip, byte for byte: in the kernel
// where the files allow it, through a buffer otherwise; the clip's bytes go to disk as
// they are copied, and all of them are there when it returns true. Returns false when
// `progress` asked to stop. Throws SaveError when the source ends before the range does (it
// changed since it was opened) and FileError when a read or write fails.
bool copyBytes(SourceFile& source, ClipFile& clip, ByteRange range, const CopyProgress& progress,
               CopyBlocks blocks = {});

} // namespace parvane
