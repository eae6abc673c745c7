#pragma once

#include "core/base/byte_range.h"
#include "core/base/title.h"
#include "core/title/title_bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parvane {

class NavPackReader;
class StreamRangeFinder;

// What a cut of a title copies, and what the user should know about it.
struct TitleRange {
    ByteRange range; // among the title's bytes
    std::vector<std::string> notes;
    // Bytes read to find each end of the range (beyond the disc's IFO files).
    std::int64_t beginBytesRead = 0;
    std::int64_t endBytesRead = 0;
};

inline constexpr const char* kTimeResetNote = "the clip contains a time reset";

// Finds the bytes of a DVD title that hold a marked stretch of its timeline: whole VOBUs
// from the one at or before the begin mark to the one that shows the end mark, byte for
// byte, across its cells and files.
//
// Each cell keeps its own clock, so a mark is found in its cell: at the cell's time
// mark - cell.start, counted from the cell's first VOBU, by a StreamRangeFinder that sees
// only that cell's bytes. Each end is so found within StreamRangeFinder::kBoundaryReadLimit
// bytes. Clocks that start again inside the clip are kept as they are, with a note.
//
// Throws SaveError with a short reason for the user.
class TitleRangeFinder {
public:
    // `source` holds the title's bytes in order (FileSystem::openTitle); `navPacks` may be
    // null, and a cell's time then counts from its first timestamp.
    TitleRangeFinder(const Title& title, SourceFile& source, const NavPackReader* navPacks);

    TitleRange find(double beginSeconds, double endSeconds);
    // From the start of chapter `first` to the end of chapter `last`, counted from 1.
    TitleRange chapters(int first, int last);

    // A time of the title on the clock of the cell that plays it, for a cut that reads
    // the pictures there itself.
    struct Moment {
        std::size_t cell = 0;
        std::int64_t clock = 0; // raw 90 kHz ticks of the cell's own clock
        std::int64_t zero = 0;  // that clock at the cell's start on the timeline
        // Where the cell's picture group at or before `lookBack` seconds earlier starts,
        // among the title's bytes.
        std::int64_t groupBefore = 0;
        std::int64_t bytesRead = 0;
    };
    // `end`: the time ends a stretch, so a time where a cell ends lies in that cell.
    Moment locate(double titleSeconds, bool end, double lookBack);
    // What the user should know about a clip from cell `firstCell` to `lastCell`: whether a
    // clock starts again in between.
    std::vector<std::string> notesBetween(std::size_t firstCell, std::size_t lastCell);

private:
    // The raw clock of a cell's first VOBU, when its navigation pack tells it.
    std::optional<std::int64_t> vobuStart(std::size_t cell, SourceSlice& slice) const;
    // The cell time as its finder counts it.
    double finderSeconds(std::size_t cell, double titleSeconds, SourceSlice& slice,
                         StreamRangeFinder& finder) const;

    const Title& title_;
    SourceFile& source_;
    const NavPackReader* navPacks_;
};

} // namespace parvane
