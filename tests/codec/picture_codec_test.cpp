// The edge pictures decoded and encoded again with libavcodec, on MPEG-2 video made by
// ffmpeg (PAL, interlaced, open groups) and by mpeg2enc (NTSC film with soft pulldown).
// What the pictures are and how they are shown is taken from ffprobe and ffmpeg, not from
// the codec's own reading of the headers.

#include "platform/avcodec/avcodec_picture_codec.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <map>
#include <random>
#include <set>

namespace parvane {
namespace {

using namespace parvane::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kChunk = 2048;
const std::string kText = "drawtext=text='%{pts\\:hms} %{n}':fontsize=64:fontcolor=white:"
                          "box=1:boxcolor=black:x=40:y=40";

// A picture as ffprobe shows it.
struct Shown {
    std::int64_t pos = 0; // where its bytes start, so the order of the pictures' coding
    char type = '?';
    bool topFieldFirst = false;
    bool repeatFirstField = false;
    bool interlaced = false;
    std::int64_t pts = 0; // 90 kHz
};

std::vector<Shown> probeShown(const std::string& path) {
    std::istringstream lines(toolOutput(
        "ffprobe -v error -select_streams v -show_entries frame=pkt_pos,pict_type,"
        "top_field_first,repeat_pict,interlaced_frame,best_effort_timestamp_time -of compact '" +
        path + "'"));
    std::vector<Shown> shown;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("frame|", 0) != 0)
            continue;
        std::map<std::string, std::string> field;
        std::istringstream parts(line);
        for (std::string part; std::getline(parts, part, '|');)
            if (const auto eq = part.find('='); eq != std::string::npos)
                field[part.substr(0, eq)] = part.substr(eq + 1);
        shown.push_back(
            {std::atoll(field["pkt_pos"].c_str()), field["pict_type"][0],
             field["top_field_first"] == "1", field["repeat_pict"] == "1",
             field["interlaced_frame"] == "1",
             std::llround(std::atof(field["best_effort_timestamp_time"].c_str()) * 90000)});
    }
    return shown;
}

std::vector<std::size_t> codes(const Bytes& bytes, std::uint8_t code) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i + 3 < bytes.size(); ++i)
        if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1 && bytes[i + 3] == code)
            found.push_back(i);
    return found;
}

Bytes decodeToYuv(const std::string& path) {
    runTool("ffmpeg -nostdin -y -i '" + path +
            "' -fps_mode passthrough -f rawvideo -pix_fmt "
            "yuv420p '" +
            path + ".yuv'");
    return readFile(path + ".yuv");
}

struct Source {
    std::string path;
    Bytes bytes;
    int width = 0;
    int height = 0;
    std::vector<Shown> shown;           // display order
    std::vector<std::size_t> display;   // display index of each picture in coding order
    std::vector<std::size_t> coding;    // and the other way round
    std::vector<std::size_t> pictureAt; // picture start code of each, in coding order
    Bytes yuv;

    std::size_t frameSize() const { return std::size_t(width) * height * 3 / 2; }

    Source(const std::string& file, int w, int h) : path(file), width(w), height(h) {
        bytes = readFile(path);
        shown = probeShown(path);
        std::vector<std::size_t> byPos(shown.size());
        for (std::size_t d = 0; d < shown.size(); ++d)
            byPos[d] = d;
        std::sort(byPos.begin(), byPos.end(),
                  [&](auto a, auto b) { return shown[a].pos < shown[b].pos; });
        display = byPos;
        coding.resize(display.size());
        for (std::size_t c = 0; c < display.size(); ++c)
            coding[display[c]] = c;
        pictureAt = codes(bytes, 0x00);
        yuv = decodeToYuv(path);
        if (pictureAt.size() != shown.size() || yuv.size() != shown.size() * frameSize())
            throw std::runtime_error("test media: pictures miscounted in " + path);
    }
};

// Chunks of at most 2048 bytes of [from, to), each timed as a PES header times it: by the
// first picture that starts in it.
struct Chunks {
    Bytes bytes;
    std::vector<PictureCodec::Chunk> list;
    Chunks(const Bytes& stream, std::size_t from, std::size_t to,
           const std::vector<std::pair<std::size_t, std::int64_t>>& pictureTimes)
        : bytes(stream.begin() + static_cast<std::ptrdiff_t>(from),
                stream.begin() + static_cast<std::ptrdiff_t>(to)) {
        for (std::size_t at = 0; at < bytes.size(); at += kChunk) {
            const std::size_t size = std::min(kChunk, bytes.size() - at);
            PictureCodec::Chunk chunk{std::as_bytes(std::span(bytes).subspan(at, size)),
                                      std::nullopt, std::nullopt};
            for (const auto& [offset, pts] : pictureTimes)
                if (offset >= from + at && offset < from + at + size) {
                    chunk.pts = pts;
                    break;
                }
            list.push_back(chunk);
        }
    }
};

std::vector<std::pair<std::size_t, std::int64_t>> pictureTimes(const Source& source) {
    std::vector<std::pair<std::size_t, std::int64_t>> times;
    for (std::size_t c = 0; c < source.pictureAt.size(); ++c)
        times.emplace_back(source.pictureAt[c], source.shown[source.display[c]].pts);
    return times;
}

double psnr(const std::uint8_t* a, const std::uint8_t* b, std::size_t size) {
    double sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 * double(size) / sum);
}

// The pts of the pictures shown at display indices satisfying `keep`.
template <typename Keep> std::vector<std::int64_t> truthTimes(const Source& source, Keep keep) {
    std::vector<std::int64_t> times;
    for (std::size_t d = 0; d < source.shown.size(); ++d)
        if (keep(d))
            times.push_back(source.shown[d].pts);
    return times;
}

// Same times, allowing the tick ffprobe's seconds lose at 29.97 Hz.
void expectTimes(const std::vector<PictureCodec::Picture>& got,
                 const std::vector<std::int64_t>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_LE(std::abs(got[i].pts - want[i]), 1) << "picture " << i;
}

struct Media {
    TempDir dir;
    Source pal = makePal();
    Source ntsc = makeNtsc();

    Source makePal() {
        const std::string path = dir.file("pal.m2v");
        runTool("ffmpeg -nostdin -y -f lavfi -i \"testsrc2=size=720x576:rate=25," + kText +
                "\" -t 4 -c:v mpeg2video -b:v 6M -maxrate 9.8M -bufsize 1835008 -flags "
                "+ildct+ilme -top 1 -bf 2 -g 12 -aspect 16:9 -f mpeg2video '" +
                path + "'");
        return Source(path, 720, 576);
    }
    Source makeNtsc() {
        const std::string path = dir.file("ntsc.m2v");
        runTool("(ffmpeg -nostdin -v error -f lavfi -i \"testsrc2=size=720x480:rate=24000/1001," +
                kText +
                "\" -t 3 -pix_fmt yuv420p -f yuv4mpegpipe - | mpeg2enc -v 0 -f 8 -p -a 2 "
                "-R 2 -g 12 -G 12 -o '" +
                path + "')");
        return Source(path, 720, 480);
    }
};

const Media& media() {
    static const Media made;
    return made;
}

// Where the chunks start: the second sequence header, so the open group there has B
// pictures that predict from the group before. They end at the last one: ffprobe cannot
// time the stream's last picture.
struct Start {
    std::size_t offset = 0;
    std::size_t end = 0;
    std::size_t codedEnd = 0; // coding index of the first picture after the chunks
    std::size_t coded = 0;    // coding index of the first picture there
    std::size_t firstI = 0;   // display index of the I picture there
    std::size_t nextI = 0;    // display index of the following group's I picture
};

Start secondSequence(const Source& source) {
    Start start;
    const auto headers = codes(source.bytes, 0xB3);
    start.offset = headers.at(1);
    start.end = headers.back();
    start.codedEnd = static_cast<std::size_t>(
        std::lower_bound(source.pictureAt.begin(), source.pictureAt.end(), start.end) -
        source.pictureAt.begin());
    const auto first =
        std::lower_bound(source.pictureAt.begin(), source.pictureAt.end(), start.offset) -
        source.pictureAt.begin();
    start.coded = static_cast<std::size_t>(first);
    start.firstI = source.display[start.coded];
    start.nextI = start.firstI + 1;
    while (source.shown.at(start.nextI).type != 'I')
        ++start.nextI;
    return start;
}

class PictureCodecTest : public ::testing::TestWithParam<bool> {
protected:
    const Source& source() const { return GetParam() ? media().ntsc : media().pal; }
};

TEST_P(PictureCodecTest, EncodesAnEdgeThatStartsAtABPictureInTheSourcesForm) {
    const Source& src = source();
    // The media are what the test is about: open groups, and the field flags at stake.
    const Start start = secondSequence(src);
    ASSERT_EQ(src.shown[start.firstI].type, 'I');
    ASSERT_LT(src.display[start.coded + 1], start.firstI) << "an open group's leading B picture";
    const std::size_t first = start.nextI - 2;
    ASSERT_EQ(src.shown[first].type, 'B');
    std::set<std::pair<bool, bool>> flagsSeen;
    for (const Shown& shown : src.shown)
        flagsSeen.insert({shown.topFieldFirst, shown.repeatFirstField});
    if (GetParam())
        ASSERT_EQ(flagsSeen.size(), 4u) << "soft pulldown: every field order and repeat";
    else
        ASSERT_EQ(flagsSeen, (std::set<std::pair<bool, bool>>{{true, false}}));

    AvcodecPictureCodec codec;
    const Chunks chunks(src.bytes, start.offset, start.end, pictureTimes(src));
    const auto pictures = codec.decode(chunks.list);
    // The group's leading B pictures lack the group before; all from its I picture on decode.
    expectTimes(pictures, truthTimes(src, [&](std::size_t d) {
                    return d >= start.firstI && src.coding[d] < start.codedEnd;
                }));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        const Shown& shown = src.shown[start.firstI + i];
        EXPECT_EQ(pictures[i].topFieldFirst, shown.topFieldFirst) << i;
        EXPECT_EQ(pictures[i].repeatFirstField, shown.repeatFirstField) << i;
        EXPECT_EQ(pictures[i].progressiveFrame, !shown.interlaced) << i;
    }

    const std::size_t count = 20; // more than a group's 15 or 18
    const std::size_t at = first - start.firstI;
    const auto result = codec.encode(pictures.at(at).pts, pictures.at(at + count - 1).pts);
    ASSERT_EQ(result.failure, "");
    ASSERT_EQ(result.pictures.size(), count);
    const std::size_t groupMost = GetParam() ? 18 : 15;
    std::size_t sinceGroup = 0;
    Bytes out;
    for (std::size_t i = 0; i < count; ++i) {
        const auto& coded = result.pictures[i];
        EXPECT_EQ(coded.pts, pictures[at + i].pts);
        EXPECT_EQ(coded.startsGroup, coded.type == 'I');
        sinceGroup = coded.startsGroup ? 1 : sinceGroup + 1;
        EXPECT_LE(sinceGroup, groupMost);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(coded.bytes.data());
        out.insert(out.end(), bytes, bytes + coded.bytes.size());
    }
    EXPECT_TRUE(result.pictures[0].startsGroup);
    // No faster than a DVD player reads, so the pictures leave its buffer as they found it.
    const double seconds = double(count) / (GetParam() ? 30000.0 / 1001 : 25);
    const double rate = double(out.size()) * 8 / seconds;
    EXPECT_LE(rate, 9.8e6);

    // The sequence headers say what the source's say; the groups are closed.
    const std::size_t sourceHeader = codes(src.bytes, 0xB3)[0];
    for (const std::size_t header : codes(out, 0xB3))
        EXPECT_TRUE(std::equal(out.begin() + long(header) + 4, out.begin() + long(header) + 8,
                               src.bytes.begin() + long(sourceHeader) + 4));
    const auto groups = codes(out, 0xB8);
    EXPECT_EQ(groups.size(), (count + groupMost - 1) / groupMost);
    for (const std::size_t group : groups)
        EXPECT_EQ(out[group + 7] & 0x60, 0x40) << "closed_gop set, broken_link clear";

    TempDir dir;
    const std::string path = dir.file("edge.m2v");
    writeFile(path, out);
    EXPECT_EQ(decodeErrors(path), "");
    const auto shownOut = probeShown(path);
    ASSERT_EQ(shownOut.size(), count);
    const Bytes yuv = decodeToYuv(path);
    ASSERT_EQ(yuv.size(), count * src.frameSize());
    std::vector<double> figures;
    for (std::size_t i = 0; i < count; ++i) {
        const Shown& want = src.shown[first + i];
        EXPECT_EQ(shownOut[i].topFieldFirst, want.topFieldFirst) << i;
        EXPECT_EQ(shownOut[i].repeatFirstField, want.repeatFirstField) << i;
        EXPECT_EQ(shownOut[i].interlaced, want.interlaced) << i;
        figures.push_back(psnr(yuv.data() + i * src.frameSize(),
                               src.yuv.data() + (first + i) * src.frameSize(), src.frameSize()));
        EXPECT_GE(figures.back(), 40.0) << "picture " << i;
    }
    std::sort(figures.begin(), figures.end());
    std::cout << "PSNR lowest " << figures.front() << " dB, median " << figures[count / 2]
              << " dB at " << rate / 1e6 << " Mbit/s\n";
}

INSTANTIATE_TEST_SUITE_P(PalAndNtscFilm, PictureCodecTest, ::testing::Bool());

TEST(PictureCodecDamage, APictureCutShortTakesItsDependantsWithIt) {
    const Source& src = media().pal;
    const Start start = secondSequence(src);
    // The first P picture coded after the I picture loses the second half of its bytes.
    std::size_t c = 0;
    while (src.pictureAt[c] < start.offset || src.shown[src.display[c]].type != 'P')
        ++c;
    const std::size_t cutFrom = (src.pictureAt[c] + src.pictureAt[c + 1]) / 2;
    const std::size_t cutTo = static_cast<std::size_t>(src.shown[src.display[c + 1]].pos);
    Bytes damaged = src.bytes;
    damaged.erase(damaged.begin() + long(cutFrom), damaged.begin() + long(cutTo));
    auto times = pictureTimes(src);
    for (auto& [offset, pts] : times)
        if (offset >= cutTo)
            offset -= cutTo - cutFrom;

    AvcodecPictureCodec codec;
    const Chunks chunks(damaged, start.offset, start.end - (cutTo - cutFrom), times);
    expectTimes(codec.decode(chunks.list), truthTimes(src, [&](std::size_t d) {
                    return (d == start.firstI || d >= start.nextI) &&
                           src.coding[d] < start.codedEnd;
                }));
}

TEST(PictureCodecDamage, GarbageNeitherCrashesNorInventsPictures) {
    const Source& src = media().pal;
    const Start start = secondSequence(src);
    std::mt19937 random(7);
    Bytes damaged = src.bytes;
    for (int flip = 0; flip < 30; ++flip)
        damaged[start.offset + random() % (damaged.size() - start.offset)] ^= 1u << (random() % 8);
    auto times = pictureTimes(src);
    Chunks chunks(damaged, start.offset, start.end, times);
    // A stretch of noise, and a chunk cut to a few bytes.
    Bytes noise(5000);
    for (auto& byte : noise)
        byte = static_cast<std::uint8_t>(random());
    chunks.list.insert(chunks.list.begin() + 20, {std::as_bytes(std::span(noise)), 1, 1});
    chunks.list[30].bytes = chunks.list[30].bytes.first(3);

    AvcodecPictureCodec codec;
    const auto pictures = codec.decode(chunks.list);
    const auto all = truthTimes(src, [](std::size_t) { return true; });
    for (const auto& picture : pictures)
        EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](std::int64_t pts) {
            return std::abs(pts - picture.pts) <= 1;
        })) << picture.pts;
    // Damage here and there leaves the groups it misses.
    EXPECT_FALSE(pictures.empty());
    const auto result = codec.encode(INT64_MIN, INT64_MAX);
    EXPECT_EQ(result.pictures.empty(), !result.failure.empty());
}

TEST(PictureCodecForms, FourTwoTwoChromaAndAnEmptyRangeFailWithAReason) {
    TempDir dir;
    const std::string path = dir.file("422.m2v");
    runTool("ffmpeg -nostdin -y -f lavfi -i testsrc2=size=720x576:rate=25 -t 0.4 -c:v "
            "mpeg2video -pix_fmt yuv422p -f mpeg2video '" +
            path + "'");
    const Bytes bytes = readFile(path);
    const PictureCodec::Chunk chunk{std::as_bytes(std::span(bytes)), 0, 0};
    AvcodecPictureCodec codec;
    const auto pictures = codec.decode(std::span(&chunk, 1));
    ASSERT_FALSE(pictures.empty());
    const auto result = codec.encode(pictures.front().pts, pictures.back().pts);
    EXPECT_TRUE(result.pictures.empty());
    EXPECT_NE(result.failure, "");
    EXPECT_NE(codec.encode(-100, -1).failure, "");
}

} // namespace
} // namespace parvane
