#include "fakes.h"

#include <stdexcept>

namespace parvane::testing {

void FakePlayer::setMediaFileName(const std::string& path) {
    calls.push_back("setMediaFileName");
    if (refuseFiles)
        throw std::runtime_error("Cannot play this file");
    mediaFileName = path;
}

void FakePlayer::setPosition(double seconds) {
    calls.push_back("setPosition");
    currentPosition = seconds;
}

void FakePlayer::stepFrame(int direction) {
    calls.push_back(direction > 0 ? "stepFrame+1" : "stepFrame-1");
}

void FakePlayer::showMarks(std::optional<double> begin, std::optional<double> end) {
    shownBegin = begin;
    shownEnd = end;
}

bool FakeDialog::answer(const std::string& kind) {
    shown.push_back(kind);
    namesAtShow.push_back(name);
    if (whileShown)
        whileShown();
    if (answers.empty())
        return false;
    const auto next = answers.front();
    answers.pop_front();
    if (!next)
        return false;
    name = *next;
    return true;
}

void FakeMessages::inform(const std::string& text) {
    shown.push_back(text);
    if (whileShown)
        whileShown(text);
}

bool FakeMessages::ask(const std::string& text) {
    shown.push_back(text);
    if (whileShown)
        whileShown(text);
    if (answers.empty())
        return false;
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
}

void FakeProgress::setValue(std::int64_t v) {
    current = v;
    values.push_back(v);
}

bool FakePump::processPendingEvents() {
    ++passes;
    if (onPass)
        onPass(passes);
    return !(endProgramAtPass && passes >= *endProgramAtPass);
}

void FakeSaveView::setWorkflowButtonsEnabled(bool enabled) {
    buttonsEnabled = enabled;
    log.push_back(enabled ? "enable" : "disable");
}

void FakeSaveView::setCaption(const std::string& text) {
    caption = text;
    log.push_back("caption " + text);
}

void FakeLauncher::start(const std::string& commandLine, ShowStyle style) {
    if (fail)
        throw std::runtime_error("cannot start " + commandLine);
    started.emplace_back(commandLine, style);
}

namespace {

class FailingClip : public ClipFile {
public:
    FailingClip(std::unique_ptr<ClipFile> real, std::int64_t failFrom)
        : real_(std::move(real)), failFrom_(failFrom) {}

    void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) override {
        if (offset >= failFrom_)
            throw FileError("Input/output error");
        real_->writeAt(offset, data, count);
    }
    void commit() override { real_->commit(); }

private:
    std::unique_ptr<ClipFile> real_;
    std::int64_t failFrom_;
};

} // namespace

std::unique_ptr<SourceFile> WatchedReadsFileSystem::openSource(const std::string& path) {
    class WatchedSource : public SourceFile {
    public:
        WatchedSource(std::unique_ptr<SourceFile> real, std::function<void(int)>& onRead)
            : real_(std::move(real)), onRead_(onRead) {}
        std::int64_t size() const override { return real_->size(); }
        std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
            onRead_(++reads_);
            return real_->readAt(offset, buffer, count);
        }

    private:
        std::unique_ptr<SourceFile> real_;
        std::function<void(int)>& onRead_;
        int reads_ = 0;
    };
    return std::make_unique<WatchedSource>(real_.openSource(path), onRead_);
}

std::unique_ptr<ClipFile> FailingWritesFileSystem::createClip(const std::string& destination) {
    return std::make_unique<FailingClip>(real_.createClip(destination), failFrom_);
}

} // namespace parvane::testing
