#include "core/edges/exact_clip.h"

#include "core/base/errors.h"
#include "core/base/time_text.h"
#include "core/edges/audio_frames.h"
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
#include <limits>
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
// so the group before the marked one, which an open group's first pictures refer to, is read.
constexpr double kLookBack = 1.0;
// A mark set on a picture may come back from the player a little before its timestamp.
constexpr std::int64_t kMarkSlack = 90;

// The stream number an audio or subpicture pack counts under in the search information.
void streamNumbers(const edges::Packet& packet, int& audio, int& subpicture) {
    audio = subpicture = -1;
    if (mpeg::isAudioStream(packet.streamId))
        audio = packet.streamId & 0x07;
    else if (packet.streamId == mpeg::kPrivateStream1 && packet.substream >= 0) {
        if (mpeg::isSubpicture(static_cast<std::uint8_t>(packet.substream)))
            subpicture = packet.substream & 0x1F;
        else
            audio = packet.substream & 0x07;
    }
}

// Audio and subpicture stream a packet belongs to; -1 for others.
int carriedStream(const edges::Packet& packet) {
    if (mpeg::isAudioStream(packet.streamId))
        return packet.streamId;
    if (packet.streamId == mpeg::kPrivateStream1 && packet.substream >= 0)
        return 0x100 | packet.substream;
    return -1;
}

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
    std::unique_ptr<PackSpan> span;
    std::unique_ptr<VideoPictures> pictures;
    std::size_t cell = 0;
    bool reachesEnd = false;
    // Where the copied part starts (a head) or ends (a tail), among the title's bytes.
    std::int64_t splice = 0;
    // The pictures encoded again: shown from firstPts to lastPts.
    std::int64_t firstPts = 0;
    std::int64_t lastPts = 0;
    bool encoded = false;               // false: nothing to encode, the edge is whole
    std::size_t decodeFrom = 0;         // the first picture the decoder is fed
    std::size_t decodeTo = 0;           // one past the last
    std::optional<std::size_t> navPack; // the source's navigation pack nearest the edge
    std::vector<std::size_t> carried;   // packets carried with the pictures
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
    StreamRangeFinder finder(source_, navPacks_);
    moment.cellEnd = source_.size();
    moment.zero = finder.startClock();
    moment.clock = moment.zero + std::llround(seconds * mpeg::kTicksPerSecond);
    moment.from = finder.beginAt(std::max(0.0, seconds - kLookBack));
    moment.bytesRead = finder.bytesRead();
    return moment;
}

namespace {

std::unique_ptr<PackSpan> readSpan(SourceFile& source, std::int64_t from, std::int64_t cellEnd,
                                   bool& reachesEnd) {
    const std::int64_t to = std::min(cellEnd, from + ExactClipPlanner::kEdgeReadLimit);
    auto span = std::make_unique<PackSpan>(source, from, to);
    reachesEnd = span->end() >= cellEnd;
    return span;
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

std::optional<std::size_t> navigationBefore(const PackSpan& span, std::size_t pack) {
    for (std::size_t k = std::min(pack + 1, span.packs().size()); k-- > 0;)
        if (span.packs()[k].navigation)
            return k;
    return std::nullopt;
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

// The audio and subpicture packets of the packs in [fromPack, toPack) that belong with the
// pictures shown from `first` to before `end`: for each audio stream, from the packet whose
// frames start nearest `first`, every packet up to `toPack` when `allToEnd`, else those whose
// frames start before `end`; subpicture units that start from `first` to before `end`.
std::vector<std::size_t> carriedWith(const PackSpan& span, std::size_t fromPack, std::size_t toPack,
                                     std::int64_t first, std::int64_t end, bool allToEnd) {
    std::vector<std::size_t> chosen;
    std::vector<int> streams;
    const auto& packets = span.packets();
    for (const auto& packet : packets) {
        const int stream = carriedStream(packet);
        if (stream >= 0 && std::find(streams.begin(), streams.end(), stream) == streams.end())
            streams.push_back(stream);
    }
    for (const int stream : streams) {
        std::vector<std::size_t> mine;
        for (std::size_t k = 0; k < packets.size(); ++k)
            if (carriedStream(packets[k]) == stream && packets[k].pack >= fromPack &&
                packets[k].pack < toPack)
                mine.push_back(k);
        const bool subpicture =
            (stream & 0x100) != 0 && mpeg::isSubpicture(static_cast<std::uint8_t>(stream & 0xFF));
        // Following copied packs, a stream runs on from its first packet here.
        bool taking = first == std::numeric_limits<std::int64_t>::min();
        for (std::size_t i = 0; i < mine.size(); ++i) {
            const auto& packet = packets[mine[i]];
            if (packet.pts) {
                const std::int64_t pts = *packet.pts;
                if (subpicture) {
                    taking = pts >= first && pts < end;
                } else if (!taking) {
                    // The packet whose first frame is nearest the first picture.
                    std::optional<std::int64_t> nextPts;
                    for (std::size_t j = i + 1; j < mine.size() && !nextPts; ++j)
                        nextPts = packets[mine[j]].pts;
                    taking = pts >= first || (nextPts && first - pts < *nextPts - first);
                } else if (!allToEnd && pts >= end) {
                    break;
                }
            }
            if (taking)
                chosen.push_back(mine[i]);
        }
    }
    std::sort(chosen.begin(), chosen.end());
    return chosen;
}

bool isAudio(int stream) {
    return stream >= 0 && ((stream & 0x100) == 0 || !mpeg::isSubpicture(std::uint8_t(stream)));
}

// A pack made whole from part of one in the span.
struct JoinPack {
    std::vector<std::byte> bytes;
    std::int64_t due = 0;
    int audioStream = -1;
};

// Where a copied stretch starts (`start`) or ends at pack `splice` of the span, the audio
// frames it cuts through are made whole by a pack before or after it: the start of the
// frame its first packet ends, or the end of the frame its last packet begins. Streams in
// `carried` need none: the edge's own packs run on into the copied stretch.
std::vector<JoinPack> audioJoins(const PackSpan& span, std::size_t splice, bool start,
                                 const std::vector<int>& carried) {
    std::vector<JoinPack> joins;
    const auto& packets = span.packets();
    std::vector<int> done = carried;
    for (std::size_t k = 0; k < packets.size(); ++k) {
        const int stream = carriedStream(packets[k]);
        if (!isAudio(stream) || std::find(done.begin(), done.end(), stream) != done.end())
            continue;
        done.push_back(stream);
        // The stream's last packet before the splice and its first after.
        std::optional<std::size_t> before;
        std::optional<std::size_t> after;
        std::optional<std::int64_t> due;
        for (std::size_t j = 0; j < packets.size(); ++j) {
            if (carriedStream(packets[j]) != stream)
                continue;
            if (packets[j].pack < splice) {
                before = j;
                if (packets[j].pts)
                    due = packets[j].pts;
            } else if (!after) {
                after = j;
            }
        }
        if (!before || !after)
            continue;
        const auto& packet = packets[start ? *before : *after];
        const std::size_t packStart = packet.pack * PackSpan::kPackBytes;
        const auto bytes = span.packBytes(packet.pack);
        auto made = start ? edges::lastFrameOnly(bytes, packet.start - packStart,
                                                 packet.payload - packStart)
                          : edges::beforeFirstFrame(bytes, packet.start - packStart,
                                                    packet.payload - packStart);
        if (!made)
            continue;
        int audio = -1;
        int subpicture = -1;
        streamNumbers(packet, audio, subpicture);
        const std::int64_t at = start ? packet.pts.value_or(0) : due.value_or(0);
        joins.push_back({std::move(*made), at, audio});
    }
    return joins;
}

std::optional<std::size_t> packAt(const PackSpan& span, std::int64_t offset) {
    for (std::size_t k = 0; k < span.packs().size(); ++k)
        if (span.packs()[k].offset == offset)
            return k;
    return std::nullopt;
}

// Join packs on their own, where no edge is encoded: clocked just before the copied
// stretch's first pack or just after its last.
std::vector<std::byte> clockedJoins(std::vector<JoinPack> joins, std::int64_t clock, bool before) {
    std::vector<std::byte> out;
    constexpr std::int64_t kPackTicks = 147;
    for (std::size_t i = 0; i < joins.size(); ++i) {
        const auto n = static_cast<std::int64_t>(i);
        const auto count = static_cast<std::int64_t>(joins.size());
        edges::writeScr(joins[i].bytes,
                        before ? clock - (count - n) * kPackTicks : clock + (n + 1) * kPackTicks);
        out.insert(out.end(), joins[i].bytes.begin(), joins[i].bytes.end());
    }
    return out;
}

} // namespace

ExactClipPlanner::Edge ExactClipPlanner::planHead(const Moment& moment) {
    Edge edge;
    edge.cell = moment.cell;
    edge.span = readSpan(source_, moment.from, moment.cellEnd, edge.reachesEnd);
    bytesRead_ += edge.span->bytesRead();
    edge.pictures = std::make_unique<VideoPictures>(*edge.span, edge.reachesEnd);
    const VideoPictures& video = *edge.pictures;
    const auto& groups = video.groups();
    const auto& pictures = video.pictures();
    if (groups.empty())
        throw SaveError("no picture group was found near " +
                        clockText(moment.seconds(moment.clock)));
    std::size_t shown = video.shownAt(moment.clock + kMarkSlack).value_or(groups[0].firstPicture);
    const std::size_t g = video.groupOf(shown);
    const std::int64_t firstPts = pictures[shown].pts;
    edge.shownSeconds = moment.seconds(firstPts);
    const auto at = [&](std::size_t pack) { return edge.span->packs()[pack].offset; };
    const auto own = copyStart(*edge.span, groups[g]);
    edge.fallbackSplice = own ? at(*own) : edge.span->from();
    edge.fallbackSeconds = moment.seconds(groups[g].firstShown);
    if (firstPts == groups[g].firstShown && video.standsAlone(g) && own) {
        edge.splice = at(*own);
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
    edge.navPack = navigationBefore(*edge.span, own.value_or(pictures[shown].pack));
    edge.carried = carriedWith(*edge.span, 0, toPack, firstPts,
                               std::numeric_limits<std::int64_t>::max(), true);
    return edge;
}

ExactClipPlanner::Edge ExactClipPlanner::planTail(const Moment& moment) {
    Edge edge;
    edge.cell = moment.cell;
    edge.span = readSpan(source_, moment.from, moment.cellEnd, edge.reachesEnd);
    bytesRead_ += edge.span->bytesRead();
    edge.pictures = std::make_unique<VideoPictures>(*edge.span, edge.reachesEnd);
    const VideoPictures& video = *edge.pictures;
    const auto& groups = video.groups();
    const auto& pictures = video.pictures();
    if (groups.empty())
        throw SaveError("no picture group was found near " +
                        clockText(moment.seconds(moment.clock)));
    const std::size_t shown =
        video.shownAt(moment.clock + kMarkSlack).value_or(groups[0].firstPicture);
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
        return edge;
    }
    edge.splice = at(*own);
    edge.encoded = true;
    edge.firstPts = groups[g].firstShown;
    edge.lastPts = last.pts;
    edge.decodeFrom = decodeStart(video, g);
    edge.decodeTo = groups[g].firstPicture + groups[g].pictureCount;
    edge.navPack = navigationBefore(*edge.span, *own);
    edge.carried =
        carriedWith(*edge.span, *own, edge.span->packs().size(),
                    std::numeric_limits<std::int64_t>::min(), last.pts + last.duration, false);
    return edge;
}

ExactClipPlanner::Edge ExactClipPlanner::planWhole(const Moment& begin, const Moment& end) {
    Edge edge = planHead(begin);
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
    edge.carried = carriedWith(*edge.span, 0, edge.span->packs().size(), edge.firstPts,
                               last.pts + last.duration, false);
    return edge;
}

std::vector<std::byte> ExactClipPlanner::encode(const Edge& edge, std::int64_t firstBlock,
                                                bool head, std::int64_t middleBlocks) {
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
    std::int64_t lastDue = edge.firstPts;
    std::vector<std::int64_t> streamDue(0x200, edge.firstPts);
    // Each audio stream starts with a whole frame at a head and ends with one at a tail.
    std::vector<bool> started(0x200, false);
    std::vector<std::size_t> lastOfStream(0x200, edge.carried.size());
    for (std::size_t i = 0; i < edge.carried.size(); ++i)
        lastOfStream[std::size_t(carriedStream(edge.span->packets()[edge.carried[i]]))] = i;
    std::vector<std::vector<std::byte>> rewritten;
    rewritten.reserve(edge.carried.size());
    for (std::size_t i = 0; i < edge.carried.size(); ++i) {
        const auto& packet = edge.span->packets()[edge.carried[i]];
        const int stream = carriedStream(packet);
        if (packet.pts)
            streamDue[std::size_t(stream)] = *packet.pts;
        edges::CarriedPack pack;
        pack.bytes = edge.span->packBytes(packet.pack);
        const std::size_t packStart = packet.pack * edges::PackSpan::kPackBytes;
        const std::size_t at = packet.start - packStart;
        const std::size_t payload = packet.payload - packStart;
        std::optional<std::vector<std::byte>> cut;
        if (head && !started[std::size_t(stream)])
            cut = edges::fromFirstFrame(pack.bytes, at, payload);
        if ((!head || edge.endsClip) && lastOfStream[std::size_t(stream)] == i)
            cut = edges::toLastFrame(cut ? std::span<const std::byte>(*cut) : pack.bytes, at,
                                     payload);
        started[std::size_t(stream)] = true;
        if (cut) {
            if (cut->empty())
                continue;
            rewritten.push_back(std::move(*cut));
            pack.bytes = rewritten.back();
        }
        pack.due = streamDue[std::size_t(stream)];
        streamNumbers(packet, pack.audioStream, pack.subpictureStream);
        carried.push_back(pack);
        lastDue = std::max(lastDue, pack.due);
    }
    std::vector<int> carriedStreams;
    for (const std::size_t k : edge.carried)
        carriedStreams.push_back(carriedStream(edge.span->packets()[k]));
    const auto spliceIndex = packAt(*edge.span, edge.splice);
    std::vector<JoinPack> joins;
    if (spliceIndex && !edge.endsClip)
        joins = audioJoins(*edge.span, *spliceIndex, head, carriedStreams);
    for (const JoinPack& join : joins) {
        edges::CarriedPack pack;
        pack.bytes = join.bytes;
        pack.due = join.due;
        pack.audioStream = join.audioStream;
        carried.push_back(pack);
    }
    edges::EdgePlace place;
    place.firstBlock = firstBlock;
    if (edge.navPack)
        place.navTemplate = edge.span->packBytes(*edge.navPack);
    const auto splicePack = spliceIndex;
    if (head) {
        if (middleBlocks > 0 && splicePack) {
            place.clockBefore = edge.span->packs()[*splicePack].scr;
            place.nextVobuFollows = true;
        }
    } else if (splicePack && *splicePack > 0 && middleBlocks > 0) {
        place.clockAfter = edge.span->packs()[*splicePack - 1].scr;
        if (const auto nav = navigationBefore(*edge.span, *splicePack - 1))
            place.previousVobu = firstBlock - std::int64_t(*splicePack - *nav);
    }
    return edges::multiplexEdge(coded, carried, place);
}

ExactClip ExactClipPlanner::plan(double beginSeconds, double endSeconds) {
    if (!(beginSeconds >= 0))
        throw SaveError("the begin mark lies before the start of the media");
    if (!(beginSeconds < endSeconds))
        throw SaveError("the begin mark is not before the end mark");
    const double duration =
        title_ ? title_->duration() : StreamRangeFinder(source_, navPacks_).duration();
    if (beginSeconds >= duration)
        throw SaveError("the marks lie past the end of the stream (" + clockText(duration) + ")");
    const Moment begin = locate(beginSeconds, false);
    const Moment end = locate(std::min(endSeconds, duration), true);
    bytesRead_ = begin.bytesRead + end.bytesRead;

    ExactClip clip;
    Edge head = planHead(begin);
    Edge tail = planTail(end);
    if (endSeconds > duration)
        clip.notes.push_back("the title ends at " + clockText(duration) +
                             "; the clip runs to its end");
    // Marks so close that the edges meet: every picture is encoded again.
    if (begin.cell == end.cell && head.encoded && tail.splice < head.splice) {
        Edge whole = planWhole(begin, end);
        whole.endsClip = true;
        clip.firstShown = whole.shownSeconds;
        clip.shownEnd = tail.shownSeconds;
        clip.head = encode(whole, 0, true, 0);
        if (clip.head.empty())
            throw SaveError("the marked pictures could not be re-encoded");
        clip.middle = {head.splice, 0};
        return clip;
    }
    if (tail.splice < head.splice)
        throw SaveError("the marked stretch holds no picture");
    clip.middle = {head.splice, tail.splice - head.splice};
    clip.firstShown = head.shownSeconds;
    clip.shownEnd = tail.shownSeconds;
    if (head.encoded) {
        clip.head = encode(head, 0, true, clip.middle.length / kPackSize);
        if (clip.head.empty()) {
            clip.middle = {head.fallbackSplice, tail.splice - head.fallbackSplice};
            clip.firstShown = head.fallbackSeconds;
            clip.notes.push_back("the clip begins at " + hundredthsClockText(head.fallbackSeconds) +
                                 ": the pictures before " + hundredthsClockText(head.exactSeconds) +
                                 " could not be re-encoded");
        }
    }
    if (tail.encoded) {
        const std::int64_t block =
            (static_cast<std::int64_t>(clip.head.size()) + clip.middle.length) / kPackSize;
        clip.tail = encode(tail, block, false, clip.middle.length / kPackSize);
        if (clip.tail.empty()) {
            clip.middle.length = tail.fallbackSplice - clip.middle.offset;
            clip.shownEnd = tail.fallbackSeconds;
            clip.notes.push_back("the clip ends at " + hundredthsClockText(tail.fallbackSeconds) +
                                 ": the pictures after " + hundredthsClockText(tail.exactSeconds) +
                                 " could not be re-encoded");
        }
    }
    // Edges copied whole still get their audio frames made whole.
    if (clip.head.empty() && clip.middle.length > 0)
        if (const auto at = packAt(*head.span, clip.middle.offset); at && *at > 0)
            clip.head = clockedJoins(audioJoins(*head.span, *at, true, {}),
                                     head.span->packs()[*at].scr, true);
    if (clip.tail.empty() && clip.middle.length > 0)
        if (const auto at = packAt(*tail.span, clip.middle.end()); at && *at > 0)
            clip.tail = clockedJoins(audioJoins(*tail.span, *at, false, {}),
                                     tail.span->packs()[*at - 1].scr, false);
    if (title_ && begin.cell != end.cell)
        for (const std::string& note :
             TitleRangeFinder(*title_, source_, navPacks_).notesBetween(begin.cell, end.cell))
            clip.notes.push_back(note);
    return clip;
}

} // namespace parvane
