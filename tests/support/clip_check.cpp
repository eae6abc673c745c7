#include "support/clip_check.h"

#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>
#include <string_view>

namespace parvane::testing {
namespace {

constexpr std::size_t kPack = 2048;

// Every picture's luma, in display order, each once as coded: repeated fields are the
// display's business, not pictures of their own.
std::vector<std::string> decodeLuma(const std::string& path) {
    std::istringstream size(toolOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                       "stream=width,height -of csv=p=0 '" +
                                       path + "'"));
    std::size_t width = 0;
    std::size_t height = 0;
    char comma = 0;
    if (!(size >> width >> comma >> height) || width == 0 || height == 0)
        throw std::runtime_error("ffprobe finds no pictures in " + path);
    const std::string luma =
        toolOutput("ffmpeg -nostdin -v error -i '" + path +
                   "' -map 0:v:0 -fps_mode passthrough -f rawvideo -pix_fmt gray -");
    std::vector<std::string> pictures;
    for (std::size_t at = 0; at + width * height <= luma.size(); at += width * height)
        pictures.push_back(luma.substr(at, width * height));
    return pictures;
}

// The strip: 12 blocks of 60 pixels across the top 48 rows, read in the middle of each.
int stripNumber(const std::string& luma) {
    constexpr std::size_t row = 24 * 720;
    int value = 0;
    for (std::size_t bit = 0; bit < 12; ++bit)
        value |= (static_cast<unsigned char>(luma[row + 60 * bit + 30]) > 127) << bit;
    return value;
}

double psnr(const std::string& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size())
        return 0;
    double squares = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double difference = static_cast<unsigned char>(a[i]) - b[i];
        squares += difference * difference;
    }
    if (squares == 0)
        return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * static_cast<double>(a.size()) / squares);
}

// mpv to the end of `target`: how far the position moved forward, added up so a clock
// that starts again inside does not shorten it, and the length mpv gives the whole.
struct Played {
    bool toEnd = false;
    double seconds = 0;
    double length = 0;
};

Played playWithMpv(const std::string& target, const TempDir& dir) {
    const std::string script = dir.file("played.lua");
    std::ofstream(script)
        << "local last, played, length = nil, 0, 0\n"
           "mp.observe_property('duration', 'number', function(_, d) if d then length = d end "
           "end)\n"
           "mp.observe_property('time-pos', 'number', function(_, now)\n"
           "  if now and last and now > last and now - last < 1 then played = played + now - "
           "last end\n"
           "  if now then last = now end\n"
           "end)\n"
           "mp.register_event('end-file', function(e) print('parvane-end ' .. e.reason .. ' ' "
           ".. played .. ' ' .. length) end)\n";
    // timeout ends a player that loops instead of ending, which is a failure to report.
    const std::string out = toolOutput(
        "timeout 60 mpv --no-config --vo=null --ao=null --ao-null-untimed --untimed --script='" +
        script + "' " + target + " 2>&1");
    Played played;
    const auto at = out.find("parvane-end ");
    if (at == std::string::npos)
        return played;
    std::istringstream words(out.substr(at + 12));
    std::string reason;
    words >> reason >> played.seconds >> played.length;
    played.toEnd = reason == "eof";
    return played;
}

std::vector<std::string_view> packsOf(const std::string& bytes) {
    std::vector<std::string_view> packs;
    for (std::size_t at = 0; at + kPack <= bytes.size(); at += kPack) {
        const std::string_view pack(bytes.data() + at, kPack);
        const bool navigation = pack[17] == char(0xBB) && pack[41] == char(0xBF) && pack[44] == 0;
        // Audio packs at either end of a copied stretch are cut to the clip's sound, in
        // their places; the ffmpeg and length checks answer for the sound.
        const auto id = static_cast<unsigned char>(pack[17]);
        const auto substream =
            static_cast<unsigned char>(pack[23 + static_cast<unsigned char>(pack[22])]);
        const bool audio =
            (id & 0xE0) == 0xC0 || id == 0xBE || (id == 0xBD && (substream & 0xE0) != 0x20);
        if (!navigation && !audio)
            packs.push_back(pack);
    }
    return packs;
}

} // namespace

SourcePictures readSourcePictures(const std::string& source, int title) {
    TempDir dir;
    std::string stream = source;
    if (title > 0) {
        stream = dir.file("title.vob");
        writeFile(stream, playWithDvdnav(source, title));
    }
    SourcePictures pictures;
    for (std::string& luma : decodeLuma(stream))
        pictures.byNumber[stripNumber(luma)].assign(luma.begin(), luma.end());
    return pictures;
}

ClipCheck checkClip(const std::string& clip, const SourcePictures& source,
                    const std::string& format) {
    ClipCheck check;
    for (const std::string& luma : decodeLuma(clip)) {
        check.numbers.push_back(stripNumber(luma));
        const auto found = source.byNumber.find(check.numbers.back());
        check.psnr.push_back(found == source.byNumber.end() ? -1 : psnr(luma, found->second));
    }
    check.decodeErrors = toolOutput("ffmpeg -nostdin -v error -i '" + clip + "' -f null - 2>&1");
    std::istringstream lengths(toolOutput("ffprobe -v error -select_streams v:0 -show_entries "
                                          "frame=pkt_duration_time -of csv=p=0 '" +
                                          clip + "'"));
    double last = 0;
    for (std::string line; std::getline(lengths, line);)
        if (!line.empty() && line != "N/A")
            check.seconds += last = std::strtod(line.c_str(), nullptr);
    // The players report where the last picture begins; it is then shown for its length.
    TempDir dir;
    const Played file = playWithMpv("'" + clip + "'", dir);
    check.playedToEnd = file.toEnd;
    check.playedSeconds = file.seconds + last;

    const std::string dvd = dir.file("dvd");
    const std::string authored =
        toolOutput("VIDEO_FORMAT=" + format + " dvdauthor -o '" + dvd + "' -t '" + clip +
                   "' 2>&1 && VIDEO_FORMAT=" + format + " dvdauthor -o '" + dvd +
                   "' -T 2>&1 || echo 'ERR: dvdauthor failed'");
    std::istringstream lines(authored);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("ERR:", 0) == 0)
            check.authorErrors += line + "\n";
    if (check.authorErrors.empty()) {
        // mpv 0.35 reads a short title ahead to its end, then starts it again, so it shows
        // it twice: the length it takes from the title's cells stands for what it played.
        const Played title = playWithMpv("--dvd-device='" + dvd + "' dvd://", dir);
        check.dvdPlayedToEnd = title.toEnd;
        check.dvdSeconds = title.length;
    }
    return check;
}

bool holdsPacks(const std::string& clip, const std::string& source, std::int64_t from,
                std::int64_t to) {
    const std::vector<std::uint8_t> sourceBytes = readFile(source);
    const std::vector<std::uint8_t> clipBytes = readFile(clip);
    if (from < 0 || to < from || static_cast<std::size_t>(to) > sourceBytes.size())
        throw std::runtime_error("no such range in " + source);
    const std::string middle(sourceBytes.begin() + from, sourceBytes.begin() + to);
    const std::string whole(clipBytes.begin(), clipBytes.end());
    const std::vector<std::string_view> wanted = packsOf(middle);
    const std::vector<std::string_view> held = packsOf(whole);
    return !wanted.empty() &&
           std::search(held.begin(), held.end(), wanted.begin(), wanted.end()) != held.end();
}

} // namespace parvane::testing
