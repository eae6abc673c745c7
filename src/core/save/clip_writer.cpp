#include "core/save/clip_writer.h"

#include "core/base/errors.h"
#include "core/base/title.h"
#include "core/edges/exact_clip.h"

#include "platform/file_access.h"

namespace parvane {

Destination checkDestination(const FileSystem& files, const std::string& destination,
                             const std::string& source, const Title* title) {
    // By text and by identity, so no other form of the source's path can replace it.
    const auto isSource = [&](const std::string& path) {
        return destination == path || files.sameFile(destination, path);
    };
    if (isSource(source))
        return Destination::Source;
    if (title) {
        for (const Extent& extent : title->extents)
            if (isSource(extent.path))
                return Destination::Source;
        for (const std::string& file : title->discFiles)
            if (isSource(file))
                return Destination::Source;
    }
    const PathStatus status = files.inspect(destination);
    switch (status.kind) {
    case PathStatus::Kind::Absent:
        return Destination::New;
    case PathStatus::Kind::File:
        return Destination::Existing;
    case PathStatus::Kind::NotAFile:
        throw SaveError("the destination is not a regular file");
    case PathStatus::Kind::Unknowable:
        break;
    }
    throw SaveError(status.reason);
}

bool writeClip(FileSystem& files, const std::string& source, const std::string& destination,
               const ClipPlanner& plan, const ProgressStart& startProgress, CopyBlocks blocks,
               const Title* title) {
    try {
        auto input = title ? files.openTitle(*title) : files.openSource(source);
        const ByteRange range = plan(*input);
        auto clip = files.createClip(destination);
        if (!copyBytes(*input, *clip, range, startProgress(range), blocks))
            return false;
        input.reset();
        clip->commit();
        return true;
    } catch (const OverflowError&) {
        throw SaveError("the marked stretch is too large");
    }
}

namespace {

// The clip seen from a later offset on, so the copy of its middle lands after its head.
class ShiftedClip : public ClipFile {
public:
    ShiftedClip(ClipFile& clip, std::int64_t shift) : clip_(clip), shift_(shift) {}

    void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) override {
        clip_.writeAt(offset + shift_, data, count);
    }
    std::optional<std::size_t> copyFrom(SourceFile& source, std::int64_t sourceOffset,
                                        std::int64_t offset, std::size_t count) override {
        return clip_.copyFrom(source, sourceOffset, offset + shift_, count);
    }
    void startWriteBack(std::int64_t offset, std::int64_t count) override {
        clip_.startWriteBack(offset + shift_, count);
    }
    void awaitWriteBack(std::int64_t offset, std::int64_t count) override {
        clip_.awaitWriteBack(offset + shift_, count);
    }
    void commit() override { clip_.commit(); }

private:
    ClipFile& clip_;
    std::int64_t shift_;
};

} // namespace

bool writeExactClip(FileSystem& files, const std::string& source, const std::string& destination,
                    const ExactPlan& plan, const ProgressStart& startProgress,
                    std::vector<std::string>& notes, CopyBlocks blocks, const Title* title) {
    try {
        auto input = title ? files.openTitle(*title) : files.openSource(source);
        const ExactClip exact = plan(*input);
        notes = exact.notes;
        auto clip = files.createClip(destination);
        const auto progress = startProgress({0, exact.size()});
        const auto headSize = static_cast<std::int64_t>(exact.head.size());
        clip->writeAt(0, exact.head.data(), exact.head.size());
        ShiftedClip middle(*clip, headSize);
        const auto middleProgress = [&](std::int64_t onDisk) {
            return progress(headSize + onDisk);
        };
        if (!copyBytes(*input, middle, exact.middle, middleProgress, blocks))
            return false;
        clip->writeAt(headSize + exact.middle.length, exact.tail.data(), exact.tail.size());
        input.reset();
        clip->commit();
        progress(exact.size());
        return true;
    } catch (const OverflowError&) {
        throw SaveError("the marked stretch is too large");
    }
}

} // namespace parvane
