// The interleaved test discs, proven with libdvdnav before the disc reader is tested on them:
// what a player plays of each angle and each title is every frame of it once, in order, each
// showing the angle or title it belongs to, and decodes cleanly; read straight through, the
// title set's VOB file mixes the units.

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
        const std::string played =
            playWithDvdnav(videoTs, title, angle, media().dir.file("played.vob"));
        const std::vector<int> values = stripNumbers(played);
        ASSERT_EQ(values.size(), static_cast<std::size_t>(frames));
        for (int i = 0, wrong = 0; i < frames && wrong < 5; ++i)
            if (values[static_cast<std::size_t>(i)] != expected(i))
                ADD_FAILURE() << "frame " << i << " shows " << values[static_cast<std::size_t>(i)]
                              << ", not " << expected(i) << (++wrong == 5 ? " (and on)" : "");
        EXPECT_EQ(decodeErrors(played), "");
    }
};

TEST_F(InterleavedMediaTest, EachAnglePlaysTheWholeTitleWithItsOwnScene) {
    for (const int angle : {1, 2})
        expectPlayback(media().angles, 1, angle, 550,
                       [angle](int i) { return i | (i >= 150 && i < 400 ? angle << 10 : 0); });
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

} // namespace
} // namespace parvane
