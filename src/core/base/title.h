#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace parvane {

// A run of a title's bytes that lies in one file: a VOB of a VIDEO_TS folder, or the
// stretch of an ISO image where that VOB's sectors are.
struct Extent {
    std::string path;
    std::int64_t offset = 0; // where the run starts in that file
    std::int64_t length = 0;
};

// A stretch of a title whose clock runs on without a jump. Clocks may start again at
// the next cell, so a cell's times are its own and the title places it on its timeline.
struct Cell {
    std::int64_t begin = 0; // where its first pack lies among the title's bytes
    std::int64_t end = 0;   // one past its last byte
    double start = 0;       // where it begins on the title's timeline, in seconds
    double duration = 0;    // its playback time
    // Its clock starts again instead of running on from the cell before (the disc says so).
    bool clockRestarts = false;
};

// One angle's bytes of a title, in playing order, and its cells on the title's timeline.
struct AngleView {
    std::vector<Extent> extents;
    std::vector<Cell> cells;
};

// An audio stream of a title as the disc describes it.
struct AudioStream {
    // Its id in the VOB: the private stream 1 substream (0x80+n AC-3, 0x88+n DTS, 0xA0+n
    // LPCM) or the MPEG audio stream (0xC0+n).
    int id = 0;
    std::string format;   // "AC-3", "MPEG", "LPCM", "DTS"
    int channels = 0;     // 0 when the disc does not say
    std::string language; // two-letter ISO 639 code; empty when the disc gives none
};

// A subpicture (subtitle) stream of a title: private stream 1 substream 0x20+n.
struct SubpictureStream {
    int id = 0;
    std::string language;
};

// What a DVD user thinks of as one film or episode: its bytes in playing order, spread
// over files, its cells one after another on one timeline, and its chapters.
struct Title {
    int number = 1; // as the disc counts its titles, from 1
    // The angle whose bytes `extents` and `cells` hold, from 1, and how many the title has.
    int angle = 1;
    int angles = 1;
    std::vector<Extent> extents;
    std::vector<Cell> cells;
    // Every angle's bytes when the title has several ([0] is angle 1); empty otherwise.
    std::vector<AngleView> angleViews;
    std::vector<AudioStream> audio;
    std::vector<SubpictureStream> subpictures;
    // The 16 colours subpictures are drawn in, as the disc's chain gives them (0x00YYCrCb);
    // empty when it gives none.
    std::vector<std::uint32_t> palette;
    // What could not be read of the title, with its time, for the user.
    std::vector<std::string> problems;
    std::vector<double> chapters; // each chapter's start on the timeline; the first is 0
    // Every file of the disc it was read from (its IFO, BUP and VOB files, or the image):
    // a clip replaces none of them.
    std::vector<std::string> discFiles;

    double duration() const {
        return cells.empty() ? 0.0 : cells.back().start + cells.back().duration;
    }
    // The same title showing angle `n` (from 1); itself when it has one angle or `n` is
    // not one of its angles.
    Title withAngle(int n) const {
        Title other = *this;
        if (n >= 1 && static_cast<std::size_t>(n) <= angleViews.size()) {
            other.angle = n;
            other.extents = angleViews[static_cast<std::size_t>(n - 1)].extents;
            other.cells = angleViews[static_cast<std::size_t>(n - 1)].cells;
        }
        return other;
    }
    std::int64_t size() const {
        std::int64_t total = 0;
        for (const Extent& extent : extents)
            total += extent.length;
        return total;
    }
};

// What a path the user opened turned out to be: a disc (a VIDEO_TS folder, its IFO files,
// an ISO image, a VOB of a title set) with its titles.
struct Disc {
    std::vector<Title> titles;
    // The title to show first: the one a VOB that was opened belongs to, else the one the
    // disc's First Play starts, else the longest. Titles of cells under a second are decoys,
    // never chosen; one that repeats another's cells shuffled, only where First Play leads.
    std::size_t startTitle = 0;
    // Where in that title to start: the place of the opened VOB, when that is unambiguous.
    double startSeconds = 0;
};

} // namespace parvane
