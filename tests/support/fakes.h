#pragma once

// Fakes of the platform interfaces, shared by the core and the window tests.

#include "core/views.h"
#include "platform/event_pump.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/program_launcher.h"
#include "platform/progress_bar.h"
#include "platform/timer.h"
#include "platform/web_pane.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace parvane::testing {

// Records every call as a word in `calls`, so tests can check order.
class FakePlayer : public MediaPlayer {
public:
    void endPlayback() override { calls.push_back("endPlayback"); }
    void play() override { calls.push_back("play"); }
    void haltAtPreviewEnd() override { calls.push_back("haltAtPreviewEnd"); }
    void haltBeforeSaving() override { calls.push_back("haltBeforeSaving"); }
    void setMediaFileName(const std::string& path) override;
    double position() const override { return currentPosition; }
    void setPosition(double seconds) override;
    double duration() const override { return mediaDuration; }
    void togglePause() override { calls.push_back("togglePause"); }
    void stepFrame(int direction) override;
    void showMarks(std::optional<double> begin, std::optional<double> end) override;

    std::vector<std::string> calls;
    double currentPosition = 0.0;
    double mediaDuration = 0.0;
    std::string mediaFileName;
    bool refuseFiles = false;
    std::optional<double> shownBegin, shownEnd; // the marks on the position display
};

// Answers each showing from a queue of scripted answers: a file name, or nullopt to cancel.
class FakeDialog : public FileDialog {
public:
    void setFilter(const std::string& value) override { filter = value; }
    void setTitle(const std::string& value) override { title = value; }
    std::string fileName() const override { return name; }
    void setFileName(const std::string& value) override { name = value; }
    bool showOpen() override { return answer("open"); }
    bool showSave() override { return answer("save"); }

    std::string filter;
    std::string title;
    std::string name;
    std::deque<std::optional<std::string>> answers;
    std::vector<std::string> shown;       // "open" or "save", per showing
    std::vector<std::string> namesAtShow; // the file name each showing started with
    std::function<void()> whileShown;     // runs inside the modal dialog

private:
    bool answer(const std::string& kind);
};

class FakeMessages : public MessageBox {
public:
    void inform(const std::string& text) override;
    bool ask(const std::string& text) override;

    std::vector<std::string> shown;
    std::deque<bool> answers; // for ask(); No when empty
    std::function<void(const std::string&)> whileShown;
};

class FakeProgress : public ProgressBar {
public:
    void setMaximum(std::int64_t value) override { maximum = value; }
    void setValue(std::int64_t v) override;
    std::int64_t value() const override { return current; }

    std::int64_t maximum = 100;
    std::int64_t current = 0;
    std::vector<std::int64_t> values;
};

class FakePump : public EventPump {
public:
    bool processPendingEvents() override;

    int passes = 0;
    std::function<void(int)> onPass; // called with the pass number, from 1
    std::optional<int> endProgramAtPass;
};

class FakeTimer : public Timer {
public:
    void start() override { active = true; }
    void stop() override { active = false; }
    bool isActive() const override { return active; }

    bool active = false;
};

class FakeReadouts : public Readouts {
public:
    void setBeginText(const std::string& t) override { begin = t; }
    void setEndText(const std::string& t) override { end = t; }
    void setLengthText(const std::string& t) override { length = t; }
    void setPlayingTimeText(const std::string& t) override { playingTime = t; }

    std::optional<std::string> begin, end, length, playingTime;
};

// Keeps the window's state as the save sees it, with a log of changes in order.
class FakeSaveView : public SaveView {
public:
    void setWorkflowButtonsEnabled(bool enabled) override;
    void setCaption(const std::string& text) override;

    bool buttonsEnabled = true;
    std::string caption = "Parvane 4.0";
    std::vector<std::string> log;
};

class FakeWebPane : public WebPane {
public:
    void navigate(const std::string& address) override { addresses.push_back(address); }
    std::vector<std::string> addresses;
};

class FakeLauncher : public ProgramLauncher {
public:
    void start(const std::string& commandLine, ShowStyle style) override;

    std::vector<std::pair<std::string, ShowStyle>> started;
    bool fail = false;
};

// Passes every call to a real file system; subclasses change what they test.
class DelegatingFileSystem : public FileSystem {
public:
    explicit DelegatingFileSystem(FileSystem& real) : real_(real) {}

    PathStatus inspect(const std::string& path) const override { return real_.inspect(path); }
    bool sameFile(const std::string& a, const std::string& b) const override {
        return real_.sameFile(a, b);
    }
    std::unique_ptr<SourceFile> openSource(const std::string& path) override {
        return real_.openSource(path);
    }
    std::unique_ptr<ClipFile> createClip(const std::string& destination) override {
        return real_.createClip(destination);
    }

protected:
    FileSystem& real_;
};

// Fails the write that starts at or after a byte offset.
class FailingWritesFileSystem : public DelegatingFileSystem {
public:
    FailingWritesFileSystem(FileSystem& real, std::int64_t failFromOffset)
        : DelegatingFileSystem(real), failFrom_(failFromOffset) {}

    std::unique_ptr<ClipFile> createClip(const std::string& destination) override;

private:
    std::int64_t failFrom_;
};

// Calls `onRead` with the number of each source read, from 1, before making it, so a test
// can act at a known point of a save.
class WatchedReadsFileSystem : public DelegatingFileSystem {
public:
    WatchedReadsFileSystem(FileSystem& real, std::function<void(int)> onRead)
        : DelegatingFileSystem(real), onRead_(std::move(onRead)) {}

    std::unique_ptr<SourceFile> openSource(const std::string& path) override;

private:
    std::function<void(int)> onRead_;
};

} // namespace parvane::testing
