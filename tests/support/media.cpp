#include "media.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace parvane::testing {

namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test media: command failed: " + command);
}

std::string output(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        throw std::runtime_error("test media: cannot run " + command);
    std::string text;
    std::array<char, 4096> piece{};
    while (const std::size_t got = std::fread(piece.data(), 1, piece.size(), pipe.get()))
        text.append(piece.data(), got);
    return text;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

void makeProgramStream(const std::string& path, int seconds) {
    const std::string length = std::to_string(seconds);
    run("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
        "sine=frequency=440 -t " +
        length + " -target pal-dvd " + quoted(path));
}

void makeVbrProgramStream(const std::string& path, int seconds) {
    const std::string half = std::to_string(seconds / 2);
    const std::string still = "color=c=0x607080:size=720x576:rate=25:d=" + half;
    const std::string moving = "testsrc2=size=720x576:rate=25:d=" + half;
    const std::string clock =
        "drawtext=text='%{pts\\:hms}':fontsize=72:fontcolor=white:box=1:boxcolor=black:x=40:y=40";
    run("ffmpeg -nostdin -y -f lavfi -i \"" + still + "[a];" + moving +
        "[b];[a][b]concat=n=2:v=1:a=0," + clock + "\" -f lavfi -i sine=frequency=440 -t " +
        std::to_string(seconds) + " -target pal-dvd " + quoted(path));
}

std::string authorDvd(const std::string& folder, const std::string& stream) {
    run("VIDEO_FORMAT=PAL dvdauthor -o " + quoted(folder + "/dvd") + " -t " + quoted(stream));
    run("VIDEO_FORMAT=PAL dvdauthor -o " + quoted(folder + "/dvd") + " -T");
    return folder + "/dvd/VIDEO_TS/VTS_01_1.VOB";
}

std::string makeDvd(const std::string& folder, int seconds) {
    const std::string stream = folder + "/title.mpg";
    makeProgramStream(stream, seconds);
    return authorDvd(folder, stream);
}

double probe(const std::string& path, const std::string& entry) {
    const std::string text =
        output("ffprobe -v error -show_entries format=" + entry + " -of csv=p=0 " + quoted(path));
    if (text.empty())
        throw std::runtime_error("ffprobe read nothing from " + path);
    return std::strtod(text.c_str(), nullptr);
}

std::vector<double> probeVideoTimes(const std::string& path) {
    std::istringstream lines(output("ffprobe -v error -select_streams v -show_entries "
                                    "packet=pts_time -of csv=p=0 " +
                                    quoted(path)));
    std::vector<double> times;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "N/A")
            times.push_back(std::strtod(line.c_str(), nullptr));
    std::sort(times.begin(), times.end());
    return times;
}

std::string decodeErrors(const std::string& path) {
    return output("ffmpeg -nostdin -v error -i " + quoted(path) + " -map 0:v -f null - 2>&1");
}

} // namespace parvane::testing
