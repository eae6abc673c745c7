#include "core/save/clip_saver.h"

#include "core/base/texts.h"
#include "core/base/views.h"
#include "core/edges/exact_clip.h"
#include "core/save/clip_plan.h"
#include "core/save/clip_writer.h"
#include "core/stream/cell_survey.h"
#include "core/stream/stream_range.h"
#include "core/title/title_range.h"

#include "platform/event_pump.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"

namespace parvane {

namespace {

// Gives the window back however a save ends: the caption and the workflow buttons always;
// once the save has started, the bar at 0 and, unless the clip was saved, the file name
// the next dialog starts with.
class SaveEnding {
public:
    SaveEnding(SaveView& view, ProgressBar& progress, std::string& dialogFileName)
        : view_(view), progress_(progress), dialogFileName_(dialogFileName) {
        view_.setWorkflowButtonsEnabled(false);
    }
    SaveEnding(const SaveEnding&) = delete;
    SaveEnding& operator=(const SaveEnding&) = delete;

    ~SaveEnding() {
        if (!captionRestored_)
            view_.setCaption(texts::kWindowTitle);
        if (started_)
            progress_.setValue(0);
        view_.setWorkflowButtonsEnabled(true);
        if (started_ && !saved_)
            dialogFileName_.clear();
    }

    void started() { started_ = true; }
    // The caption comes back before the box that says so; the buttons wait until after it.
    // The destination stays where the next dialog starts.
    void saved() {
        view_.setCaption(texts::kWindowTitle);
        captionRestored_ = true;
        saved_ = true;
    }

private:
    SaveView& view_;
    ProgressBar& progress_;
    std::string& dialogFileName_;
    bool started_ = false;
    bool captionRestored_ = false;
    bool saved_ = false;
};

} // namespace

ClipSaver::ClipSaver(ClipState& state, Parts parts, SavePacing pacing)
    : state_(state), parts_(parts), pacing_(pacing) {}

void ClipSaver::save() {
    run([this](const std::string& destination, std::vector<std::string>& notes) {
        return copyClip(destination, &ClipSaver::planProportional, notes);
    });
}

void ClipSaver::saveAtStreamTimes() {
    run([this](const std::string& destination, std::vector<std::string>& notes) {
        return copyClip(destination, &ClipSaver::planStreamTimes, notes);
    });
}

void ClipSaver::saveFrameExact() {
    run([this](const std::string& destination, std::vector<std::string>& notes) {
        return copyExact(destination, notes);
    });
}

void ClipSaver::run(const Copier& copy) {
    if (!state_.selectionValid() || state_.clipEnd == 0) {
        parts_.messages.inform(texts::kInvalidSelection);
        return;
    }

    // Never leaves the workflow buttons switched off, whatever fails from here on.
    SaveEnding ending(parts_.view, parts_.progress, state_.dialogFileName);
    parts_.player.haltBeforeSaving();
    parts_.view.setCaption(texts::kSavingCaption);
    ending.started();

    const auto destination = chooseDestination();
    std::vector<std::string> notes;
    if (!destination)
        return;
    try {
        if (!mayWrite(*destination) || !copy(*destination, notes))
            return;
    } catch (const std::exception& error) {
        parts_.messages.inform(texts::kClipNotSaved + std::string(error.what()));
        return;
    }
    ending.saved();
    std::string saved = texts::kClipSaved;
    for (const std::string& note : notes)
        saved += "\n" + note;
    parts_.messages.inform(saved);
}

std::optional<std::string> ClipSaver::chooseDestination() {
    try {
        const auto chosen = parts_.dialog.chooseSave(
            {texts::kSaveDialogTitle, texts::kSaveFilter, state_.dialogFileName});
        if (chosen && !chosen->empty()) {
            state_.dialogFileName = *chosen; // where the next dialog starts
            return chosen;
        }
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

bool ClipSaver::mayWrite(const std::string& destination) {
    const Title* title = state_.title ? &*state_.title : nullptr;
    switch (checkDestination(parts_.files, destination, state_.sourcePath, title)) {
    case Destination::New:
        return true;
    case Destination::Existing:
        return parts_.messages.ask(texts::kOverwriteQuestion);
    case Destination::Source:
        parts_.messages.inform(texts::kCannotOverwrite);
        return false;
    }
    return false;
}

ClipSaver::CopyPlan ClipSaver::planProportional(SourceFile& source) const {
    // A title's own length: a player may count on past a title's end.
    const double duration = state_.title ? state_.title->duration() : parts_.player.duration();
    const ClipPlan plan = planClip(source.size(), duration, state_.clipBegin, state_.clipEnd);
    return {plan.bytes(source.size()),
            plan.progressMaximum,
            [plan](std::int64_t copied) { return plan.progressAfter(copied); },
            {}};
}

ClipSaver::CopyPlan ClipSaver::planStreamTimes(SourceFile& source) const {
    // A plain file whose clocks start again is cut as the title of its cells.
    const std::optional<Title> title = titleToCut(state_.title ? &*state_.title : nullptr, source,
                                                  parts_.navPacks, state_.sourcePath);
    if (title) {
        const TitleRange found = TitleRangeFinder(*title, source, parts_.navPacks)
                                     .find(state_.beginSeconds, state_.endSeconds);
        return {found.range, found.range.length, [](std::int64_t copied) { return copied; },
                found.notes};
    }
    StreamRangeFinder finder(source, parts_.navPacks);
    const ByteRange range = finder.find(state_.beginSeconds, state_.endSeconds);
    return {range, range.length, [](std::int64_t copied) { return copied; },
            finder.notesFor(state_.endSeconds)};
}

bool ClipSaver::copyClip(const std::string& destination, Planner planner,
                         std::vector<std::string>& notes) {
    CopyPlan plan;
    const auto planRange = [&](SourceFile& source) {
        plan = (this->*planner)(source);
        notes = plan.notes;
        return plan.range;
    };
    const auto startProgress = [&](const ByteRange&) -> CopyProgress {
        parts_.progress.setMaximum(plan.progressMaximum);
        parts_.progress.setValue(0);
        using Clock = std::chrono::steady_clock;
        return [this, &plan, lastPass = Clock::now()](std::int64_t onDisk) mutable {
            const auto now = Clock::now();
            const bool whole = onDisk == plan.range.length;
            if (now - lastPass < pacing_.eventInterval && !whole)
                return true;
            lastPass = now;
            // Full once the whole clip is on disk, wherever the steps' count left it.
            parts_.progress.setValue(whole ? plan.progressMaximum : plan.progressAfter(onDisk));
            return parts_.events.processPendingEvents();
        };
    };
    return writeClip(parts_.files, state_.sourcePath, destination, planRange, startProgress,
                     pacing_.blocks, state_.title ? &*state_.title : nullptr);
}

bool ClipSaver::copyExact(const std::string& destination, std::vector<std::string>& notes) {
    if (!parts_.codec)
        throw SaveError("frame-exact clips cannot be made here");
    const auto plan = [this](SourceFile& source) {
        const std::optional<Title> title = titleToCut(state_.title ? &*state_.title : nullptr,
                                                      source, parts_.navPacks, state_.sourcePath);
        return ExactClipPlanner(title ? &*title : nullptr, source, parts_.navPacks, *parts_.codec)
            .plan(state_.beginSeconds, state_.endSeconds);
    };
    const auto startProgress = [this](const ByteRange& range) -> CopyProgress {
        parts_.progress.setMaximum(range.length);
        parts_.progress.setValue(0);
        using Clock = std::chrono::steady_clock;
        return [this, length = range.length, lastPass = Clock::now()](std::int64_t onDisk) mutable {
            const auto now = Clock::now();
            if (now - lastPass < pacing_.eventInterval && onDisk != length)
                return true;
            lastPass = now;
            parts_.progress.setValue(onDisk);
            return parts_.events.processPendingEvents();
        };
    };
    return writeExactClip(parts_.files, state_.sourcePath, destination, plan, startProgress, notes,
                          pacing_.blocks, state_.title ? &*state_.title : nullptr);
}

} // namespace parvane
