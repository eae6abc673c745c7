#pragma once

// DVD titles made with ffmpeg, mjpegtools, spumux and dvdauthor as discs have them, for the
// frame-exact cut: each picture carries the strip of authorTitleOfCells with its number on
// the title. Each throws std::runtime_error when a tool fails.

#include <cstdint>
#include <string>
#include <vector>

namespace parvane::testing {

// One picture of a title, in display order.
struct TitlePicture {
    int number = 0;     // its strip, and its place on the title
    double time = 0;    // when it is shown, in seconds from the title's start
    double seconds = 0; // for how long (1.5 frames where the field is repeated)
    char type = '?';    // I, P or B
    int cell = 0;       // from 0
};

struct ExactTitle {
    std::string videoTs;                // its VIDEO_TS folder; the title is title 1
    std::string played;                 // the title's bytes as libdvdnav plays them, in one file
    std::string format;                 // PAL or NTSC, for dvdauthor
    std::vector<std::string> vobs;      // VTS_01_1.VOB and on
    std::vector<TitlePicture> pictures; // by number
    // Where each VOBU (one group of pictures each) begins in `played`, and its end last.
    std::vector<std::int64_t> vobuStarts;
};

// PAL 720x576 at 25 fps, interlaced top field first, 16:9, open groups with two B pictures,
// AC-3 and a subtitle stream (two subtitles in each cell, at 0.5 to 1.5 s and 2.0 to
// 2.5 s on its clock): three cells of 3 s each encoded apart, so each starts its clock again. The
// title's VOB is cut in two files by hand in the middle of the second cell, as dvdauthor
// would past 1 GiB.
ExactTitle makePalTitle(const std::string& folder);

// NTSC 720x480 at 29.97 fps, interlaced top field first, 4:3, LPCM audio, open groups: one
// cell of 3 s.
ExactTitle makeNtscTitle(const std::string& folder);

// NTSC film: 23.976 pictures a second encoded by mpeg2enc with 3:2 pulldown flags (every
// other picture repeats its first field), open groups, AC-3, multiplexed by mplex: one cell
// of 2 s.
ExactTitle makeFilmTitle(const std::string& folder);

} // namespace parvane::testing
