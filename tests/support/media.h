#pragma once

#include <string>
#include <vector>

namespace parvane::testing {

// Test media made with ffmpeg: PAL DVD MPEG-2 program streams whose frames show their
// own time and frame number. Each throws std::runtime_error when the tool fails.

// A program stream of `seconds` seconds at `path`.
void makeProgramStream(const std::string& path, int seconds);
// A variable-bit-rate one: a still picture for the first half and moving test pictures
// for the second (about 12 % of the bytes in the first half), the running time burned
// into every frame.
void makeVbrProgramStream(const std::string& path, int seconds);
// A DVD tree under `folder` made with dvdauthor from a program stream, or from a new one of
// `seconds` seconds; returns the path of VIDEO_TS/VTS_01_1.VOB.
std::string authorDvd(const std::string& folder, const std::string& stream);
std::string makeDvd(const std::string& folder, int seconds);
// What ffprobe reads from a file: the duration, or the start time the player's position
// counts from (`entry` "duration" or "start_time"), in seconds.
double probe(const std::string& path, const std::string& entry = "duration");
// The presentation times of a file's video packets, lowest first.
std::vector<double> probeVideoTimes(const std::string& path);
// What ffmpeg reports as errors while decoding a file's video: empty for a clean one.
std::string decodeErrors(const std::string& path);

} // namespace parvane::testing
