#include "media.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace parvane::testing {

namespace {

void run(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test media: command failed: " + command);
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

std::string makeDvd(const std::string& folder, int seconds) {
    const std::string stream = folder + "/title.mpg";
    makeProgramStream(stream, seconds);
    run("VIDEO_FORMAT=PAL dvdauthor -o " + quoted(folder + "/dvd") + " -t " + quoted(stream));
    run("VIDEO_FORMAT=PAL dvdauthor -o " + quoted(folder + "/dvd") + " -T");
    return folder + "/dvd/VIDEO_TS/VTS_01_1.VOB";
}

double probeDuration(const std::string& path) {
    const std::string command =
        "ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(path);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    std::array<char, 128> line{};
    if (!pipe || !std::fgets(line.data(), line.size(), pipe.get()))
        throw std::runtime_error("ffprobe read nothing from " + path);
    return std::strtod(line.data(), nullptr);
}

} // namespace parvane::testing
