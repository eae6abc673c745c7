#include "core/edges/audio_edges.h"

#include "core/edges/audio_frames.h"
#include "core/stream/program_stream.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <optional>

namespace parvane::edges {

namespace {

// The audio stream of a packet: MPEG audio by its stream id, private stream 1 audio by
// its substream; -1 for others, subpictures among them.
int audioStream(const Packet& packet) {
    if (mpeg::isAudioStream(packet.streamId))
        return packet.streamId;
    if (packet.streamId == mpeg::kPrivateStream1 && packet.substream >= 0 &&
        !mpeg::isSubpicture(static_cast<std::uint8_t>(packet.substream)))
        return 0x100 | packet.substream;
    return -1;
}

int streamNumber(int stream) {
    return stream & 0x07;
}

struct Frame {
    std::size_t packet = 0; // among the stream's packets
    std::size_t index = 0;  // among the frames that start in that packet
    std::int64_t time = 0;
    std::int64_t ticks = 0;
    bool whole = true; // ends in its packet
};

struct Stream {
    std::vector<std::size_t> packets; // into the span's packets, in order
    std::vector<Frame> frames;
    bool timed = true; // every packet's frames could be laid out
};

std::map<int, Stream> streamsOf(const PackSpan& span) {
    std::map<int, Stream> streams;
    const auto& packets = span.packets();
    for (std::size_t k = 0; k < packets.size(); ++k) {
        const int id = audioStream(packets[k]);
        if (id < 0)
            continue;
        Stream& stream = streams[id];
        const std::size_t at = packets[k].pack * PackSpan::kPackBytes;
        const auto layout = frameLayout(span.packBytes(packets[k].pack), packets[k].start - at,
                                        packets[k].payload - at);
        const std::size_t own = stream.packets.size();
        stream.packets.push_back(k);
        if (!layout) {
            stream.timed = false;
            continue;
        }
        // A packet without a timestamp goes on from the frames before it.
        std::optional<std::int64_t> first = layout->pts;
        if (!first && !stream.frames.empty())
            first = stream.frames.back().time + stream.frames.back().ticks;
        if (!first && layout->count > 0) {
            stream.timed = false;
            continue;
        }
        for (std::size_t i = 0; i < layout->count; ++i)
            stream.frames.push_back({own, i, *first + std::int64_t(i) * layout->ticks,
                                     layout->ticks, i < layout->whole});
    }
    return streams;
}

std::vector<std::byte> cut(const PackSpan& span, std::size_t k, std::size_t from, std::size_t to,
                           bool lead, std::optional<std::int64_t> fromTime) {
    const Packet& packet = span.packets()[k];
    const std::size_t at = packet.pack * PackSpan::kPackBytes;
    return keepFrames(span.packBytes(packet.pack), packet.start - at, packet.payload - at, from, to,
                      lead, fromTime);
}

// When the first frame that starts in the packet of `frame` is heard.
std::int64_t firstTime(const Frame& frame) {
    return frame.time - static_cast<std::int64_t>(frame.index) * frame.ticks;
}

std::vector<std::byte> silence(const PackSpan& span, std::size_t k) {
    const Packet& packet = span.packets()[k];
    return silenced(span.packBytes(packet.pack), packet.start - packet.pack * PackSpan::kPackBytes);
}

std::vector<std::byte> whole(const PackSpan& span, std::size_t k) {
    const auto bytes = span.packBytes(span.packets()[k].pack);
    return {bytes.begin(), bytes.end()};
}

// Puts a pack on the edge's side among the carried ones, or one of the copied part among
// the rewritten; an empty one is left out of the edge or silenced in the copied part.
void place(AudioEdge& edge, const PackSpan& span, std::size_t k, bool edgeSide,
           std::vector<std::byte> bytes, std::int64_t due, int stream) {
    if (edgeSide) {
        if (!bytes.empty())
            edge.carried.push_back({std::move(bytes), due, streamNumber(stream)});
    } else {
        edge.rewritten[span.packets()[k].pack] =
            bytes.empty() ? silence(span, k) : std::move(bytes);
    }
}

// Where a stream's frames cannot be laid out, whole packets: from the one whose timestamp
// is nearest the clip's start on, or up to the last that starts before its end.
void wholePackets(AudioEdge& edge, const PackSpan& span, std::size_t splice, std::int64_t time,
                  const Stream& stream, int id, bool head) {
    std::int64_t due = time;
    bool taking = !head;
    for (std::size_t i = 0; i < stream.packets.size(); ++i) {
        const Packet& packet = span.packets()[stream.packets[i]];
        const bool edgeSide = head ? packet.pack < splice : packet.pack >= splice;
        if (packet.pts) {
            due = *packet.pts;
            if (head && !taking)
                taking = *packet.pts + 1800 >= time;
            if (!head && *packet.pts >= time)
                taking = false;
        }
        if (taking && edgeSide)
            edge.carried.push_back({whole(span, stream.packets[i]), due, streamNumber(id)});
    }
}

} // namespace

AudioEdge headAudio(const PackSpan& span, std::size_t splice, std::int64_t firstPts) {
    AudioEdge edge;
    for (const auto& [id, stream] : streamsOf(span)) {
        // The frame whose start is nearest the first picture's.
        const auto nearest = std::min_element(
            stream.frames.begin(), stream.frames.end(), [&](const Frame& a, const Frame& b) {
                return std::llabs(a.time - firstPts) < std::llabs(b.time - firstPts);
            });
        if (!stream.timed || nearest == stream.frames.end() ||
            std::llabs(nearest->time - firstPts) > nearest->ticks) {
            wholePackets(edge, span, splice, firstPts, stream, id, true);
            continue;
        }
        std::int64_t due = nearest->time;
        for (std::size_t i = 0; i < stream.packets.size(); ++i) {
            const std::size_t k = stream.packets[i];
            const Packet& packet = span.packets()[k];
            const bool edgeSide = packet.pack < splice;
            if (packet.pts && i > nearest->packet)
                due = *packet.pts;
            if (i < nearest->packet) {
                if (!edgeSide)
                    place(edge, span, k, false, {}, due, id);
            } else if (i == nearest->packet) {
                place(edge, span, k, edgeSide,
                      cut(span, k, nearest->index, SIZE_MAX, false, nearest->time), due, id);
            } else if (edgeSide) {
                place(edge, span, k, true, whole(span, k), due, id);
            } else {
                break; // the copied part runs on from here as it is
            }
        }
    }
    return edge;
}

AudioEdge tailAudio(const PackSpan& span, std::size_t splice, std::int64_t endPts) {
    AudioEdge edge;
    for (const auto& [id, stream] : streamsOf(span)) {
        // The frame whose end is nearest the last picture's.
        const auto nearest = std::min_element(stream.frames.begin(), stream.frames.end(),
                                              [&](const Frame& a, const Frame& b) {
                                                  return std::llabs(a.time + a.ticks - endPts) <
                                                         std::llabs(b.time + b.ticks - endPts);
                                              });
        if (!stream.timed || nearest == stream.frames.end() ||
            std::llabs(nearest->time + nearest->ticks - endPts) > nearest->ticks) {
            wholePackets(edge, span, splice, endPts, stream, id, false);
            continue;
        }
        std::int64_t due = nearest->time;
        for (std::size_t i = 0; i < stream.packets.size(); ++i) {
            const std::size_t k = stream.packets[i];
            const Packet& packet = span.packets()[k];
            const bool edgeSide = packet.pack >= splice;
            if (packet.pts)
                due = *packet.pts;
            if (i < nearest->packet) {
                if (edgeSide)
                    place(edge, span, k, true, whole(span, k), due, id);
            } else if (i == nearest->packet) {
                place(edge, span, k, edgeSide,
                      cut(span, k, 0, nearest->index + 1, true, firstTime(*nearest)), due, id);
            } else if (i == nearest->packet + 1 && !nearest->whole) {
                // The rest of the last frame, without the frames that start after it.
                place(edge, span, k, edgeSide, cut(span, k, 0, 0, true, std::nullopt), due, id);
            } else if (!edgeSide) {
                place(edge, span, k, false, {}, due, id);
            }
        }
    }
    return edge;
}

} // namespace parvane::edges
