#include "support/exact_media.h"

#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace parvane::testing {
namespace {

namespace fs = std::filesystem;

// ffmpeg's input of pictures of `size` at `rate`, the strip counting from `first`.
std::string numberedPictures(const std::string& size, const std::string& rate, int first) {
    const std::string d = ":rate=" + rate + "[t];";
    return "\"testsrc2=size=" + size + d + "nullsrc=size=720x48:rate=" + rate +
           ",format=gray,geq=lum='255*mod(floor((N+" + std::to_string(first) +
           ")/pow(2\\,floor(X/60)))\\,2)'[b];[t][b]overlay=0:0,format=yuv420p\"";
}

// The pictures of one cell's stream in display order, numbered from `first`, shown from
// `start` on the title: their lengths come from ffprobe, repeated fields included.
double addPictures(ExactTitle& title, const std::string& stream, int cell, double start) {
    std::istringstream lines(toolOutput("ffprobe -v error -select_streams v -show_entries "
                                        "frame=pict_type,pkt_duration_time -of csv=p=0 '" +
                                        stream + "'"));
    for (std::string line; std::getline(lines, line);) {
        const auto comma = line.find(',');
        if (comma == std::string::npos)
            continue;
        TitlePicture picture;
        picture.number = static_cast<int>(title.pictures.size());
        picture.seconds = std::strtod(line.c_str(), nullptr);
        picture.type = line[comma + 1];
        picture.cell = cell;
        picture.time = start;
        start += picture.seconds;
        title.pictures.push_back(picture);
    }
    return start;
}

// dvdauthor's title of `cells`, then the title as libdvdnav plays it and its VOBUs.
void author(ExactTitle& title, const std::string& folder, const std::vector<std::string>& cells,
            const std::string& extra = "") {
    std::string vobs;
    for (const std::string& cell : cells)
        vobs += "<vob file=\"" + cell + "\"/>";
    std::ofstream(folder + "/title.xml")
        << "<dvdauthor dest=\"" << folder << "/dvd\"><vmgm/><titleset><titles>" << extra << "<pgc>"
        << vobs << "</pgc></titles></titleset></dvdauthor>\n";
    runTool("VIDEO_FORMAT=" + title.format + " dvdauthor -x '" + folder + "/title.xml'");
    title.videoTs = folder + "/dvd/VIDEO_TS";
    title.vobs = {title.videoTs + "/VTS_01_1.VOB"};
}

void play(ExactTitle& title, const std::string& folder) {
    const std::vector<std::uint8_t> played = playWithDvdnav(title.videoTs, 1);
    title.played = folder + "/played.vob";
    writeFile(title.played, played);
    constexpr std::size_t pack = 2048;
    for (std::size_t at = 0; at + pack <= played.size(); at += pack)
        if (played[at + 17] == 0xBB && played[at + 41] == 0xBF && played[at + 44] == 0)
            title.vobuStarts.push_back(static_cast<std::int64_t>(at));
    title.vobuStarts.push_back(static_cast<std::int64_t>(played.size()));
}

} // namespace

ExactTitle makePalTitle(const std::string& folder) {
    ExactTitle title;
    title.format = "PAL";
    runTool("ffmpeg -nostdin -y -f lavfi -i color=c=white:s=160x40 -frames:v 1 '" + folder +
            "/line.png'");
    std::ofstream(folder + "/subtitles.xml")
        << "<subpictures><stream><spu start=\"00:00:00.5\" end=\"00:00:01.5\" image=\"" << folder
        << "/line.png\"/><spu start=\"00:00:02.0\" end=\"00:00:02.5\" image=\"" << folder
        << "/line.png\"/></stream></subpictures>\n";
    constexpr int frames = 75;
    std::vector<std::string> cells;
    double start = 0;
    for (int cell = 0; cell < 3; ++cell) {
        const std::string plain = folder + "/plain" + std::to_string(cell) + ".mpg";
        runTool("ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:d=3 -f lavfi -i " +
                numberedPictures("720x576", "25", cell * frames) + " -frames:v " +
                std::to_string(frames) +
                " -target pal-dvd -aspect 16:9 -bf 2 "
                "-flags +ildct+ilme -top 1 '" +
                plain + "'");
        cells.push_back(folder + "/cell" + std::to_string(cell) + ".mpg");
        // In a subshell: runTool sends the command's own output away.
        runTool("(spumux -s 0 '" + folder + "/subtitles.xml' < '" + plain + "' > '" + cells.back() +
                "')");
        start = addPictures(title, cells.back(), cell, start);
    }
    author(title, folder, cells,
           "<video format=\"pal\" aspect=\"16:9\"/><subpicture lang=\"en\"/>");

    // dvdauthor splits a title's VOB past 1 GiB only; the same cut, at a pack in the middle
    // of the second cell, made here by hand.
    const std::vector<std::uint8_t> whole = readFile(title.vobs[0]);
    const auto half = static_cast<std::ptrdiff_t>(whole.size() / 2 / 2048 * 2048);
    writeFile(title.vobs[0], {whole.begin(), whole.begin() + half});
    title.vobs.push_back(title.videoTs + "/VTS_01_2.VOB");
    writeFile(title.vobs[1], {whole.begin() + half, whole.end()});
    play(title, folder);
    return title;
}

ExactTitle makeNtscTitle(const std::string& folder) {
    ExactTitle title;
    title.format = "NTSC";
    const std::string cell = folder + "/cell0.mpg";
    runTool("ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:d=3 -f lavfi -i " +
            numberedPictures("720x480", "30000/1001", 0) +
            " -frames:v 90 -target ntsc-dvd -aspect 4:3 -c:a pcm_s16be "
            "-ac 2 -bf 2 -flags +ildct+ilme -top 1 '" +
            cell + "'");
    addPictures(title, cell, 0, 0);
    author(title, folder, {cell});
    play(title, folder);
    return title;
}

ExactTitle makeFilmTitle(const std::string& folder) {
    ExactTitle title;
    title.format = "NTSC";
    // -p writes the pulldown flags: 24000/1001 pictures shown at 30000/1001 frames.
    runTool("(ffmpeg -nostdin -y -f lavfi -i " + numberedPictures("720x480", "24000/1001", 0) +
            " -frames:v 48 -f yuv4mpegpipe - | mpeg2enc " +
            "-f 8 -p -F 1 -a 2 -R 2 -I 0 -n n -o '" + folder + "/film.m2v')");
    runTool("ffmpeg -nostdin -y -f lavfi -i sine=frequency=440:d=2 -ar 48000 -c:a ac3 -b:a 192k '" +
            folder + "/film.ac3'");
    const std::string cell = folder + "/cell0.mpg";
    runTool("mplex -f 8 -o '" + cell + "' '" + folder + "/film.m2v' '" + folder + "/film.ac3'");
    addPictures(title, cell, 0, 0);
    author(title, folder, {cell});
    play(title, folder);
    return title;
}

} // namespace parvane::testing
