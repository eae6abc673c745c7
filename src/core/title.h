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

// What a DVD user thinks of as one film or episode: its bytes in playing order, spread
// over files, its cells one after another on one timeline, and its chapters.
struct Title {
    int number = 1; // as the disc counts its titles, from 1
    std::vector<Extent> extents;
    std::vector<Cell> cells;
    std::vector<double> chapters; // each chapter's start on the timeline; the first is 0
    // Every file of the disc it was read from (its IFO, BUP and VOB files, or the image):
    // a clip replaces none of them.
    std::vector<std::string> discFiles;

    double duration() const {
        return cells.empty() ? 0.0 : cells.back().start + cells.back().duration;
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
    // The title to show first: the one a VOB that was opened belongs to, else the longest.
    std::size_t startTitle = 0;
    // Where in that title to start: the place of the opened VOB, when that is unambiguous.
    double startSeconds = 0;
};

} // namespace parvane
