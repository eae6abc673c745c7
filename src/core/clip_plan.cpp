#include "clip_plan.h"

#include "numbers.h"

#include <cmath>

namespace parvane {

ClipPlan planClip(std::int64_t sourceLength, double duration, std::int32_t clipBegin,
                  std::int32_t clipEnd) {
    if (!(duration > 0.0) || !std::isfinite(duration))
        throw SaveError("the media duration is not known");
    if (sourceLength <= 0)
        throw SaveError("the source file is empty");
    if (clipBegin < 0)
        throw SaveError("the begin mark lies before the start of the media");

    ClipPlan plan;
    plan.ByteRate = roundToInt64(static_cast<double>(sourceLength) / duration);
    if (plan.ByteRate < 1)
        throw SaveError("the source file is too small for its playing time");
    // A begin mark of 0 means the very first byte: position 0 does not exist.
    plan.FirstPos = clipBegin == 0 ? 1 : checkedMul(plan.ByteRate, clipBegin);
    plan.LastPos = checkedMul(clipEnd, plan.ByteRate);
    plan.progressMaximum = checkedAdd(checkedSub(plan.LastPos, plan.FirstPos), kCopyBufferSize);
    return plan;
}

} // namespace parvane
