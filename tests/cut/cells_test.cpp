// A plain VOB whose clocks start again, with no IFO files to say where its cells are: a
// title's VTS_01_1.VOB copied out of its folder, and its pieces joined by cat (ffmpeg's
// blank navigation packs). Its cells as the survey finds them and parvane-cut and the
// window's stream-time save across them.

#include "core/base/texts.h"
#include "core/save/clip_saver.h"
#include "core/stream/cell_survey.h"
#include "core/title/title_range.h"
#include "cut/run_cut.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPack = 2048;
constexpr double kFrame = 0.04;
const int kSeconds[] = {12, 11, 13};

bool isNavigationPack(const Bytes& bytes, std::size_t at) {
    return at + kPack <= bytes.size() && bytes[at + 17] == 0xBB && bytes[at + 41] == 0xBF &&
           bytes[at + 44] == 0x00;
}

class CellsTest : public ::testing::Test {
protected:
    // Made once for all the tests of the process.
    struct Media {
        Media() {
            std::string vobs;
            Bytes joined;
            for (int piece = 0; piece < 3; ++piece) {
                pieces.push_back(dir.file("piece" + std::to_string(piece + 1) + ".vob"));
                runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -f lavfi "
                        "-i sine=frequency=" +
                        std::to_string(220 * (piece + 1)) + " -t " +
                        std::to_string(kSeconds[piece]) + " -target pal-dvd -bf 2 '" +
                        pieces.back() + "'");
                // A chapter in the first piece makes a second cell there, its clock running on.
                vobs += "<vob file=\"" + pieces.back() + "\"" +
                        (piece == 0 ? " chapters=\"0,0:06\"" : "") + "/>";
                const Bytes bytes = readFile(pieces.back());
                joined.insert(joined.end(), bytes.begin(), bytes.end());
            }
            std::ofstream(dir.file("title.xml"))
                << "<dvdauthor dest=\"" << dir.file("dvd") << "\"><vmgm/><titleset><titles><pgc>"
                << vobs << "</pgc></titles></titleset></dvdauthor>\n";
            runTool("VIDEO_FORMAT=PAL dvdauthor -x '" + dir.file("title.xml") + "'");
            fs::create_directory(dir.path() / "alone");
            fs::copy_file(dir.file("dvd/VIDEO_TS/VTS_01_1.VOB"), alone);
            writeFile(catted, joined);

            // The first piece with 3 to 9 s cut out at navigation packs (a jump forward),
            // then the second piece (a reset).
            const Bytes first = readFile(pieces[0]);
            std::vector<std::size_t> navigation;
            for (std::size_t at = 0; at < first.size(); at += kPack)
                if (isNavigationPack(first, at))
                    navigation.push_back(at);
            Bytes spliced(first.begin(), first.begin() + std::ptrdiff_t(navigation.at(5)));
            spliced.insert(spliced.end(), first.begin() + std::ptrdiff_t(navigation.at(15)),
                           first.end());
            const Bytes second = readFile(pieces[1]);
            spliced.insert(spliced.end(), second.begin(), second.end());
            writeFile(jumping, spliced);
            origin = probe(pieces[0], "start_time");
        }
        TempDir dir;
        std::vector<std::string> pieces;
        std::string alone = dir.file("alone/VTS_01_1.VOB");
        std::string catted = dir.file("catted.vob");
        std::string jumping = dir.file("jumping.vob");
        double origin = 0; // where each piece's clock starts
    };
    static const Media& media() {
        static const Media made;
        return made;
    }

    Outcome cut(const std::vector<std::string>& args) const { return runParvaneCut(args, dir_); }

    TempDir dir_;
};

TEST_F(CellsTest, TheSurveyFindsEachPieceAsACellOfItsOwnLength) {
    PosixFileSystem files;
    DvdreadNavReader navPacks;
    for (const std::string& path : {media().alone, media().catted}) {
        SCOPED_TRACE(path);
        auto source = files.openSource(path);
        const auto title = surveyCells(*source, &navPacks, path);
        ASSERT_TRUE(title);
        ASSERT_EQ(title->cells.size(), 3u);
        EXPECT_EQ(title->cells.back().end, source->size());
        std::int64_t begin = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(title->cells[i].duration, probe(media().pieces[i]), 2 * kFrame) << i;
            // cat keeps each piece's bytes; dvdauthor remakes the navigation packs only.
            EXPECT_EQ(title->cells[i].begin, begin) << i;
            begin += static_cast<std::int64_t>(fs::file_size(media().pieces[i]));
        }
    }
}

// Inside the first cell, and across the reset into the second, whose pictures count from
// 12 s on the title's timeline.
TEST_F(CellsTest, ClipsInAndAcrossCellsHoldTheMarkedPicturesAsTheyAre) {
    for (const std::string& source : {media().alone, media().catted})
        for (const auto& [begin, end] : {std::pair(3.0, 8.0), std::pair(10.0, 15.0)}) {
            SCOPED_TRACE(source + " from " + std::to_string(begin));
            const std::string clipPath = dir_.file(fs::path(source).stem().string() + "-" +
                                                   std::to_string(int(begin)) + ".vob");
            const Outcome run = cut(
                {source, clipPath, "--from", std::to_string(begin), "--to", std::to_string(end)});
            ASSERT_EQ(run.status, 0) << run.err;
            const bool acrossReset = end > kSeconds[0];
            EXPECT_EQ(run.err, acrossReset ? "parvane-cut: " + std::string(kTimeResetNote) + "\n"
                                           : std::string());

            const Bytes clip = readFile(clipPath);
            ASSERT_GE(clip.size(), kPack);
            EXPECT_EQ(Bytes(clip.begin(), clip.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xBA}));
            const Bytes all = readFile(source);
            const auto at = std::search(all.begin(), all.end(), clip.begin(), clip.begin() + kPack);
            ASSERT_NE(at, all.end());
            EXPECT_TRUE(std::equal(clip.begin(), clip.end(), at));

            const auto runs = videoTimeRuns(clipPath);
            ASSERT_EQ(runs.size(), acrossReset ? 2u : 1u);
            const double first =
                *std::min_element(runs.front().begin(), runs.front().end()) - media().origin;
            const double last = *std::max_element(runs.back().begin(), runs.back().end()) -
                                media().origin + (acrossReset ? kSeconds[0] : 0);
            EXPECT_LE(first, begin + 1e-6);
            EXPECT_GE(first, begin - 1.0);
            EXPECT_GE(last, end - kFrame - 1e-6);
            EXPECT_LE(last, end + 1.0);
            EXPECT_EQ(decodeErrors(clipPath), "");
        }

    // The window's "Save at Stream Times..." on the same marks writes the same clip and
    // says the clip has a reset.
    EXPECT_EQ(saveAtStreamTimesInWindow(media().alone, 10, 15, dir_.file("window.vob")),
              std::vector<std::string>{std::string(texts::kClipSaved) + "\n" + kTimeResetNote});
    EXPECT_EQ(readFile(dir_.file("window.vob")), readFile(dir_.file("VTS_01_1-10.vob")));
}

// The last pack before the jump is about 3.0 s in.
TEST_F(CellsTest, AJumpForwardInAStreamThatStartsAgainIsRefusedWithItsTime) {
    const Outcome run = cut({media().jumping, dir_.file("clip.vob"), "--from", "1", "--to", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "parvane-cut: clip not saved: the stream's times jump near 0:00:03\n");
    EXPECT_FALSE(fs::exists(dir_.file("clip.vob")));
}

} // namespace
} // namespace parvane
