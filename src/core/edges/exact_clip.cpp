#include "core/edges/exact_clip.h"

#include "core/base/errors.h"
#include "core/base/time_text.h"
#include "core/edges/audio_edges.h"
#include "core/edges/edge_mux.h"
#include "core/edges/pack_span.h"
#include "core/edges/video_pictures.h"
#include "core/stream/program_stream.h"
#include "core/stream/stream_range.h"
#include "core/title/title_range.h"

#include "platform/file_access.h"
#include "platform/picture_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>

namespace parvane {

namespace {

using edges::Group;
using edges::PackSpan;
using edges::Picture;
using edges::VideoPictures;

constexpr std::int64_t kPackSize = mpeg::kDvdPackSize;
// The search for each edge starts at the picture group at least this long before its mark,
// so the group before the marked one, which an open group's first pictures refer to, is read:
// a DVD's groups last at most 0.6 s.
constexpr double kLookBack = 0.7;
// A mark set on a picture may come back from the player a little before its timestamp.
constexpr std::int64_t kMarkSlack = 90;

} // namespace

struct ExactClipPlanner::Moment {
    std::size_t cell = 0;
    std::int64_t cellBegin = 0; // the cell's bytes
    std::int64_t cellEnd = 0;
    std::int64_t clock = 0; // the mark on the cell's clock
    std::int64_t zero = 0;  // the cell's clock where it starts on the timeline
    double cellStart = 0;
    std::int64_t from = 0; // where the search reads from
    std::int64_t bytesRead = 0;

    double seconds(std::int64_t ticks) const {
        return cellStart + static_cast<double>(mpeg::ticksBetween(zero, ticks)) /
                               static_cast<double>(mpeg::kTicksPerSecond);
    }
};

// One edge: what the search read, which pictures are encoded again, where the copied part
// meets it, and the packs that go with the pictures.
struct ExactClipPlanner::Edge {
    std::shared_ptr<const PackSpan> span;
    std::unique_ptr<VideoPictures> pictures;
    std::size_t cell = 0;
    bool reachesEnd = false;
    // Where the copied part starts (a head) or ends (a tail), among the title's bytes.
    std::int64_t splice = 0;
    // The pictures encoded again: shown from firstPts to lastPts.
    std::int64_t firstPts = 0;
    std::int64_t lastPts = 0;
    bool encoded = false;                 // false: nothing to encode, the edge is whole
    std::size_t decodeFrom = 0;           // the first picture the decoder is fed
    std::size_t decodeTo = 0;             // one past the last
    std::optional<std::size_t> navPack;   // the source's navigation pack nearest the edge
    std::vector<std::size_t> subpictures; // packets carried with the pictures
    edges::AudioEdge audio;
    // What the clip falls back to when the pictures cannot be encoded: the whole VOBU.
    std::int64_t fallbackSplice = 0;
    double fallbackSeconds = 0; // where the clip then begins or ends
    double exactSeconds = 0;    // where the exact part would have begun or ended
    // A head's first picture shown, or the end of a tail's last, in seconds as marked.
    double shownSeconds = 0;
    bool endsClip = false; // a head that is the whole clip
};

ExactClipPlanner::ExactClipPlanner(const Title* title, SourceFile& source,
                                   const NavPackReader* navPacks, PictureCodec& codec)
    : title_(title), source_(source), navPacks_(navPacks), codec_(codec) {}

ExactClipPlanner::~ExactClipPlanner() = default;

StreamRangeFinder& ExactClipPlanner::plainFinder() {
    if (!plainFinder_)
        plainFinder_ = std::make_unique<StreamRangeFinder>(source_, navPacks_);
    return *plainFinder_;
}

ExactClipPlanner::Moment ExactClipPlanner::locate(double seconds, bool end) {
    Moment moment;
    if (title_) {
        TitleRangeFinder finder(*title_, source_, navPacks_);
        const auto found = finder.locate(seconds, end, kLookBack);
        const Cell& cell = title_->cells[found.cell];
        moment.cell = found.cell;
        moment.cellBegin = cell.begin;
        moment.cellEnd = cell.end;
        moment.clock = found.clock;
        moment.zero = found.zero;
        moment.cellStart = cell.start;
        moment.from = found.groupBefore;
        moment.bytesRead = found.bytesRead;
        return moment;
    }
    StreamRangeFinder& finder = plainFinder();
    const std::int64_t before = finder.bytesRead();
    moment.cellEnd = source_.size();
    moment.zero = finder.startClock();
    moment.clock = moment.zero + std::llround(seconds * mpeg::kTicksPerSecond);
    moment.from = finder.beginAt(std::max(0.0, seconds - kLookBack));
    moment.bytesRead = finder.bytesRead() - before;
    return moment;
}

namespace {

// The packs from `from` on, as far as `to`, following those of `before` when given.
std::shared_ptr<const PackSpan> readSpan(SourceFile& source, std::int64_t from, std::int64_t to,
                                         const PackSpan* before) {
    if (!before)
        return std::make_shared<const PackSpan>(source, from, to);
    std::vector<std::byte> bytes(before->packs().size() * PackSpan::kPackBytes);
    const auto held = before->bytes(0, bytes.size());
    std::copy(held.begin(), held.end(), bytes.begin());
    const PackSpan more(source, before->end(), to);
    const auto added = more.bytes(0, more.packs().size() * PackSpan::kPackBytes);
    bytes.insert(bytes.end(), added.begin(), added.end());
    return std::make_shared<const PackSpan>(std::move(bytes), before->from());
}

// The pack a copy of the group starts with: the navigation pack that opens its VOBU when
// nothing but audio and subpictures lie between.
std::optional<std::size_t> copyStart(const PackSpan& span, const Group& group) {
    if (!group.startPack)
        return std::nullopt;
    std::size_t pack = *group.startPack;
    for (std::size_t k = pack; k-- > 0;) {
        if (span.packs()[k].navigation)
            return k;
        const bool video =
            std::any_of(span.packets().begin(), span.packets().end(), [&](const edges::Packet& p) {
                return p.pack == k && mpeg::isVideoStream(p.streamId);
            });
        if (video)
            break;
    }
    return pack;
}

// The first picture a decoder is fed for group `g`: the group before when an open group's
// first pictures refer to it.
std::size_t decodeStart(const VideoPictures& pictures, std::size_t g) {
    if (g > 0 && !pictures.standsAlone(g)) {
        const Group& before = pictures.groups()[g - 1];
        if (pictures.pictures()[before.firstPicture].type == 'I')
            return before.firstPicture;
    }
    return pictures.groups()[g].firstPicture;
}

// The picture found on screen at a mark must be shown up to it: where the group that shows
// the mark could not be read, the picture found is an earlier one.
void requireShown(const VideoPictures& video, std::size_t shown, std::int64_t clock,
                  double seconds) {
    const Picture& picture = video.pictures()[shown];
    if (picture.pts + picture.duration + kMarkSlack <= clock)
        throw SaveError("the pictures at " + hundredthsClockText(seconds) + " cannot be read");
}

// The subpicture packets of the packs in [fromPack, toPack) whose units start from `first`
// to before `end`, each unit with the packets that carry the rest of it.
std::vector<std::size_t> subpicturesWith(const PackSpan& span, std::size_t fromPack,
                                         std::size_t toPack, std::int64_t first, std::int64_t end) {
    std::vector<std::size_t> chosen;
    std::map<int, bool> taking;
    const auto& packets = span.packets();
    for (std::size_t k = 0; k < packets.size(); ++k) {
        const auto& packet = packets[k];
        if (packet.streamId != mpeg::kPrivateStream1 || packet.substream < 0 ||
            !mpeg::isSubpicture(static_cast<std::uint8_t>(packet.substream)) ||
            packet.pack < fromPack || packet.pack >= toPack)
            continue;
        if (packet.pts)
            taking[packet.substream] = *packet.pts >= first && *packet.pts < end;
        if (taking[packet.substream])
            chosen.push_back(k);
    }
    return chosen;
}

// Audio packs on their own, where no edge is encoded: clocked just before the copied
// part's first pack (`parity`: how many packs there must be, modulo 2, as for the
// multiplexer), or just after its last.
std::vector<std::byte> clockedAlone(std::vector<edges::AudioPack> packs, std::int64_t clock,
                                    std::optional<int> parity) {
    const bool before = parity.has_value();
    if (before && static_cast<int>(packs.size() % 2) != *parity) {
        // A padding pack first, clocked with the others.
        std::vector<std::byte> padding(kPackSize, std::byte{0xFF});
        const std::uint8_t head[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01,
                                     0x01, 0x89, 0xC3, 0xF8, 0x00, 0x00, 0x01, 0xBE, 0x07, 0xEC};
        std::memcpy(padding.data(), head, sizeof head);
        packs.insert(packs.begin(), edges::AudioPack{std::move(padding), 0, -1});
    }
    std::vector<std::byte> out;
    constexpr std::int64_t kPackTicks = 147;
    const auto count = static_cast<std::int64_t>(packs.size());
    for (std::int64_t n = 0; n < count; ++n) {
        auto& bytes = packs[std::size_t(n)].bytes;
        edges::writeScr(bytes,
                        before ? clock - (count - n) * kPackTicks : clock + (n + 1) * kPackTicks);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// The copied part's packs [from, to) of the span, with the rewritten ones in their place.
std::vector<std::byte> copiedPacks(const PackSpan& span, std::size_t from, std::size_t to,
                                   const std::map<std::size_t, std::vector<std::byte>>& rewritten) {
    std::vector<std::byte> out;
    for (std::size_t k = from; k < to; ++k) {
        const auto found = rewritten.find(k);
        const auto bytes = found != rewritten.end() ? std::span<const std::byte>(found->second)
                                                    : span.packBytes(k);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

} // namespace

ExactClipPlanner::Edge ExactClipPlanner::planEdge(const Moment& moment, bool head) {
    // Most edges are found in the first part; the rest only where the stream runs at a DVD's
    // highest rates.
    const std::int64_t first = std::min(moment.cellEnd, moment.from + kEdgeReadLimit / 2);
    auto span = readSpan(source_, moment.from, first, nullptr);
    bytesRead_ += span->bytesRead();
    try {
        return head ? planHeadIn(moment, span) : planTailIn(moment, span);
    } catch (const SaveError&) {
        if (span->end() < first)
            throw; // the stream itself ended or broke off
        const std::int64_t last = std::min(moment.cellEnd, moment.from + kEdgeReadLimit);
        if (last <= first)
            throw;
        const auto before = span->bytesRead();
        span = readSpan(source_, moment.from, last, span.get());
        bytesRead_ += span->bytesRead() - before;
        return head ? planHeadIn(moment, span) : planTailIn(moment, span);
    }
}

std::size_t ExactClipPlanner::startEdge(Edge& edge, const Moment& moment,
                                        std::shared_ptr<const PackSpan> span) const {
    edge.cell = moment.cell;
    edge.span = std::move(span);
    edge.reachesEnd = edge.span->end() >= moment.cellEnd;
    edge.pictures = std::make_unique<VideoPictures>(*edge.span, edge.reachesEnd);
    const VideoPictures& video = *edge.pictures;
    if (video.groups().empty())
        throw SaveError("no picture group was found near " +
                        clockText(moment.seconds(moment.clock)));
    const std::size_t shown =
        video.shownAt(moment.clock + kMarkSlack).value_or(video.groups()[0].firstPicture);
    requireShown(video, shown, moment.clock, moment.seconds(moment.clock));
    return shown;
}

ExactClipPlanner::Edge ExactClipPlanner::planHeadIn(const Moment& moment,
                                                    std::shared_ptr<const PackSpan> span) {
    Edge edge;
    const std::size_t shown = startEdge(edge, moment, std::move(span));
    const VideoPictures& video = *edge.pictures;
    const auto& groups = video.groups();
    const auto& pictures = video.pictures();
    const std::size_t g = video.groupOf(shown);
    const std::int64_t firstPts = pictures[shown].pts;
    edge.shownSeconds = moment.seconds(firstPts);
    const auto at = [&](std::size_t pack) { return edge.span->packs()[pack].offset; };
    const auto own = copyStart(*edge.span, groups[g]);
    edge.fallbackSplice = own ? at(*own) : edge.span->from();
    edge.fallbackSeconds = moment.seconds(groups[g].firstShown);
    if (firstPts == groups[g].firstShown && video.standsAlone(g) && own) {
        edge.splice = at(*own);
        edge.audio = edges::headAudio(*edge.span, *own, firstPts);
        return edge;
    }
    // The first group after the marked one that a copy can start with.
    std::optional<std::size_t> next;
    for (std::size_t k = g + 1; k < groups.size() && !next; ++k)
        if (copyStart(*edge.span, groups[k]))
            next = k;
    std::int64_t lastPts = 0;
    std::size_t toPack = edge.span->packs().size();
    if (next) {
        toPack = *copyStart(*edge.span, groups[*next]);
        edge.splice = at(toPack);
        lastPts = groups[*next].firstShown - 1;
        edge.decodeTo = groups[*next].firstPicture;
    } else if (edge.reachesEnd && groups.back().whole) {
        edge.splice = moment.cellEnd;
        lastPts = std::numeric_limits<std::int64_t>::max();
        edge.decodeTo = pictures.size();
    } else {
        throw SaveError("no picture group was found after " + clockText(edge.shownSeconds));
    }
    edge.exactSeconds = next ? moment.seconds(groups[*next].firstShown) : edge.shownSeconds;
    edge.encoded = true;
    edge.firstPts = firstPts;
    edge.lastPts = lastPts;
    edge.decodeFrom = decodeStart(video, g);
    edge.navPack = edge.span->navigationBefore(own.value_or(pictures[shown].pack));
    edge.subpictures =
        subpicturesWith(*edge.span, 0, toPack, firstPts, std::numeric_limits<std::int64_t>::max());
    edge.audio = edges::headAudio(*edge.span, toPack, firstPts);
    return edge;
}

ExactClipPlanner::Edge ExactClipPlanner::planTailIn(const Moment& moment,
                                                    std::shared_ptr<const PackSpan> span) {
    Edge edge;
    const std::size_t shown = startEdge(edge, moment, std::move(span));
    const VideoPictures& video = *edge.pictures;
    const auto& groups = video.groups();
    const auto& pictures = video.pictures();
    const std::size_t g = video.groupOf(shown);
    const Picture& last = pictures[shown];
    edge.shownSeconds = moment.seconds(last.pts + last.duration);
    const auto at = [&](std::size_t pack) { return edge.span->packs()[pack].offset; };
    // Where the group after the marked one starts: the end of the marked one's VOBU.
    std::optional<std::int64_t> after;
    for (std::size_t k = g + 1; k < groups.size() && !after; ++k)
        if (const auto start = copyStart(*edge.span, groups[k]))
            after = at(*start);
    if (!after && edge.reachesEnd && groups.back().whole)
        after = moment.cellEnd;
    if (!after || !groups[g].whole)
        throw SaveError("no picture group was found after " + clockText(edge.shownSeconds));
    edge.fallbackSplice = *after;
    const Picture& groupLast = *std::max_element(
        pictures.begin() + std::ptrdiff_t(groups[g].firstPicture),
        pictures.begin() + std::ptrdiff_t(groups[g].firstPicture + groups[g].pictureCount),
        [](const Picture& a, const Picture& b) { return a.pts < b.pts; });
    edge.fallbackSeconds = moment.seconds(groupLast.pts + groupLast.duration);
    edge.exactSeconds = moment.seconds(groups[g].firstShown);
    const auto own = copyStart(*edge.span, groups[g]);
    if (last.pts == groups[g].lastShown || !own) {
        edge.splice = *after;
        if (last.pts != groups[g].lastShown)
            edge.shownSeconds = edge.fallbackSeconds;
        edge.audio = edges::tailAudio(*edge.span, edge.span->packIndex(edge.splice),
                                      last.pts + last.duration);
        return edge;
    }
    edge.splice = at(*own);
    edge.encoded = true;
    edge.firstPts = groups[g].firstShown;
    edge.lastPts = last.pts;
    edge.decodeFrom = decodeStart(video, g);
    edge.decodeTo = groups[g].firstPicture + groups[g].pictureCount;
    edge.navPack = edge.span->navigationBefore(*own);
    edge.subpictures =
        subpicturesWith(*edge.span, *own, edge.span->packs().size(),
                        std::numeric_limits<std::int64_t>::min(), last.pts + last.duration);
    edge.audio = edges::tailAudio(*edge.span, *own, last.pts + last.duration);
    return edge;
}

ExactClipPlanner::Edge ExactClipPlanner::planWhole(const Moment& begin, const Moment& end) {
    Edge edge = planEdge(begin, true);
    const VideoPictures& video = *edge.pictures;
    const std::int64_t endClock = end.clock + kMarkSlack;
    const auto shown = video.shownAt(endClock);
    if (!shown)
        throw SaveError("the marked stretch holds no picture");
    const Picture& last = video.pictures()[*shown];
    edge.lastPts = last.pts;
    const std::size_t g = video.groupOf(*shown);
    const Group& group = video.groups()[g];
    if (!group.whole)
        throw SaveError("no picture group was found after " + clockText(end.seconds(last.pts)));
    edge.decodeTo = std::max(edge.decodeTo, group.firstPicture + group.pictureCount);
    edge.splice = 0;
    edge.subpictures = subpicturesWith(*edge.span, 0, edge.span->packs().size(), edge.firstPts,
                                       last.pts + last.duration);
    // All of the clip's sound is carried: from the frame nearest its first picture, then
    // up to the one that ends nearest the end of its last.
    std::vector<std::byte> fromFirst;
    for (const edges::AudioPack& pack :
         edges::headAudio(*edge.span, edge.span->packs().size(), edge.firstPts).carried)
        fromFirst.insert(fromFirst.end(), pack.bytes.begin(), pack.bytes.end());
    const PackSpan heard(std::move(fromFirst));
    edge.audio = edges::tailAudio(heard, 0, last.pts + last.duration);
    return edge;
}

int ExactClipPlanner::fileBlockParity(std::int64_t offset) const {
    if (title_) {
        std::int64_t start = 0;
        for (const Extent& extent : title_->extents) {
            if (offset < start + extent.length) {
                offset += extent.offset - start;
                break;
            }
            start += extent.length;
        }
    }
    return static_cast<int>(offset / kPackSize % 2);
}

std::vector<std::byte> ExactClipPlanner::encode(const Edge& edge, std::int64_t firstBlock,
                                                bool head, std::int64_t middleBlocks,
                                                std::optional<int> parity) {
    const VideoPictures& video = *edge.pictures;
    const auto& pictures = video.pictures();
    const auto& stream = video.stream();
    std::vector<PictureCodec::Chunk> chunks;
    for (std::size_t p = edge.decodeFrom; p < edge.decodeTo; ++p) {
        const Picture& picture = pictures[p];
        if (picture.esEnd <= picture.esBegin)
            return {};
        chunks.push_back({std::span<const std::byte>(stream).subspan(
                              picture.esBegin, picture.esEnd - picture.esBegin),
                          picture.pts, std::nullopt});
    }
    const auto decoded = codec_.decode(chunks);
    // Every picture the clip keeps must have decoded whole.
    std::vector<const Picture*> kept;
    for (std::size_t p = edge.decodeFrom; p < edge.decodeTo; ++p)
        if (pictures[p].pts >= edge.firstPts && pictures[p].pts <= edge.lastPts)
            kept.push_back(&pictures[p]);
    std::sort(kept.begin(), kept.end(),
              [](const Picture* a, const Picture* b) { return a->pts < b->pts; });
    for (const Picture* picture : kept)
        if (std::none_of(decoded.begin(), decoded.end(),
                         [&](const PictureCodec::Picture& d) { return d.pts == picture->pts; }))
            return {};
    if (kept.empty())
        return {};
    const PictureCodec::Result result = codec_.encode(edge.firstPts, edge.lastPts);
    if (!result.failure.empty() || result.pictures.size() != kept.size())
        return {};
    std::vector<edges::EdgePicture> coded;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const auto& picture = result.pictures[i];
        if (picture.pts != kept[i]->pts || picture.type == 'B')
            return {};
        edges::EdgePicture out;
        out.bytes = picture.bytes;
        out.pts = picture.pts;
        out.duration = kept[i]->duration;
        // Shown when the next one is decoded: no B pictures wait in between.
        out.dts = i > 0 ? kept[i - 1]->pts : picture.pts - kept[i]->duration;
        out.type = picture.type;
        out.startsGroup = picture.startsGroup;
        coded.push_back(out);
    }
    std::vector<edges::CarriedPack> carried;
    for (const edges::AudioPack& pack : edge.audio.carried)
        carried.push_back({pack.bytes, pack.due, pack.streamNumber, -1});
    for (const std::size_t k : edge.subpictures) {
        const auto& packet = edge.span->packets()[k];
        carried.push_back({edge.span->packBytes(packet.pack), packet.pts.value_or(edge.firstPts),
                           -1, packet.substream & 0x1F});
    }
    const std::size_t splice = edge.span->packIndex(edge.splice);
    edges::EdgePlace place;
    place.firstBlock = firstBlock;
    place.parity = parity;
    if (edge.navPack)
        place.navTemplate = edge.span->packBytes(*edge.navPack);
    const bool spliced = middleBlocks > 0 && splice < edge.span->packs().size();
    if (head) {
        if (spliced) {
            place.clockBefore = edge.span->packs()[splice].scr;
            place.nextVobuFollows = true;
        }
    } else if (middleBlocks > 0 && splice > 0) {
        place.clockAfter = edge.span->packs()[splice - 1].scr;
        if (const auto nav = edge.span->navigationBefore(splice - 1))
            place.previousVobu = firstBlock - std::int64_t(splice - *nav);
    }
    return edges::multiplexEdge(coded, carried, place);
}

ExactClip ExactClipPlanner::plan(double beginSeconds, double endSeconds) {
    if (!(beginSeconds >= 0))
        throw SaveError("the begin mark lies before the start of the media");
    if (!(beginSeconds < endSeconds))
        throw SaveError("the begin mark is not before the end mark");
    const double duration = title_ ? title_->duration() : plainFinder().duration();
    if (beginSeconds >= duration)
        throw SaveError("the marks lie past the end of the stream (" + clockText(duration) + ")");
    const Moment begin = locate(beginSeconds, false);
    const Moment end = locate(std::min(endSeconds, duration), true);
    bytesRead_ = begin.bytesRead + end.bytesRead;

    ExactClip clip;
    Edge head = planEdge(begin, true);
    Edge tail = planEdge(end, false);
    if (endSeconds > duration)
        clip.notes.push_back("the title ends at " + clockText(duration) +
                             "; the clip runs to its end");
    // Marks so close that the edges meet: every picture is encoded again.
    const bool meet = tail.splice < head.splice || (tail.encoded && tail.splice == head.splice);
    if (begin.cell == end.cell && head.encoded && meet) {
        Edge whole = planWhole(begin, end);
        whole.endsClip = true;
        clip.head = encode(whole, 0, true, 0);
        if (clip.head.empty())
            throw SaveError("the marked pictures could not be re-encoded");
        clip.middle = {head.splice, 0};
        return clip;
    }
    if (tail.splice < head.splice)
        throw SaveError("the marked stretch holds no picture");
    clip.middle = {head.splice, tail.splice - head.splice};
    const std::int64_t middleBlocks = clip.middle.length / kPackSize;
    const std::size_t headSplice = head.span->packIndex(head.splice);
    const std::size_t tailSplice = tail.span->packIndex(tail.splice);
    bool headExact = true;
    bool tailExact = true;
    if (head.encoded) {
        clip.head = encode(head, 0, true, middleBlocks, fileBlockParity(head.splice));
        if (clip.head.empty()) {
            headExact = false;
            clip.middle = {head.fallbackSplice, tail.splice - head.fallbackSplice};
            clip.notes.push_back("the clip begins at " + hundredthsClockText(head.fallbackSeconds) +
                                 ": the pictures before " + hundredthsClockText(head.exactSeconds) +
                                 " could not be re-encoded");
        }
    } else if (middleBlocks > 0 && headSplice < head.span->packs().size()) {
        clip.head = clockedAlone(head.audio.carried, head.span->packs()[headSplice].scr,
                                 fileBlockParity(head.splice));
    }
    if (tail.encoded) {
        const std::int64_t block =
            (static_cast<std::int64_t>(clip.head.size()) + clip.middle.length) / kPackSize;
        clip.tail = encode(tail, block, false, clip.middle.length / kPackSize);
        if (clip.tail.empty()) {
            tailExact = false;
            clip.middle.length = tail.fallbackSplice - clip.middle.offset;
            clip.notes.push_back("the clip ends at " + hundredthsClockText(tail.fallbackSeconds) +
                                 ": the pictures after " + hundredthsClockText(tail.exactSeconds) +
                                 " could not be re-encoded");
        }
    } else if (middleBlocks > 0 && tailSplice > 0) {
        clip.tail =
            clockedAlone(tail.audio.carried, tail.span->packs()[tailSplice - 1].scr, std::nullopt);
    }
    // The copied part's first and last packs whose sound lies outside the clip are written
    // in their places with it cut away; every other byte is the source's.
    if (headExact && !head.audio.rewritten.empty() && middleBlocks > 0) {
        const std::size_t from = headSplice;
        const std::size_t to = std::min<std::size_t>(head.audio.rewritten.rbegin()->first + 1,
                                                     from + std::size_t(middleBlocks));
        if (to > from) {
            const auto copies = copiedPacks(*head.span, from, to, head.audio.rewritten);
            clip.head.insert(clip.head.end(), copies.begin(), copies.end());
            const auto length = static_cast<std::int64_t>(copies.size());
            clip.middle = {clip.middle.offset + length, clip.middle.length - length};
        }
    }
    if (tailExact && !tail.audio.rewritten.empty() && clip.middle.length > 0) {
        const std::size_t to = tailSplice;
        std::size_t from = tail.audio.rewritten.begin()->first;
        while (from < to && tail.span->packs()[from].offset < clip.middle.offset)
            ++from;
        if (to > from && tail.span->packs()[to - 1].offset + kPackSize == clip.middle.end()) {
            const auto copies = copiedPacks(*tail.span, from, to, tail.audio.rewritten);
            clip.tail.insert(clip.tail.begin(), copies.begin(), copies.end());
            clip.middle.length -= static_cast<std::int64_t>(copies.size());
        }
    }
    if (title_ && begin.cell != end.cell)
        for (const std::string& note :
             TitleRangeFinder(*title_, source_, navPacks_).notesBetween(begin.cell, end.cell))
            clip.notes.push_back(note);
    return clip;
}

} // namespace parvane
