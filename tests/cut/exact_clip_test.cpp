// Frame-exact clips, checked from outside: titles as discs have them (PAL interlaced with
// open groups, AC-3 and subtitles over three cells whose clocks start again and two VOB
// files; NTSC interlaced with LPCM; NTSC film with pulldown flags), cut by parvane-cut with
// marks on each kind of picture, then decoded by ffmpeg, played by mpv and authored again by
// dvdauthor. The media are proven with ffprobe and libdvdnav before the clips are judged.

#include "core/title/title_range.h"
#include "cut/run_cut.h"
#include "support/clip_check.h"
#include "support/exact_media.h"
#include "support/interleaved_disc.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <numeric>
#include <sstream>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;

constexpr const char* kFallbackNote = "could not be re-encoded";

struct Media {
    Media() {
        const auto started = std::chrono::steady_clock::now();
        for (const auto& [name, make] :
             {std::pair<std::string, ExactTitle (*)(const std::string&)>{"pal", makePalTitle},
              {"ntsc", makeNtscTitle},
              {"film", makeFilmTitle}}) {
            fs::create_directory(dir.path() / name);
            titles.push_back(make(dir.file(name)));
            sources.push_back(readSourcePictures(titles.back().videoTs, 1));
        }
        std::cout
            << "exact media made in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
            << " s\n";
    }
    TempDir dir;
    std::vector<ExactTitle> titles; // PAL, NTSC, film
    std::vector<SourcePictures> sources;
};

const Media& media() {
    static const Media made;
    return made;
}

std::vector<std::string> probeLines(const std::string& what, const std::string& path) {
    std::istringstream text(
        toolOutput("ffprobe -v error " + what + " -of csv=p=0 '" + path + "' 2>&1"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) {
        // csv ends a section that has side data with a comma.
        while (!line.empty() && line.back() == ',')
            line.pop_back();
        if (!line.empty())
            lines.push_back(line);
    }
    return lines;
}

// The number of the `nth` picture of `type` in `cell` (from 0); -1 for the last.
int picture(const ExactTitle& title, char type, int nth, int cell = 0) {
    std::vector<int> found;
    for (const TitlePicture& p : title.pictures)
        if (p.type == type && p.cell == cell)
            found.push_back(p.number);
    return nth < 0 ? found.back() : found.at(static_cast<std::size_t>(nth));
}

// Each picture's group of pictures, counted over the title: B pictures shown just before
// an I picture are coded after it and belong to its group, the rest to the I before them.
std::vector<int> groups(const ExactTitle& title) {
    std::vector<int> group(title.pictures.size(), -1);
    int current = -1;
    for (std::size_t i = 0; i < title.pictures.size(); ++i) {
        if (title.pictures[i].type == 'I') {
            ++current;
            for (std::size_t b = i; b-- > 0 && title.pictures[b].type == 'B' &&
                                    title.pictures[b].cell == title.pictures[i].cell;)
                group[b] = current;
        }
        group[i] = current;
    }
    return group;
}

// ---- The media ----

TEST(ExactMediaTest, EachTitleIsWhatItsMakerSays) {
    struct Expected {
        std::string size, aspect, rate, audio;
        bool interlaced, repeatsFields, subtitles;
    };
    const Expected expected[] = {{"720,576", "16:9", "25/1", "ac3", true, false, true},
                                 {"720,480", "4:3", "30000/1001", "pcm_dvd", true, false, false},
                                 {"720,480", "4:3", "", "ac3", false, true, false}};
    for (std::size_t m = 0; m < 3; ++m) {
        const ExactTitle& title = media().titles[m];
        SCOPED_TRACE(title.videoTs);
        // libdvdnav plays every picture once, numbered in order.
        std::vector<int> numbers(title.pictures.size());
        std::iota(numbers.begin(), numbers.end(), 0);
        ASSERT_EQ(stripNumbers(title.played), numbers);
        EXPECT_EQ(toolOutput("ffmpeg -nostdin -v error -i '" + title.played + "' -f null - 2>&1"),
                  "");
        EXPECT_EQ(media().sources[m].byNumber.size(), numbers.size());

        const auto streams = probeLines("-show_entries stream=codec_name", title.played);
        EXPECT_EQ(std::count(streams.begin(), streams.end(), expected[m].audio), 1);
        EXPECT_EQ(std::count(streams.begin(), streams.end(), "dvd_subtitle"),
                  expected[m].subtitles ? 1 : 0);
        EXPECT_EQ(probeLines("-select_streams v -show_entries stream=width,height", title.played),
                  std::vector<std::string>{expected[m].size});
        EXPECT_EQ(
            probeLines("-select_streams v -show_entries stream=display_aspect_ratio", title.played),
            std::vector<std::string>{expected[m].aspect});
        if (!expected[m].rate.empty()) {
            EXPECT_EQ(
                probeLines("-select_streams v -show_entries stream=r_frame_rate", title.played),
                std::vector<std::string>{expected[m].rate});
        }

        // Per picture, in display order: its type as the maker listed it, interlaced top
        // field first or progressive with every other picture repeating a field.
        const auto frames = probeLines(
            "-select_streams v -show_entries frame=pict_type,interlaced_frame,top_field_first,"
            "repeat_pict",
            title.played);
        ASSERT_EQ(frames.size(), title.pictures.size());
        std::size_t repeated = 0;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(frames[i]);
            EXPECT_EQ(frames[i][0], title.pictures[i].type);
            // Pulldown alternates the first field; the interlaced pictures keep the top one.
            EXPECT_EQ(frames[i].substr(2, expected[m].interlaced ? 3 : 1),
                      expected[m].interlaced ? "1,1" : "0");
            repeated += frames[i].substr(6, 1) == "1";
        }
        EXPECT_EQ(repeated, expected[m].repeatsFields ? frames.size() / 2 : 0);

        // Open groups: B pictures shown before a group's I picture, after the first.
        std::string types;
        for (const TitlePicture& p : title.pictures)
            types += p.type;
        EXPECT_NE(types.find("BBI", 1), std::string::npos) << types;
        // One group to a VOBU: the VOBUs are the groups the middle of a clip copies.
        EXPECT_EQ(title.vobuStarts.size() - 1,
                  static_cast<std::size_t>(std::count(types.begin(), types.end(), 'I')));
    }

    // The PAL title: three cells, each starting its clock again; two subtitles in each; two
    // VOB files that libdvdnav plays as one, cut inside the second cell.
    const ExactTitle& pal = media().titles[0];
    std::vector<std::uint8_t> joined;
    for (const std::string& vob : pal.vobs) {
        const auto bytes = readFile(vob);
        joined.insert(joined.end(), bytes.begin(), bytes.end());
    }
    ASSERT_EQ(pal.vobs.size(), 2u);
    EXPECT_EQ(readFile(pal.played), joined);
    int resets = 0;
    double before = 0;
    for (const std::string& time :
         probeLines("-select_streams v -show_entries packet=pts_time", pal.played)) {
        if (time == "N/A")
            continue;
        resets += std::strtod(time.c_str(), nullptr) < before - 1;
        before = std::strtod(time.c_str(), nullptr);
    }
    EXPECT_EQ(resets, 2);
    EXPECT_EQ(probeLines("-select_streams s -show_entries packet=pts_time", pal.played).size(), 6u);
    const auto split = static_cast<std::int64_t>(fs::file_size(pal.vobs[0]));
    const auto after = std::upper_bound(pal.vobuStarts.begin(), pal.vobuStarts.end(), split);
    const int vobu = static_cast<int>(after - pal.vobuStarts.begin()) - 1;
    EXPECT_GT(split, pal.vobuStarts[static_cast<std::size_t>(vobu)]); // inside a VOBU
    const std::vector<int> group = groups(pal);
    const auto i = std::find(group.begin(), group.end(), vobu) - group.begin();
    EXPECT_EQ(pal.pictures[static_cast<std::size_t>(i)].cell, 1);
}

// ---- The clips ----

struct Marks {
    const char* name;
    std::size_t media; // 0 PAL, 1 NTSC, 2 film
    std::function<int(const ExactTitle&)> first, last;
};

// The picture numbers a clip must begin and end with.
const std::vector<Marks>& marks() {
    static const std::vector<Marks> table = {
        {"a group's I picture to a B picture", 0, [](auto& t) { return picture(t, 'I', 1); },
         [](auto& t) { return picture(t, 'B', 30); }},
        {"a P picture to a P picture", 0, [](auto& t) { return picture(t, 'P', 2); },
         [](auto& t) { return picture(t, 'P', 12); }},
        {"a B picture in the first cell to one in the second, across the clock's reset", 0,
         [](auto& t) { return picture(t, 'B', 40); },
         [](auto& t) { return picture(t, 'B', 9, 1); }},
        {"the title's first picture", 0, [](auto&) { return 0; },
         [](auto& t) { return picture(t, 'P', 5); }},
        {"the title's last picture", 0, [](auto& t) { return picture(t, 'B', 13, 2); },
         [](auto& t) { return static_cast<int>(t.pictures.size()) - 1; }},
        {"across the two VOB files", 0,
         [](auto& t) {
             const auto split = static_cast<std::int64_t>(fs::file_size(t.vobs[0]));
             const auto vobu = std::upper_bound(t.vobuStarts.begin(), t.vobuStarts.end(), split) -
                               t.vobuStarts.begin() - 1;
             const std::vector<int> group = groups(t);
             // The B picture after the I picture of the group before the one cut in two.
             return static_cast<int>(std::find(group.begin(), group.end(), vobu - 1) -
                                     group.begin()) +
                    3;
         },
         [](auto& t) { return picture(t, 'P', 2, 2); }},
        {"NTSC: a B picture to a P picture", 1, [](auto& t) { return picture(t, 'B', 7); },
         [](auto& t) { return picture(t, 'P', 14); }},
        {"film with repeated fields: a B picture to a B picture", 2,
         [](auto& t) { return picture(t, 'B', 3); }, [](auto& t) { return picture(t, 'B', 22); }},
    };
    return table;
}

// The middle of a picture's time on screen, on the title's timeline.
std::string shownAt(const ExactTitle& title, int number) {
    const TitlePicture& p = title.pictures.at(static_cast<std::size_t>(number));
    std::ostringstream text;
    text.precision(6);
    text << std::fixed << p.time + p.seconds / 2;
    return text.str();
}

class ExactClipTest : public ::testing::Test {
protected:
    Outcome cut(const Marks& m, int first, int last, const std::string& clip,
                const std::vector<std::string>& more) const {
        const ExactTitle& title = media().titles[m.media];
        std::vector<std::string> args = {
            title.videoTs,         clip,   "--title",           "1", "--from",
            shownAt(title, first), "--to", shownAt(title, last)};
        args.insert(args.end(), more.begin(), more.end());
        return runParvaneCut(args, dir_);
    }
    TempDir dir_;
};

TEST_F(ExactClipTest, AnExactClipShowsTheMarkedPicturesAndCopiesTheGroupsBetween) {
    int clipNumber = 0;
    for (const Marks& m : marks()) {
        const ExactTitle& title = media().titles[m.media];
        const int first = m.first(title);
        const int last = m.last(title);
        SCOPED_TRACE(std::string(m.name) + ": " + std::to_string(first) + " to " +
                     std::to_string(last));
        const std::string clip = dir_.file("exact" + std::to_string(++clipNumber) + ".vob");
        const Outcome run = cut(m, first, last, clip, {"--by", "exact"});
        EXPECT_EQ(run.status, 0) << run.err;
        if (run.status != 0)
            continue; // the other marks still tell what they find
        EXPECT_EQ(run.err.find(kFallbackNote), std::string::npos) << run.err;

        const ClipCheck check = checkClip(clip, media().sources[m.media], title.format);
        std::vector<int> expected(static_cast<std::size_t>(last - first + 1));
        std::iota(expected.begin(), expected.end(), first);
        EXPECT_EQ(check.numbers, expected);

        // The groups wholly inside the marks are copied; only their first one's leading B
        // pictures refer to a picture encoded again.
        const std::vector<int> group = groups(title);
        const int firstWhole = group[static_cast<std::size_t>(first)] +
                               (group[static_cast<std::size_t>(std::max(first - 1, 0))] ==
                                    group[static_cast<std::size_t>(first)] &&
                                first > 0);
        const int lastWhole =
            group[static_cast<std::size_t>(last)] -
            (last + 1 < static_cast<int>(group.size()) &&
             group[static_cast<std::size_t>(last + 1)] == group[static_cast<std::size_t>(last)]);
        for (std::size_t i = 0; i < check.numbers.size() && i < check.psnr.size(); ++i) {
            const auto n = static_cast<std::size_t>(check.numbers[i]);
            // A group's leading B pictures are shown before its I picture.
            bool leading = n < group.size() && title.pictures[n].type == 'B';
            for (std::size_t m = n + 1; leading && m < group.size() && group[m] == group[n]; ++m)
                if (title.pictures[m].type != 'B') {
                    leading = title.pictures[m].type == 'I';
                    break;
                }
            const bool copied = n < group.size() && group[n] >= firstWhole &&
                                group[n] <= lastWhole && !(group[n] == firstWhole && leading);
            if (copied) {
                EXPECT_TRUE(std::isinf(check.psnr[i])) << "picture " << n << ": " << check.psnr[i];
            } else {
                EXPECT_GE(check.psnr[i], 40.0) << "picture " << n;
            }
        }
        if (firstWhole <= lastWhole) {
            EXPECT_TRUE(holdsPacks(clip, title.played,
                                   title.vobuStarts[static_cast<std::size_t>(firstWhole)],
                                   title.vobuStarts[static_cast<std::size_t>(lastWhole + 1)]));
        }

        double seconds = 0;
        for (int n = first; n <= last; ++n)
            seconds += title.pictures[static_cast<std::size_t>(n)].seconds;
        const double frame = title.pictures[static_cast<std::size_t>(first)].seconds;
        EXPECT_NEAR(check.seconds, seconds, 1e-3);
        EXPECT_EQ(check.decodeErrors, "");
        EXPECT_TRUE(check.playedToEnd);
        EXPECT_NEAR(check.playedSeconds, seconds, 2 * frame);
        // dvdauthor takes no clock that goes back, as one does where a cell's starts again.
        if (run.err.find(kTimeResetNote) != std::string::npos)
            continue;
        EXPECT_EQ(check.authorErrors, "");
        EXPECT_TRUE(check.dvdPlayedToEnd);
        EXPECT_NEAR(check.dvdSeconds, seconds, 2 * frame);
    }
}

// The checker on today's cut at stream times, which copies whole VOBUs: consecutive
// pictures, each as the source has it, from at or before the first mark to at or after the
// last.
TEST_F(ExactClipTest, TheCheckerReadsACutAtStreamTimesAsTheSourcesPictures) {
    int clipNumber = 0;
    for (const Marks& m : marks()) {
        const ExactTitle& title = media().titles[m.media];
        const int first = m.first(title);
        const int last = m.last(title);
        SCOPED_TRACE(std::string(m.name) + ": " + std::to_string(first) + " to " +
                     std::to_string(last));
        const std::string clip = dir_.file("stream" + std::to_string(++clipNumber) + ".vob");
        const Outcome run = cut(m, first, last, clip, {});
        EXPECT_EQ(run.status, 0) << run.err;
        if (run.status != 0)
            continue; // the other marks still tell what they find
        const ClipCheck check = checkClip(clip, media().sources[m.media], title.format);
        ASSERT_FALSE(check.numbers.empty());
        std::vector<int> consecutive(check.numbers.size());
        std::iota(consecutive.begin(), consecutive.end(), check.numbers.front());
        EXPECT_EQ(check.numbers, consecutive);
        EXPECT_LE(check.numbers.front(), first);
        EXPECT_GE(check.numbers.back(), last);
        for (std::size_t i = 0; i < check.psnr.size(); ++i)
            EXPECT_TRUE(std::isinf(check.psnr[i])) << "picture " << check.numbers[i];
        // The VOBUs copied whole, each holding one group of pictures.
        const std::vector<int> group = groups(title);
        EXPECT_TRUE(holdsPacks(clip, title.played,
                               title.vobuStarts[static_cast<std::size_t>(
                                   group[static_cast<std::size_t>(check.numbers.front())])],
                               title.vobuStarts[static_cast<std::size_t>(
                                   group[static_cast<std::size_t>(check.numbers.back())] + 1)]));
    }

    // And it tells a clip that lost a picture and was encoded again coarsely.
    runTool("ffmpeg -nostdin -y -i '" + dir_.file("stream1.vob") +
            "' -map 0:v -vf \"select='not(eq(n\\,5))'\" -c:v mpeg2video -q:v 20 -f dvd '" +
            dir_.file("damaged.vob") + "'");
    const ClipCheck damaged =
        checkClip(dir_.file("damaged.vob"), media().sources[0], media().titles[0].format);
    ASSERT_GT(damaged.numbers.size(), 6u);
    EXPECT_EQ(damaged.numbers[5], damaged.numbers[4] + 2);
    EXPECT_LT(*std::max_element(damaged.psnr.begin(), damaged.psnr.end()), 40.0);
    const ExactTitle& pal = media().titles[0];
    EXPECT_FALSE(
        holdsPacks(dir_.file("damaged.vob"), pal.played, pal.vobuStarts[1], pal.vobuStarts[2]));
}

// An edge group that does not decode falls back to its whole VOBU, and the clip says so.
TEST_F(ExactClipTest, AnEdgeThatCannotBeEncodedAgainFallsBackToItsWholeVobu) {
    const ExactTitle& pal = media().titles[0];
    const std::vector<int> group = groups(pal);
    const int first = picture(pal, 'P', 8);
    const auto damagedGroup = static_cast<std::size_t>(group[static_cast<std::size_t>(first)]);
    // The group's first pictures, its I picture among them, made noise past their headers:
    // their packs and headers stay whole, so only the decoder sees the damage.
    std::ifstream in(pal.played, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::int64_t from = pal.vobuStarts[damagedGroup];
    for (std::int64_t pack = from + 2048; pack < from + 9 * 2048; pack += 2048)
        std::fill(bytes.begin() + pack + 300, bytes.begin() + pack + 2040, char(0xFF));
    const std::string source = dir_.file("damaged-source.vob");
    std::ofstream(source, std::ios::binary) << bytes;

    const std::string clip = dir_.file("fallback.vob");
    const Outcome run = runParvaneCut({source, clip, "--from", shownAt(pal, first), "--to",
                                       shownAt(pal, first + 30), "--by", "exact"},
                                      dir_);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("parvane-cut: the clip begins at "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(kFallbackNote), std::string::npos) << run.err;
    EXPECT_TRUE(holdsPacks(clip, source, from, pal.vobuStarts[damagedGroup + 1]));
}

} // namespace
} // namespace parvane
