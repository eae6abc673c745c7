#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace parvane {

// Decodes the pictures at the edge of a clip from an MPEG-2 video elementary stream and
// encodes the ones the clip keeps again, in the form of the stream they came from, so that
// they can take the place of the source's own bytes in front of (or after) a stretch that is
// copied as it is.
//
// Times are raw 90 kHz ticks of the source's clock, as its PES headers give them.
class PictureCodec {
public:
    // A piece of the video stream as one PES packet carried it, in the stream's order.
    struct Chunk {
        std::span<const std::byte> bytes;
        std::optional<std::int64_t> pts;
        std::optional<std::int64_t> dts;
    };

    // A decoded picture: when it is shown and how its fields are.
    struct Picture {
        std::int64_t pts = 0;
        bool topFieldFirst = false;
        bool repeatFirstField = false;
        bool progressiveFrame = false;
    };

    // A picture encoded again, in coding order.
    struct CodedPicture {
        std::vector<std::byte> bytes; // from its first header (sequence, group or picture)
        std::int64_t pts = 0;         // the source picture's
        char type = 'I';              // 'I' or 'P'
        bool startsGroup = false;     // opens with a sequence and a closed group header
    };

    struct Result {
        std::vector<CodedPicture> pictures;
        std::string failure; // why nothing could be encoded; empty when it worked
    };

    virtual ~PictureCodec() = default;

    // Decodes `chunks`, which start at an access point (a sequence header). Returns the
    // pictures that decoded whole, in display order: pictures whose references lie before
    // the chunks, or that are damaged, are left out. Forgets what an earlier call decoded.
    virtual std::vector<Picture> decode(std::span<const Chunk> chunks) = 0;

    // Encodes the pictures of the last decode whose pts lie in [firstPts, lastPts] as
    // closed groups of I and P pictures only, so coding order is display order, keeping
    // each picture's field flags and the stream's size, aspect ratio, frame rate, chroma
    // format and progressive coding, within a DVD's limits (9.8 Mbit/s, a 224 KiB VBV
    // buffer, at most 15 pictures a group at 25 Hz and 18 at 29.97 Hz).
    virtual Result encode(std::int64_t firstPts, std::int64_t lastPts) = 0;
};

} // namespace parvane
