#pragma once

#include "core/base/byte_range.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace parvane {

class NavPackReader;
class SourceFile;

// Finds the bytes of an MPEG-2 program stream (a DVD .vob) that hold a marked stretch as
// whole picture groups, to be copied as they are: every audio, subpicture and navigation
// pack inside stays.
//
// Seconds are the player's: they count from the stream's first timestamp. The clip starts
// at the last picture group that starts at or before the begin mark (on a DVD the
// navigation pack of that VOBU; elsewhere the pack where a video sequence or group header
// starts) and ends with the group that shows the end mark, so that second is whole. Both
// ends are pack boundaries.
//
// The packs' clock references are searched by bisection, with a short scan around each
// mark, so at most kBoundaryReadLimit bytes are read per boundary whatever the file's size.
// Every clock reference and timestamp read must fit one continuous clock: where they do
// not (a reset between cells, a splice) the finder refuses instead of guessing.
//
// Throws SaveError with a short reason for the user.
class StreamRangeFinder {
public:
    static constexpr std::int64_t kBoundaryReadLimit = std::int64_t{512} << 10;

    // `navPacks` may be null: picture groups are then found from the video alone.
    StreamRangeFinder(SourceFile& source, const NavPackReader* navPacks);
    ~StreamRangeFinder();
    StreamRangeFinder(const StreamRangeFinder&) = delete;
    StreamRangeFinder& operator=(const StreamRangeFinder&) = delete;

    ByteRange find(double beginSeconds, double endSeconds);
    // Where the clip starts.
    std::int64_t beginAt(double seconds);
    // Where the clip ends: one past its last byte.
    std::int64_t endAt(double seconds);
    // The same boundaries with the time they fall at: what a clip starting there shows
    // first, and the first time a clip ending there no longer shows. In seconds as marked.
    struct Boundary {
        std::int64_t offset = 0;
        double seconds = 0;
    };
    Boundary beginOf(double seconds);
    Boundary endOf(double seconds);
    // Seconds from the stream's first timestamp to its last.
    double duration();
    // The stream's first timestamp, raw 90 kHz ticks: what the seconds count from.
    std::int64_t startClock();
    // What a clip ending at the end mark should tell the user: where the stream ends, when
    // the mark lies past it, since the clip is then shorter than marked.
    std::vector<std::string> notesFor(double endSeconds);
    // Bytes read from the source so far.
    std::int64_t bytesRead() const;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace parvane
