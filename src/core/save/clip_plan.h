#pragma once

#include "core/base/errors.h"
#include "core/save/byte_copier.h"

#include <cstdint>

namespace parvane {

inline constexpr std::int64_t kCopyStep = 20480;
// One byte more than a step, so each read overlaps the previous one by a byte.
inline constexpr std::int64_t kCopyBufferSize = kCopyStep + 1;

// Which bytes of the source make the clip. The source's bytes are taken to be spread
// evenly over its playing time. Positions are 1-based.
struct ClipPlan {
    std::int64_t byteRate = 0; // bytes per second of playing time
    std::int64_t firstPos = 0; // where the clip starts
    std::int64_t lastPos = 0;  // inclusive limit for where a copy step may start
    std::int64_t progressMaximum = 0;
    std::int64_t steps = 0; // 20481-byte reads, each starting 20480 bytes after the last

    // The bytes the steps read, from firstPos to the end of the last read, cut at the
    // source's end. Throws SaveError when none of them exist.
    ByteRange bytes(std::int64_t sourceLength) const;
    // How far the bar has come once `copied` bytes of the clip are written: 20480 for each
    // step that has begun, so a whole clip ends at 20480 times the steps.
    std::int64_t progressAfter(std::int64_t copied) const;
};

// Throws SaveError when the numbers give no clip, OverflowError when they do not fit.
ClipPlan planClip(std::int64_t sourceLength, double duration, std::int32_t clipBegin,
                  std::int32_t clipEnd);

} // namespace parvane
