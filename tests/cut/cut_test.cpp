// parvane-cut on real DVD media made by ffmpeg and dvdauthor: a variable-bit-rate title
// (a still minute, then a moving one), as a plain program stream with blank navigation
// packs and as authored with real ones.

#include "core/base/texts.h"
#include "core/save/clip_saver.h"
#include "cut/run_cut.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/media.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kPack = 2048;
constexpr double kFrame = 0.04;

class CutTest : public ::testing::Test {
protected:
    // Made once for all the tests.
    struct Media {
        Media() {
            makeVbrProgramStream(plain, 120);
            authored = authorDvd(dir.path().string(), plain);
        }
        TempDir dir;
        std::string plain = dir.file("title.vob");
        std::string authored;
    };
    static const Media& media() {
        static const Media made;
        return made;
    }

    // Runs parvane-cut with these arguments, each passed as it is.
    Outcome cut(const std::vector<std::string>& args) const { return runParvaneCut(args, dir_); }

    TempDir dir_;
};

// Packs that open with a system header and then the PCI of a navigation pack.
int navigationPacks(const Bytes& clip) {
    int count = 0;
    for (std::size_t at = 0; at + kPack <= clip.size(); at += kPack)
        count += clip[at + 17] == 0xBB && clip[at + 41] == 0xBF && clip[at + 44] == 0x00;
    return count;
}

// A still and a moving stretch of the plain and of the authored title.
TEST_F(CutTest, ClipShowsTheMarkedSecondsAsWholeGroupsCopiedAsTheyAre) {
    for (const std::string& source : {media().plain, media().authored})
        for (const auto& [begin, end] : {std::pair(30.0, 40.0), std::pair(85.0, 95.5)}) {
            SCOPED_TRACE(source + " from " + std::to_string(begin));
            const std::string clipPath = dir_.file("clip.vob");
            fs::remove(clipPath);
            const Outcome run = cut(
                {source, clipPath, "--from", std::to_string(begin), "--to", std::to_string(end)});
            ASSERT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.err, "") << "no meter without a terminal";

            const Bytes clip = readFile(clipPath);
            ASSERT_GE(clip.size(), kPack);
            EXPECT_EQ(clip.size() % kPack, 0u);
            EXPECT_EQ(Bytes(clip.begin(), clip.begin() + 4), (Bytes{0x00, 0x00, 0x01, 0xBA}));
            // Byte for byte a stretch of the source, starting at a VOBU's navigation pack.
            const Bytes all = readFile(source);
            const auto at = std::search(all.begin(), all.end(), clip.begin(), clip.begin() + kPack);
            ASSERT_NE(at, all.end());
            EXPECT_TRUE(std::equal(clip.begin(), clip.end(), at));
            EXPECT_EQ(navigationPacks(Bytes(clip.begin(), clip.begin() + kPack)), 1);
            EXPECT_GE(navigationPacks(clip), static_cast<int>((end - begin) / 0.6));

            // A plain stream's times count from its first timestamp, a DVD title's (the
            // authored VOB stands for its title) from its first VOBU's first picture.
            const double start = source == media().plain ? probe(source, "start_time")
                                                         : probeVideoTimes(source).front();
            const auto shown = probeVideoTimes(clipPath);
            ASSERT_FALSE(shown.empty());
            EXPECT_GE(shown.front() - start, begin - 1.0);
            EXPECT_LE(shown.front() - start, begin);
            // The picture on screen at the end mark may have started a frame before it.
            EXPECT_GE(shown.back() - start, end - kFrame);
            EXPECT_LE(shown.back() - start, end + 1.0);
            EXPECT_EQ(decodeErrors(clipPath), "");
        }
}

// A VOB that begins with the tail of a VOBU (the second file of a split title, here one with
// its first packs cut away, alone so it is no DVD's part): a clip from its start begins at
// its first navigation pack, since what comes before that cannot be decoded.
TEST_F(CutTest, AClipFromAFileThatBeginsMidVobuStartsAtItsFirstNavigationPack) {
    const Bytes authored = readFile(media().authored);
    const Bytes tail(authored.begin() + 3 * kPack, authored.end());
    ASSERT_EQ(navigationPacks(Bytes(tail.begin(), tail.begin() + kPack)), 0);
    const std::string source = dir_.file("VTS_01_2.VOB");
    writeFile(source, tail);
    const std::string clipPath = dir_.file("clip.vob");
    const Outcome run = cut({source, clipPath, "--from", "0", "--to", "5"});
    ASSERT_EQ(run.status, 0) << run.err;
    const Bytes clip = readFile(clipPath);
    ASSERT_GE(clip.size(), kPack);
    EXPECT_EQ(navigationPacks(Bytes(clip.begin(), clip.begin() + kPack)), 1);
    const auto at = std::search(tail.begin(), tail.end(), clip.begin(), clip.end());
    EXPECT_NE(at, tail.end()) << "byte for byte a stretch of the source";
    EXPECT_EQ(decodeErrors(clipPath), "");
}

// An end mark past the stream's last timestamp (119.x s in) cuts to the stream's end and
// says so; one inside it says nothing.
TEST_F(CutTest, EndMarkPastTheStreamsEndIsNoted) {
    const std::string clipPath = dir_.file("tail.vob");
    const Outcome past = cut({media().plain, clipPath, "--from", "110", "--to", "125"});
    ASSERT_EQ(past.status, 0) << past.err;
    EXPECT_EQ(past.err, "parvane-cut: the stream ends at 0:01:59; the clip runs to its end\n");
    const Bytes all = readFile(media().plain);
    const Bytes clip = readFile(clipPath);
    ASSERT_GE(all.size(), clip.size());
    EXPECT_TRUE(std::equal(clip.begin(), clip.end(), all.end() - static_cast<long>(clip.size())))
        << "the clip ends with the stream";

    // The window's "Save at Stream Times..." on the same marks: the same clip, the same note.
    EXPECT_EQ(saveAtStreamTimesInWindow(media().plain, 110, 125, dir_.file("window.vob")),
              std::vector<std::string>{std::string(texts::kClipSaved) +
                                       "\nthe stream ends at 0:01:59; the clip runs to its end"});
    EXPECT_EQ(readFile(dir_.file("window.vob")), clip);

    const Outcome inside =
        cut({media().plain, clipPath, "--from", "100", "--to", "110", "--force"});
    ASSERT_EQ(inside.status, 0) << inside.err;
    EXPECT_EQ(inside.err, "");
}

TEST_F(CutTest, ByBytesWritesWhatTheWindowsSaveWrites) {
    const double duration = probe(media().plain);
    ClipState state;
    state.sourcePath = media().plain;
    state.clipBegin = 30;
    state.clipEnd = 40;
    SaverFakes fakes;
    fakes.player.mediaDuration = duration;
    fakes.dialog.answers.push_back(dir_.file("window.vob"));
    PosixFileSystem files;
    ClipSaver(state, fakes.parts(files)).save();
    ASSERT_EQ(fakes.messages.shown, std::vector<std::string>{"Clip Saved"});

    std::ostringstream durationText;
    durationText.precision(17);
    durationText << duration;
    const Outcome run = cut({media().plain, dir_.file("cut.vob"), "--from", "30", "--to", "0:40",
                             "--by", "bytes", "--duration", durationText.str()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(dir_.file("cut.vob")), readFile(dir_.file("window.vob")));

    // Without a duration, the stream's own: the same rate to within a few bytes a second.
    ASSERT_EQ(cut({media().plain, dir_.file("own.vob"), "--from", "30.2", "--to", "39.7", "--by",
                   "bytes"})
                  .status,
              0);
    EXPECT_NEAR(static_cast<double>(fs::file_size(dir_.file("own.vob"))),
                static_cast<double>(fs::file_size(dir_.file("window.vob"))), 10 * 20480);
}

TEST_F(CutTest, SourcesThatGiveNoClipAreRefusedWithAReasonAndNothingWritten) {
    const auto text = dir_.file("notes.vob");
    writeFile(text, Bytes{'h', 'e', 'l', 'l', 'o', '\n'});
    struct Case {
        std::string source;
        const char* from;
        const char* to;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {text, "1", "2", "the source is not an MPEG-2 program stream"},
        {media().plain, "2:00", "2:10", "the marks lie past the end of the stream (0:01:59)"},
        {media().plain, "40", "30", "the begin mark is not before the end mark"},
    };
    for (const Case& row : cases) {
        const Outcome run =
            cut({row.source, dir_.file("clip.vob"), "--from", row.from, "--to", row.to});
        EXPECT_EQ(run.status, 1) << row.source;
        EXPECT_EQ(run.err, "parvane-cut: clip not saved: " + row.reason + "\n") << row.source;
        EXPECT_FALSE(fs::exists(dir_.file("clip.vob"))) << row.source;
    }
}

TEST_F(CutTest, DestinationsAreReplacedOnlyWhenAskedAndNeverTheSource) {
    const auto existing = dir_.file("existing.vob");
    writeFile(existing, Bytes(100, 0xAB));
    fs::create_directory(dir_.path() / "folder.vob");
    fs::create_symlink(media().plain, dir_.path() / "link.vob");
    const auto sourceSize = fs::file_size(media().plain);

    const auto refusal = [&](const std::string& destination) {
        const Outcome run = cut({media().plain, destination, "--from", "30", "--to", "40"});
        EXPECT_EQ(run.status, 1) << destination;
        return run.err;
    };
    EXPECT_EQ(refusal(existing),
              "parvane-cut: clip not saved: the destination exists (--force replaces it)\n");
    EXPECT_EQ(readFile(existing), Bytes(100, 0xAB));
    EXPECT_EQ(refusal(dir_.file("folder.vob")),
              "parvane-cut: clip not saved: the destination is not a regular file\n");
    EXPECT_EQ(refusal(dir_.file("link.vob")),
              "parvane-cut: clip not saved: the destination is the source file\n");
    EXPECT_EQ(fs::file_size(media().plain), sourceSize);

    EXPECT_EQ(cut({media().plain, existing, "--from", "30", "--to", "40", "--force"}).status, 0);
    EXPECT_EQ(fs::file_size(existing) % kPack, 0u);
    EXPECT_GT(fs::file_size(existing), 100u);
    EXPECT_EQ(dir_.entries(), (std::vector<std::string>{"existing.vob", "folder.vob", "link.vob"}));
}

TEST_F(CutTest, UsageErrorsSayHowAndHelpAndVersionAnswer) {
    const std::string clip = dir_.file("clip.vob");
    const std::vector<std::vector<std::string>> wrong = {
        {media().plain, clip, "--from", "30"},
        {media().plain, clip, "--from", "1:75", "--to", "2:00"},
        {media().plain, "--from", "3", "--to", "4"},
    };
    for (const auto& args : wrong) {
        const Outcome run = cut(args);
        EXPECT_EQ(run.status, 2) << args.back();
        EXPECT_NE(run.err.find("Usage: parvane-cut SOURCE DEST"), std::string::npos) << run.err;
    }
    EXPECT_FALSE(fs::exists(clip));

    const Outcome version = cut({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "parvane-cut 1.00\n");
    EXPECT_EQ(cut({"--help"}).out.rfind("Usage: parvane-cut SOURCE DEST", 0), 0u);
}

} // namespace
} // namespace parvane
