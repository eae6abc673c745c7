#include "core/clip_plan.h"
#include "core/clip_saver.h"
#include "platform/dvdread/dvdread_nav_reader.h"
#include "platform/posix/posix_file_system.h"
#include "support/fakes.h"
#include "support/synthetic_stream.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvane {
namespace {

using namespace parvane::testing;
namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t count) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

// The worked example: 1024000 bytes over 50 s, so 20480 bytes per second.
class SaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = patternBytes(1024000);
        writeFile(dir.file("source.vob"), source);
        state.sourcePath = dir.file("source.vob");
        player.mediaDuration = 50.0;
    }

    void saveTo(const std::string& destination, std::int32_t begin, std::int32_t end) {
        state.clipBegin = begin;
        state.clipEnd = end;
        dialog.answers.push_back(destination);
        saver.save();
    }

    void expectSourceUntouched() { EXPECT_EQ(readFile(state.sourcePath), source); }

    TempDir dir;
    Bytes source;
    ClipState state;
    FakePlayer player;
    FakeDialog dialog;
    FakeMessages messages;
    FakeProgress progress;
    FakePump pump;
    PosixFileSystem realFiles;
    FileSystem* files = &realFiles;
    FakeSaveView view;
    // Copies in 20 KiB blocks and lets events run after each, so tests can act between them.
    static constexpr SavePacing kStepByStep{{20480, 20480}, std::chrono::milliseconds(0)};
    ClipSaver saver{state, {player, dialog, messages, progress, pump, *files, view}, kStepByStep};
};

struct InvalidMarks {
    const char* name;
    std::int32_t begin;
    std::int32_t end;
};

class SaveValidationTest : public SaveTest, public ::testing::WithParamInterface<InvalidMarks> {};

TEST_P(SaveValidationTest, RefusesWithInvalidSelectionAndChangesNothing) {
    state.clipBegin = GetParam().begin;
    state.clipEnd = GetParam().end;
    saver.save();
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Invalid Selection"});
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(dialog.shown.empty());
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(state.clipBegin, GetParam().begin);
}

INSTANTIATE_TEST_SUITE_P(Marks, SaveValidationTest,
                         ::testing::Values(InvalidMarks{"equal", 5, 5},
                                           InvalidMarks{"beginAfterEnd", 7, 3},
                                           InvalidMarks{"bothZero", 0, 0},
                                           InvalidMarks{"negativeBeginZeroEnd", -3, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaveTest, WorkedExampleCopiesThreeOverlappingStepsFromTheProportionalByte) {
    const auto clip = dir.file("clip.vob");
    std::vector<std::string> atClipSaved;
    messages.whileShown = [&](const std::string&) {
        atClipSaved = {view.caption, view.buttonsEnabled ? "enabled" : "disabled",
                       std::to_string(progress.current)};
    };
    saveTo(clip, 1, 3);

    // 1-based positions 20480..81920 are zero-based 20479..81919.
    EXPECT_EQ(readFile(clip), slice(source, 20479, 61441));
    EXPECT_EQ(progress.maximum, 61441);
    EXPECT_EQ(progress.values.back(), 0);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
    // Completion restores the caption before the box; the buttons wait until after it.
    EXPECT_EQ(atClipSaved, (std::vector<std::string>{"Parvane 4.0", "disabled", "61440"}));
    EXPECT_EQ(view.log, (std::vector<std::string>{"disable", "caption Saving",
                                                  "caption Parvane 4.0", "enable"}));
    EXPECT_EQ(player.calls, std::vector<std::string>{"haltBeforeSaving"});
    EXPECT_EQ(dialog.filter, "VOB Files(*.vob)|*.vob");
    EXPECT_EQ(dialog.title, "Open");
    EXPECT_EQ(dialog.name, clip) << "a completed save leaves its destination in the dialog";
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"clip.vob", "source.vob"}));
    expectSourceUntouched();
}

TEST_F(SaveTest, BeginMarkZeroStartsAtTheFirstByteAndKeepsTheMark) {
    const auto clip = dir.file("clip.vob");
    saveTo(clip, 0, 1);
    EXPECT_EQ(state.clipBegin, 0);
    EXPECT_EQ(readFile(clip), slice(source, 0, 20481));
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
}

TEST_F(SaveTest, ReadsPastTheSourceEndWriteOnlySourceBytes) {
    const auto clip = dir.file("tail.vob");
    saveTo(clip, 48, 50);
    EXPECT_EQ(readFile(clip), slice(source, 983039, 1024000 - 983039));

    // An end mark past the media's end still stops at the source's last byte.
    saveTo(dir.file("beyond.vob"), 49, 60);
    EXPECT_EQ(readFile(dir.file("beyond.vob")), slice(source, 1003519, 1024000 - 1003519));
}

TEST(ClipPlan, ByteRateRoundsTiesToEven) {
    EXPECT_EQ(planClip(1000005, 2.0, 1, 2).byteRate, 500002);
    EXPECT_EQ(planClip(1000007, 2.0, 1, 2).byteRate, 500004);
    const auto plan = planClip(1024000, 50.0, 1, 3);
    EXPECT_EQ(plan.firstPos, 20480);
    EXPECT_EQ(plan.lastPos, 61440);
    EXPECT_EQ(plan.progressMaximum, 61441);
}

TEST(ClipPlan, NumbersThatGiveNoClipAreReasons) {
    EXPECT_THROW(planClip(1024000, 0.0, 1, 3), SaveError);
    EXPECT_THROW(planClip(1024000, std::numeric_limits<double>::quiet_NaN(), 1, 3), SaveError);
    EXPECT_THROW(planClip(0, 50.0, 1, 3), SaveError);
    EXPECT_THROW(planClip(1024000, 50.0, -3, 5), SaveError);
}

TEST_F(SaveTest, TheSourceCannotBeChosenAsDestinationInAnyPathForm) {
    fs::create_directory(dir.path() / "sub");
    fs::create_symlink(state.sourcePath, dir.path() / "link.vob");
    const auto previousCwd = fs::current_path();
    fs::current_path(dir.path() / "sub");
    const std::vector<std::string> forms = {state.sourcePath, dir.file("link.vob"), "../source.vob",
                                            dir.file("sub/../source.vob")};
    for (const auto& form : forms) {
        messages.shown.clear();
        saveTo(form, 1, 3);
        EXPECT_EQ(messages.shown, std::vector<std::string>{"Cannot overwrite file in use..."})
            << form;
        EXPECT_EQ(dialog.name, "") << "the next dialog starts empty";
        EXPECT_TRUE(view.buttonsEnabled);
    }
    fs::current_path(previousCwd);
    expectSourceUntouched();
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.vob", "source.vob", "sub"}));
}

TEST_F(SaveTest, AnExistingDestinationIsKeptOnNoAndReplacedWholeOnYes) {
    const auto clip = dir.file("existing.vob");
    const Bytes old(200000, 0xAB);
    writeFile(clip, old);

    messages.answers.push_back(false);
    saveTo(clip, 1, 3);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    EXPECT_EQ(readFile(clip), old);
    EXPECT_EQ(dialog.name, "");

    messages.shown.clear();
    messages.answers.push_back(true);
    saveTo(clip, 1, 3);
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{"File already exist.Overwrite?", "Clip Saved"}));
    EXPECT_EQ(readFile(clip), slice(source, 20479, 61441)) << "nothing of the old file remains";
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
}

TEST_F(SaveTest, ADestinationThatCannotBeReadStillCountsAsExisting) {
    // A dangling link cannot be opened for reading, yet saving there would replace it.
    const auto link = dir.file("dangling.vob");
    fs::create_symlink(dir.file("nowhere"), link);
    saveTo(link, 1, 3);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    EXPECT_TRUE(fs::is_symlink(link));

    if (::geteuid() != 0) { // root reads anything, so only others can see this case
        const auto locked = dir.file("locked.vob");
        writeFile(locked, Bytes(10, 1));
        ::chmod(locked.c_str(), 0);
        messages.shown.clear();
        saveTo(locked, 1, 3);
        EXPECT_EQ(messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    }
}

TEST_F(SaveTest, ASecondSaveStartsWithTheLastDestinationAndAsksBeforeReplacingIt) {
    const auto clip = dir.file("clip.vob");
    saveTo(clip, 1, 3);
    state.clipEnd = 4;
    dialog.answers.push_back(dialog.name); // the user confirms the offered name
    messages.answers.push_back(true);
    saver.save();
    EXPECT_EQ(dialog.namesAtShow, (std::vector<std::string>{"", clip}));
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  "Clip Saved", "File already exist.Overwrite?", "Clip Saved"}));
    EXPECT_EQ(readFile(clip).size(), 81921u);
}

TEST_F(SaveTest, CancellingTheSaveDialogFinishesWithoutAMessage) {
    dialog.name = dir.file("last.vob");
    state.clipBegin = 1;
    state.clipEnd = 3;
    dialog.answers.push_back(std::nullopt);
    saver.save();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(dialog.name, "");
    EXPECT_EQ(view.caption, "Parvane 4.0");
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"source.vob"});
}

TEST_F(SaveTest, UnknownDurationIsReportedAndLeavesNoFile) {
    player.mediaDuration = 0.0;
    saveTo(dir.file("clip.vob"), 1, 3);
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"Clip not saved: the media duration is not known"});
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"source.vob"});
    EXPECT_EQ(progress.current, 0);
    EXPECT_TRUE(view.buttonsEnabled);
    EXPECT_EQ(dialog.name, "");
}

TEST_F(SaveTest, AMissingSourceIsReportedAsAFailure) {
    state.sourcePath = dir.file("gone.vob");
    saveTo(dir.file("clip.vob"), 1, 3);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].rfind("Clip not saved: the source file cannot be read", 0), 0u)
        << messages.shown[0];
}

class FailingWriteSaveTest : public SaveTest {
protected:
    FailingWritesFileSystem failing{realFiles, 20480};
    ClipSaver failingSaver{
        state, {player, dialog, messages, progress, pump, failing, view}, kStepByStep};
};

TEST_F(FailingWriteSaveTest, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
    const auto clip = dir.file("existing.vob");
    const Bytes old(5000, 0x11);
    writeFile(clip, old);
    messages.answers.push_back(true);
    state.clipBegin = 1;
    state.clipEnd = 3;
    dialog.answers.push_back(clip);
    failingSaver.save();
    EXPECT_EQ(messages.shown, (std::vector<std::string>{"File already exist.Overwrite?",
                                                        "Clip not saved: Input/output error"}));
    EXPECT_EQ(readFile(clip), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
    EXPECT_EQ(view.caption, "Parvane 4.0");
    EXPECT_TRUE(view.buttonsEnabled);
}

TEST_F(SaveTest, AFullDiskKeepsTheOldFileAndReportsTheSystemsReason) {
    const auto clip = dir.file("existing.vob");
    const Bytes old(3000, 0x22);
    writeFile(clip, old);
    messages.answers.push_back(true);

    // A file size limit makes the kernel refuse writes past 30000 bytes, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 30000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    saveTo(clip, 1, 3);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_EQ(messages.shown, (std::vector<std::string>{"File already exist.Overwrite?",
                                                        "Clip not saved: File too large"}));
    EXPECT_EQ(readFile(clip), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
}

TEST_F(SaveTest, TheProgramEndingMidCopyLeavesNeitherPartNorTemporary) {
    const auto clip = dir.file("existing.vob");
    const Bytes old(4000, 0x33);
    writeFile(clip, old);
    messages.answers.push_back(true);
    pump.endProgramAtPass = 2;
    saveTo(clip, 1, 3);
    EXPECT_EQ(pump.passes, 2);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"File already exist.Overwrite?"});
    EXPECT_EQ(readFile(clip), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
}

TEST_F(SaveTest, ASourceThatShrinksMidCopyIsAFailureAndKeepsTheOldFile) {
    const auto clip = dir.file("existing.vob");
    const Bytes old(4000, 0x44);
    writeFile(clip, old);
    messages.answers.push_back(true);
    pump.onPass = [&](int pass) {
        if (pass == 2)
            fs::resize_file(state.sourcePath, 30000);
    };
    saveTo(clip, 1, 3);
    EXPECT_EQ(messages.shown, (std::vector<std::string>{
                                  "File already exist.Overwrite?",
                                  "Clip not saved: the source file changed during the save"}));
    EXPECT_EQ(readFile(clip), old);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"existing.vob", "source.vob"}));
}

TEST_F(SaveTest, ASourceRemovedMidCopyIsStillReadWhole) {
    pump.onPass = [&](int pass) {
        if (pass == 1)
            fs::rename(state.sourcePath, dir.file("moved.vob"));
    };
    saveTo(dir.file("clip.vob"), 1, 3);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
    EXPECT_EQ(readFile(dir.file("clip.vob")), slice(source, 20479, 61441));
}

TEST_F(SaveTest, DestinationsThatAreNotFilesAreRefusedWithoutTheQuestion) {
    ASSERT_EQ(::mkfifo(dir.file("pipe.vob").c_str(), 0644), 0);
    fs::create_directory(dir.path() / "folder.vob");
    fs::create_symlink(dir.file("pipe.vob"), dir.path() / "to-pipe.vob");
    for (const char* name : {"pipe.vob", "folder.vob", "to-pipe.vob"}) {
        messages.shown.clear();
        messages.answers.push_back(true);
        saveTo(dir.file(name), 1, 3);
        EXPECT_EQ(messages.shown,
                  std::vector<std::string>{"Clip not saved: the destination is not a regular file"})
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
    EXPECT_EQ(messages.shown,
              (std::vector<std::string>{"File already exist.Overwrite?", "Clip Saved"}));
    EXPECT_FALSE(fs::is_symlink(dir.file("link.vob")));
    EXPECT_EQ(readFile(dir.file("link.vob")), slice(source, 20479, 61441));
    EXPECT_EQ(readFile(dir.file("target.vob")), target);
}

TEST_F(SaveTest, AnyNameTheFileSystemTakesSavesAndOneItRefusesIsReportedAtOnce) {
    const std::string longest = std::string(251, 'n') + ".vob"; // 255 bytes, the limit
    saveTo(dir.file(longest), 1, 3);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
    EXPECT_EQ(readFile(dir.file(longest)), slice(source, 20479, 61441));

    // Whether such a file exists cannot be known, so there is nothing to ask about.
    messages.shown.clear();
    saveTo(dir.file("x" + longest), 1, 3);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip not saved: File name too long"});
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{longest, "source.vob"}));
}

TEST_F(SaveTest, WhileTheClipIsWrittenItHasNoNameToLeaveBehind) {
    const int probe = ::open(dir.path().c_str(), O_TMPFILE | O_RDWR, 0600);
    if (probe < 0) {
        GTEST_SKIP() << "this file system has no nameless files";
    }
    ::close(probe);
    std::vector<std::string> during;
    pump.onPass = [&](int pass) {
        if (pass == 2)
            during = dir.entries();
    };
    saveTo(dir.file("clip.vob"), 1, 3);
    EXPECT_EQ(during, std::vector<std::string>{"source.vob"});
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
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
    EXPECT_EQ(readFile(mine), slice(source, 20479, 61441));
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
    ClipSaver streamSaver{
        state, {player, dialog, messages, progress, pump, realFiles, view, &navPacks}, kStepByStep};

    const auto saveAtStreamTimes = [&](const std::string& destination, std::int32_t begin,
                                       std::int32_t end) {
        state.clipBegin = begin;
        state.clipEnd = end;
        dialog.answers.push_back(destination);
        messages.shown.clear();
        streamSaver.saveAtStreamTimes();
    };

    // Groups start every 0.6 s: 2 s lies in group 3, 4 s in group 6, which ends where 7 starts.
    saveAtStreamTimes(dir.file("clip.vob"), 2, 4);
    const auto from = static_cast<std::size_t>(stream.groupOffset(3));
    const auto to = static_cast<std::size_t>(stream.groupOffset(7));
    EXPECT_EQ(readFile(dir.file("clip.vob")), slice(streamBytes, from, to - from));
    EXPECT_EQ(progress.maximum, static_cast<std::int64_t>(to - from));
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Clip Saved"});
    EXPECT_EQ(view.log, (std::vector<std::string>{"disable", "caption Saving",
                                                  "caption Parvane 4.0", "enable"}));

    saveAtStreamTimes(dir.file("other.vob"), 4, 4);
    EXPECT_EQ(messages.shown, std::vector<std::string>{"Invalid Selection"});

    state.sourcePath = dir.file("source.vob"); // bytes that are no program stream
    saveAtStreamTimes(dir.file("other.vob"), 2, 4);
    EXPECT_EQ(messages.shown, std::vector<std::string>{
                                  "Clip not saved: the source is not an MPEG-2 program stream"});
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"clip.vob", "source.vob", "title.vob"}));
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
