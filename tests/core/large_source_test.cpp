#include "core/clip_saver.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace parvane {
namespace {

using namespace parvane::testing;

constexpr std::int64_t kTwoGiB = std::int64_t{1} << 31;
constexpr std::int64_t kMiB = std::int64_t{1} << 20;

// A sparse source just over 2 GiB, 1 MiB per second of playing time, with marked bytes
// around the 2 GiB boundary; the clip from 2047 s to 2048 s crosses it.
TEST(LargeSource, AClipAcrossTheTwoGiBBoundaryHasTheRightBytes) {
    TempDir dir;
    const auto sourcePath = dir.file("big.vob");
    const std::int64_t length = 2049 * kMiB;
    {
        const int fd = ::open(sourcePath.c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, length), 0);
        const auto marks = patternBytes(4096);
        for (const std::int64_t at : {kTwoGiB - 2048, 2047 * kMiB - 1, kTwoGiB + 16384 - 2048}) {
            ASSERT_EQ(::pwrite(fd, marks.data(), marks.size(), at), 4096);
        }
        ::close(fd);
    }

    ClipState state;
    state.SourcePath = sourcePath;
    state.ClipBegin = 2047;
    state.ClipEnd = 2048;
    SaverFakes fakes;
    fakes.player.mediaDuration = 2049.0;
    fakes.dialog.answers.push_back(dir.file("clip.vob"));
    PosixFileSystem files;
    ClipSaver(state, fakes.parts(files)).save();

    ASSERT_EQ(fakes.messages.shown, std::vector<std::string>{"Clip Saved"});
    const auto clip = readFile(dir.file("clip.vob"));
    // FirstPos = 2047 MiB (1-based), LastPos = 2 GiB; 52 steps of 20480 and one byte.
    const std::int64_t firstOffset = 2047 * kMiB - 1;
    ASSERT_EQ(static_cast<std::int64_t>(clip.size()), 52 * 20480 + 1);
    EXPECT_EQ(fakes.progress.maximum, kMiB + 20481);
    const auto marks = patternBytes(4096);
    const auto expectAt = [&](std::int64_t sourceOffset, std::size_t markIndex) {
        EXPECT_EQ(clip.at(static_cast<std::size_t>(sourceOffset - firstOffset)), marks[markIndex])
            << "source offset " << sourceOffset;
    };
    expectAt(firstOffset, 0); // first byte of the clip
    expectAt(firstOffset + 4095, 4095);
    expectAt(kTwoGiB - 1, 2047); // last byte below 2 GiB
    expectAt(kTwoGiB, 2048);     // first byte at 2 GiB
    // The copy ends 52 steps on, at 2 GiB + 16383, inside the third mark.
    expectAt(firstOffset + 52 * 20480, 2047);
    EXPECT_EQ(clip.at(static_cast<std::size_t>(kTwoGiB + 4096 - firstOffset)), 0u);
}

} // namespace
} // namespace parvane
