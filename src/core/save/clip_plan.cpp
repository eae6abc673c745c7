#include "core/save/clip_plan.h"

#include "core/base/numbers.h"

#include <algorithm>
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
    plan.byteRate = roundToInt64(static_cast<double>(sourceLength) / duration);
    if (plan.byteRate < 1)
        throw SaveError("the source file is too small for its playing time");
    // A begin mark of 0 means the very first byte: position 0 does not exist.
    plan.firstPos = clipBegin == 0 ? 1 : checkedMul(plan.byteRate, clipBegin);
    plan.lastPos = checkedMul(clipEnd, plan.byteRate);
    plan.progressMaximum = checkedAdd(checkedSub(plan.lastPos, plan.firstPos), kCopyBufferSize);
    plan.steps = plan.lastPos < plan.firstPos ? 0 : (plan.lastPos - plan.firstPos) / kCopyStep + 1;
    return plan;
}

ByteRange ClipPlan::bytes(std::int64_t sourceLength) const {
    const std::int64_t first = firstPos - 1;
    const std::int64_t end =
        std::min(sourceLength, checkedAdd(first, checkedMul(steps, kCopyStep) + 1));
    if (steps == 0 || first >= end)
        throw SaveError("the marked stretch lies past the end of the source file");
    return {first, end - first};
}

std::int64_t ClipPlan::progressAfter(std::int64_t copied) const {
    const std::int64_t begun = (copied + kCopyStep - 1) / kCopyStep;
    return std::min(steps, begun) * kCopyStep;
}

} // namespace parvane
