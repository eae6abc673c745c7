#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace parvane {
namespace {

using namespace parvane::testing;

// What the copy has told the disk: the stretches handed to it and how far it has waited.
struct DiskLog {
    std::vector<ByteRange> handed;
    std::int64_t awaitedEnd = 0;
    int awaits = 0;
    int failAtAwait = 0; // the await that reports a failed write, from 1; 0 for none

    std::int64_t handedEnd() const { return handed.empty() ? 0 : handed.back().end(); }
};

class WatchedClip : public ForwardingClipFile {
public:
    WatchedClip(std::unique_ptr<ClipFile> real, DiskLog& log)
        : ForwardingClipFile(std::move(real)), log_(log) {}

    void startWriteBack(std::int64_t offset, std::int64_t count) override {
        log_.handed.push_back({offset, count});
        ForwardingClipFile::startWriteBack(offset, count);
    }
    void awaitWriteBack(std::int64_t offset, std::int64_t count) override {
        if (++log_.awaits == log_.failAtAwait)
            throw FileError("Input/output error");
        ForwardingClipFile::awaitWriteBack(offset, count);
        log_.awaitedEnd = std::max(log_.awaitedEnd, offset + count);
    }

private:
    DiskLog& log_;
};

struct WatchedFileSystem : HookedFileSystem {
    explicit WatchedFileSystem(FileSystem& real) : HookedFileSystem(real) {}
    std::unique_ptr<ClipFile> createClip(const std::string& destination) override {
        return std::make_unique<WatchedClip>(HookedFileSystem::createClip(destination), log);
    }
    DiskLog log;
};

struct Report {
    std::int64_t onDisk;
    std::int64_t awaitedEnd;
    std::int64_t handedEnd;
};

class WriteBackTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        writeFile(dir.file("source.vob"), source);
        // A hooked source is no file the kernel can copy from: the copy reads and writes.
        if (!GetParam())
            files.onRead = [](int) {};
    }

    TempDir dir;
    std::vector<std::uint8_t> source = patternBytes(300000);
    PosixFileSystem posix;
    WatchedFileSystem files{posix};
};

// The progress of a save is the bytes on disk, never those only in the page cache, and it
// ends only when every byte is there; the cache never runs more than two stretches ahead.
TEST_P(WriteBackTest, TheCopyReportsTheBytesOnDiskAndEndsWhenAllAre) {
    const ByteRange range{1000, 250000};
    constexpr std::int64_t kStretch = 20480;
    std::vector<Report> reports;
    {
        auto input = files.openSource(dir.file("source.vob"));
        auto clip = files.createClip(dir.file("clip.vob"));
        const auto progress = [&](std::int64_t onDisk) {
            reports.push_back({onDisk, files.log.awaitedEnd, files.log.handedEnd()});
            return true;
        };
        ASSERT_TRUE(copyBytes(*input, *clip, range, progress, {kStretch, 8192}));
        clip->commit();
    }
    ASSERT_FALSE(reports.empty());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_LE(reports[i].onDisk, reports[i].awaitedEnd) << i;
        EXPECT_LE(reports[i].handedEnd - reports[i].awaitedEnd, 2 * kStretch) << i;
        if (i > 0) {
            EXPECT_GE(reports[i].onDisk, reports[i - 1].onDisk) << i;
        }
    }
    EXPECT_EQ(reports.back().onDisk, range.length);
    EXPECT_EQ(reports.back().awaitedEnd, range.length);
    // Every byte went to disk once, in order.
    std::int64_t next = 0;
    for (const ByteRange& stretch : files.log.handed) {
        EXPECT_EQ(stretch.offset, next);
        next = stretch.end();
    }
    EXPECT_EQ(next, range.length);
    EXPECT_EQ(
        readFile(dir.file("clip.vob")),
        std::vector<std::uint8_t>(source.begin() + range.offset, source.begin() + range.end()));
}

// A write that fails on its way to disk fails the save there, with the system's reason,
// before anything replaces the old file.
TEST_P(WriteBackTest, AWriteThatFailsOnTheWayToDiskKeepsTheOldFile) {
    SaverFakes fakes;
    fakes.player.mediaDuration = 300000.0 / 20480;
    const auto clip = dir.file("existing.vob");
    writeFile(clip, std::vector<std::uint8_t>(3000, 0x22));
    fakes.dialog.answers.push_back(clip);
    fakes.messages.answers.push_back(true);
    files.log.failAtAwait = 3;
    ClipState state{1, 12, dir.file("source.vob"), "", {}};
    ClipSaver(state, fakes.parts(files), {{20480, 8192}, std::chrono::milliseconds(0)}).save();

    EXPECT_EQ(fakes.messages.shown,
              (std::vector<std::string>{"File already exist.Overwrite?",
                                        "Clip not saved: Input/output error"}));
    EXPECT_EQ(readFile(clip), std::vector<std::uint8_t>(3000, 0x22));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
}

INSTANTIATE_TEST_SUITE_P(Copies, WriteBackTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "InTheKernel" : "Buffered"; });

} // namespace
} // namespace parvane
