#include "core/title/stream_clip.h"

#include "core/stream/stream_range.h"
#include "core/title/title_bytes.h"

#include "platform/file_access.h"

#include <algorithm>

namespace parvane {

namespace {

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
