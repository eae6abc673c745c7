// The interleaved test discs, proven with libdvdnav before the disc reader is tested on them:
// what a player plays of each angle and each title is every frame of it once, in order, each
// showing the angle or title it belongs to, and decodes cleanly; read straight through, the
// title set's VOB file mixes the units. Then the program on them: each angle's and each
// branch's bytes are those a player plays, and every clip holds one angle only.

#include "cut/run_cut.h"
#include "platform/dvdread/dvdread_disc_reader.h"
#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <functional>

namespace parvane {
namespace {

using namespace parvane::testing;

class InterleavedMediaTest : public ::testing::Test {
protected:
    struct Media {
        TempDir dir;
        std::string angles = authorAngleDisc(dir.path().string());
        TempDir branchDir;
        std::string branches = authorBranchingDisc(branchDir.path().string());
    };
    static Media& media() {
        static Media made;
        return made;
    }

    // Checks what libdvdnav plays of `title` at `angle`: `frames` frames, frame i showing
    // `expected(i)`, decoded without errors.
    static void expectPlayback(const std::string& videoTs, int title, int angle, int frames,
                               const std::function<int(int)>& expected) {
        SCOPED_TRACE("title " + std::to_string(title) + " angle " + std::to_string(angle));
        const std::string played = media().dir.file("played.vob");
        writeFile(played, playWithDvdnav(videoTs, title, angle));
        expectFrames(played, frames, expected);
    }

    // A file of `frames` frames (any number when negative), frame i showing `expected(i)`,
    // decoded without errors when `clean`.
    static void expectFrames(const std::string& file, int frames,
                             const std::function<int(int)>& expected, bool clean = true) {
        const std::vector<int> values = stripNumbers(file);
        if (frames >= 0) {
            ASSERT_EQ(values.size(), static_cast<std::size_t>(frames));
        }
        ASSERT_FALSE(values.empty());
        for (std::size_t i = 0, wrong = 0; i < values.size() && wrong < 5; ++i)
            if (const int want = expected(static_cast<int>(i)); values[i] != want)
                ADD_FAILURE() << "frame " << i << " shows " << values[i] << ", not " << want
                              << (++wrong == 5 ? " (and on)" : "");
        if (clean) {
            EXPECT_EQ(decodeErrors(file), "");
        }
    }

    // What frame `i` of the angle disc's title shows at `angle`.
    static int angleFrame(int i, int angle) { return i | (i >= 150 && i < 400 ? angle << 10 : 0); }
};

TEST_F(InterleavedMediaTest, EachAnglePlaysTheWholeTitleWithItsOwnScene) {
    for (const int angle : {1, 2})
        expectPlayback(media().angles, 1, angle, 550,
                       [angle](int i) { return angleFrame(i, angle); });
}

TEST_F(InterleavedMediaTest, EachBranchPlaysItsOwnMiddleBetweenTheSharedCells) {
    for (const int title : {1, 2}) {
        const int middle = (title == 1 ? 8 : 12) * 25;
        expectPlayback(media().branches, title, 1, 150 + middle + 150, [=](int i) {
            return i < 150 ? i : i < 150 + middle ? i | title << 10 : (i - 150 - middle) | 3 << 10;
        });
    }
}

TEST_F(InterleavedMediaTest, TheVobFileStoresTheUnitsAlternately) {
    // Read straight through, frames of the two angles or middles (marks 1 and 2) take turns
    // again and again.
    for (const std::string& videoTs : {media().angles, media().branches}) {
        int turns = 0;
        int last = 0;
        for (const int value : stripNumbers(videoTs + "/VTS_01_1.VOB"))
            if (const int mark = value >> 10; mark == 1 || mark == 2) {
                turns += last != 0 && mark != last;
                last = mark;
            }
        EXPECT_GE(turns, 3) << videoTs;
    }
}

TEST_F(InterleavedMediaTest, EachAngleAndBranchIsTheBytesAPlayerPlays) {
    const auto bytesOf = [](const Title& title) {
        std::vector<std::uint8_t> bytes;
        for (const Extent& extent : title.extents) {
            const std::vector<std::uint8_t> file = readFile(extent.path);
            bytes.insert(bytes.end(), file.begin() + extent.offset,
                         file.begin() + extent.offset + extent.length);
        }
        return bytes;
    };
    const auto angles = DvdreadDiscReader().read(media().angles);
    ASSERT_TRUE(angles && angles->titles.size() == 1);
    ASSERT_EQ(angles->titles[0].angles, 2);
    for (const int angle : {1, 2})
        EXPECT_TRUE(bytesOf(angles->titles[0].withAngle(angle)) ==
                    playWithDvdnav(media().angles, 1, angle))
            << "angle " << angle;
    const auto branches = DvdreadDiscReader().read(media().branches);
    ASSERT_TRUE(branches && branches->titles.size() == 2);
    for (const int title : {1, 2}) {
        EXPECT_EQ(branches->titles[static_cast<std::size_t>(title - 1)].angles, 1);
        EXPECT_TRUE(bytesOf(branches->titles[static_cast<std::size_t>(title - 1)]) ==
                    playWithDvdnav(media().branches, title))
            << "title " << title;
    }
}

TEST_F(InterleavedMediaTest, EveryClipOfAnAngleHoldsItAlone) {
    const TempDir scratch;
    const std::string clip = scratch.file("clip.vob");
    const Outcome listed = runParvaneCut({"--list", media().angles}, scratch);
    EXPECT_NE(listed.out.find("title 1: 0:00:22, 2 chapters, 2 angles\n"), std::string::npos)
        << listed.out;
    for (const int angle : {1, 2}) {
        SCOPED_TRACE("angle " + std::to_string(angle));
        const std::string chosen = std::to_string(angle);
        ASSERT_EQ(
            runParvaneCut({media().angles, clip, "--chapters", "1", "--angle", chosen, "--force"},
                          scratch)
                .status,
            0);
        expectFrames(clip, 400, [angle](int i) { return angleFrame(i, angle); });
        // Cut inside the block: whole groups of this angle around the marks, or its bytes in
        // proportion to the marks, which begin inside a pack.
        for (const std::string by : {"stream", "bytes"}) {
            SCOPED_TRACE(by);
            const Outcome cut = runParvaneCut({media().angles, clip, "--from", "8", "--to", "12",
                                               "--angle", chosen, "--by", by, "--force"},
                                              scratch);
            ASSERT_EQ(cut.status, 0) << cut.err;
            const std::vector<int> frames = stripNumbers(clip);
            const int first = frames.at(0) & 0x3FF;
            expectFrames(
                clip, -1, [=](int i) { return angleFrame(first + i, angle); }, by == "stream");
            if (by == "stream") {
                EXPECT_LE(first, 200);
                EXPECT_GE(first + static_cast<int>(frames.size()), 300);
            }
        }
    }
    const Outcome refused =
        runParvaneCut({media().angles, clip, "--chapters", "1", "--angle", "3"}, scratch);
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("title 1 has angles 1 to 2"), std::string::npos) << refused.err;
}

} // namespace
} // namespace parvane
