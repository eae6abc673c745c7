#include "byte_copier.h"

#include "clip_plan.h"

#include "platform/file_access.h"

#include <algorithm>
#include <vector>

namespace parvane {

namespace {

[[noreturn]] void sourceChanged() {
    throw SaveError("the source file changed during the save");
}

} // namespace

bool copyBytes(SourceFile& source, ClipFile& clip, ByteRange range, const CopyProgress& progress,
               CopyBlocks blocks) {
    std::vector<std::byte> buffer;
    bool inKernel = true;
    std::int64_t copied = 0;
    while (copied < range.length) {
        const std::int64_t left = range.length - copied;
        std::size_t moved = 0;
        if (inKernel) {
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(blocks.kernel)));
            const auto done = clip.copyFrom(source, range.offset + copied, copied, count);
            if (done) {
                moved = *done;
            } else {
                inKernel = false;
                continue;
            }
        } else {
            if (buffer.empty())
                buffer.resize(blocks.buffered);
            const auto count = static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(buffer.size())));
            moved = source.readAt(range.offset + copied, buffer.data(), count);
            clip.writeAt(copied, buffer.data(), moved);
        }
        // Both ways give fewer bytes only at the source's end, which the range lies before.
        if (moved == 0)
            sourceChanged();
        copied += static_cast<std::int64_t>(moved);
        if (!progress(copied))
            return false;
    }
    return true;
}

} // namespace parvane
