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

using mpeg::kDvdPackSize;
using mpeg::kTicksPerSecond;

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

    // Scans the packs around a mark for one of its boundaries, the same way for both: from
    // a pack some time before `target` on, each pack is checked against the clock and handed,
    // with the picture groups that start in it, to a visitor made for the round, until the
    // visitor has seen enough. A round that leaves the boundary undecided starts again twice
    // as far back: a stream may hold longer groups, or show pictures later, than the first
    // window allows for.
    // `makeVisitor(fromFirstPack)` makes a round's visitor, with `visit(pack, sample,
    // groups)`, false once it needs no more packs, and `finish()`, the boundary when the
    // round settled it.
    template <typename MakeVisitor>
    std::int64_t scan(std::int64_t target, MakeVisitor makeVisitor) {
        std::int64_t window = kFirstWindow;
        for (int round = 0; round <= kWindowDoublings; ++round, window *= 2) {
            const Sample from = packAtOrBefore(target - window);
            auto visitor = makeVisitor(from.offset == firstPack_);
            PackWalker walker(parser_, reader_, from.offset, !navigationTimes_);
            std::optional<Sample> previous;
            std::optional<std::int64_t> navigationBefore;
            while (const auto pack = walker.next()) {
                const Sample here = sampleOf(*pack);
                check(previous, here, *pack);
                previous = here;
                if (!visitor.visit(*pack, here, groupsIn(*pack, navigationBefore)))
                    break;
            }
            if (const auto boundary = visitor.finish())
                return *boundary;
        }
        throw ReadLimitReached{};
    }

    // The last group that starts at or before the mark.
    std::int64_t findBegin(std::int64_t target) {
        if (target >= lastTime_)
            throw SaveError("the marks lie past the end of the stream (" +
                            clockText(secondsOf(lastTime_)) + ")");
        class Visitor {
        public:
            Visitor(Impl& finder, std::int64_t target, bool fromFirstPack)
                : finder_(finder), target_(target), fromFirstPack_(fromFirstPack) {}

            bool visit(const Pack&, const Sample& here, const std::vector<Group>& groups) {
                // Nothing that arrives after the mark can be shown at or before it.
                if (here.time > target_)
                    return false;
                for (const Group& group : groups) {
                    if (!first_)
                        first_ = group;
                    if (group.start > target_)
                        return false;
                    found_ = group;
                }
                return true;
            }

            std::optional<std::int64_t> finish() {
                if (found_) {
                    finder_.foundTime_ = found_->start;
                    return found_->offset;
                }
                // Before the first group: the clip starts with it, since the packs before it
                // (the tail of a VOBU that began in the file before this one) cannot be
                // decoded.
                if (fromFirstPack_) {
                    finder_.foundTime_ = first_ ? first_->start : 0;
                    return first_ ? first_->offset : finder_.firstPack_;
                }
                return std::nullopt;
            }

        private:
            Impl& finder_;
            std::int64_t target_;
            bool fromFirstPack_;
            std::optional<Group> found_;
            std::optional<Group> first_; // the first group met, for a mark before it
        };
        return scan(target,
                    [&](bool fromFirstPack) { return Visitor(*this, target, fromFirstPack); });
    }

    // The start of the first group that shows nothing at or before the mark: with open
    // groups, the pictures a group shows first may come after its access point in the
    // file, so a group is settled once a picture later than its access point is met.
    std::int64_t findEnd(std::int64_t target) {
        foundTime_ = lastTime_;
        if (target >= lastTime_)
            return streamEnd_;
        class Visitor {
        public:
            Visitor(Impl& finder, std::int64_t target, bool fromFirstPack)
                : finder_(finder), target_(target), metEarlier_(fromFirstPack) {}

            bool visit(const Pack& pack, const Sample&, const std::vector<Group>& starts) {
                if (finder_.navigationTimes_) {
                    for (const Group& group : starts)
                        settle(group, group.start);
                    return !stop_;
                }
                auto nextStart = starts.begin();
                for (const Frame& frame : pack.frames) {
                    const std::int64_t shown = finder_.relative(frame.pts);
                    if (open_ && !open_->settled) {
                        if (!frame.accessPoint && shown <= open_->group.start) {
                            open_->firstShown = std::min(open_->firstShown, shown);
                            continue;
                        }
                        open_->settled = true;
                        settle(open_->group, open_->firstShown);
                        if (stop_)
                            return false;
                    }
                    if (frame.accessPoint)
                        open_ = OpenGroup{*nextStart++, shown, false};
                }
                return !stop_;
            }

            std::optional<std::int64_t> finish() {
                if (!stop_ && open_ && !open_->settled)
                    settle(open_->group, open_->firstShown);
                if (end_)
                    return end_;
                // The stream ended with the group that shows the mark.
                if (!stop_ && metEarlier_) {
                    finder_.foundTime_ = finder_.lastTime_;
                    return finder_.streamEnd_;
                }
                return std::nullopt;
            }

        private:
            struct OpenGroup {
                Group group;
                std::int64_t firstShown = 0;
                bool settled = false;
            };

            void settle(const Group& group, std::int64_t firstShown) {
                if (firstShown <= target_) {
                    metEarlier_ = true;
                    return;
                }
                if (metEarlier_) {
                    end_ = group.offset;
                    finder_.foundTime_ = firstShown;
                }
                stop_ = true;
            }

            Impl& finder_;
            std::int64_t target_;
            // Whether a group that shows the mark or earlier has been met: only then is the
            // first later group the one that ends the clip.
            bool metEarlier_;
            std::optional<std::int64_t> end_;
            bool stop_ = false;
            std::optional<OpenGroup> open_;
        };
        return scan(target,
                    [&](bool fromFirstPack) { return Visitor(*this, target, fromFirstPack); });
    }

    SourceReader reader_;
    PackParser parser_;
    bool headRead_ = false;
    bool tailRead_ = false;
    std::int64_t firstPack_ = 0;
    std::int64_t packSize_ = 0; // kDvdPackSize when every pack is a DVD pack, else 0
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
