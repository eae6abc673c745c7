#include "core/save/clip_plan.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/synthetic_stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The worked example: 1024000 bytes over 50 s, so 20480 bytes per second.
class SaveTest : public ::testing::Test, protected SaverFakes {
protected:
    void SetUp() override {
        source = patternBytes(1024000);
        writeFile(dir.file("source.vob"), source);
        state.sourcePath = dir.file("source.vob");
        player.mediaDuration = 50.0;
    }

    // Saves with the dialog answering `destination`, or cancelled with nullopt.
    void saveTo(const std::optional<std::string>& destination, std::int32_t begin, std::int32_t end,
                ClipSaver* with = nullptr) {
        state.clipBegin = begin;
        state.clipEnd = end;
        dialog.answers.push_back(destination);
        (with ? *with : saver).save();
    }

    // The clip of the marks 1 to 3: 1-based positions 20480..81920, three overlapping steps.
    Bytes oneToThree() const { return slice(source, 20479, 61441); }

    // A failure midway through a save that replaces a file keeps the old file whole and leaves
    // no temporary behind.
    void replaceExpectingOldKept(const std::string& failure) {
        const auto clip = dir.file("existing.vob");
        const Bytes old(3000, 0x22);
        writeFile(clip, old);
        messages.answers.push_back(true);
        saveTo(clip, 1, 3);
        EXPECT_EQ(messages.shown,
                  (Texts{"File already exist.Overwrite?", "Clip not saved: " + failure}));
        EXPECT_EQ(readFile(clip), old);
        EXPECT_EQ(dir.entries(), (Texts{"existing.vob", "source.vob"}));
        EXPECT_TRUE(view.buttonsEnabled);
    }

    TempDir dir;
    Bytes source;
    ClipState state;
    PosixFileSystem realFiles;
    // Copies in 20 KiB blocks and lets events run after each, so tests can act between them.
    static constexpr SavePacing kStepByStep{{20480, 20480}, std::chrono::milliseconds(0)};
    ClipSaver saver{
        state, {player, dialog, messages, progress, pump, realFiles, view}, kStepByStep};
};

TEST_F(SaveTest, MarksThatAreNoSelectionAreRefusedAndChangeNothing) {
    for (const auto& [begin, end] : {std::pair(5, 5), {7, 3}, {0, 0}, {-3, 0}}) {
        state.clipBegin = begin;
        state.clipEnd = end;
        saver.save();
        EXPECT_EQ(messages.shown.back(), "Invalid Selection");
        EXPECT_EQ(state.clipBegin, begin);
    }
    EXPECT_EQ(messages.shown.size(), 4u);
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(view.caption, "Parvane 4.0");
}

// Numbers that give no clip: each is a reason for the user, and nothing is written.
TEST_F(SaveTest, NumbersThatGiveNoClipAreReasonsAndLeaveNoFile) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        std::int32_t begin, end;
        double duration;
        const char* source;
        const char* reason;
    } rows[] = {
        {1, 3, 0.0, "source.vob", "the media duration is not known"},
        {1, 3, nan, "source.vob", "the media duration is not known"},
        {-1, 3, 50.0, "source.vob", "the begin mark lies before the start of the media"},
        // Not even one byte of the source to copy: never an empty "Clip Saved".
        {51, 55, 50.0, "source.vob", "the marked stretch lies past the end of the source file"},
        {1, 3, 1e7, "source.vob", "the source file is too small for its playing time"},
        // 1.024e18 bytes a second: the end mark's byte lies beyond 64 bits.
        {1, 10, 1e-12, "source.vob", "the marked stretch is too large"},
        {1, 3, 50.0, "gone.vob", "the source file cannot be read (No such file or directory)"}};
    for (const auto& row : rows) {
        messages.shown.clear();
        player.mediaDuration = row.duration;
        state.sourcePath = dir.file(row.source);
        saveTo(dir.file("clip.vob"), row.begin, row.end);
        EXPECT_EQ(messages.shown, Texts{std::string("Clip not saved: ") + row.reason});
        EXPECT_EQ(dir.entries(), Texts{"source.vob"});
        EXPECT_EQ(progress.current, 0);
        EXPECT_TRUE(view.buttonsEnabled);
        EXPECT_EQ(view.caption, "Parvane 4.0");
        EXPECT_EQ(state.dialogFileName, "");
    }
}

TEST(ClipPlan, ByteRateRoundsTiesToEven) {
    EXPECT_EQ(planClip(1000005, 2.0, 1, 2).byteRate, 500002);
    EXPECT_EQ(planClip(1000007, 2.0, 1, 2).byteRate, 500004);
}

TEST_F(SaveTest, WorkedExampleCopiesThreeOverlappingStepsFromTheProportionalByte) {
    const auto clip = dir.file("clip.vob");
    Texts atClipSaved;
    messages.whileShown = [&] {
        atClipSaved = {view.caption, view.buttonsEnabled ? "enabled" : "disabled",
                       std::to_string(progress.current)};
    };
    saveTo(clip, 1, 3);

    EXPECT_EQ(readFile(clip), oneToThree());
    EXPECT_EQ(progress.maximum, 61441);
    EXPECT_EQ(progress.current, 0);
    EXPECT_EQ(messages.shown, Texts{"Clip Saved"});
    // Completion restores the caption before the box, with the bar full; the buttons wait
    // until after it.
    EXPECT_EQ(atClipSaved, (Texts{"Parvane 4.0", "disabled", "61441"}));
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(player.calls, Texts{"haltBeforeSaving"});
    EXPECT_EQ(dir.entries(), (Texts{"clip.vob", "source.vob"}));
    EXPECT_EQ(readFile(state.sourcePath), source);
}

// A begin mark of 0 starts at the first byte and stays 0; reads past the source's end write
// only the bytes it has, even for an end mark past the media's end.
TEST_F(SaveTest, TheClipRunsFromTheFirstByteToTheLastAtMost) {
    for (const auto& [begin, end, from, count] :
         {std::tuple(0, 1, 0, 20481), {48, 50, 983039, 40961}, {49, 60, 1003519, 20481}}) {
        const auto clip = dir.file(std::to_string(begin) + ".vob");
        saveTo(clip, begin, end);
        EXPECT_EQ(state.clipBegin, begin);
        EXPECT_EQ(readFile(clip), slice(source, from, count)) << begin;
    }
}

TEST_F(SaveTest, TheSourceCannotBeChosenAsDestinationInAnyPathForm) {
    fs::create_directory(dir.path() / "sub");
    fs::create_symlink(state.sourcePath, dir.path() / "link.vob");
    const auto previousCwd = fs::current_path();
    fs::current_path(dir.path() / "sub");
    for (const auto& form : {state.sourcePath, dir.file("link.vob"), std::string("../source.vob"),
                             dir.file("sub/../source.vob")}) {
        messages.shown.clear();
        saveTo(form, 1, 3);
        EXPECT_EQ(messages.shown, Texts{"Cannot overwrite file in use..."}) << form;
        EXPECT_EQ(state.dialogFileName, "") << "the next dialog starts empty";
        EXPECT_TRUE(view.buttonsEnabled);
    }
    fs::current_path(previousCwd);
    EXPECT_EQ(readFile(state.sourcePath), source);
    EXPECT_EQ(dir.entries(), (Texts{"link.vob", "source.vob", "sub"}));
}

// The next save starts with the last destination; replacing it takes a Yes, and then nothing
// of the old file remains.
TEST_F(SaveTest, AnExistingDestinationIsKeptOnNoAndReplacedWholeOnYes) {
    const auto clip = dir.file("clip.vob");
    saveTo(clip, 1, 4);
    const Bytes old = readFile(clip);
    for (const bool yes : {false, true}) {
        messages.answers.push_back(yes);
        saveTo(clip, 1, 3);
        EXPECT_EQ(readFile(clip), yes ? oneToThree() : old);
    }
    EXPECT_EQ(dialog.namesAtShow, (Texts{"", clip, ""}));
    EXPECT_EQ(messages.shown, (Texts{"Clip Saved", "File already exist.Overwrite?",
                                     "File already exist.Overwrite?", "Clip Saved"}));
    EXPECT_EQ(old.size(), 81921u);
    EXPECT_EQ(dir.entries(), (Texts{"clip.vob", "source.vob"}));
}

TEST_F(SaveTest, ADestinationThatCannotBeReadStillCountsAsExisting) {
    // A dangling link cannot be opened for reading, yet saving there would replace it.
    const auto link = dir.file("dangling.vob");
    fs::create_symlink(dir.file("nowhere"), link);
    saveTo(link, 1, 3);
    EXPECT_EQ(messages.shown, Texts{"File already exist.Overwrite?"});
    EXPECT_TRUE(fs::is_symlink(link));
}

TEST_F(SaveTest, CancellingTheSaveDialogFinishesWithoutAMessage) {
    state.dialogFileName = dir.file("last.vob");
    saveTo(std::nullopt, 1, 3);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(state.dialogFileName, "");
    EXPECT_EQ(view.caption, "Parvane 4.0");
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(dir.entries(), Texts{"source.vob"});
}

TEST_F(SaveTest, AFullDiskKeepsTheOldFileAndReportsTheSystemsReason) {
    // A file size limit makes the kernel refuse writes past 30000 bytes, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 30000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    replaceExpectingOldKept("File too large");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
}

TEST_F(SaveTest, ASourceThatShrinksMidCopyIsAFailureAndKeepsTheOldFile) {
    pump.onPass = [&](int pass) {
        if (pass == 2)
            fs::resize_file(state.sourcePath, 30000);
    };
    replaceExpectingOldKept("the source file changed during the save");
}

TEST_F(SaveTest, ASourceRemovedMidCopyIsStillReadWhole) {
    pump.onPass = [&](int pass) {
        if (pass == 1)
            fs::rename(state.sourcePath, dir.file("moved.vob"));
    };
    saveTo(dir.file("clip.vob"), 1, 3);
    EXPECT_EQ(messages.shown, Texts{"Clip Saved"});
    EXPECT_EQ(readFile(dir.file("clip.vob")), oneToThree());
}

TEST_F(SaveTest, DestinationsThatAreNotFilesAreRefusedWithoutTheQuestion) {
    ASSERT_EQ(::mkfifo(dir.file("pipe.vob").c_str(), 0644), 0);
    fs::create_directory(dir.path() / "folder.vob");
    fs::create_symlink(dir.file("pipe.vob"), dir.path() / "to-pipe.vob");
    for (const char* name : {"pipe.vob", "folder.vob", "to-pipe.vob"}) {
        messages.shown.clear();
        messages.answers.push_back(true);
        saveTo(dir.file(name), 1, 3);
        EXPECT_EQ(messages.shown, Texts{"Clip not saved: the destination is not a regular file"})
            << name;
    }
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe.vob")));
    EXPECT_TRUE(fs::is_directory(dir.file("folder.vob")));
    EXPECT_TRUE(fs::is_symlink(dir.file("to-pipe.vob")));
}

TEST_F(SaveTest, ALinkToAFileIsItselfReplacedNeverItsTarget) {
    const Bytes target(100, 0x55);
    writeFile(dir.file("target.vob"), target);
    fs::create_symlink(dir.file("target.vob"), dir.path() / "link.vob");
    messages.answers.push_back(true);
    saveTo(dir.file("link.vob"), 1, 3);
    EXPECT_EQ(messages.shown, (Texts{"File already exist.Overwrite?", "Clip Saved"}));
    EXPECT_FALSE(fs::is_symlink(dir.file("link.vob")));
    EXPECT_EQ(readFile(dir.file("link.vob")), oneToThree());
    EXPECT_EQ(readFile(dir.file("target.vob")), target);
}

TEST_F(SaveTest, AnyNameTheFileSystemTakesSavesAndOneItRefusesIsReportedAtOnce) {
    const std::string longest = std::string(251, 'n') + ".vob"; // 255 bytes, the limit
    saveTo(dir.file(longest), 1, 3);
    EXPECT_EQ(messages.shown, Texts{"Clip Saved"});
    EXPECT_EQ(readFile(dir.file(longest)), oneToThree());

    // Whether such a file exists cannot be known, so there is nothing to ask about.
    messages.shown.clear();
    saveTo(dir.file("x" + longest), 1, 3);
    EXPECT_EQ(messages.shown, Texts{"Clip not saved: File name too long"});
    EXPECT_EQ(dir.entries(), (Texts{longest, "source.vob"}));
}

TEST_F(SaveTest, WhileTheClipIsWrittenItHasNoNameToLeaveBehind) {
    const int probe = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
    if (probe < 0) {
        GTEST_SKIP() << "this file system has no nameless files";
    }
    ::close(probe);
    Texts during;
    pump.onPass = [&](int pass) {
        if (pass == 2)
            during = dir.entries();
    };
    saveTo(dir.file("clip.vob"), 1, 3);
    EXPECT_EQ(during, Texts{"source.vob"});
    EXPECT_EQ(messages.shown, Texts{"Clip Saved"});
}

TEST_F(SaveTest, NewFilesFollowTheUmaskAndReplacedOnesKeepModeOwnerAndGroup) {
    const mode_t previousMask = ::umask(027);
    saveTo(dir.file("new.vob"), 1, 3);
    ::umask(previousMask);
    EXPECT_EQ(fs::status(dir.file("new.vob")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const auto mine = dir.file("theirs.vob");
    writeFile(mine, Bytes(10, 1));
    ::chmod(mine.c_str(), 0604);
    // Only root can give a file to someone else; it must not take the file over.
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(mine.c_str(), 4321, 4321), 0);
    }
    messages.answers.push_back(true);
    saveTo(mine, 1, 3);
    struct stat info {};
    ASSERT_EQ(::stat(mine.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_uid, root ? 4321u : ::geteuid());
    EXPECT_EQ(info.st_gid, root ? 4321u : ::getegid());
    EXPECT_EQ(readFile(mine), oneToThree());
}

// The same flow with the other range: whole picture groups found from the stream's times.
TEST_F(SaveTest, AtStreamTimesTheClipIsTheWholeGroupsAroundTheMarks) {
    SyntheticLayout layout;
    layout.size = 8 << 20;
    SyntheticStream stream(layout);
    Bytes streamBytes(static_cast<std::size_t>(layout.size));
    stream.readAt(0, reinterpret_cast<std::byte*>(streamBytes.data()), streamBytes.size());
    writeFile(dir.file("title.vob"), streamBytes);
    state.sourcePath = dir.file("title.vob");
    DvdreadNavReader navPacks;
    ClipSaver streamSaver{state, parts(realFiles, &navPacks), kStepByStep};
    state.clipBegin = state.clipEnd = 2;
    state.beginSeconds = state.endSeconds = 2;
    streamSaver.saveAtStreamTimes();
    EXPECT_EQ(messages.shown, Texts{"Invalid Selection"});

    // Groups start every 0.6 s: 2 s lies in group 3, 4 s in group 6, which ends where 7 starts.
    messages.shown.clear();
    state.clipEnd = 4;
    state.endSeconds = 4;
    dialog.answers.push_back(dir.file("clip.vob"));
    streamSaver.saveAtStreamTimes();
    const auto from = static_cast<std::size_t>(stream.groupOffset(3));
    const auto to = static_cast<std::size_t>(stream.groupOffset(7));
    EXPECT_EQ(readFile(dir.file("clip.vob")), slice(streamBytes, from, to - from));
    EXPECT_EQ(progress.maximum, static_cast<std::int64_t>(to - from));
    EXPECT_EQ(messages.shown, Texts{"Clip Saved"});
    EXPECT_TRUE(view.buttonsEnabled);
}

TEST_F(SaveTest, AFailingHaltStillGivesTheButtonsBack) {
    struct RefusingPlayer : FakePlayer {
        void haltBeforeSaving() override { throw std::runtime_error("player gone"); }
    } refusing;
    ClipSaver refusingSaver{state, {refusing, dialog, messages, progress, pump, realFiles, view}};
    state.clipBegin = 1;
    state.clipEnd = 3;
    EXPECT_THROW(refusingSaver.save(), std::runtime_error);
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(view.caption, "Parvane 4.0");
}

} // namespace
} // namespace parvane
