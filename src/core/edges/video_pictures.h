#pragma once

#include "core/edges/pack_span.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace parvane::edges {

// What a sequence header and its extension say about the pictures after them.
struct SequenceForm {
    int frameRateCode = 0;    // 3: 25 Hz, 4: 29.97 Hz
    bool progressive = false; // progressive_sequence
};

// A coded picture of the video stream, as its headers and the PES timestamps say.
struct Picture {
    std::size_t esBegin = 0; // its first header (sequence, group or picture) in the stream
    std::size_t esEnd = 0;
    std::size_t codeAt = 0; // its picture start code
    std::size_t pack = 0;   // the pack its first header lies in
    char type = '?';        // 'I', 'P' or 'B'
    int temporalReference = 0;
    int fields = 2;       // how many fields it is shown for
    std::int64_t pts = 0; // when it is shown, raw ticks
    std::int64_t dts = 0; // when it is decoded
    std::int64_t duration = 0;
};

// A group of pictures: from a group header to the next.
struct Group {
    std::size_t firstPicture = 0; // into the pictures, coding order
    std::size_t pictureCount = 0;
    bool closed = false; // closed_gop: its B pictures need nothing before it
    bool brokenLink = false;
    // The pack a copy of it starts with: its navigation pack, or the pack its headers open;
    // nothing when those headers share their pack with the picture before.
    std::optional<std::size_t> startPack;
    std::int64_t firstShown = 0;
    std::int64_t lastShown = 0;
    bool whole = false; // its last picture ends inside the span
};

// The video pictures of a PackSpan, grouped, each with the time it is shown. Pictures
// before the first group header, and groups whose times cannot be told, are left out.
class VideoPictures {
public:
    // `reachesEnd`: the span runs to the end of its cell, so its last picture is whole.
    VideoPictures(const PackSpan& span, bool reachesEnd);

    const std::vector<Picture>& pictures() const { return pictures_; }
    const std::vector<Group>& groups() const { return groups_; }
    const std::vector<std::byte>& stream() const { return stream_; }
    SequenceForm form() const { return form_; }
    double fieldTicks() const { return fieldTicks_; }
    // The picture shown at `time`: the last one shown at or before it.
    std::optional<std::size_t> shownAt(std::int64_t time) const;
    // Which group a picture belongs to.
    std::size_t groupOf(std::size_t picture) const;
    // Whether a decoder can start at the group and show all of its pictures.
    bool standsAlone(std::size_t group) const;

private:
    struct PiecePlace {
        std::size_t esBegin = 0;
        std::size_t pack = 0;
        std::optional<std::int64_t> pts;
        std::optional<std::int64_t> dts;
    };

    void parse(const std::vector<PiecePlace>& pieces, bool reachesEnd);
    void time(const std::vector<PiecePlace>& pieces);

    std::vector<std::byte> stream_;
    std::vector<Picture> pictures_;
    std::vector<Group> groups_;
    SequenceForm form_;
    double fieldTicks_ = 1800;
};

} // namespace parvane::edges
