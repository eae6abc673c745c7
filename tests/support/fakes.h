#pragma once

// Fakes of the platform interfaces, shared by the core and the window tests.

#include "core/base/views.h"
#include "core/save/clip_saver.h"
#include "platform/disc_reader.h"
#include "platform/event_pump.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/link_opener.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"
#include "platform/web_pane.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace parvane::testing {

// Records every call as a word in `calls`, so tests can check order.
struct FakePlayer : MediaPlayer {
    void endPlayback() override { calls.push_back("endPlayback"); }
    void play() override { calls.push_back("play"); }
    void haltAtPreviewEnd() override { calls.push_back("haltAtPreviewEnd"); }
    void haltBeforeSaving() override { calls.push_back("haltBeforeSaving"); }
    void setMediaFileName(const std::string& path) override {
        calls.push_back("setMediaFileName");
        if (refuseFiles)
            throw std::runtime_error("Cannot play this file");
        mediaFileName = path;
        title.reset();
    }
    void setTitle(const Title& loaded) override {
        calls.push_back("setTitle");
        if (refuseFiles)
            throw std::runtime_error("Cannot play this file");
        title = loaded;
        mediaDuration = loaded.duration();
        audio = loaded.audio.empty() ? std::nullopt : std::optional(loaded.audio.front().id);
        subtitles.reset();
    }
    void selectAudio(int streamId) override {
        calls.push_back("selectAudio");
        audio = streamId;
    }
    void selectSubtitles(std::optional<int> streamId) override {
        calls.push_back("selectSubtitles");
        subtitles = streamId;
    }
    void showCannotPlay(const std::string& reason) override { cannotPlay = reason; }
    double position() const override { return currentPosition; }
    void setPosition(double seconds) override {
        calls.push_back("setPosition");
        currentPosition = seconds;
    }
    double duration() const override { return mediaDuration; }
    void togglePause() override { calls.push_back("togglePause"); }
    void stepFrame(int direction) override {
        calls.push_back(direction > 0 ? "stepFrame+1" : "stepFrame-1");
    }
    void showMarks(std::optional<double> begin, std::optional<double> end) override {
        shownBegin = begin;
        shownEnd = end;
    }
    void showStreamClip(std::optional<std::pair<double, double>> clip) override {
        streamClip = clip;
    }

    std::vector<std::string> calls;
    double currentPosition = 0.0;
    double mediaDuration = 0.0;
    std::string mediaFileName;
    bool refuseFiles = false;
    std::optional<double> shownBegin, shownEnd; // the marks on the position display
    std::optional<std::pair<double, double>> streamClip;
    std::optional<Title> title;   // the title loaded last, if the last load was one
    std::optional<int> audio;     // the stream ids playing, as the title's start or a choice
    std::optional<int> subtitles; // gave them
    std::string cannotPlay;       // what the player's own area says
};

// Knows the discs and the unreadable discs a test gives it by path; any other path is no
// disc, as a plain file is.
struct FakeDiscReader : DiscReader {
    std::optional<Disc> read(const std::string& path) const override {
        const auto failure = failures.find(path);
        if (failure != failures.end())
            throw FileError(failure->second);
        const auto disc = discs.find(path);
        return disc == discs.end() ? std::nullopt : std::optional(disc->second);
    }

    std::map<std::string, Disc> discs;
    std::map<std::string, std::string> failures; // the reason each path cannot be read
};

// Answers each showing from a queue of scripted answers: a file name, or nullopt to cancel.
struct FakeDialog : FileDialog {
    std::optional<std::string> chooseOpen(const FileRequest& request) override {
        return answer("open", request);
    }
    std::optional<std::string> chooseSave(const FileRequest& request) override {
        return answer("save", request);
    }

    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> shown;       // "open" or "save", per showing
    std::vector<std::string> namesAtShow; // the file name each showing started with

    std::optional<std::string> answer(const std::string& kind, const FileRequest& request) {
        shown.push_back(kind);
        namesAtShow.push_back(request.startName);
        const auto next = answers.empty() ? std::nullopt : answers.front();
        if (!answers.empty())
            answers.pop_front();
        return next;
    }
};

struct FakeMessages : MessageBox {
    void inform(const std::string& text) override {
        shown.push_back(text);
        if (whileShown)
            whileShown();
    }
    bool ask(const std::string& text) override {
        inform(text);
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        return yes;
    }

    std::vector<std::string> shown;
    std::deque<bool> answers; // for ask(); No when empty
    std::function<void()> whileShown;
};

struct FakeProgress : ProgressBar {
    void setMaximum(std::int64_t value) override { maximum = value; }
    void setValue(std::int64_t value) override { current = value; }
    std::int64_t value() const override { return current; }

    std::int64_t maximum = 100;
    std::int64_t current = 0;
};

struct FakePump : EventPump {
    bool processPendingEvents() override {
        ++passes;
        if (onPass)
            onPass(passes);
        return true;
    }

    int passes = 0;
    std::function<void(int)> onPass; // called with the pass number, from 1
};

struct FakeReadouts : Readouts {
    void setBeginText(const std::string& t) override { begin = t; }
    void setEndText(const std::string& t) override { end = t; }
    void setLengthText(const std::string& t) override { length = t; }
    void setPlayingTimeText(const std::string& t) override { playingTime = t; }

    std::optional<std::string> begin, end, length, playingTime;
};

struct FakeSaveView : SaveView {
    void setWorkflowButtonsEnabled(bool enabled) override { buttonsEnabled = enabled; }
    void setCaption(const std::string& text) override { caption = text; }

    bool buttonsEnabled = true;
    std::string caption = "Parvane 4.0";
};

struct FakeWebPane : WebPane {
    void navigate(const std::string& address) override { addresses.push_back(address); }
    std::vector<std::string> addresses;
};

struct FakeLinks : LinkOpener {
    void open(const std::string& address) override {
        if (fail)
            throw std::runtime_error("Cannot start xdg-open to open " + address);
        opened.push_back(address);
    }

    std::vector<std::string> opened;
    bool fail = false;
};

// Everything a save needs but the files, as fakes.
struct SaverFakes {
    ClipSaver::Parts parts(FileSystem& files, const NavPackReader* navPacks = nullptr) {
        return {player, dialog, messages, progress, pump, files, view, navPacks};
    }

    FakePlayer player;
    FakeDialog dialog;
    FakeMessages messages;
    FakeProgress progress;
    FakePump pump;
    FakeSaveView view;
};

// Passes every call to a real clip; tests and benchmarks override what they watch.
struct ForwardingClipFile : ClipFile {
    explicit ForwardingClipFile(std::unique_ptr<ClipFile> real) : real_(std::move(real)) {}

    void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) override {
        real_->writeAt(offset, data, count);
    }
    std::optional<std::size_t> copyFrom(SourceFile& source, std::int64_t sourceOffset,
                                        std::int64_t offset, std::size_t count) override {
        return real_->copyFrom(source, sourceOffset, offset, count);
    }
    void startWriteBack(std::int64_t offset, std::int64_t count) override {
        real_->startWriteBack(offset, count);
    }
    void awaitWriteBack(std::int64_t offset, std::int64_t count) override {
        real_->awaitWriteBack(offset, count);
    }
    void commit() override { real_->commit(); }

private:
    std::unique_ptr<ClipFile> real_;
};

// Passes every call to a real file system. When set, `onRead` runs with the number of each
// source read, from 1, before it is made, so a test can act at a known point of a save.
struct HookedFileSystem : FileSystem {
    explicit HookedFileSystem(FileSystem& real) : real_(real) {}

    PathStatus inspect(const std::string& path) const override { return real_.inspect(path); }
    bool sameFile(const std::string& a, const std::string& b) const override {
        return real_.sameFile(a, b);
    }
    std::unique_ptr<SourceFile> openSource(const std::string& path) override;
    std::unique_ptr<ClipFile> createClip(const std::string& destination) override {
        return real_.createClip(destination);
    }

    std::function<void(int)> onRead;

private:
    FileSystem& real_;
};

inline std::unique_ptr<SourceFile> HookedFileSystem::openSource(const std::string& path) {
    if (!onRead)
        return real_.openSource(path);
    class HookedSource : public SourceFile {
    public:
        HookedSource(std::unique_ptr<SourceFile> real, const std::function<void(int)>& onRead)
            : real_(std::move(real)), onRead_(onRead) {}
        std::int64_t size() const override { return real_->size(); }
        std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
            onRead_(++reads_);
            return real_->readAt(offset, buffer, count);
        }

    private:
        std::unique_ptr<SourceFile> real_;
        const std::function<void(int)>& onRead_;
        int reads_ = 0;
    };
    return std::make_unique<HookedSource>(real_.openSource(path), onRead);
}

} // namespace parvane::testing
