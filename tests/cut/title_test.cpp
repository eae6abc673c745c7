// DVD titles on discs made here by ffmpeg, dvdauthor and genisoimage: a title of three
// pieces whose clocks each start again, as a folder and as an ISO image, a title over
// 1 GiB that dvdauthor splits into two VOB files, and two titles whose chains the tests
// link and whose First Play they choose. The disc reader, the title's bytes, the range
// finder over cells and parvane-cut on them.

#include "core/base/texts.h"
#include "core/save/byte_copier.h"
#include "core/save/clip_plan.h"
#include "core/stream/stream_range.h"
#include "core/title/title_range.h"
#include "cut/run_cut.h"
#include "platform/dvdread/dvdread_disc_reader.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <dvdread/ifo_types.h>

#include <cmath>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iostream>
#include <sstream>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPack = 2048;
constexpr double kFrame = 0.04;

Bytes readRange(const std::string& path, std::int64_t offset, std::int64_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    Bytes bytes(static_cast<std::size_t>(length));
    in.read(reinterpret_cast<char*>(bytes.data()), length);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// A title's bytes as its extents say, read here without the program's title source.
Bytes titleBytes(const Title& title, std::int64_t offset, std::int64_t length) {
    Bytes bytes;
    std::int64_t at = 0;
    for (const Extent& extent : title.extents) {
        const std::int64_t from = std::max(offset, at);
        const std::int64_t to = std::min(offset + length, at + extent.length);
        if (from < to) {
            const Bytes piece = readRange(extent.path, extent.offset + from - at, to - from);
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        }
        at += extent.length;
    }
    return bytes;
}

bool isNavigationPack(const Bytes& bytes, std::size_t at) {
    return at + kPack <= bytes.size() && bytes[at + 17] == 0xBB && bytes[at + 41] == 0xBF &&
           bytes[at + 44] == 0x00;
}

int navigationPacks(const Bytes& bytes) {
    int count = 0;
    for (std::size_t at = 0; at < bytes.size(); at += kPack)
        count += isNavigationPack(bytes, at);
    return count;
}

std::size_t word(const Bytes& bytes, std::size_t at, int size) {
    std::size_t value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

// A title set's IFO and its backup changed alike; `edit` gets the IFO and its chain table.
void editTitleSet(const std::string& videoTs,
                  const std::function<void(Bytes&, std::size_t)>& edit) {
    for (const char* name : {"/VTS_01_0.IFO", "/VTS_01_0.BUP"}) {
        Bytes ifo = readFile(videoTs + name);
        edit(ifo, word(ifo, 0xCC, 4) * kPack);
        writeFile(videoTs + name, ifo);
    }
}

class TitleTest : public ::testing::Test {
protected:
    // Made once for all the tests of the process.
    struct Media {
        Media() {
            fs::create_directory(dir.path() / "cells");
            fs::create_directory(dir.path() / "split");
            cells = authorCellTitle(dir.file("cells"));
            iso = dir.file("cells.iso");
            makeIso(dir.file("cells/dvd"), iso);
            // Each piece's clock starts at its first picture.
            origin = probeVideoTimes(dir.file("cells/piece1.vob")).front();
            split = authorSplitTitle(dir.file("split"));
            const std::string head = dir.file("split/head.vob");
            writeFile(head, readRange(split + "/VTS_01_1.VOB", 0, std::int64_t{4} << 20));
            splitOrigin = probeVideoTimes(head).front();
        }
        TempDir dir;
        std::string cells; // VIDEO_TS folders
        std::string iso;
        std::string split;
        double origin = 0;
        double splitOrigin = 0;
    };
    static const Media& media() {
        static const Media made;
        return made;
    }

    // Title 1: the second piece, a chapter at 6 s; title 2: the first and the third. The
    // disc's First Play runs `firstPlay`. Returns its VIDEO_TS folder.
    std::string authorTwoTitles(const std::string& name, const std::string& firstPlay) const {
        const auto piece = [](int n, const char* chapters) {
            return "<vob file=\"" + media().dir.file("cells/piece" + std::to_string(n) + ".vob") +
                   "\" chapters=\"" + chapters + "\"/>";
        };
        std::ofstream(dir_.file(name + ".xml"))
            << "<dvdauthor dest=\"" << dir_.file(name) << "\"><vmgm><fpc>" << firstPlay
            << "</fpc></vmgm><titleset><titles><pgc>" << piece(2, "0,0:06") << "</pgc><pgc>"
            << piece(1, "0") << piece(3, "0") << "</pgc></titles></titleset></dvdauthor>\n";
        runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + dir_.file(name + ".xml") + "'");
        return dir_.file(name + "/VIDEO_TS");
    }

    static Title titleOf(const std::string& path) {
        const auto disc = DvdreadDiscReader().read(path);
        if (!disc)
            throw std::runtime_error("no disc at " + path);
        return disc->titles.at(disc->startTitle);
    }

    Outcome cut(const std::vector<std::string>& args) const { return runParvaneCut(args, dir_); }

    TempDir dir_;
};

TEST_F(TitleTest, EveryWayIntoTheDiscGivesItsTitleAndAPlainVobNone) {
    const std::string videoTs = media().cells;
    const std::string vob = videoTs + "/VTS_01_1.VOB";
    const Title folder = titleOf(videoTs);
    // Three pieces of 12 s; the first has a chapter near 6 s, which makes a cell there.
    ASSERT_EQ(folder.cells.size(), 4u);
    EXPECT_NEAR(folder.duration(), 36.0, kFrame);
    EXPECT_NEAR(folder.cells[2].start, 12.0, kFrame);
    EXPECT_NEAR(folder.cells[3].start, 24.0, kFrame);
    EXPECT_EQ(std::vector<bool>({folder.cells[1].clockRestarts, folder.cells[2].clockRestarts,
                                 folder.cells[3].clockRestarts}),
              std::vector<bool>({false, true, true}));
    ASSERT_EQ(folder.chapters.size(), 4u);
    EXPECT_EQ(folder.chapters[0], 0.0);
    EXPECT_NEAR(folder.chapters[1], 6.0, 0.6);
    EXPECT_EQ(folder.chapters[2], folder.cells[2].start);
    EXPECT_EQ(folder.chapters[3], folder.cells[3].start);
    ASSERT_EQ(folder.extents.size(), 1u);
    EXPECT_EQ(folder.extents[0].path, vob);
    EXPECT_EQ(folder.size(), static_cast<std::int64_t>(fs::file_size(vob)));
    EXPECT_EQ(folder.cells.back().end, folder.size());

    for (const std::string& path :
         {fs::path(videoTs).parent_path().string(), videoTs + "/", videoTs + "/VIDEO_TS.IFO",
          videoTs + "/VTS_01_0.IFO", vob, media().iso}) {
        SCOPED_TRACE(path);
        const auto disc = DvdreadDiscReader().read(path);
        ASSERT_TRUE(disc);
        ASSERT_EQ(disc->titles.size(), 1u);
        const Title& title = disc->titles[0];
        EXPECT_EQ(title.chapters, folder.chapters);
        EXPECT_EQ(title.size(), folder.size());
        EXPECT_EQ(disc->startSeconds, 0.0);
    }
    // In the image, the VOB's own bytes where the extent says.
    const Title image = titleOf(media().iso);
    ASSERT_EQ(image.extents.size(), 1u);
    EXPECT_EQ(image.extents[0].path, media().iso);
    EXPECT_EQ(readRange(media().iso, image.extents[0].offset, image.extents[0].length),
              readFile(vob));

    // Plain files open as they are: a program stream, a title's VOB away from its IFO files,
    // a folder without a disc.
    const std::string alone = dir_.file("VTS_01_1.VOB");
    fs::copy_file(vob, alone);
    for (const std::string& path : {media().dir.file("cells/piece1.vob"), alone, dir_.file("")})
        EXPECT_FALSE(DvdreadDiscReader().read(path)) << path;
}

TEST_F(TitleTest, DamagedAndEncryptedDiscsAreRefusedWithAReason) {
    // A copy of the disc whose files a case may spoil; the VOB is linked unless spoilt.
    const auto copyDisc = [&](const std::string& name, bool copyVob) {
        const fs::path folder = dir_.path() / name / "VIDEO_TS";
        fs::create_directories(folder);
        for (const auto& entry : fs::directory_iterator(media().cells)) {
            const fs::path to = folder / entry.path().filename();
            if (entry.path().extension() == ".VOB" && !copyVob)
                fs::create_symlink(entry.path(), to);
            else
                fs::copy_file(entry.path(), to);
        }
        return folder.string();
    };
    const auto refusal = [](const std::string& path) -> std::string {
        try {
            DvdreadDiscReader().read(path);
        } catch (const FileError& error) {
            return error.what();
        }
        return "no refusal";
    };

    const std::string truncated = copyDisc("truncated", false);
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP"})
        fs::resize_file(truncated + "/" + name, 100);
    EXPECT_EQ(refusal(truncated), "the disc's title information cannot be read");

    // The title set's tables overwritten past their header, in the IFO and its backup.
    const std::string garbled = copyDisc("garbled", false);
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        Bytes ifo = readFile(garbled + "/" + name);
        const Bytes noise = patternBytes(ifo.size());
        std::copy(noise.begin() + 2048, noise.end(), ifo.begin() + 2048);
        writeFile(garbled + "/" + name, ifo);
    }
    const std::string reason = refusal(garbled);
    EXPECT_TRUE(reason == "the disc's title information cannot be read" ||
                reason == "the disc's title information is damaged")
        << reason;

    // Tables whose length, as the library counts it from their last byte in 32 bits, wraps
    // below their header or runs to gigabytes: read as they are, they overflow its buffer.
    struct Spoilt {
        const char* ifo;
        std::size_t sectorAt; // where the IFO's header gives the table's sector
        std::uint32_t lastByte;
    };
    const auto word32 = [](const Bytes& bytes, std::size_t at) {
        return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
               std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
    };
    int spoilt = 0;
    for (const Spoilt& row : {Spoilt{"VIDEO_TS", offsetof(vmgi_mat_t, tt_srpt), 6},
                              Spoilt{"VTS_01_0", offsetof(vtsi_mat_t, vts_ptt_srpt), 0xFFFFFFF0},
                              Spoilt{"VTS_01_0", offsetof(vtsi_mat_t, vts_c_adt), 0xFFFFFFFE}}) {
        const std::string disc = copyDisc("lengths" + std::to_string(++spoilt), false);
        for (const char* suffix : {".IFO", ".BUP"}) {
            const std::string path = disc + "/" + row.ifo + suffix;
            Bytes ifo = readFile(path);
            const std::size_t table = word32(ifo, row.sectorAt) * kPack;
            ASSERT_GT(table, 0u) << row.ifo << " has the table";
            ASSERT_LE(table + 8, ifo.size());
            for (int i = 0; i < 4; ++i)
                ifo[table + 4 + i] = static_cast<std::uint8_t>(row.lastByte >> (24 - 8 * i));
            writeFile(path, ifo);
        }
        EXPECT_EQ(refusal(disc), "the disc's title information is damaged")
            << row.ifo << " at " << row.sectorAt;
    }

    // IFO files on which libdvdread itself crashes, found by fuzzing it: the disc is refused
    // and the program goes on. Each holds VIDEO_TS.IFO's length in 4 bytes, it, VTS_01_0.IFO.
    for (const auto& find : fs::directory_iterator(fs::path(PARVANE_TEST_DATA) / "discs")) {
        const Bytes both = readFile(find.path().string());
        ASSERT_GE(both.size(), 4u);
        const std::size_t first = word32(both, 0);
        ASSERT_LE(4 + first, both.size());
        const std::string disc = copyDisc(find.path().stem().string(), false);
        for (const char* suffix : {".IFO", ".BUP"}) {
            writeFile(disc + "/VIDEO_TS" + suffix,
                      Bytes(both.begin() + 4, both.begin() + 4 + static_cast<long>(first)));
            writeFile(disc + "/VTS_01_0" + suffix,
                      Bytes(both.begin() + 4 + static_cast<long>(first), both.end()));
        }
        EXPECT_EQ(refusal(disc), "the disc's title information is damaged") << find.path();
    }

    // CSS-scrambled packs say so in their packets' headers.
    const std::string scrambled = copyDisc("scrambled", true);
    Bytes vob = readFile(scrambled + "/VTS_01_1.VOB");
    int marked = 0;
    for (std::size_t pack = 0; pack < 64; ++pack) {
        const std::size_t at = pack * kPack + 14;
        if (vob[at] == 0 && vob[at + 1] == 0 && vob[at + 2] == 1 && (vob[at + 3] & 0xF0) == 0xE0) {
            vob[at + 6] |= 0x10;
            ++marked;
        }
    }
    ASSERT_GT(marked, 0);
    writeFile(scrambled + "/VTS_01_1.VOB", vob);
    EXPECT_EQ(refusal(scrambled), "the disc is encrypted");
}

// Discs carry dummy titles that play nothing; the others keep the numbers the disc gives.
TEST_F(TitleTest, TitlesThatPlayNoTimeAreLeftOut) {
    const std::string xml = dir_.file("two.xml");
    std::ofstream(xml) << "<dvdauthor dest=\"" << dir_.file("two")
                       << "\"><vmgm/><titleset><titles><pgc><vob file=\""
                       << media().dir.file("cells/piece1.vob") << "\"/></pgc><pgc><vob file=\""
                       << media().dir.file("cells/piece2.vob")
                       << "\"/></pgc></titles></titleset></dvdauthor>\n";
    runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + xml + "'");
    const std::string videoTs = dir_.file("two/VIDEO_TS");
    ASSERT_EQ(DvdreadDiscReader().read(videoTs)->titles.size(), 2u);

    // The first title's program chain and its cells, playing for no time, in the title
    // set's IFO and its backup.
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        Bytes ifo = readFile(videoTs + "/" + name);
        const auto word = [&ifo](std::size_t at, int bytes) {
            std::size_t value = 0;
            for (int i = 0; i < bytes; ++i)
                value = value << 8 | ifo[at + static_cast<std::size_t>(i)];
            return value;
        };
        const std::size_t table = word(0xCC, 4) * kPack;
        const std::size_t chain = table + word(table + 8 + 4, 4);
        std::fill_n(ifo.begin() + static_cast<std::ptrdiff_t>(chain + 4), 4, 0);
        const std::size_t cells = chain + word(chain + 0xE8, 2);
        for (std::size_t cell = 0; cell < ifo[chain + 3]; ++cell)
            std::fill_n(ifo.begin() + static_cast<std::ptrdiff_t>(cells + cell * 24 + 4), 4, 0);
        writeFile(videoTs + "/" + name, ifo);
    }
    const auto disc = DvdreadDiscReader().read(videoTs);
    ASSERT_TRUE(disc);
    ASSERT_EQ(disc->titles.size(), 1u);
    EXPECT_EQ(disc->titles[0].number, 2);
    EXPECT_NEAR(disc->titles[0].duration(), 12.0, kFrame);
    const Outcome list = cut({"--list", videoTs});
    EXPECT_EQ(list.out.substr(0, list.out.find('\n')), "title 2: 0:00:12, 1 chapter");
}

// The lines of --list, the same for the folder and the image.
TEST_F(TitleTest, ListShowsEachTitleWithItsChapters) {
    const Title title = titleOf(media().cells);
    std::ostringstream expected;
    expected << "title 1: 0:00:36, 4 chapters\n";
    for (std::size_t chapter = 0; chapter < 4; ++chapter) {
        const auto millis = std::llround(title.chapters[chapter] * 1000);
        char line[64];
        std::snprintf(line, sizeof line, "  chapter %zu: 0:00:%02lld.%03lld\n", chapter + 1,
                      millis / 1000, millis % 1000);
        expected << line;
    }
    // The pieces' AC-3 stream, mono as ffmpeg's sine is; dvdauthor gives it no language.
    expected << "  audio 1: AC-3, 1 channel, unknown language\n";
    for (const std::string& source : {media().cells, media().iso}) {
        const Outcome run = cut({"--list", source});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out, expected.str()) << source;
    }
    const Outcome plain = cut({"--list", media().dir.file("cells/piece1.vob")});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, "parvane-cut: the source is no DVD, so it has no titles\n");
}

// Each stream the title set describes, with the id its packs carry in the VOB.
TEST_F(TitleTest, ListShowsEachTitlesAudioAndSubtitlesWithTheirLanguages) {
    const std::string videoTs = authorStreamsTitle(dir_.path().string());
    const std::string vob = videoTs + "/VTS_01_1.VOB";
    const auto streams = [&vob](const char* type) {
        return toolOutput("ffprobe -v error -select_streams " + std::string(type) +
                          " -show_entries stream=codec_name,channels,id -of csv=p=0 '" + vob + "'");
    };
    ASSERT_EQ(streams("a"), "ac3,1,0x80\nmp2,2,0x1c0\n");
    ASSERT_EQ(streams("s"), "dvd_subtitle,0x20\n");

    const Title title = titleOf(videoTs);
    ASSERT_EQ(title.audio.size(), 2u);
    ASSERT_EQ(title.subpictures.size(), 1u);
    // The MPEG demuxer names an MPEG audio stream by its whole start code.
    EXPECT_EQ(
        std::vector<int>({title.audio[0].id, title.audio[1].id | 0x100, title.subpictures[0].id}),
        std::vector<int>({0x80, 0x1C0, 0x20}));
    const Outcome run = cut({"--list", videoTs});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "title 1: 0:00:02, 1 chapter\n"
                       "  chapter 1: 0:00:00.000\n"
                       "  audio 1: AC-3, 1 channel, en\n"
                       "  audio 2: MPEG, 2 channels, de\n"
                       "  subtitles 1: fr\n");
}

TEST_F(TitleTest, TitlesChaptersAndDestinationsThatGiveNoClipAreRefused) {
    const std::string vob = media().cells + "/VTS_01_1.VOB";
    const std::string ifo = media().cells + "/VTS_01_0.IFO";
    const std::string clip = dir_.file("clip.vob");
    const std::string plainSource = media().dir.file("cells/piece1.vob");
    struct Case {
        std::vector<std::string> args;
        std::string reason;
    };
    const std::vector<Case> refused = {
        {{media().cells, clip, "--title", "2", "--from", "1", "--to", "2"},
         "the DVD has no title 2"},
        {{media().iso, clip, "--chapters", "3-5"}, "the title has chapters 1 to 4"},
        {{plainSource, clip, "--chapters", "1"},
         "the source is no DVD, so it has no titles or chapters"},
        {{media().cells, clip, "--from", "36", "--to", "40"},
         "the marks lie past the end of the stream (0:00:36)"},
        {{media().cells, vob, "--from", "1", "--to", "2", "--force"},
         "the destination is the source file"},
        {{media().cells, ifo, "--from", "1", "--to", "2", "--force"},
         "the destination is the source file"},
        {{vob, media().cells + "/VIDEO_TS.BUP", "--chapters", "1", "--force"},
         "the destination is the source file"},
        {{media().iso, media().iso, "--chapters", "1", "--force"},
         "the destination is the source file"},
    };
    const Bytes ifoBytes = readFile(ifo);
    const auto vobSize = fs::file_size(vob);
    for (const Case& row : refused) {
        const Outcome run = cut(row.args);
        EXPECT_EQ(run.status, 1) << row.reason;
        EXPECT_EQ(run.err, "parvane-cut: clip not saved: " + row.reason + "\n");
    }
    EXPECT_EQ(fs::file_size(vob), vobSize);
    EXPECT_EQ(readFile(ifo), ifoBytes);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{media().cells, clip, "--chapters", "2", "--from", "1"},
          std::vector<std::string>{media().cells, clip, "--chapters", "3-2"},
          std::vector<std::string>{"--list", media().cells, clip}}) {
        const Outcome run = cut(args);
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find("Usage: parvane-cut"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(clip));
}

// Inside a cell, across cells whose clock runs on, across a reset, by chapters: the clip is
// whole VOBUs of the title, byte for byte, and shows the marked times.
TEST_F(TitleTest, ClipsShowTheMarkedTimesAsWholeVobusOfTheTitle) {
    const Title title = titleOf(media().cells);
    const Bytes all = titleBytes(title, 0, title.size());
    struct Case {
        std::string name;
        std::vector<std::string> args;
        double begin;
        double end;
        std::string note;
    };
    const std::string kTitleEnd = "the title ends at 0:00:36; the clip runs to its end";
    const double chapter2 = title.chapters[1];
    const std::vector<Case> cases = {
        {"inside the first cell", {"--from", "1.5", "--to", "4.2"}, 1.5, 4.2, ""},
        {"inside the third cell", {"--from", "14.3", "--to", "0:17.8"}, 14.3, 17.8, ""},
        {"across cells on one clock", {"--from", "4", "--to", "8"}, 4, 8, ""},
        {"across a reset", {"--from", "10", "--to", "14"}, 10, 14, kTimeResetNote},
        {"by chapters", {"--chapters", "2-3"}, chapter2, 24, kTimeResetNote},
        {"the last chapter", {"--chapters", "4"}, 24, 36, ""},
        {"past the title's end", {"--from", "30", "--to", "40"}, 30, 36, kTitleEnd},
    };
    for (const std::string& source : {media().cells, media().iso})
        for (const Case& row : cases) {
            SCOPED_TRACE(row.name + " of " + source);
            const std::string clipPath = dir_.file("clip.vob");
            std::vector<std::string> args = {source, clipPath, "--force"};
            args.insert(args.end(), row.args.begin(), row.args.end());
            const Outcome run = cut(args);
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, row.note.empty() ? "" : "parvane-cut: " + row.note + "\n");

            const Bytes clip = readFile(clipPath);
            ASSERT_GE(clip.size(), kPack);
            EXPECT_EQ(clip.size() % kPack, 0u);
            EXPECT_EQ(Bytes(clip.begin(), clip.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xBA}));
            const auto at = std::search(all.begin(), all.end(), clip.begin(), clip.begin() + kPack);
            ASSERT_NE(at, all.end());
            const auto offset = static_cast<std::size_t>(at - all.begin());
            ASSERT_LE(offset + clip.size(), all.size());
            EXPECT_TRUE(std::equal(clip.begin(), clip.end(), at));
            // Whole VOBUs: a navigation pack first, and one (or the title's end) right after.
            EXPECT_TRUE(isNavigationPack(clip, 0));
            EXPECT_TRUE(offset + clip.size() == all.size() ||
                        isNavigationPack(all, offset + clip.size()));
            EXPECT_GE(navigationPacks(clip), static_cast<int>((row.end - row.begin) / 0.6));

            // The pictures: the first run of times belongs to the begin's piece, the last
            // to the end's.
            const auto runs = videoTimeRuns(clipPath);
            const auto pieceStart = [](double t) { return std::floor(t / 12) * 12; };
            const double first = *std::min_element(runs.front().begin(), runs.front().end());
            const double last = *std::max_element(runs.back().begin(), runs.back().end());
            const double shownFirst = pieceStart(row.begin) + first - media().origin;
            const double shownLast = pieceStart(row.end - kFrame / 2) + last - media().origin;
            EXPECT_EQ(runs.size(),
                      static_cast<std::size_t>(1 + pieceStart(row.end - kFrame / 2) / 12 -
                                               pieceStart(row.begin) / 12));
            EXPECT_LE(shownFirst, row.begin + 1e-6);
            EXPECT_GE(shownFirst, row.begin - 1.0);
            EXPECT_GE(shownLast, row.end - kFrame - 1e-6);
            EXPECT_LE(shownLast, row.end + 1.0);
            EXPECT_EQ(decodeErrors(clipPath), "");
        }
}

// With a title open, the window's two saves copy what parvane-cut copies from the disc,
// and never over one of the title's files.
TEST_F(TitleTest, TheWindowsSavesOfATitleWriteWhatParvaneCutWrites) {
    const Title title = titleOf(media().cells);
    ClipState state;
    state.sourcePath = media().cells;
    state.title = title;
    state.clipBegin = 10;
    state.clipEnd = 14;
    state.beginSeconds = 10;
    state.endSeconds = 14;
    PosixFileSystem files;
    DvdreadNavReader navPacks;
    SaverFakes fakes;
    // The player counts on past a title's end; the title's own length is the one used.
    fakes.player.mediaDuration = 2 * title.duration();
    fakes.dialog.answers = {dir_.file("stream.vob"), dir_.file("bytes.vob"), title.extents[0].path};
    ClipSaver saver(state, fakes.parts(files, &navPacks));
    saver.saveAtStreamTimes();
    saver.save();
    saver.save();
    // 10 to 14 s crosses the first cell's end, where the clock starts again.
    EXPECT_EQ(fakes.messages.shown,
              (std::vector<std::string>{std::string(texts::kClipSaved) + "\n" + kTimeResetNote,
                                        texts::kClipSaved, texts::kCannotOverwrite}));
    EXPECT_EQ(fs::file_size(title.extents[0].path), static_cast<std::uintmax_t>(title.size()));

    ASSERT_EQ(
        cut({media().cells, dir_.file("cut-stream.vob"), "--from", "10", "--to", "14"}).status, 0);
    ASSERT_EQ(cut({media().cells, dir_.file("cut-bytes.vob"), "--from", "10", "--to", "14", "--by",
                   "bytes"})
                  .status,
              0);
    EXPECT_EQ(readFile(dir_.file("stream.vob")), readFile(dir_.file("cut-stream.vob")));
    EXPECT_EQ(readFile(dir_.file("bytes.vob")), readFile(dir_.file("cut-bytes.vob")));
    // In proportion over the title's bytes and timeline.
    const ClipPlan plan = planClip(title.size(), title.duration(), 10, 14);
    const ByteRange range = plan.bytes(title.size());
    EXPECT_EQ(readFile(dir_.file("bytes.vob")), titleBytes(title, range.offset, range.length));
}

// The split title: one title over two files; a VOB of it names the place it starts at; a
// clip across the files is found within the read limit at each end and copied whole.
TEST_F(TitleTest, ATitleOverTwoVobFilesIsOneTimelineAndClipsCrossTheFiles) {
    const std::string first = media().split + "/VTS_01_1.VOB";
    const std::string second = media().split + "/VTS_01_2.VOB";
    const Title title = titleOf(media().split);
    ASSERT_EQ(title.extents.size(), 2u);
    EXPECT_EQ(title.extents[0].path, first);
    EXPECT_EQ(title.extents[1].path, second);
    const auto firstSize = static_cast<std::int64_t>(fs::file_size(first));
    EXPECT_EQ(title.size(), firstSize + static_cast<std::int64_t>(fs::file_size(second)));
    EXPECT_GT(firstSize, std::int64_t{1000} << 20);
    EXPECT_NEAR(title.duration(), 125 * 12.0, 1.0);

    const auto disc = DvdreadDiscReader().read(second);
    ASSERT_TRUE(disc);
    // Where the second file starts, by its bytes' share of the title.
    const double proportional =
        title.duration() * static_cast<double>(firstSize) / static_cast<double>(title.size());
    EXPECT_NEAR(disc->startSeconds, proportional, 5.0);

    const double begin = disc->startSeconds - 2;
    const double end = disc->startSeconds + 2;
    PosixFileSystem files;
    DvdreadNavReader navPacks;
    auto source = files.openTitle(title);
    TitleRangeFinder finder(title, *source, &navPacks);
    const TitleRange found = finder.find(begin, end);
    EXPECT_LT(found.range.offset, firstSize);
    EXPECT_GT(found.range.end(), firstSize);
    EXPECT_TRUE(found.notes.empty());
    EXPECT_LE(found.beginBytesRead, StreamRangeFinder::kBoundaryReadLimit);
    EXPECT_LE(found.endBytesRead, StreamRangeFinder::kBoundaryReadLimit);
    std::cout << "bytes read on the split title: begin " << found.beginBytesRead << ", end "
              << found.endBytesRead << "\n";

    // The title source reads across the files as the files hold them.
    const std::int64_t seam = firstSize - 3000;
    Bytes read(6000);
    ASSERT_EQ(source->readAt(seam, reinterpret_cast<std::byte*>(read.data()), read.size()),
              read.size());
    EXPECT_EQ(read, titleBytes(title, seam, 6000));

    const std::string clipPath = dir_.file("across.vob");
    const Outcome run =
        cut({second, clipPath, "--from", std::to_string(begin), "--to", std::to_string(end)});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(clipPath), titleBytes(title, found.range.offset, found.range.length));
    EXPECT_EQ(decodeErrors(clipPath), "");
    const auto shown = probeVideoTimes(clipPath);
    ASSERT_FALSE(shown.empty());
    EXPECT_LE(shown.front() - media().splitOrigin, begin + 1e-6);
    EXPECT_GE(shown.front() - media().splitOrigin, begin - 1.0);
    EXPECT_GE(shown.back() - media().splitOrigin, end - kFrame - 1e-6);
    EXPECT_LE(shown.back() - media().splitOrigin, end + 1.0);
}

// Opened whole, a disc starts where its First Play leads, as a player starts it, even at a
// shorter title; without one, at the longest title that is no shuffled copy of another.
TEST_F(TitleTest, TheDiscStartsAtTheTitleItsFirstPlayLeadsToElseAtTheLongest) {
    for (const auto& [firstPlay, expected] : {std::pair<std::string, int>{"jump title 1;", 1},
                                              std::pair<std::string, int>{"exit;", 2}}) {
        SCOPED_TRACE(firstPlay);
        const std::string videoTs = authorTwoTitles(expected == 1 ? "led" : "none", firstPlay);
        const auto disc = DvdreadDiscReader().read(videoTs);
        ASSERT_TRUE(disc);
        ASSERT_EQ(disc->titles.size(), 2u);
        EXPECT_NEAR(disc->titles[0].duration(), 12.0, kFrame);
        EXPECT_NEAR(disc->titles[1].duration(), 24.0, kFrame);
        // The machine plays the first title from the First Play, or nothing.
        EXPECT_EQ(playWithDvdnav(videoTs),
                  expected == 1 ? titleBytes(disc->titles[0], 0, disc->titles[0].size()) : Bytes());
        EXPECT_EQ(disc->titles.at(disc->startTitle).number, expected);
    }

    // Title 1 made a shuffled copy of title 2, the third piece first: as long, but with a
    // jump back on the disc. Where the First Play leads it starts; by length, never.
    fs::copy(dir_.file("led"), dir_.file("shuffled"), fs::copy_options::recursive);
    const std::string shuffled = dir_.file("shuffled/VIDEO_TS");
    editTitleSet(shuffled, [](Bytes& ifo, std::size_t chains) {
        const auto cells = [&](std::size_t chain) {
            const std::size_t at = chains + word(ifo, chains + 8 * chain + 4, 4);
            return ifo.begin() + static_cast<long>(at + word(ifo, at + 0xE8, 2));
        };
        std::copy_n(cells(2) + 24, 24, cells(1));
        std::copy_n(cells(2), 24, cells(1) + 24);
    });
    auto disc = DvdreadDiscReader().read(shuffled);
    ASSERT_TRUE(disc);
    const Title& copy = disc->titles.at(0);
    EXPECT_NEAR(copy.duration(), 24.0, kFrame);
    EXPECT_EQ(playWithDvdnav(shuffled), titleBytes(copy, 0, copy.size()));
    EXPECT_EQ(disc->titles.at(disc->startTitle).number, 1);
    for (const char* name : {"/VIDEO_TS.IFO", "/VIDEO_TS.BUP"})
        fs::copy_file(dir_.file("none/VIDEO_TS") + name, shuffled + name,
                      fs::copy_options::overwrite_existing);
    disc = DvdreadDiscReader().read(shuffled);
    ASSERT_TRUE(disc);
    EXPECT_EQ(disc->titles.at(disc->startTitle).number, 2);
}

// A title goes on through the chain its chain links to, and through the chains its chapters
// name, each chain once, in the order the machine plays them.
TEST_F(TitleTest, ATitlePlaysOnThroughLinkedChainsAndTheChainsItsChaptersName) {
    const std::string linked = authorTwoTitles("linked", "jump title 1;");
    editTitleSet(linked, [](Bytes& ifo, std::size_t chains) {
        const std::size_t first = chains + word(ifo, chains + 12, 4);
        ifo[first + 0x9D] = 2; // then chain 2,
        const std::size_t commands = first + word(ifo, first + 0xE4, 2);
        std::fill_n(ifo.begin() + static_cast<long>(commands + 8), 8, 0); // not Exit after it,
        ifo[chains + 16] &= 0x7F; // and chain 2 starts no title of its own
    });
    const std::string named = authorTwoTitles("named", "jump title 1;");
    editTitleSet(named, [](Bytes& ifo, std::size_t) {
        const std::size_t chapters = word(ifo, 0xC8, 4) * kPack;
        const std::size_t second = chapters + word(ifo, chapters + 8, 4) + 4;
        ifo[second + 1] = 2; // title 1's chapter 2 at chain 2's program 2: the third piece
        ifo[second + 3] = 2;
    });
    for (const std::string& videoTs : {linked, named}) {
        SCOPED_TRACE(videoTs);
        const auto disc = DvdreadDiscReader().read(videoTs);
        ASSERT_TRUE(disc);
        ASSERT_EQ(disc->titles.size(), 2u);
        const Title& title = disc->titles[0];
        ASSERT_EQ(title.cells.size(), 4u);
        EXPECT_NEAR(title.duration(), 36.0, kFrame);
        EXPECT_EQ(title.cells.back().end, title.size());
        const bool byLink = videoTs == linked;
        ASSERT_EQ(title.chapters.size(), 2u);
        EXPECT_NEAR(title.chapters[1], byLink ? 6.0 : 24.0, 0.6);
        // What the machine plays of the title from chapter 1, or chapter 2 in the third piece.
        const std::int64_t from = byLink ? 0 : title.cells[3].begin;
        EXPECT_EQ(playWithDvdnav(videoTs, 1, 1, byLink ? 1 : 2),
                  titleBytes(title, from, title.size() - from));
        EXPECT_TRUE(title.problems.empty());
    }
}

// A copy cut short in the last cell: that cell is left out and named with its time, on the
// folder and the image alike; the other title plays whole.
TEST_F(TitleTest, ACellCutOffTheCopyIsLeftOutAndNamedWithItsTime) {
    const std::string whole = authorTwoTitles("cut", "jump title 1;");
    const std::string vob = whole + "/VTS_01_1.VOB";
    // The last cell on the disc is the second title's last, the third piece.
    const auto lastCell = static_cast<std::int64_t>(playWithDvdnav(whole, 2, 1, 2).size());
    const auto vobSize = static_cast<std::int64_t>(fs::file_size(vob));
    ASSERT_GT(lastCell, 0);
    const std::string iso = dir_.file("cut.iso");
    makeIso(dir_.file("cut"), iso);
    const auto before = DvdreadDiscReader().read(iso);
    ASSERT_TRUE(before);
    const std::int64_t cutAt = vobSize - lastCell / 2;
    fs::resize_file(iso, static_cast<std::uintmax_t>(before->titles[0].extents[0].offset + cutAt));
    fs::resize_file(vob, static_cast<std::uintmax_t>(cutAt));

    for (const std::string& source : {whole, iso}) {
        SCOPED_TRACE(source);
        const auto disc = DvdreadDiscReader().read(source);
        ASSERT_TRUE(disc);
        ASSERT_EQ(disc->titles.size(), 2u);
        EXPECT_TRUE(disc->titles[0].problems.empty());
        EXPECT_NEAR(disc->titles[0].duration(), 12.0, kFrame);
        const Title& shortened = disc->titles[1];
        ASSERT_EQ(shortened.cells.size(), 1u);
        EXPECT_NEAR(shortened.duration(), 12.0, kFrame);
        EXPECT_EQ(shortened.size(), vobSize - lastCell - disc->titles[0].size());
        EXPECT_EQ(shortened.problems,
                  std::vector<std::string>{"the title's cell at 0:00:12 cannot be read"});
        const Outcome list = cut({"--list", source});
        EXPECT_EQ(list.status, 0) << list.err;
        EXPECT_NE(list.out.find("title 2: 0:00:12, 1 chapter\n  chapter 1: 0:00:00.000\n"
                                "  audio 1: AC-3, 1 channel, unknown language\n"
                                "  problem: the title's cell at 0:00:12 cannot be read\n"),
                  std::string::npos)
            << list.out;
    }
}

} // namespace
} // namespace parvane
