#pragma once

// Test media made with ffmpeg: PAL DVD MPEG-2 program streams whose frames show their own
// time and frame number. Each throws std::runtime_error when the tool fails.

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace parvane::testing {

inline void runTool(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("test media: command failed: " + command);
}

inline std::string toolOutput(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        throw std::runtime_error("test media: cannot run " + command);
    std::string text;
    std::array<char, 4096> piece{};
    while (const std::size_t got = std::fread(piece.data(), 1, piece.size(), pipe.get()))
        text.append(piece.data(), got);
    return text;
}

// A program stream of `seconds` seconds at `path`.
inline void makeProgramStream(const std::string& path, int seconds) {
    runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
            "sine=frequency=440 -t " +
            std::to_string(seconds) + " -target pal-dvd '" + path + "'");
}

// A variable-bit-rate one: a still picture for the first half and moving test pictures for
// the second (about 12 % of the bytes in the first half), the running time burned into every
// frame.
inline void makeVbrProgramStream(const std::string& path, int seconds) {
    const std::string half = std::to_string(seconds / 2);
    const std::string still = "color=c=0x607080:size=720x576:rate=25:d=" + half;
    const std::string moving = "testsrc2=size=720x576:rate=25:d=" + half;
    const std::string clock =
        "drawtext=text='%{pts\\:hms}':fontsize=72:fontcolor=white:box=1:boxcolor=black:x=40:y=40";
    runTool("ffmpeg -nostdin -y -f lavfi -i \"" + still + "[a];" + moving +
            "[b];[a][b]concat=n=2:v=1:a=0," + clock + "\" -f lavfi -i sine=frequency=440 -t " +
            std::to_string(seconds) + " -target pal-dvd '" + path + "'");
}

// A DVD tree under `folder` made with dvdauthor from a program stream; returns the path of
// its VIDEO_TS/VTS_01_1.VOB.
inline std::string authorDvd(const std::string& folder, const std::string& stream) {
    runTool("VIDEO_FORMAT=PAL dvdauthor -o '" + folder + "/dvd' -t '" + stream + "'");
    runTool("VIDEO_FORMAT=PAL dvdauthor -o '" + folder + "/dvd' -T");
    return folder + "/dvd/VIDEO_TS/VTS_01_1.VOB";
}

// A DVD tree under `folder` whose one title is `cells` pieces of `seconds` seconds, each
// encoded apart so that each starts its clock again, as commercial discs do between cells.
// A strip across the top of every frame shows the frame's number on the title in 12 binary
// blocks of 60 pixels, lowest bit at the left, white for 1. Returns the folder of the disc.
inline std::string authorTitleOfCells(const std::string& folder, int cells, int seconds) {
    std::string vobs;
    for (int i = 0; i < cells; ++i) {
        const std::string piece = folder + "/cell" + std::to_string(i) + ".mpg";
        const std::string first = std::to_string(i * seconds * 25);
        const std::string length = std::to_string(seconds);
        runTool("ffmpeg -nostdin -y -f lavfi -i \"testsrc2=size=720x576:rate=25:d=" + length +
                "[t];nullsrc=size=720x48:rate=25:d=" + length +
                ",format=gray,geq=lum='255*mod(floor((N+" + first +
                ")/pow(2\\,floor(X/60)))\\,2)'[b];[t][b]overlay=0:0\" -f lavfi -i "
                "sine=frequency=440 -t " +
                length + " -target pal-dvd -aspect 4:3 -bf 2 '" + piece + "'");
        vobs += "<vob file=\"" + piece + "\" chapters=\"0\"/>";
    }
    const std::string xml = folder + "/dvd.xml";
    const std::string text = "<dvdauthor dest=\"" + folder +
                             "/dvd\"><vmgm/><titleset><titles><pgc>" + vobs +
                             "</pgc></titles></titleset></dvdauthor>";
    if (std::FILE* out = std::fopen(xml.c_str(), "w")) {
        std::fputs(text.c_str(), out);
        std::fclose(out);
    }
    runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + xml + "'");
    return folder + "/dvd";
}

// A DVD title under `folder`/dvd (returns its VIDEO_TS folder) of three 12-second pieces
// encoded apart, so each cell's clock starts again near 0 as on commercial discs: open
// picture groups with B pictures, as discs have. Chapters start at 0, at about 6 s (a
// cell boundary inside the first piece, its clock running on), at 12 and at 24 s.
inline std::string authorCellTitle(const std::string& folder) {
    std::string pieces;
    for (int piece = 1; piece <= 3; ++piece) {
        const std::string path = folder + "/piece" + std::to_string(piece) + ".vob";
        runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
                "sine=frequency=" +
                std::to_string(220 * piece) + " -t 12 -target pal-dvd -bf 2 -flags -cgop '" + path +
                "'");
        pieces += "<vob file=\"" + path +
                  (piece == 1 ? "\" chapters=\"0,0:06\"/>" : "\" chapters=\"0\"/>");
    }
    const std::string xml = folder + "/title.xml";
    std::ofstream(xml) << "<dvdauthor dest=\"" << folder << "/dvd\"><vmgm/><titleset><titles><pgc>"
                       << pieces << "</pgc></titles></titleset></dvdauthor>\n";
    runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + xml + "'");
    return folder + "/dvd/VIDEO_TS";
}

// A title over 1 GiB under `folder`/dvd, which dvdauthor splits into VTS_01_1.VOB and
// VTS_01_2.VOB (returns its VIDEO_TS folder): one 12-second piece encoded once and
// stream-copied `copies` times, the clock running on through the copies. About 10 s.
inline std::string authorSplitTitle(const std::string& folder, int copies = 125) {
    const std::string piece = folder + "/piece.vob";
    runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
            "sine=frequency=440 -t 12 -target pal-dvd '" +
            piece + "'");
    const std::string list = folder + "/list.txt";
    {
        std::ofstream out(list);
        for (int copy = 0; copy < copies; ++copy)
            out << "file '" << piece << "'\n";
    }
    // The DVD muxer takes no navigation data stream: dvdauthor makes new navigation packs.
    const std::string joined = folder + "/joined.vob";
    runTool("ffmpeg -nostdin -y -f concat -safe 0 -i '" + list +
            "' -map 0:v -map 0:a -c copy -f dvd '" + joined + "'");
    runTool("VIDEO_FORMAT=PAL dvdauthor -o '" + folder + "/dvd' -t '" + joined + "'");
    runTool("VIDEO_FORMAT=PAL dvdauthor -o '" + folder + "/dvd' -T");
    std::filesystem::remove(joined);
    std::filesystem::remove(piece);
    return folder + "/dvd/VIDEO_TS";
}

// A 2-second DVD title under `folder`/dvd (returns its VIDEO_TS folder) with a mono AC-3
// stream the title set calls English, a stereo MPEG audio stream it calls German, and a
// subtitle stream made by spumux that it calls French.
inline std::string authorStreamsTitle(const std::string& folder) {
    const std::string plain = folder + "/streams.mpg";
    runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi -i "
            "sine=frequency=440 -f lavfi -i sine=frequency=660 -map 0:v -map 1:a -map 2:a -t 2 "
            "-target pal-dvd -c:a:1 mp2 -b:a:1 192k -ac:a:1 2 '" +
            plain + "'");
    runTool("ffmpeg -nostdin -y -f lavfi -i color=c=white:s=160x40 -frames:v 1 '" + folder +
            "/line.png'");
    std::ofstream(folder + "/line.xml") << "<subpictures><stream><spu start=\"00:00:00.5\" "
                                           "end=\"00:00:01.5\" image=\""
                                        << folder << "/line.png\"/></stream></subpictures>\n";
    const std::string subtitled = folder + "/subtitled.mpg";
    // In a subshell: runTool sends the command's own output away.
    runTool("(spumux -s 0 '" + folder + "/line.xml' < '" + plain + "' > '" + subtitled + "')");
    std::ofstream(folder + "/streams.xml")
        << "<dvdauthor dest=\"" << folder << "/dvd\"><vmgm/><titleset><titles>"
        << "<audio lang=\"en\"/><audio lang=\"de\"/><subpicture lang=\"fr\"/><pgc><vob file=\""
        << subtitled << "\"/></pgc></titles></titleset></dvdauthor>\n";
    runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + folder + "/streams.xml'");
    return folder + "/dvd/VIDEO_TS";
}

// An ISO image of a DVD folder (the folder that holds VIDEO_TS).
inline void makeIso(const std::string& dvdFolder, const std::string& image) {
    runTool("genisoimage -dvd-video -V PARVANE -o '" + image + "' '" + dvdFolder + "'");
}

// What ffprobe reads from a file: the duration, or the start time the player's position
// counts from (`entry` "duration" or "start_time"), in seconds.
inline double probe(const std::string& path, const std::string& entry = "duration") {
    const std::string text = toolOutput("ffprobe -v error -show_entries format=" + entry +
                                        " -of csv=p=0 '" + path + "'");
    if (text.empty())
        throw std::runtime_error("ffprobe read nothing from " + path);
    return std::strtod(text.c_str(), nullptr);
}

// The presentation times of a file's video packets, lowest first.
inline std::vector<double> probeVideoTimes(const std::string& path) {
    std::istringstream lines(toolOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 '" + path +
        "'"));
    std::vector<double> times;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty() && line != "N/A")
            times.push_back(std::strtod(line.c_str(), nullptr));
    std::sort(times.begin(), times.end());
    return times;
}

// Video packet times in the order they are stored, in runs split where the clock starts
// again (falls back by more than 5 s).
inline std::vector<std::vector<double>> videoTimeRuns(const std::string& path) {
    std::istringstream lines(toolOutput(
        "ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 '" + path +
        "'"));
    std::vector<std::vector<double>> runs(1);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line == "N/A")
            continue;
        const double time = std::strtod(line.c_str(), nullptr);
        if (!runs.back().empty() && time < runs.back().back() - 5)
            runs.emplace_back();
        runs.back().push_back(time);
    }
    return runs;
}

// What ffmpeg reports as errors while decoding a file's video: empty for a clean one.
inline std::string decodeErrors(const std::string& path) {
    return toolOutput("ffmpeg -nostdin -v error -i '" + path + "' -map 0:v -f null - 2>&1");
}

} // namespace parvane::testing
