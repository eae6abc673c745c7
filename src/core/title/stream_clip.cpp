#include "core/title/stream_clip.h"

#include "core/stream/stream_range.h"

#include "platform/file_access.h"

#include <algorithm>
#include <map>
#include <memory>

namespace parvane {

namespace {

// One cell's bytes as a file of their own, read over the title's extents.
class CellSource : public SourceFile {
public:
    CellSource(FileSystem& files, const Title& title, const Cell& cell)
        : files_(files), title_(title), begin_(cell.begin), size_(cell.end - cell.begin) {}

    std::int64_t size() const override { return size_; }

    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
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

private:
    // From the one extent that holds `at`, no further than its end.
    std::size_t readPiece(std::int64_t at, std::byte* buffer, std::int64_t count) {
        std::int64_t extentStart = 0;
        for (const Extent& extent : title_.extents) {
            if (at < extentStart + extent.length) {
                auto& file = open_[extent.path];
                if (!file)
                    file = files_.openSource(extent.path);
                const std::int64_t inside = at - extentStart;
                return file->readAt(
                    extent.offset + inside, buffer,
                    static_cast<std::size_t>(std::min(count, extent.length - inside)));
            }
            extentStart += extent.length;
        }
        return 0;
    }

    FileSystem& files_;
    const Title& title_;
    std::int64_t begin_;
    std::int64_t size_;
    std::map<std::string, std::unique_ptr<SourceFile>> open_;
};

// The cell a mark lies in: a begin in the cell that starts at or before it, an end in the
// cell that plays up to it.
std::size_t cellOf(const Title& title, double seconds, bool isEnd) {
    for (std::size_t i = 0; i < title.cells.size(); ++i) {
        const Cell& cell = title.cells[i];
        const double cellEnd = cell.start + cell.duration;
        if (isEnd ? seconds <= cellEnd : seconds < cellEnd)
            return i;
    }
    return title.cells.size() - 1;
}

} // namespace

std::optional<std::pair<double, double>>
streamClipTimes(FileSystem& files, const NavPackReader* navPacks, const std::string& path,
                const std::optional<Title>& title, double begin, double end) {
    try {
        if (!title) {
            const auto source = files.openSource(path);
            StreamRangeFinder finder(*source, navPacks);
            const double from = finder.beginOf(begin).seconds;
            return std::pair(from, finder.endOf(end).seconds);
        }
        if (title->cells.empty())
            return std::nullopt;
        const auto found = [&](double mark, bool isEnd) {
            const Cell& cell = title->cells[cellOf(*title, mark, isEnd)];
            CellSource source(files, *title, cell);
            StreamRangeFinder finder(source, navPacks);
            const double local = std::max(0.0, mark - cell.start);
            const auto boundary = isEnd ? finder.endOf(local) : finder.beginOf(local);
            return cell.start + std::min(boundary.seconds, cell.duration);
        };
        return std::pair(found(begin, false), found(end, true));
    } catch (const std::exception&) {
        return std::nullopt; // the save itself tells why
    }
}

} // namespace parvane
