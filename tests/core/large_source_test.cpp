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
    const auto source = dir.file("big.vob");
    const int fd = ::open(source.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 2049 * kMiB), 0);
    // From 1-based position 2047 MiB to 2 GiB: 52 steps of 20480 bytes and one byte.
    const std::int64_t first = 2047 * kMiB - 1;
    std::vector<std::uint8_t> expected(52 * 20480 + 1);
    const auto marks = patternBytes(4096);
    for (const std::int64_t at : {first, kTwoGiB - 2048, kTwoGiB + 16384 - 2048}) {
        ASSERT_EQ(::pwrite(fd, marks.data(), marks.size(), at), 4096);
        for (std::size_t i = 0; i < marks.size() && at - first + i < expected.size(); ++i)
            expected[at - first + i] = marks[i];
    }
    ::close(fd);

    ClipState state{2047, 2048, source, "", std::nullopt};
    SaverFakes fakes;
    fakes.player.mediaDuration = 2049.0;
    fakes.dialog.answers.push_back(dir.file("clip.vob"));
    PosixFileSystem files;
    ClipSaver(state, fakes.parts(files)).save();
    ASSERT_EQ(fakes.messages.shown, std::vector<std::string>{"Clip Saved"});
    EXPECT_EQ(fakes.progress.maximum, kMiB + 20481);
    EXPECT_EQ(readFile(dir.file("clip.vob")), expected);
}

} // namespace
} // namespace parvane
