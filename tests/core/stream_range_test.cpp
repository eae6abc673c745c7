#include "core/save/clip_plan.h"
#include "core/stream/program_stream.h"
#include "core/stream/stream_range.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "support/synthetic_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

namespace parvane {
namespace {

using namespace parvane::testing;
using Navigation = SyntheticLayout::Navigation;

constexpr std::int64_t kMiB = std::int64_t{1} << 20;
constexpr std::int64_t kTicksPerSecond = 90000;

// Where a mark must put each end on a SyntheticStream, whose group g starts showing at
// 0.6 g seconds: the last group starting at or before the begin mark, and the first
// group starting after the end mark.
std::int64_t expectedBegin(const SyntheticStream& stream, double seconds) {
    return stream.groupOffset(std::llround(seconds * kTicksPerSecond) /
                              SyntheticStream::kGroupTicks);
}
std::int64_t expectedEnd(const SyntheticStream& stream, double seconds) {
    return stream.groupOffset(
        std::llround(seconds * kTicksPerSecond) / SyntheticStream::kGroupTicks + 1);
}

struct LayoutCase {
    const char* name;
    SyntheticLayout layout;
    bool readNavigation; // give the finder libdvdread
    double begin;
    double end;
};

// Named in ctest's listing and in a failure by its layout's name, not by its bytes.
void PrintTo(const LayoutCase& row, std::ostream* out) {
    *out << row.name;
}

class FinderOnSyntheticStream : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(FinderOnSyntheticStream, CutsAtTheGroupsAroundTheMarks) {
    const LayoutCase& row = GetParam();
    SyntheticStream stream(row.layout);
    DvdreadNavReader navPacks;
    StreamRangeFinder finder(stream, row.readNavigation ? &navPacks : nullptr);
    const ByteRange range = finder.find(row.begin, row.end);
    EXPECT_EQ(range.offset, expectedBegin(stream, row.begin));
    EXPECT_EQ(range.end(), expectedEnd(stream, row.end));
}

SyntheticLayout layout(Navigation navigation, std::int64_t firstClock = 0) {
    SyntheticLayout layout;
    layout.navigation = navigation;
    layout.firstClock = firstClock;
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FinderOnSyntheticStream,
    ::testing::Values(
        LayoutCase{"vobuTimes", layout(Navigation::Timed), true, 30, 40},
        // ffmpeg's blank navigation packs: groups from the video, each with the
        // navigation pack right before it.
        LayoutCase{"blankNavigation", layout(Navigation::Blank), true, 30, 40},
        LayoutCase{"noNavigation", layout(Navigation::None), true, 30, 40},
        LayoutCase{"timesIgnoredWithoutReader", layout(Navigation::Timed), false, 30, 40},
        // 30 s and 31.2 s are group starts: the group starting at a mark is in the clip.
        LayoutCase{"marksOnGroupStarts", layout(Navigation::Timed), true, 30, 31.2},
        LayoutCase{"decimals", layout(Navigation::None), true, 12.25, 12.5},
        LayoutCase{"fromTheStart", layout(Navigation::None), true, 0, 1},
        // The clock passes 2^33 twenty seconds in.
        LayoutCase{"clockWraps", layout(Navigation::Timed, (std::int64_t{1} << 33) - 20 * 90000),
                   true, 15, 25},
        LayoutCase{"clockWrapsNoNavigation",
                   layout(Navigation::None, (std::int64_t{1} << 33) - 20 * 90000), true, 15, 25},
        // Past the last timestamp (54.6 s in): through the stream's end.
        LayoutCase{"endPastTheEnd", layout(Navigation::Timed), true, 20, 40 * 60}),
    [](const auto& info) { return std::string(info.param.name); });

// Counts the bytes read through the source for each boundary: a bisection and a short scan,
// whatever the file's size. The first boundary also reads the stream's start and end.
TEST(FinderReadLimit, ReadsAtMostHalfAMebibytePerBoundary) {
    for (const auto& [size, navigation] :
         {std::pair(1024 * kMiB, Navigation::Timed), std::pair(4096 * kMiB, Navigation::Timed),
          std::pair(4096 * kMiB, Navigation::Blank)}) {
        SyntheticLayout layout;
        layout.size = size;
        layout.navigation = navigation;
        SyntheticStream stream(layout);
        DvdreadNavReader navPacks;
        StreamRangeFinder finder(stream, &navPacks);
        const double middle = static_cast<double>(size) / 2 / (2048.0 / 150 * 90000);
        EXPECT_EQ(finder.beginAt(middle), expectedBegin(stream, middle));
        const std::int64_t forBegin = stream.bytesRead;
        EXPECT_EQ(finder.endAt(middle + 10), expectedEnd(stream, middle + 10));
        EXPECT_LE(forBegin, StreamRangeFinder::kBoundaryReadLimit) << size;
        EXPECT_LE(stream.bytesRead - forBegin, StreamRangeFinder::kBoundaryReadLimit) << size;
        EXPECT_EQ(finder.bytesRead(), stream.bytesRead);
    }
}

TEST(FinderRefuses, WithAReasonForTheUser) {
    DvdreadNavReader navPacks;
    const auto reason = [&](SourceFile& source, double begin, double end) -> std::string {
        try {
            StreamRangeFinder(source, &navPacks).find(begin, end);
        } catch (const SaveError& error) {
            return error.what();
        }
        return "no refusal";
    };

    SyntheticLayout untimed;
    untimed.size = 8 * kMiB;
    untimed.timestamps = false;
    SyntheticStream noTimestamps(untimed);
    EXPECT_EQ(reason(noTimestamps, 1, 2), "the source has no timestamps");

    SyntheticLayout small;
    small.size = 20 * kMiB; // its last timestamp is 17.06 s in
    SyntheticStream shortStream(small);
    EXPECT_EQ(reason(shortStream, 30, 40), "the marks lie past the end of the stream (0:00:17)");

    // The clock starts again at pack 100000, about 166.2 s in (the stream's start is at
    // its first timestamp, 0.5 s after the first pack's clock). Marks on either side of
    // the reset are refused: after it, each time means two places.
    SyntheticLayout reset;
    reset.size = 400 * kMiB;
    reset.resetAtPack = 100000;
    for (const double begin : {30.0, 170.0}) {
        SyntheticStream spliced(reset);
        EXPECT_EQ(reason(spliced, begin, begin + 10), "the stream's times jump near 0:02:46")
            << begin;
    }
}

// A file's bytes from memory, kept for checking what the finder answers.
class BytesSource : public SourceFile {
public:
    explicit BytesSource(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(file), {});
    }
    std::int64_t size() const override { return static_cast<std::int64_t>(bytes.size()); }
    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
        const auto at = static_cast<std::size_t>(offset);
        const std::size_t n = at < bytes.size() ? std::min(count, bytes.size() - at) : 0;
        std::memcpy(buffer, bytes.data() + at, n);
        return n;
    }
    std::vector<char> bytes;
};

// Damaged streams the fuzz target found: every range answered is whole packs inside the
// file. The last pack header of this one announces stuffing that runs past the file's end.
TEST(FinderOnDamagedStreams, AnswersWholePacksInsideTheFile) {
    BytesSource source(std::string(PARVANE_TEST_DATA) + "/stuffing-past-the-end.vob");
    ASSERT_FALSE(source.bytes.empty());
    DvdreadNavReader navPacks;
    StreamRangeFinder finder(source, &navPacks);
    const double duration = finder.duration();
    for (const auto& [begin, end] :
         {std::pair{0.25, 0.75}, std::pair{0.0, 1.0}, std::pair{0.5, 0.51}, std::pair{0.9, 3.0}}) {
        try {
            const ByteRange range = finder.find(duration * begin, duration * end);
            ASSERT_GE(range.offset, 0) << begin;
            ASSERT_GT(range.length, 0) << begin;
            ASSERT_LE(range.end(), source.size()) << begin;
            EXPECT_EQ(std::memcmp(source.bytes.data() + range.offset, "\0\0\1\xBA", 4), 0) << begin;
        } catch (const SaveError&) {
            // A refusal is a right answer too.
        }
    }
}

// A title's cells are played as one stream with each cell's clock moved on: every clock
// reference and timestamp moves by the same ticks, across the 33-bit wrap, and nothing else
// in the pack changes.
TEST(ShiftedClocks, MoveEveryClockOfAPackAndNothingElse) {
    constexpr std::int64_t kWrap = std::int64_t{1} << 33;
    SyntheticLayout layout;
    layout.size = 400 * SyntheticStream::kPackSize;
    layout.firstClock = kWrap - 3000;
    SyntheticStream stream(layout);
    std::vector<std::byte> packs(static_cast<std::size_t>(stream.size()));
    ASSERT_EQ(stream.readAt(0, packs.data(), packs.size()), packs.size());
    const auto earliest = mpeg::earliestTimestamp(packs);
    ASSERT_TRUE(earliest.has_value());

    std::vector<std::byte> shifted = packs;
    for (std::size_t at = 0; at < shifted.size(); at += SyntheticStream::kPackSize)
        mpeg::shiftPackClocks(std::span(shifted).subspan(at, SyntheticStream::kPackSize), 5000);
    EXPECT_EQ(mpeg::earliestTimestamp(shifted), (*earliest + 5000) % kWrap);
    for (std::size_t at = 0; at < shifted.size(); at += SyntheticStream::kPackSize) {
        const auto before = mpeg::readPackHeader(std::span(packs).subspan(at));
        const auto after = mpeg::readPackHeader(std::span(shifted).subspan(at));
        ASSERT_TRUE(before && after) << at;
        ASSERT_EQ(after->scr, (before->scr + 5000) % kWrap) << at;
    }
    // Back again: the very bytes of the source, marker bits and all.
    for (std::size_t at = 0; at < shifted.size(); at += SyntheticStream::kPackSize)
        mpeg::shiftPackClocks(std::span(shifted).subspan(at, SyntheticStream::kPackSize), -5000);
    EXPECT_TRUE(shifted == packs);

    // Bytes that are no pack stay as they are.
    std::vector<std::byte> other(SyntheticStream::kPackSize, std::byte{0x47});
    const auto copy = other;
    mpeg::shiftPackClocks(other, 5000);
    EXPECT_TRUE(other == copy);
}

} // namespace
} // namespace parvane
