#include "core/save/clip_writer.h"

#include "core/base/errors.h"
#include "core/base/title.h"

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

} // namespace parvane
