#pragma once

#include "core/edges/pack_span.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace parvane::edges {

// An audio pack of the span made anew for an edge.
struct AudioPack {
    std::vector<std::byte> bytes;
    std::int64_t due = 0;  // its timestamp, or that of the stream's packet before it
    int streamNumber = -1; // for the search information's audio sync, 0 to 7
};

// What an edge does with the audio around a splice into the copied part.
struct AudioEdge {
    // Packs to multiplex with the edge's pictures, from packs on the edge's side.
    std::vector<AudioPack> carried;
    // Packs of the copied part, by their index in the span, to be written in their place
    // instead: frames outside the clip silenced or cut away, every pack where it was.
    std::map<std::size_t, std::vector<std::byte>> rewritten;
};

// The audio of a clip that starts with the picture shown at `firstPts`, where its copied
// part starts at pack `splice` of the span (the packs before are the head's side): each
// stream from the frame nearest that picture's start.
AudioEdge headAudio(const PackSpan& span, std::size_t splice, std::int64_t firstPts);

// The audio of a clip whose last picture ends at `endPts`, where its copied part ends
// before pack `splice` (the packs from there are the tail's side): each stream up to the
// frame that ends nearest that time.
AudioEdge tailAudio(const PackSpan& span, std::size_t splice, std::int64_t endPts);

} // namespace parvane::edges
