#include "core/stream/stream_range.h"

#include "core/base/errors.h"
#include "core/base/time_text.h"
#include "core/stream/pack_reader.h"
#include "core/stream/program_stream.h"

#include "platform/file_access.h"
#include "platform/nav_pack_reader.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace parvane {

namespace {

using mpeg::kTicksPerSecond;

constexpr std::int64_t kDvdPackSize = 2048;
// The packs read at the start for the first timestamps: about two seconds of DVD video.
constexpr int kHeadPacks = 1024;
// The last timestamps lie within the last second or so of a stream.
constexpr std::int64_t kTailSpan = std::int64_t{1} << 20;
// Clock samples taken across the whole file to look for resets.
constexpr int kSurveyProbes = 64;
// The bisection stops once the mark lies between packs this close; the scan does the rest.
constexpr std::int64_t kBracket = 16 * kDvdPackSize;
// How far before a mark the scan starts at first: a picture group lasts at most about a
// second and a picture is shown at most about a second after its data arrived.
constexpr std::int64_t kFirstWindow = 2 * kTicksPerSecond;
constexpr int kWindowDoublings = 8;
// Times before the stream's start (the first packs' clock) stay negative up to this far.
constexpr std::int64_t kBeforeStart = 3600 * kTicksPerSecond;
// A timestamp outside these bounds around its pack's clock belongs to another clock. A
// picture cannot be shown before its data arrives; the slack is for careless muxers.
constexpr std::int64_t kEarliestBeforeClock = kTicksPerSecond;
constexpr std::int64_t kLatestAfterClock = 10 * kTicksPerSecond;

std::int64_t ticksOf(double seconds) {
    return std::llround(std::min(seconds, 1e9) * kTicksPerSecond);
}

double secondsOf(std::int64_t ticks) {
    return static_cast<double>(ticks) / kTicksPerSecond;
}

bool usable(const std::optional<VobuTimes>& vobu) {
    return vobu && vobu->end > vobu->start;
}

} // namespace

class StreamRangeFinder::Impl {
public:
    Impl(SourceFile& source, const NavPackReader* navPacks)
        : reader_(source), parser_(reader_, navPacks) {}

    std::int64_t beginAt(double seconds) {
        return withinLimit(seconds, [this](std::int64_t target) { return findBegin(target); });
    }

    std::int64_t endAt(double seconds) {
        return withinLimit(seconds, [this](std::int64_t target) { return findEnd(target); });
    }

    double duration() {
        return secondsOf(withinLimit(0, [this](std::int64_t) { return lastTime_; }));
    }

    // What the last boundary found shows first (a begin) or no longer shows (an end).
    double foundSeconds() const { return secondsOf(foundTime_); }

    std::int64_t startClock() {
        withinLimit(0, [](std::int64_t) { return std::int64_t{0}; });
        return start_;
    }

    std::int64_t bytesRead() const { return reader_.bytesRead(); }

private:
    // A pack's place and clock, the clock relative to the stream's start.
    struct Sample {
        std::int64_t offset = 0;
        std::int64_t time = 0;
        std::int64_t muxRate = 0;
    };

    struct Group {
        std::int64_t offset = 0;
        std::int64_t start = 0; // the first picture a decoder starting here shows
    };

    template <typename Find> std::int64_t withinLimit(double seconds, Find find) {
        if (!(seconds >= 0))
            throw SaveError("the begin mark lies before the start of the media");
        reader_.allow(kBoundaryReadLimit);
        try {
            if (!headRead_)
                readHead();
            if (!tailRead_)
                readTail();
            return find(ticksOf(seconds));
        } catch (const ReadLimitReached&) {
            throw SaveError("no picture group was found near " + clockText(seconds));
        }
    }

    std::int64_t relative(std::int64_t raw) const {
        std::int64_t time = (raw - start_ + kBeforeStart) % mpeg::kTimestampWrap;
        if (time < 0)
            time += mpeg::kTimestampWrap;
        return time - kBeforeStart;
    }

    Sample sampleOf(const Pack& pack) const {
        return {pack.offset, relative(pack.header.scr), pack.header.muxRate};
    }

    // The start's timestamps, whether packs are DVD sized, and whether the navigation
    // packs carry times (ffmpeg writes them blank).
    void readHead() {
        const auto first = parser_.findPack(0, kPackSearchLimit);
        if (!first)
            throw SaveError("the source is not an MPEG-2 program stream");
        firstPack_ = *first;
        PackWalker walker(parser_, reader_, firstPack_, true);
        std::optional<std::int64_t> reference; // the first timestamp, until the start is known
        std::int64_t earliest = 0;             // the lowest timestamp, from the reference
        std::optional<std::int64_t> firstAccessPoint;
        std::optional<VobuTimes> firstVobu;
        bool navigationSeen = false;
        bool dvdPacks = true;
        std::int64_t expected = firstPack_;
        Pack firstOne;
        for (int count = 0; count < kHeadPacks; ++count) {
            auto pack = walker.next();
            if (!pack)
                break;
            if (count == 0)
                firstOne = *pack;
            dvdPacks = dvdPacks && !pack->damaged && pack->offset == expected &&
                       pack->next - pack->offset == kDvdPackSize;
            expected = pack->next;
            for (const std::int64_t pts : pack->timestamps) {
                if (!reference)
                    reference = pts;
                earliest = std::min(earliest, mpeg::ticksBetween(*reference, pts));
            }
            if (pack->navigation && !navigationSeen) {
                navigationSeen = true;
                firstVobu = pack->vobu;
            }
            for (const Frame& frame : pack->frames)
                if (frame.accessPoint && !firstAccessPoint)
                    firstAccessPoint = frame.pts;
            // Once a pack's clock has passed the lowest timestamp, no later packet can
            // be shown earlier.
            if (reference && firstAccessPoint &&
                mpeg::ticksBetween(*reference, pack->header.scr) > earliest)
                break;
        }
        if (!reference)
            throw SaveError("the source has no timestamps");
        if (!firstAccessPoint)
            throw SaveError("the stream has no video picture groups");
        start_ = (*reference + earliest + mpeg::kTimestampWrap) % mpeg::kTimestampWrap;
        head_ = sampleOf(firstOne);
        packSize_ = dvdPacks ? kDvdPackSize : 0;
        navigationTimes_ =
            usable(firstVobu) &&
            std::abs(mpeg::ticksBetween(firstVobu->start, *firstAccessPoint)) <= kTicksPerSecond;
        headRead_ = true;
    }

    // The last timestamp, where the last whole pack ends, and a check that the clock runs
    // from the first pack to the last without a jump.
    void readTail() {
        const auto from = probe(std::max(firstPack_, reader_.size() - kTailSpan));
        if (!from)
            throw SaveError("the end of the source is not an MPEG-2 program stream");
        PackWalker walker(parser_, reader_, from->offset, false);
        std::optional<Sample> previous;
        std::optional<std::int64_t> last;
        while (auto pack = walker.next()) {
            const Sample here = sampleOf(*pack);
            check(previous, here, *pack);
            previous = here;
            for (const std::int64_t pts : pack->timestamps)
                last = std::max(last.value_or(relative(pts)), relative(pts));
            streamEnd_ = pack->next;
        }
        if (!previous)
            throw SaveError("the end of the source is not an MPEG-2 program stream");
        tail_ = *previous;
        lastTime_ = last.value_or(tail_.time);
        survey();
        tailRead_ = true;
    }

    // A reset anywhere in the file makes times after it mean two places; a coarse look at
    // the clock across the whole file finds most for little reading (a pack header each).
    void survey() {
        const int probes = packSize_ > 0 ? kSurveyProbes : kSurveyProbes / 4;
        Sample previous = head_;
        for (int i = 1; i < probes; ++i) {
            const auto here = probe(head_.offset + (tail_.offset - head_.offset) / probes * i);
            if (!here || here->offset <= previous.offset || here->offset >= tail_.offset)
                continue;
            if (!continuous(previous, *here))
                jumpAfter(previous, here->offset);
            previous = *here;
        }
        if (!continuous(previous, tail_))
            jumpAfter(previous, tail_.offset);
    }

    // A stream's bytes arrive no faster than its mux rate, so between two packs of one
    // clock the clock advances at least by the time their distance takes at that rate.
    static bool continuous(const Sample& earlier, const Sample& later) {
        const std::int64_t elapsed = later.time - earlier.time;
        if (elapsed < 0)
            return false;
        const double rate = static_cast<double>(std::max(earlier.muxRate, later.muxRate));
        const double fastest =
            static_cast<double>(later.offset - earlier.offset) / rate * kTicksPerSecond;
        // Slack for clock references rounded to whole ticks.
        return static_cast<double>(elapsed) >= fastest * 0.99 - kTicksPerSecond / 100.0;
    }

    // Checks a pack met in a scan against the one before it and its timestamps against
    // its clock.
    void check(const std::optional<Sample>& previous, const Sample& here, const Pack& pack) {
        if (previous && !continuous(*previous, here))
            jumpAfter(*previous, here.offset);
        const auto fits = [&](std::int64_t raw) {
            const std::int64_t time = relative(raw);
            return time >= here.time - kEarliestBeforeClock &&
                   time <= here.time + kLatestAfterClock;
        };
        bool allFit = std::all_of(pack.timestamps.begin(), pack.timestamps.end(), fits);
        if (navigationTimes_ && usable(pack.vobu))
            allFit = allFit && fits(pack.vobu->start);
        if (!allFit)
            throw SaveError("the stream's times jump near " + clockText(secondsOf(here.time)));
    }

    // Narrows down where the clock stops fitting between a pack that fits and a later
    // one that does not, and refuses with the time there.
    [[noreturn]] void jumpAfter(Sample good, std::int64_t badOffset) {
        try {
            while (badOffset - good.offset > 2 * kDvdPackSize) {
                const auto middle = probe(good.offset + (badOffset - good.offset) / 2);
                if (!middle || middle->offset >= badOffset)
                    break;
                if (continuous(good, *middle))
                    good = *middle;
                else
                    badOffset = middle->offset;
            }
        } catch (const ReadLimitReached&) {
            // Report what is known so far.
        }
        throw SaveError("the stream's times jump near " + clockText(secondsOf(good.time)));
    }

    // The clock of the first pack at or after `offset`.
    std::optional<Sample> probe(std::int64_t offset) {
        offset = std::max(offset, firstPack_);
        if (packSize_ > 0) {
            const std::int64_t aligned =
                firstPack_ + (offset - firstPack_ + packSize_ - 1) / packSize_ * packSize_;
            if (aligned >= reader_.size())
                return std::nullopt;
            if (const auto header =
                    mpeg::readPackHeader(reader_.read(aligned, mpeg::kPackHeaderSize)))
                return Sample{aligned, relative(header->scr), header->muxRate};
        }
        const auto found = parser_.findPack(offset, kPackSearchLimit);
        if (!found)
            return std::nullopt;
        const auto header = mpeg::readPackHeader(reader_.read(*found, mpeg::kPackHeaderSize));
        return Sample{*found, relative(header->scr), header->muxRate};
    }

    // By bisection on the packs' clock: a pack whose clock is at or before `time`, close
    // to the last such pack.
    Sample packAtOrBefore(std::int64_t time) {
        Sample low = head_;
        Sample high = tail_;
        if (time <= low.time)
            return low;
        if (time >= high.time)
            return high;
        while (high.offset - low.offset > kBracket) {
            const auto middle = probe(low.offset + (high.offset - low.offset) / 2);
            if (!middle || middle->offset >= high.offset)
                break;
            if (!continuous(low, *middle))
                jumpAfter(low, middle->offset);
            if (!continuous(*middle, high))
                jumpAfter(*middle, high.offset);
            (middle->time <= time ? low : high) = *middle;
        }
        return low;
    }

    // The picture groups that start in a pack. `navigationBefore` holds the pack before,
    // when it was a navigation pack: a group found from the video starts there, with its
    // VOBU.
    std::vector<Group> groupsIn(const Pack& pack, std::optional<std::int64_t>& navigationBefore) {
        std::vector<Group> groups;
        if (navigationTimes_) {
            if (usable(pack.vobu))
                groups.push_back({pack.offset, relative(pack.vobu->start)});
        } else {
            for (const Frame& frame : pack.frames)
                if (frame.accessPoint)
                    groups.push_back({navigationBefore.value_or(pack.offset), relative(frame.pts)});
        }
        navigationBefore = pack.navigation ? std::optional(pack.offset) : std::nullopt;
        return groups;
    }

    // The last group that starts at or before the mark.
    std::int64_t findBegin(std::int64_t target) {
        if (target >= lastTime_)
            throw SaveError("the marks lie past the end of the stream (" +
                            clockText(secondsOf(lastTime_)) + ")");
        std::int64_t window = kFirstWindow;
        for (int round = 0; round <= kWindowDoublings; ++round, window *= 2) {
            const Sample from = packAtOrBefore(target - window);
            PackWalker walker(parser_, reader_, from.offset, !navigationTimes_);
            std::optional<Group> found;
            std::optional<Group> first; // the first group met, for a mark before it
            std::optional<Sample> previous;
            std::optional<std::int64_t> navigationBefore;
            bool passed = false;
            while (!passed) {
                const auto pack = walker.next();
                if (!pack)
                    break;
                const Sample here = sampleOf(*pack);
                check(previous, here, *pack);
                previous = here;
                // Nothing that arrives after the mark can be shown at or before it.
                if (here.time > target)
                    break;
                for (const Group& group : groupsIn(*pack, navigationBefore)) {
                    if (!first)
                        first = group;
                    if (group.start > target) {
                        passed = true;
                        break;
                    }
                    found = group;
                }
            }
            if (found) {
                foundTime_ = found->start;
                return found->offset;
            }
            // Before the first group: the clip starts with it, since the packs before it
            // (the tail of a VOBU that began in the file before this one) cannot be decoded.
            if (from.offset == firstPack_) {
                foundTime_ = first ? first->start : 0;
                return first ? first->offset : firstPack_;
            }
        }
        throw ReadLimitReached{};
    }

    // The start of the first group that shows nothing at or before the mark: with open
    // groups, the pictures a group shows first may come after its access point in the
    // file, so a group is settled once a picture later than its access point is met.
    std::int64_t findEnd(std::int64_t target) {
        foundTime_ = lastTime_;
        if (target >= lastTime_)
            return streamEnd_;
        struct OpenGroup {
            Group group;
            std::int64_t firstShown = 0;
            bool settled = false;
        };
        std::int64_t window = kFirstWindow;
        for (int round = 0; round <= kWindowDoublings; ++round, window *= 2) {
            const Sample from = packAtOrBefore(target - window);
            PackWalker walker(parser_, reader_, from.offset, !navigationTimes_);
            // Whether a group that shows the mark or earlier has been met: only then is the
            // first later group the one that ends the clip.
            bool metEarlier = from.offset == firstPack_;
            std::optional<std::int64_t> end;
            bool stop = false;
            const auto settle = [&](const Group& group, std::int64_t firstShown) {
                if (firstShown <= target) {
                    metEarlier = true;
                    return;
                }
                if (metEarlier) {
                    end = group.offset;
                    foundTime_ = firstShown;
                }
                stop = true;
            };
            std::optional<OpenGroup> open;
            std::optional<Sample> previous;
            std::optional<std::int64_t> navigationBefore;
            while (!stop) {
                const auto pack = walker.next();
                if (!pack)
                    break;
                const Sample here = sampleOf(*pack);
                check(previous, here, *pack);
                previous = here;
                if (navigationTimes_) {
                    for (const Group& group : groupsIn(*pack, navigationBefore))
                        settle(group, group.start);
                    continue;
                }
                const std::vector<Group> starts = groupsIn(*pack, navigationBefore);
                auto nextStart = starts.begin();
                for (const Frame& frame : pack->frames) {
                    const std::int64_t shown = relative(frame.pts);
                    if (open && !open->settled) {
                        if (!frame.accessPoint && shown <= open->group.start) {
                            open->firstShown = std::min(open->firstShown, shown);
                            continue;
                        }
                        open->settled = true;
                        settle(open->group, open->firstShown);
                        if (stop)
                            break;
                    }
                    if (frame.accessPoint)
                        open = OpenGroup{*nextStart++, shown, false};
                }
            }
            if (!stop && open && !open->settled)
                settle(open->group, open->firstShown);
            if (end)
                return *end;
            // The stream ended with the group that shows the mark.
            if (!stop && metEarlier) {
                foundTime_ = lastTime_;
                return streamEnd_;
            }
        }
        throw ReadLimitReached{};
    }

    SourceReader reader_;
    PackParser parser_;
    bool headRead_ = false;
    bool tailRead_ = false;
    std::int64_t firstPack_ = 0;
    std::int64_t packSize_ = 0; // 2048 when every pack is a DVD pack, else 0
    std::int64_t start_ = 0;    // the stream's first timestamp, raw
    bool navigationTimes_ = false;
    Sample head_;
    Sample tail_;
    std::int64_t lastTime_ = 0;  // the last timestamp, relative
    std::int64_t streamEnd_ = 0; // where the last whole pack ends
    std::int64_t foundTime_ = 0; // relative
};

StreamRangeFinder::StreamRangeFinder(SourceFile& source, const NavPackReader* navPacks)
    : impl_(std::make_unique<Impl>(source, navPacks)) {}

StreamRangeFinder::~StreamRangeFinder() = default;

ByteRange StreamRangeFinder::find(double beginSeconds, double endSeconds) {
    const std::int64_t begin = beginAt(beginSeconds);
    const std::int64_t end = endAt(endSeconds);
    if (end <= begin)
        throw SaveError("the marked stretch holds no whole picture group");
    return {begin, end - begin};
}

std::int64_t StreamRangeFinder::beginAt(double seconds) {
    return impl_->beginAt(seconds);
}

std::int64_t StreamRangeFinder::endAt(double seconds) {
    return impl_->endAt(seconds);
}

StreamRangeFinder::Boundary StreamRangeFinder::beginOf(double seconds) {
    const std::int64_t offset = impl_->beginAt(seconds);
    return {offset, impl_->foundSeconds()};
}

StreamRangeFinder::Boundary StreamRangeFinder::endOf(double seconds) {
    const std::int64_t offset = impl_->endAt(seconds);
    return {offset, impl_->foundSeconds()};
}

double StreamRangeFinder::duration() {
    return impl_->duration();
}

std::int64_t StreamRangeFinder::startClock() {
    return impl_->startClock();
}

std::vector<std::string> StreamRangeFinder::notesFor(double endSeconds) {
    const double streamEnd = duration();
    if (!(endSeconds > streamEnd))
        return {};
    return {"the stream ends at " + clockText(streamEnd) + "; the clip runs to its end"};
}

std::int64_t StreamRangeFinder::bytesRead() const {
    return impl_->bytesRead();
}

} // namespace parvane
