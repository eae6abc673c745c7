#pragma once

// What independent readers make of a clip cut from a numbered title (see exact_media.h):
// ffmpeg decodes it and reads each picture's strip and compares it with the source's picture
// of the same number; mpv plays it as a file and, authored by dvdauthor, as a DVD.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace parvane::testing {

// A source's pictures, luma only, by the number on their strip.
struct SourcePictures {
    std::map<int, std::vector<std::uint8_t>> byNumber;
};

// `source` is a program stream, or with `title` > 0 a DVD (its VIDEO_TS folder) whose title
// libdvdnav plays.
SourcePictures readSourcePictures(const std::string& source, int title = 0);

struct ClipCheck {
    std::vector<int> numbers;    // each picture's strip, in display order
    std::vector<double> psnr;    // each picture's luma against the source's picture of its
                                 // number: infinity where identical, -1 where none has it
    std::string decodeErrors;    // what ffmpeg -v error printed decoding every stream
    double seconds = 0;          // the clip's pictures' display time, as ffprobe reads them
    bool playedToEnd = false;    // mpv reached the end of the file
    double playedSeconds = 0;    // and played this long
    std::string authorErrors;    // dvdauthor's complaint; empty when it authored the clip
    bool dvdPlayedToEnd = false; // mpv reached the end of the authored title (dvd://)
    double dvdSeconds = 0;       // the title's length as mpv reads it there
};

// `format` is dvdauthor's VIDEO_FORMAT: PAL or NTSC.
ClipCheck checkClip(const std::string& clip, const SourcePictures& source,
                    const std::string& format);

// Whether the clip holds the video and subpicture packs of `source` from byte `from` to
// `to`, in order and one after another: navigation packs' addresses are the cutter's to
// write anew, and audio packs at a copied stretch's ends are cut to the clip's sound.
bool holdsPacks(const std::string& clip, const std::string& source, std::int64_t from,
                std::int64_t to);

} // namespace parvane::testing
