#pragma once

// DVD titles whose cells are interleaved as commercial discs store them, made with ffmpeg and
// dvdauthor and then rearranged here, and libdvdnav to play them as a DVD player would. Every
// frame carries the strip of authorTitleOfCells: a 12-bit value in 60-pixel blocks across the
// top 48 rows, lowest bit at the left. Each throws std::runtime_error when something fails.

#include <cstdint>
#include <string>
#include <vector>

namespace parvane::testing {

// A PAL disc under `folder`/dvd (returns its VIDEO_TS folder) with one title: a 6 s opening,
// a 10 s scene in two angles (an angle block of two cells whose VOBUs alternate in units of
// two VOBUs, angle 1 first) and a 6 s ending; chapters at the opening and at the ending.
// The strip: bits 0-9 the frame's number on the title (0..549), bits 10-11 the angle in the
// scene and 0 in the shared cells.
std::string authorAngleDisc(const std::string& folder);

// A PAL disc under `folder`/dvd (returns its VIDEO_TS folder) with two titles that share a
// 6 s opening and a 6 s ending and differ in the middle: 8 s in title 1, 12 s in title 2,
// the two middles' VOBUs interleaved in units (not an angle block). The strip: in the
// opening and the middle the frame's number on its title with bits 10-11 0 in the opening
// and the title's number in the middle; the shared ending, which cannot carry both titles'
// numbers, counts its own frames from 0 with bits 10-11 = 3.
std::string authorBranchingDisc(const std::string& folder);

// The strip value of every frame of a program stream, in display order.
std::vector<int> stripNumbers(const std::string& mpegFile);

// The blocks libdvdnav plays, navigation packs included, from `title`'s chapter `chapter` at
// `angle`, or from the disc's First Play (title 0), until the machine stops, shows a still or
// waits in a menu.
std::vector<std::uint8_t> playWithDvdnav(const std::string& videoTs, int title = 0, int angle = 1,
                                         int chapter = 1);

} // namespace parvane::testing
