#include "core/stream/cell_survey.h"

#include "core/base/errors.h"
#include "core/base/time_text.h"
#include "core/stream/program_stream.h"

#include "platform/file_access.h"
#include "platform/nav_pack_reader.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

namespace parvane {

namespace {

using mpeg::kDvdPackSize;
using mpeg::kTicksPerSecond;
using mpeg::ticksBetween;

// A pack header with stuffing, a system header and the first packet's header.
constexpr std::size_t kHeadBytes = 64;
// How far the first pack is looked for.
constexpr std::int64_t kSearchLimit = std::int64_t{64} << 10;
// Clock samples taken across the whole file before the bisections.
constexpr std::int64_t kProbes = 64;
// A fall back of more than this is a reset; less is a fault in one clock.
constexpr std::int64_t kResetDrop = kTicksPerSecond;
// The most a clock may advance from one pack to the next before it counts as a jump.
constexpr std::int64_t kLongestStep = 2 * kTicksPerSecond;
// Packs scanned for a navigation pack or for a cell's first or last pictures: more than
// a second and a half at DVD's highest rate, where a VOBU lasts at most about a second.
constexpr std::int64_t kScanPacks = 1024;
// A picture is shown at most this long after its first pack arrives.
constexpr std::int64_t kLongestDelay = 2 * kTicksPerSecond;
// How far the navigation packs' elapsed time and their VOBU times may disagree in a cell.
constexpr std::int64_t kSameClock = kTicksPerSecond;
// Bisection levels for files up to 2^43 bytes of 2048-byte packs.
constexpr std::int64_t kLevels = 32;
// Packs read at once where a scan goes from pack to pack, forward or back.
constexpr std::int64_t kWindowPacks = 16;

double secondsOf(std::int64_t ticks) {
    return static_cast<double>(ticks) / kTicksPerSecond;
}

[[noreturn]] void refuseNear(double seconds) {
    throw SaveError("the stream's times jump near " + clockText(seconds));
}

struct Sample {
    std::int64_t index = 0; // the pack's number, from the first pack
    std::int64_t scr = 0;
    std::int64_t muxRate = 0;
};

// What the start of a pack tells.
struct PackHead {
    Sample sample;
    bool navigation = false;
    std::optional<std::int64_t> videoPts; // when a video packet with a timestamp opens it
    std::size_t packetAt = 0;             // where its first packet after the headers starts
};

struct Navigation {
    std::int64_t index = 0;
    VobuTimes times;
    VobuPlace place;

    bool timed() const { return times.end > times.start; }
    bool sameCell(const Navigation& other) const {
        return place.vob == other.place.vob && place.cell == other.place.cell;
    }
};

// A stretch of packs [first, end) with one clock.
struct Stretch {
    std::int64_t first = 0;
    std::int64_t end = 0;
};

// Where one clock stops fitting: the clock of `after` falls back far below, jumps forward
// or steps back from that of the pack before it.
struct Break {
    Sample before;
    Sample after;
    bool reset = false;
};

class Survey {
public:
    Survey(SourceFile& source, const NavPackReader* navPacks)
        : source_(source), navPacks_(navPacks), size_(source.size()) {}

    std::optional<Title> run(const std::string& path) {
        if (!findLayout())
            return std::nullopt;
        const auto head = sample(0);
        const auto tail = sample(packs_ - 1);
        if (!head || !tail)
            return std::nullopt;
        Sample previous = *head;
        for (std::int64_t i = 1; i <= kProbes; ++i) {
            const auto here = i == kProbes ? tail : sample((packs_ - 1) * i / kProbes);
            if (!here)
                return std::nullopt;
            if (here->index > previous.index)
                explore(previous, *here);
            previous = *here;
        }
        if (!layoutHolds_)
            return std::nullopt;
        if (std::none_of(breaks_.begin(), breaks_.end(), [](const Break& b) { return b.reset; }))
            return std::nullopt;

        cellsFromNavigation_ = navPacks_ && firstNavigationHasCells();
        std::vector<Stretch> stretches;
        std::vector<const Break*> refused;
        std::int64_t first = 0;
        for (const Break& found : breaks_) {
            if (!endsCell(found)) {
                refused.push_back(&found);
                continue;
            }
            stretches.push_back({first, found.after.index});
            first = found.after.index;
        }
        stretches.push_back({first, packs_});

        Title title;
        title.extents.push_back({path, 0, size_});
        title.chapters.push_back(0);
        double start = 0;
        for (std::size_t i = 0; i < stretches.size(); ++i) {
            Cell cell;
            cell.begin = i == 0 ? 0 : offsetOf(stretches[i].first);
            cell.end = i + 1 == stretches.size() ? size_ : offsetOf(stretches[i].end);
            cell.start = start;
            cell.clockRestarts = i > 0;
            const auto first = sample(stretches[i].first);
            for (const Break* bad : refused)
                if (first && bad->after.index >= stretches[i].first &&
                    bad->after.index < stretches[i].end)
                    refuseNear(start + secondsOf(std::max<std::int64_t>(
                                           0, ticksBetween(first->scr, bad->before.scr))));
            cell.duration = secondsOf(durationOf(stretches[i], start));
            title.cells.push_back(cell);
            start += cell.duration;
        }
        return title;
    }

private:
    // Whether the file is made of 2048-byte packs from its first one on.
    bool findLayout() {
        constexpr std::int64_t kWindow = 4096;
        std::vector<std::byte> window;
        for (std::int64_t from = 0; from < std::min(kSearchLimit, size_); from += kWindow - 3) {
            const auto bytes = read(from, static_cast<std::size_t>(kWindow));
            window.assign(bytes.begin(), bytes.end());
            for (std::size_t i = 0; i + 4 <= window.size(); ++i) {
                if (window[i] != std::byte{0} || window[i + 1] != std::byte{0} ||
                    window[i + 2] != std::byte{1} || window[i + 3] != std::byte{mpeg::kPackStart})
                    continue;
                const auto at = from + static_cast<std::int64_t>(i);
                if (!mpeg::readPackHeader(read(at, mpeg::kPackHeaderSize)) ||
                    !mpeg::readPackHeader(read(at + kDvdPackSize, mpeg::kPackHeaderSize)))
                    continue;
                firstPack_ = at;
                packs_ = (size_ - at) / kDvdPackSize;
                return packs_ >= 2;
            }
        }
        return false;
    }

    std::int64_t offsetOf(std::int64_t index) const { return firstPack_ + index * kDvdPackSize; }

    // Up to `count` bytes at `offset`; none where the file has none, since a damaged stream
    // can point anywhere. A scan's packs come from a window read at once: a title of
    // hundreds of short cells is scanned almost whole, and a read a pack would cost more in
    // system calls than in bytes.
    std::span<const std::byte> read(std::int64_t offset, std::size_t count) {
        if (offset < 0 || offset >= size_)
            return {};
        count = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(count), size_ - offset));
        const auto end = offset + static_cast<std::int64_t>(count);
        const auto windowEnd = windowAt_ + static_cast<std::int64_t>(window_.size());
        const bool scanning = std::abs(offset - lastOffset_) <= kDvdPackSize;
        const bool backwards = offset < lastOffset_;
        lastOffset_ = offset;
        if (offset >= windowAt_ && end <= windowEnd)
            return std::span<const std::byte>(window_).subspan(
                static_cast<std::size_t>(offset - windowAt_), count);
        if (!scanning || count > static_cast<std::size_t>(kDvdPackSize)) {
            buffer_.resize(count);
            buffer_.resize(source_.readAt(offset, buffer_.data(), count));
            return buffer_;
        }
        // Forward from here, or back from here when the scan runs backwards.
        windowAt_ =
            backwards ? std::max<std::int64_t>(0, end - kWindowPacks * kDvdPackSize) : offset;
        window_.resize(
            static_cast<std::size_t>(std::min(kWindowPacks * kDvdPackSize, size_ - windowAt_)));
        window_.resize(source_.readAt(windowAt_, window_.data(), window_.size()));
        if (offset + static_cast<std::int64_t>(count) >
            windowAt_ + static_cast<std::int64_t>(window_.size()))
            count = static_cast<std::size_t>(
                std::max<std::int64_t>(0, windowAt_ + std::int64_t(window_.size()) - offset));
        return std::span<const std::byte>(window_).subspan(
            static_cast<std::size_t>(offset - windowAt_), count);
    }

    std::optional<Sample> sample(std::int64_t index) {
        const auto header = mpeg::readPackHeader(read(offsetOf(index), mpeg::kPackHeaderSize));
        if (!header) {
            layoutHolds_ = false;
            return std::nullopt;
        }
        return Sample{index, header->scr, header->muxRate};
    }

    std::optional<PackHead> packHead(std::int64_t index) {
        const auto bytes = read(offsetOf(index), kHeadBytes);
        const auto header = mpeg::readPackHeader(bytes);
        if (!header)
            return std::nullopt;
        PackHead head{{index, header->scr, header->muxRate}, false, std::nullopt, 0};
        std::size_t at = header->size;
        if (bytes.size() >= at + 6 && mpeg::startsWithStartCode(bytes.subspan(at)) &&
            bytes[at + 3] == std::byte{mpeg::kSystemHeader})
            at += mpeg::packetSize(bytes, at);
        if (bytes.size() < at + 7 || !mpeg::startsWithStartCode(bytes.subspan(at)))
            return head;
        const auto id = static_cast<std::uint8_t>(mpeg::byteAt(bytes, at + 3));
        head.packetAt = at;
        if (id == mpeg::kPrivateStream2) {
            head.navigation = bytes[at + 6] == std::byte{0};
        } else if (mpeg::isVideoStream(id)) {
            if (const auto pes = mpeg::readPesHeader(bytes.subspan(at)))
                head.videoPts = pes->pts;
        }
        return head;
    }

    // The PCI and DSI of the navigation pack at `index`, when it is one.
    std::optional<Navigation> navigation(std::int64_t index) {
        const auto head = packHead(index);
        if (!head || !head->navigation || !navPacks_)
            return std::nullopt;
        const std::size_t pciAt = head->packetAt;
        const std::size_t dsiAt = pciAt + mpeg::kPacketPrefixSize + 1 + NavPackReader::kPciBytes;
        const auto bytes = read(offsetOf(index), static_cast<std::size_t>(kDvdPackSize));
        const auto lengthAt = [&](std::size_t at) {
            return mpeg::packetSize(bytes, at) - mpeg::kPacketPrefixSize;
        };
        if (bytes.size() < dsiAt + mpeg::kPacketPrefixSize + 1 + NavPackReader::kDsiBytes ||
            lengthAt(pciAt) != 1 + NavPackReader::kPciBytes ||
            !mpeg::startsWithStartCode(bytes.subspan(dsiAt)) ||
            bytes[dsiAt + 3] != std::byte{mpeg::kPrivateStream2} ||
            lengthAt(dsiAt) != 1 + NavPackReader::kDsiBytes || bytes[dsiAt + 6] != std::byte{1})
            return std::nullopt;
        NavPackReader::Pci pci;
        NavPackReader::Dsi dsi;
        std::copy_n(bytes.begin() + std::ptrdiff_t(pciAt + 7), pci.size(), pci.begin());
        std::copy_n(bytes.begin() + std::ptrdiff_t(dsiAt + 7), dsi.size(), dsi.begin());
        return Navigation{index, navPacks_->readPci(pci), navPacks_->readDsi(dsi)};
    }

    // The last navigation pack in [from, before), looked for from `before` back.
    std::optional<Navigation> lastNavigation(std::int64_t from, std::int64_t before) {
        for (std::int64_t i = before - 1; i >= std::max(from, before - kScanPacks); --i) {
            const auto head = packHead(i);
            if (head && head->navigation)
                return navigation(i);
        }
        return std::nullopt;
    }

    bool firstNavigationHasCells() {
        for (std::int64_t i = 0; i < std::min(packs_, kScanPacks); ++i) {
            const auto head = packHead(i);
            if (head && head->navigation) {
                const auto found = navigation(i);
                return found && found->place.vob != 0 && found->place.cell != 0;
            }
        }
        return false;
    }

    // A stream's bytes arrive no faster than its mux rate, so between two packs of one
    // clock the clock advances at least by the time their distance takes at that rate.
    static bool continuous(const Sample& earlier, const Sample& later) {
        const std::int64_t elapsed = ticksBetween(earlier.scr, later.scr);
        if (elapsed < 0)
            return false;
        const double rate = static_cast<double>(std::max(earlier.muxRate, later.muxRate));
        const double fastest = static_cast<double>((later.index - earlier.index) * kDvdPackSize) /
                               rate * kTicksPerSecond;
        // Slack for clock references rounded to whole ticks.
        return static_cast<double>(elapsed) >= fastest * 0.99 - kTicksPerSecond / 100.0;
    }

    // Finds the breaks between two samples: by halving wherever the clock does not run on
    // from one to the other, and, where it does but for more than a step's worth, into the
    // half that took longer, which holds a jump forward if there is one.
    void explore(const Sample& a, const Sample& b) {
        if (b.index == a.index + 1) {
            const std::int64_t step = ticksBetween(a.scr, b.scr);
            if (step < -kResetDrop)
                breaks_.push_back({a, b, true});
            else if (!continuous(a, b) || step > kLongestStep)
                breaks_.push_back({a, b, false});
            return;
        }
        const bool runsOn = continuous(a, b);
        if (runsOn && ticksBetween(a.scr, b.scr) <= kLongestStep)
            return;
        const auto middle = sample(a.index + (b.index - a.index) / 2);
        if (!middle)
            return;
        if (!runsOn || !continuous(a, *middle) || !continuous(*middle, b)) {
            explore(a, *middle);
            explore(*middle, b);
        } else if (ticksBetween(a.scr, middle->scr) >= ticksBetween(middle->scr, b.scr)) {
            explore(a, *middle);
        } else {
            explore(*middle, b);
        }
    }

    // Whether a break ends a cell. Without cells in the navigation packs only a reset does;
    // with them, the navigation pack after the break must open another cell than the last
    // one before it, and then any new clock is that cell's own.
    bool endsCell(const Break& found) {
        if (!cellsFromNavigation_)
            return found.reset;
        const auto after = navigation(found.after.index);
        const auto before = lastNavigation(0, found.after.index);
        return after && before && !after->sameCell(*before);
    }

    // A cell's length: from the navigation packs of its first and last VOBU where they are
    // timed, else from its first and last pictures.
    std::int64_t durationOf(const Stretch& stretch, double start) {
        if (cellsFromNavigation_) {
            const auto first = firstNavigation(stretch);
            const auto last = lastNavigation(stretch.first, stretch.end);
            if (first && last && first->timed() && last->timed()) {
                const std::int64_t lastLength = ticksBetween(last->times.start, last->times.end);
                const std::int64_t byTimes = ticksBetween(first->times.start, last->times.start);
                if (first->sameCell(*last) && first->place.cellElapsed && last->place.cellElapsed) {
                    const std::int64_t elapsed =
                        *last->place.cellElapsed - *first->place.cellElapsed;
                    // The clock starts again somewhere in what the disc calls one cell.
                    if (std::abs(elapsed - byTimes) > kSameClock)
                        refuseNear(start);
                    return elapsed + lastLength;
                }
                return byTimes + lastLength;
            }
        }
        return pictureSpan(stretch);
    }

    std::optional<Navigation> firstNavigation(const Stretch& stretch) {
        for (std::int64_t i = stretch.first; i < std::min(stretch.end, stretch.first + kScanPacks);
             ++i) {
            const auto head = packHead(i);
            if (head && head->navigation)
                return navigation(i);
        }
        return std::nullopt;
    }

    // From the first picture shown to the end of the last: the first is in the packs
    // before the clock passes its time; the last within kLongestDelay of the packs' clock
    // at the end; a picture lasts the smallest step between the last ones.
    std::int64_t pictureSpan(const Stretch& stretch) {
        std::optional<std::int64_t> lowest;
        for (std::int64_t i = stretch.first; i < std::min(stretch.end, stretch.first + kScanPacks);
             ++i) {
            const auto head = packHead(i);
            if (!head)
                continue;
            if (lowest && ticksBetween(*lowest, head->sample.scr) > 0)
                break;
            if (head->videoPts && (!lowest || ticksBetween(*lowest, *head->videoPts) < 0))
                lowest = head->videoPts;
        }
        if (!lowest)
            return 0;
        std::vector<std::int64_t> last; // from *lowest
        for (std::int64_t i = stretch.end - 1;
             i >= std::max(stretch.first, stretch.end - kScanPacks); --i) {
            const auto head = packHead(i);
            if (!head)
                continue;
            if (!last.empty() && ticksBetween(*lowest, head->sample.scr) + kLongestDelay <
                                     *std::max_element(last.begin(), last.end()))
                break;
            if (head->videoPts)
                last.push_back(ticksBetween(*lowest, *head->videoPts));
        }
        if (last.empty())
            return 0;
        std::sort(last.begin(), last.end());
        last.erase(std::unique(last.begin(), last.end()), last.end());
        std::int64_t picture = kTicksPerSecond / 25;
        if (last.size() >= 2) {
            std::int64_t smallest = last[1] - last[0];
            for (std::size_t i = 2; i < last.size(); ++i)
                smallest = std::min(smallest, last[i] - last[i - 1]);
            picture = smallest;
        }
        return last.back() + picture;
    }

    SourceFile& source_;
    const NavPackReader* navPacks_;
    std::int64_t size_;
    std::int64_t firstPack_ = 0;
    std::int64_t packs_ = 0;
    bool layoutHolds_ = true;
    bool cellsFromNavigation_ = false;
    std::vector<Break> breaks_;
    std::vector<std::byte> buffer_;
    std::vector<std::byte> window_; // the packs a scan reads next
    std::int64_t windowAt_ = 0;
    std::int64_t lastOffset_ = -2 * kDvdPackSize;
};

} // namespace

std::optional<Title> surveyCells(SourceFile& source, const NavPackReader* navPacks,
                                 const std::string& path) {
    return Survey(source, navPacks).run(path);
}

std::int64_t surveyReadLimit(std::size_t cells) {
    constexpr std::int64_t kProbe = mpeg::kPackHeaderSize;
    // A scan reads whole packs a window at a time.
    constexpr std::int64_t kScan = (kScanPacks + kWindowPacks) * kDvdPackSize;
    // The start, the coarse look with a bisection into each of its intervals for a jump
    // forward, and the first navigation pack.
    constexpr std::int64_t kFixed =
        kSearchLimit + kDvdPackSize + (kProbes + 2) * kLevels * kProbe + kScan + kDvdPackSize;
    // A boundary's bisection (a level may follow a jump forward into a half), the
    // navigation packs on either side of it, and the scans for the cell's first and last
    // times.
    constexpr std::int64_t kPerCell =
        kLevels * kLevels * kProbe + 2 * (kScan + kDvdPackSize) + 2 * (kScan + kDvdPackSize);
    return kFixed + static_cast<std::int64_t>(cells) * kPerCell;
}

std::optional<Disc> CellSurveyingDiscReader::read(const std::string& path) const {
    if (auto disc = discs_.read(path))
        return disc;
    std::optional<Title> title;
    try {
        auto source = files_.openSource(path);
        title = surveyCells(*source, navPacks_, path);
    } catch (const std::exception&) {
        // Whatever the survey makes of it, the player still has its say on the file.
        return std::nullopt;
    }
    if (!title || title->cells.size() < 2)
        return std::nullopt;
    Disc disc;
    disc.titles.push_back(std::move(*title));
    return disc;
}

std::optional<Title> titleToCut(const Title* title, SourceFile& source,
                                const NavPackReader* navPacks, const std::string& path) {
    if (title)
        return *title;
    auto surveyed = surveyCells(source, navPacks, path);
    if (surveyed && surveyed->cells.size() < 2)
        surveyed.reset();
    return surveyed;
}

} // namespace parvane
