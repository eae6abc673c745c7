#include "support/interleaved_disc.h"

#include "support/media.h"
#include "support/temp_dir.h"

#include <dvdnav/dvdnav.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>

namespace parvane::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint32_t kSector = 2048;
constexpr std::size_t kPci = 45;   // the PCI's first byte in a navigation pack
constexpr std::size_t kDsi = 1031; // the DSI's
constexpr std::uint32_t kNoVobu = 0x3fffffff;
constexpr std::uint32_t kNoUnit = 0x7fffffff;

std::uint32_t get(const Bytes& b, std::size_t at, int size = 4) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | b.at(at + static_cast<std::size_t>(i));
    return value;
}

void put(Bytes& b, std::size_t at, std::uint32_t value, int size = 4) {
    for (int i = size - 1; i >= 0; --i, value >>= 8)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value);
}

// A piece encoded on its own, so its clock starts near 0 as each cell's does on discs. The
// strip shows `first` + the frame's number, `mark` in bits 10-11. Closed GOPs of one length
// whatever the picture (no new GOP at a scene change), one a VOBU, so both angles of a scene
// have as many VOBUs and each can be left at any unit's end, as angle discs are made.
std::string encodePiece(const std::string& folder, const std::string& name, int seconds, int first,
                        int mark) {
    const std::string path = folder + "/" + name + ".mpg";
    const std::string length = std::to_string(seconds);
    runTool("ffmpeg -nostdin -y -f lavfi -i \"testsrc2=size=720x576:rate=25:d=" + length +
            "[t];nullsrc=size=720x48:rate=25:d=" + length +
            ",format=gray,geq=lum='255*mod(floor((N+" + std::to_string(first + mark * 1024) +
            ")/pow(2\\,floor(X/60)))\\,2)'[b];[t][b]overlay=0:0\" -f lavfi -i "
            "sine=frequency=440 -t " +
            length +
            " -target pal-dvd -aspect 4:3 -g 15 -bf 2 -flags +cgop -sc_threshold 1000000000 '" +
            path + "'");
    return path;
}

std::string authorPgcs(const std::string& folder, const std::string& pgcs) {
    const std::string xml = folder + "/dvd.xml";
    std::ofstream(xml) << "<dvdauthor dest=\"" << folder << "/dvd\"><vmgm/><titleset><titles>"
                       << pgcs << "</titles></titleset></dvdauthor>\n";
    runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + xml + "'");
    return folder + "/dvd/VIDEO_TS";
}

std::string cell(const std::string& piece, bool chapter) {
    return "<vob file=\"" + piece + "\"><cell" + (chapter ? " chapter=\"1\"" : "") + "/></vob>";
}

int bcd(int byte) {
    return byte / 16 * 10 + byte % 16;
}
std::uint8_t toBcd(int n) {
    return static_cast<std::uint8_t>(n / 10 * 16 + n % 10);
}

struct Vobu {
    std::uint32_t from = 0, sectors = 0, to = 0;
    int vob = 0;   // the VOB id of its cell (one cell per VOB here)
    int unit = -1; // its interleaved unit, -1 outside them
    int rank = 0;  // where its VOB's unit comes in each round of units
};

// Moves the VOBUs of VOBs `vobs` of title set 1 (a cell each) to where the first of them
// began, in interleaved units: each VOB's VOBUs cut into as many units as the first VOB's
// make two VOBUs a unit, stored unit 1 of each VOB in turn, then unit 2 and so on, the
// VOBUs of other cells that were among them after them. Then rewrites the navigation packs
// and the title set's tables to the new places, and for `angles` makes the cells an angle
// block.
void interleave(const std::string& videoTs, const std::vector<int>& vobs, bool angles) {
    const std::string vobPath = videoTs + "/VTS_01_1.VOB";
    const Bytes old = readFile(vobPath);
    std::vector<Vobu> vobus;
    std::map<int, int> count;
    for (std::uint32_t s = 0; s < old.size() / kSector; ++s) {
        const std::size_t at = std::size_t{s} * kSector;
        if (old[at + 17] == 0xBB && old[at + 41] == 0xBF && old[at + 44] == 0x00)
            ++count[vobus.emplace_back(s, 0, 0, get(old, at + kDsi + 24, 2)).vob];
    }
    const int perVob = (count[vobs[0]] + 1) / 2;
    std::map<int, int> seen;
    for (std::size_t i = 0; i < vobus.size(); ++i) {
        Vobu& vobu = vobus[i];
        vobu.sectors =
            (i + 1 < vobus.size() ? vobus[i + 1].from : old.size() / kSector) - vobu.from;
        if (const auto at = std::find(vobs.begin(), vobs.end(), vobu.vob); at != vobs.end()) {
            vobu.rank = static_cast<int>(at - vobs.begin());
            vobu.unit = seen[vobu.vob]++ / ((count[vobu.vob] + perVob - 1) / perVob);
        }
    }
    std::vector<Vobu*> order;
    for (Vobu& vobu : vobus)
        order.push_back(&vobu);
    const auto moving = [](const Vobu* v) { return v->unit >= 0; };
    const auto from = std::find_if(order.begin(), order.end(), moving);
    std::stable_sort(from, std::stable_partition(from, order.end(), moving),
                     [](const Vobu* a, const Vobu* b) {
                         return std::pair(a->unit, a->rank) < std::pair(b->unit, b->rank);
                     });

    Bytes vob(old.size());
    std::map<std::uint32_t, const Vobu*> moved; // by first sector as authored
    std::map<std::pair<int, int>, std::pair<std::uint32_t, std::uint32_t>> units; // first, last
    std::vector<int> stored; // the VOBs in the order they are stored
    std::uint32_t next = 0;
    for (Vobu* vobu : order) {
        std::copy_n(old.begin() + std::size_t{vobu->from} * kSector, vobu->sectors * kSector,
                    vob.begin() + std::size_t{next} * kSector);
        vobu->to = next;
        moved[vobu->from] = vobu;
        next += vobu->sectors;
        units.try_emplace({vobu->vob, vobu->unit}, vobu->to, 0).first->second.second = next - 1;
        if (std::find(stored.begin(), stored.end(), vobu->vob) == stored.end())
            stored.push_back(vobu->vob);
    }
    // VOB ids that rise with the sectors, as on discs, where dvdauthor numbered the VOBs in
    // the order the chains first name them.
    const auto id = [&](int vob) {
        return static_cast<std::uint32_t>(std::find(stored.begin(), stored.end(), vob) -
                                          stored.begin() + 1);
    };
    for (const Vobu& vobu : vobus) {
        const std::size_t nav = std::size_t{vobu.to} * kSector;
        put(vob, nav + kPci, vobu.to);
        put(vob, nav + kDsi + 4, vobu.to);
        put(vob, nav + kDsi + 24, id(vobu.vob), 2);
        // The search pointers, next_video, fwda[19], next_vobu forward and prev_vobu,
        // bwda[19], prev_video backward, each to a VOBU of the same cell.
        for (std::size_t i = 0; i < 42; ++i) {
            const std::size_t at = nav + kDsi + 234 + 4 * i;
            const std::uint32_t value = get(vob, at), offset = value & kNoVobu;
            if (offset == kNoVobu)
                continue;
            const std::uint32_t to = moved.at(i < 21 ? vobu.from + offset : vobu.from - offset)->to;
            put(vob, at, (value & ~kNoVobu) | (i < 21 ? to - vobu.to : vobu.to - to));
        }
        if (vobu.unit < 0)
            continue;
        // Where this unit ends and where the cell's next unit is, and each angle's.
        const auto [first, last] = units.at({vobu.vob, vobu.unit});
        put(vob, nav + kDsi + 32,
            0x4000 | (first == vobu.to ? 0x2000 : 0) | (last < vobu.to + vobu.sectors ? 0x1000 : 0),
            2);
        put(vob, nav + kDsi + 34, last - vobu.to);
        const auto point = [&](std::size_t at, int cell) {
            const auto unit = units.find({cell, vobu.unit + 1});
            put(vob, at, unit == units.end() ? kNoUnit : unit->second.first - vobu.to);
            put(vob, at + 4, unit == units.end() ? 0 : unit->second.second - unit->second.first + 1,
                2);
        };
        point(nav + kDsi + 38, vobu.vob);
        for (std::size_t a = 0; angles && a < vobs.size(); ++a)
            point(nav + kDsi + 180 + 6 * a, vobs[a]);
    }
    writeFile(vobPath, vob);

    std::map<int, std::pair<const Vobu*, const Vobu*>> ends; // each VOB's first and last VOBU
    for (const Vobu& vobu : vobus)
        ends.try_emplace(vobu.vob, &vobu, &vobu).first->second.second = &vobu;
    Bytes ifo = readFile(videoTs + "/VTS_01_0.IFO");
    const std::size_t pgcit = get(ifo, 0xCC) * kSector;
    for (std::uint32_t p = 0; p < get(ifo, pgcit, 2); ++p) {
        const std::size_t pgc = pgcit + get(ifo, pgcit + 12 + 8 * p);
        int frames = 0; // in the chain, one angle of a block counting
        for (std::size_t c = 0; c < ifo[pgc + 3]; ++c) {
            const std::size_t play = pgc + get(ifo, pgc + 0xE8, 2) + 24 * c;
            const std::size_t position = pgc + get(ifo, pgc + 0xEA, 2) + 4 * c;
            const int v = static_cast<int>(get(ifo, position, 2));
            put(ifo, position, id(v), 2);
            const auto [first, last] = ends.at(v);
            put(ifo, play + 8, first->to);
            put(ifo, play + 16, last->to);
            put(ifo, play + 20, last->to + last->sectors - 1);
            if (first->unit >= 0) {
                put(ifo, play + 12, units.at({v, 0}).second);
                ifo[play] |= 0x0c; // seamless, interleaved
                if (angles) // first / in / last cell of an angle block (type 1), seamless angle
                    ifo[play] |= (first->rank == 0                      ? 0x40
                                  : first->rank + 1 == int(vobs.size()) ? 0xc0
                                                                        : 0x80) |
                                 0x11;
            }
            if (ifo[play] >> 6 < 2)
                frames +=
                    ((bcd(ifo[play + 4]) * 60 + bcd(ifo[play + 5])) * 60 + bcd(ifo[play + 6])) *
                        25 +
                    bcd(ifo[play + 7] & 0x3f);
        }
        const std::uint8_t time[] = {toBcd(frames / 90000), toBcd(frames / 1500 % 60),
                                     toBcd(frames / 25 % 60),
                                     std::uint8_t(0x40 | toBcd(frames % 25))};
        std::copy_n(time, 4, ifo.begin() + static_cast<std::ptrdiff_t>(pgc + 4));
    }
    const std::size_t cadt = get(ifo, 0xE0) * kSector;
    for (std::size_t at = cadt + 8, i = 0; at + 12 <= cadt + get(ifo, cadt + 4) + 1; at += 12) {
        const auto [first, last] = ends.at(stored.at(i++)); // in the new order of the ids
        put(ifo, at, id(first->vob), 2);
        put(ifo, at + 4, first->to);
        put(ifo, at + 8, last->to + last->sectors - 1);
    }
    const std::size_t admap = get(ifo, 0xE4) * kSector;
    if ((get(ifo, admap) - 3) / 4 != vobus.size())
        throw std::runtime_error("test media: the VOBU map does not list every VOBU");
    std::vector<std::uint32_t> starts; // the map in sector order
    for (const Vobu& vobu : vobus)
        starts.push_back(vobu.to);
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 0; i < starts.size(); ++i)
        put(ifo, admap + 4 + 4 * i, starts[i]);
    // The time maps, an entry a second of each chain, without the other angles' VOBUs, as a
    // chain's time runs through one angle.
    const std::size_t tmapt = get(ifo, 0xD4) * kSector;
    for (std::size_t m = 0; tmapt && m < get(ifo, tmapt, 2); ++m) {
        const std::size_t map = tmapt + get(ifo, tmapt + 8 + 4 * m);
        std::vector<std::uint32_t> kept;
        for (std::size_t e = 0; e < get(ifo, map + 2, 2); ++e) {
            const std::uint32_t entry = get(ifo, map + 4 + 4 * e);
            const Vobu* vobu = moved.at(entry & 0x7fffffff);
            if (!angles || vobu->rank == 0)
                kept.push_back((entry & 0x80000000) | vobu->to);
        }
        put(ifo, map + 2, static_cast<std::uint32_t>(kept.size()), 2);
        for (std::size_t e = 0; e < kept.size(); ++e)
            put(ifo, map + 4 + 4 * e, kept[e]);
    }
    writeFile(videoTs + "/VTS_01_0.IFO", ifo);
    writeFile(videoTs + "/VTS_01_0.BUP", ifo);
}

} // namespace

std::string authorAngleDisc(const std::string& folder) {
    const std::string opening = encodePiece(folder, "opening", 6, 0, 0);
    const std::string angle1 = encodePiece(folder, "angle1", 10, 150, 1);
    const std::string angle2 = encodePiece(folder, "angle2", 10, 150, 2);
    const std::string ending = encodePiece(folder, "ending", 6, 400, 0);
    const std::string videoTs =
        authorPgcs(folder, "<pgc>" + cell(opening, true) + cell(angle1, false) +
                               cell(angle2, false) + cell(ending, true) + "</pgc>");
    interleave(videoTs, {2, 3}, true);
    Bytes vmg = readFile(videoTs + "/VIDEO_TS.IFO");
    vmg.at(get(vmg, 0xC4) * kSector + 8 + 1) = 2; // title 1's angles
    writeFile(videoTs + "/VIDEO_TS.IFO", vmg);
    writeFile(videoTs + "/VIDEO_TS.BUP", vmg);
    return videoTs;
}

std::string authorBranchingDisc(const std::string& folder) {
    const std::string opening = encodePiece(folder, "opening", 6, 0, 0);
    const std::string middle1 = encodePiece(folder, "middle1", 8, 150, 1);
    const std::string middle2 = encodePiece(folder, "middle2", 12, 150, 2);
    const std::string ending = encodePiece(folder, "ending", 6, 0, 3);
    // dvdauthor stores a file that two chains name once, in the order first named: VOB 1
    // the opening, 2 the first middle, 3 the ending, 4 the second middle.
    const std::string videoTs =
        authorPgcs(folder, "<pgc>" + cell(opening, true) + cell(middle1, false) +
                               cell(ending, true) + "</pgc><pgc>" + cell(opening, true) +
                               cell(middle2, false) + cell(ending, true) + "</pgc>");
    interleave(videoTs, {2, 4}, false);
    return videoTs;
}

std::vector<int> stripNumbers(const std::string& mpegFile) {
    constexpr std::size_t width = 720, row = 24 * width, frame = 48 * width;
    const std::string gray =
        toolOutput("ffmpeg -nostdin -v error -i '" + mpegFile +
                   "' -an -fps_mode passthrough -vf crop=720:48:0:0,format=gray -f rawvideo -");
    std::vector<int> values;
    for (std::size_t at = 0; at + frame <= gray.size(); at += frame) {
        int value = 0;
        for (std::size_t bit = 0; bit < 12; ++bit)
            value |= (static_cast<unsigned char>(gray[at + row + 60 * bit + 30]) > 127) << bit;
        values.push_back(value);
    }
    return values;
}

std::vector<std::uint8_t> playWithDvdnav(const std::string& videoTs, int title, int angle,
                                         int chapter) {
    const dvdnav_logger_cb quiet{[](void*, dvdnav_logger_level_t, const char*, va_list) {}};
    dvdnav_t* opened = nullptr;
    if (dvdnav_open2(&opened, nullptr, &quiet, videoTs.c_str()) != DVDNAV_STATUS_OK)
        throw std::runtime_error("libdvdnav cannot open " + videoTs);
    const std::unique_ptr<dvdnav_t, dvdnav_status_t (*)(dvdnav_t*)> nav(opened, dvdnav_close);
    if (title > 0 && (dvdnav_part_play(nav.get(), title, chapter) != DVDNAV_STATUS_OK ||
                      dvdnav_angle_change(nav.get(), angle) != DVDNAV_STATUS_OK))
        throw std::runtime_error(std::string("libdvdnav: ") + dvdnav_err_to_string(nav.get()));
    std::vector<std::uint8_t> played;
    std::vector<std::uint8_t> block(DVD_VIDEO_LB_LEN);
    for (int blocks = 0; blocks < 1'000'000; ++blocks) { // in case it never stops
        int event = 0;
        int length = 0;
        if (dvdnav_get_next_block(nav.get(), block.data(), &event, &length) != DVDNAV_STATUS_OK ||
            event == DVDNAV_STOP || event == DVDNAV_STILL_FRAME)
            break;
        if (event == DVDNAV_BLOCK_OK || event == DVDNAV_NAV_PACKET)
            played.insert(played.end(), block.begin(), block.end());
        else if (event == DVDNAV_WAIT)
            dvdnav_wait_skip(nav.get());
    }
    return played;
}

} // namespace parvane::testing
