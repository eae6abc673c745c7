#pragma once

#include <string>

namespace parvane::testing {

// Test media made with ffmpeg: PAL DVD MPEG-2 program streams whose frames show their
// own time and frame number. Each throws std::runtime_error when the tool fails.

// A program stream of `seconds` seconds at `path`.
void makeProgramStream(const std::string& path, int seconds);
// A DVD tree under `folder` made with dvdauthor; returns the path of VIDEO_TS/VTS_01_1.VOB.
std::string makeDvd(const std::string& folder, int seconds);
// The duration ffprobe reads from a file, in seconds.
double probeDuration(const std::string& path);

} // namespace parvane::testing
