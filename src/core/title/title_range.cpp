#include "core/title/title_range.h"

#include "core/base/errors.h"
#include "core/base/time_text.h"
#include "core/stream/program_stream.h"
#include "core/stream/stream_range.h"

#include "platform/nav_pack_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace parvane {

namespace {

// Cells that run on from each other meet within this much of the time the disc gives.
constexpr std::int64_t kClockSlack = mpeg::kTicksPerSecond;

} // namespace

TitleRangeFinder::TitleRangeFinder(const Title& title, SourceFile& source,
                                   const NavPackReader* navPacks)
    : title_(title), source_(source), navPacks_(navPacks) {}

std::optional<std::int64_t> TitleRangeFinder::vobuStart(std::size_t cell,
                                                        SourceSlice& slice) const {
    (void)cell;
    if (!navPacks_)
        return std::nullopt;
    std::array<std::byte, mpeg::kDvdPackSize> pack{};
    const std::size_t got = slice.readAt(0, pack.data(), pack.size());
    const std::span<const std::byte> bytes(pack.data(), got);
    const auto header = mpeg::readPackHeader(bytes);
    if (!header)
        return std::nullopt;
    std::size_t at = header->size;
    while (at + mpeg::kPacketPrefixSize + 1 <= bytes.size() &&
           mpeg::startsWithStartCode(bytes.subspan(at))) {
        const unsigned id = mpeg::byteAt(bytes, at + 3);
        const std::size_t length = mpeg::packetSize(bytes, at);
        // The PCI: private stream 2, substream 0.
        if (id == mpeg::kPrivateStream2 && mpeg::byteAt(bytes, at + mpeg::kPacketPrefixSize) == 0) {
            const std::size_t data = at + mpeg::kPacketPrefixSize + 1;
            if (data + NavPackReader::kPciBytes > bytes.size())
                return std::nullopt;
            NavPackReader::Pci pci{};
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(data), pci.size(), pci.begin());
            const VobuTimes times = navPacks_->readPci(pci);
            // ffmpeg's muxer leaves the times blank.
            if (times.start == 0 && times.end == 0)
                return std::nullopt;
            return times.start;
        }
        if (id != mpeg::kSystemHeader)
            return std::nullopt;
        at += length;
    }
    return std::nullopt;
}

double TitleRangeFinder::finderSeconds(std::size_t cell, double titleSeconds, SourceSlice& slice,
                                       StreamRangeFinder& finder) const {
    double seconds = titleSeconds - title_.cells[cell].start;
    if (const auto start = vobuStart(cell, slice))
        seconds += static_cast<double>(mpeg::ticksBetween(finder.startClock(), *start)) /
                   mpeg::kTicksPerSecond;
    return std::max(seconds, 0.0);
}

TitleRange TitleRangeFinder::find(double beginSeconds, double endSeconds) {
    const auto& cells = title_.cells;
    if (cells.empty())
        throw SaveError("the title has no cells");
    if (!(beginSeconds >= 0))
        throw SaveError("the begin mark lies before the start of the media");
    if (beginSeconds >= title_.duration())
        throw SaveError("the marks lie past the end of the stream (" +
                        clockText(title_.duration()) + ")");
    if (!(beginSeconds < endSeconds))
        throw SaveError("the marked stretch holds no whole picture group");
    // The begin in the cell that plays it; the end in the cell that plays up to it.
    std::size_t first = 0;
    while (first + 1 < cells.size() && cells[first + 1].start <= beginSeconds)
        ++first;
    std::size_t last = first;
    while (last + 1 < cells.size() && cells[last].start + cells[last].duration < endSeconds)
        ++last;

    TitleRange result;
    SourceSlice beginSlice(source_, cells[first].begin, cells[first].end - cells[first].begin);
    StreamRangeFinder beginFinder(beginSlice, navPacks_);
    const std::int64_t begin =
        cells[first].begin +
        beginFinder.beginAt(finderSeconds(first, beginSeconds, beginSlice, beginFinder));
    result.beginBytesRead = beginSlice.bytesRead();

    std::int64_t end = 0;
    if (last == first) {
        end = cells[last].begin +
              beginFinder.endAt(finderSeconds(last, endSeconds, beginSlice, beginFinder));
        result.endBytesRead = beginSlice.bytesRead() - result.beginBytesRead;
    } else {
        SourceSlice endSlice(source_, cells[last].begin, cells[last].end - cells[last].begin);
        StreamRangeFinder endFinder(endSlice, navPacks_);
        end = cells[last].begin +
              endFinder.endAt(finderSeconds(last, endSeconds, endSlice, endFinder));
        result.endBytesRead = endSlice.bytesRead();
    }
    if (end <= begin)
        throw SaveError("the marked stretch holds no whole picture group");
    result.range = {begin, end - begin};
    result.notes = notesBetween(first, last);
    // The clip is then shorter than marked.
    if (endSeconds > title_.duration())
        result.notes.push_back("the title ends at " + clockText(title_.duration()) +
                               "; the clip runs to its end");
    return result;
}

TitleRangeFinder::Moment TitleRangeFinder::locate(double titleSeconds, bool end, double lookBack) {
    const auto& cells = title_.cells;
    if (cells.empty())
        throw SaveError("the title has no cells");
    std::size_t cell = 0;
    if (end) {
        while (cell + 1 < cells.size() && cells[cell].start + cells[cell].duration < titleSeconds)
            ++cell;
    } else {
        while (cell + 1 < cells.size() && cells[cell + 1].start <= titleSeconds)
            ++cell;
    }
    SourceSlice slice(source_, cells[cell].begin, cells[cell].end - cells[cell].begin);
    StreamRangeFinder finder(slice, navPacks_);
    Moment moment;
    moment.cell = cell;
    const double seconds = finderSeconds(cell, titleSeconds, slice, finder);
    const std::int64_t start = finder.startClock();
    moment.clock = start + std::llround(seconds * mpeg::kTicksPerSecond);
    moment.zero =
        moment.clock - std::llround((titleSeconds - cells[cell].start) * mpeg::kTicksPerSecond);
    moment.groupBefore = cells[cell].begin + finder.beginAt(std::max(0.0, seconds - lookBack));
    moment.bytesRead = slice.bytesRead();
    return moment;
}

TitleRange TitleRangeFinder::chapters(int first, int last) {
    const auto count = static_cast<int>(title_.chapters.size());
    if (first < 1 || last < first || last > count)
        throw SaveError(count == 1 ? "the title has one chapter"
                                   : "the title has chapters 1 to " + std::to_string(count));
    const double from = title_.chapters[static_cast<std::size_t>(first - 1)];
    const double to =
        last < count ? title_.chapters[static_cast<std::size_t>(last)] : title_.duration();
    // Chapters start where cells do; the slack is for the sums that placed them.
    constexpr double kSlack = 1e-6;
    const auto& cells = title_.cells;
    std::size_t begin = 0;
    while (begin + 1 < cells.size() && cells[begin].start < from - kSlack)
        ++begin;
    std::size_t end = begin;
    while (end + 1 < cells.size() && cells[end + 1].start < to - kSlack)
        ++end;
    TitleRange result;
    result.range = {cells[begin].begin, cells[end].end - cells[begin].begin};
    result.notes = notesBetween(begin, end);
    return result;
}

std::vector<std::string> TitleRangeFinder::notesBetween(std::size_t firstCell,
                                                        std::size_t lastCell) {
    const auto& cells = title_.cells;
    std::optional<std::int64_t> previousStart;
    for (std::size_t cell = firstCell; cell <= lastCell; ++cell) {
        SourceSlice slice(source_, cells[cell].begin, cells[cell].end - cells[cell].begin);
        const auto start = vobuStart(cell, slice);
        if (cell > firstCell) {
            // The disc says so, or the clock does not run on by the cell before's time.
            bool reset = cells[cell].clockRestarts;
            if (!reset && start && previousStart) {
                const auto expected =
                    *previousStart + std::llround(cells[cell - 1].duration * mpeg::kTicksPerSecond);
                reset = std::llabs(mpeg::ticksBetween(expected, *start)) > kClockSlack;
            }
            if (reset)
                return {kTimeResetNote};
        }
        previousStart = start;
    }
    return {};
}

} // namespace parvane
