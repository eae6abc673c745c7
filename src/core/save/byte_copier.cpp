#include "core/save/byte_copier.h"

#include "core/save/clip_plan.h"

#include "platform/file_access.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace parvane {

namespace {

[[noreturn]] void sourceChanged() {
    throw SaveError("the source file changed during the save");
}

// Sends the clip to disk while it is copied, so that the copy can report the bytes that
// have reached the disk: the page cache takes gigabytes in a moment, and a bar that
// followed it would sit at its end for as long as the disk needs to catch up, with the clip
// not yet safe. One stretch is written while the next is copied, which keeps the disk busy
// without letting the cache run ahead by more than two stretches.
class WriteBack {
public:
    // Starts small, so a slow disk holds up the first steps no longer than the later ones.
    WriteBack(ClipFile& clip, std::size_t largest)
        : clip_(clip), largest_(static_cast<std::int64_t>(largest)),
          smallest_(std::min<std::int64_t>(largest_, kSmallestStretch)), stretch_(smallest_) {}

    // How much to copy before the next stretch goes to disk.
    std::int64_t stretch() const { return stretch_; }

    // The clip holds its first `copied` bytes; returns how many of them are on disk.
    std::int64_t copied(std::int64_t copied) {
        if (copied - handed_ >= stretch_)
            hand(copied);
        return onDisk_;
    }

    // Every byte copied goes to disk; returns once it is there.
    std::int64_t finish(std::int64_t copied) {
        if (copied > handed_)
            hand(copied);
        if (writing_.length > 0)
            awaitWriting();
        return onDisk_;
    }

private:
    using Clock = std::chrono::steady_clock;
    // Long enough for the disk to write at its own pace, short enough that waiting for one
    // stretch leaves the window live on a slow disk (a USB stick writes 1 MiB in 40 ms).
    static constexpr std::int64_t kSmallestStretch = std::int64_t{1} << 20;
    static constexpr Clock::duration kLongestWait = std::chrono::milliseconds(60);

    void hand(std::int64_t end) {
        const ByteRange next{handed_, end - handed_};
        clip_.startWriteBack(next.offset, next.length);
        handed_ = end;
        if (writing_.length > 0)
            awaitWriting();
        writing_ = next;
    }

    void awaitWriting() {
        const auto began = Clock::now();
        clip_.awaitWriteBack(writing_.offset, writing_.length);
        onDisk_ = writing_.end();
        writing_ = {};
        // A slow disk gets shorter stretches, so the wait stays short; a fast one the
        // longest, which the kernel copies fastest.
        const auto waited = Clock::now() - began;
        if (waited > kLongestWait)
            stretch_ = std::max(smallest_, stretch_ / 2);
        else if (waited < kLongestWait / 4)
            stretch_ = std::min(largest_, stretch_ * 2);
    }

    ClipFile& clip_;
    const std::int64_t largest_;
    const std::int64_t smallest_;
    std::int64_t stretch_;
    std::int64_t handed_ = 0; // bytes whose writing has been started
    std::int64_t onDisk_ = 0;
    ByteRange writing_; // on its way to disk; empty when nothing is
};

} // namespace

bool copyBytes(SourceFile& source, ClipFile& clip, ByteRange range, const CopyProgress& progress,
               CopyBlocks blocks) {
    std::vector<std::byte> buffer;
    WriteBack writeBack(clip, blocks.kernel);
    bool inKernel = true;
    std::int64_t copied = 0;
    while (copied < range.length) {
        const std::int64_t left = range.length - copied;
        std::size_t moved = 0;
        if (inKernel) {
            const auto count = static_cast<std::size_t>(std::min(left, writeBack.stretch()));
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
        if (copied < range.length && !progress(writeBack.copied(copied)))
            return false;
    }
    return progress(writeBack.finish(copied));
}

} // namespace parvane
