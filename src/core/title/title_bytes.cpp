#include "core/title/title_bytes.h"

#include <algorithm>

namespace parvane {

std::size_t CellSource::readAt(std::int64_t offset, std::byte* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count && offset + static_cast<std::int64_t>(done) < size_) {
        const std::size_t got =
            readPiece(begin_ + offset + static_cast<std::int64_t>(done), buffer + done,
                      std::min<std::int64_t>(static_cast<std::int64_t>(count - done),
                                             size_ - offset - static_cast<std::int64_t>(done)));
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

std::size_t CellSource::readPiece(std::int64_t at, std::byte* buffer, std::int64_t count) {
    std::int64_t extentStart = 0;
    for (const Extent& extent : title_.extents) {
        if (at < extentStart + extent.length) {
            auto& file = open_[extent.path];
            if (!file)
                file = files_.openSource(extent.path);
            const std::int64_t inside = at - extentStart;
            return file->readAt(extent.offset + inside, buffer,
                                static_cast<std::size_t>(std::min(count, extent.length - inside)));
        }
        extentStart += extent.length;
    }
    return 0;
}

std::size_t SourceSlice::readAt(std::int64_t offset, std::byte* buffer, std::size_t count) {
    if (offset < 0 || offset >= length_)
        return 0;
    count = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(count), length_ - offset));
    const std::size_t got = source_.readAt(offset_ + offset, buffer, count);
    bytesRead_ += static_cast<std::int64_t>(got);
    return got;
}

} // namespace parvane
