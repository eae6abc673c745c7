#include "clip_saver.h"

#include "clip_plan.h"
#include "numbers.h"
#include "stream_range.h"
#include "texts.h"
#include "title_range.h"
#include "views.h"

#include "platform/event_pump.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"

namespace parvane {

namespace {

// The program is ending while the copy runs: stop quietly, leaving nothing behind.
struct SaveInterrupted {};

} // namespace

ClipSaver::ClipSaver(ClipState& state, Parts parts, SavePacing pacing)
    : state_(state), parts_(parts), pacing_(pacing) {}

void ClipSaver::save() {
    run(&ClipSaver::planProportional);
}

void ClipSaver::saveAtStreamTimes() {
    run(&ClipSaver::planStreamTimes);
}

void ClipSaver::run(Planner plan) {
    if (!state_.selectionValid() || state_.clipEnd == 0) {
        parts_.messages.inform(texts::kInvalidSelection);
        return;
    }

    parts_.view.setWorkflowButtonsEnabled(false);
    try {
        parts_.player.haltBeforeSaving();
        parts_.view.setCaption(texts::kSavingCaption);
    } catch (...) {
        // Never leave the workflow buttons switched off behind a failure.
        parts_.view.setCaption(texts::kWindowTitle);
        parts_.view.setWorkflowButtonsEnabled(true);
        throw;
    }

    const auto destination = chooseDestination();
    if (!destination || !mayWrite(*destination))
        return;

    try {
        copyClip(*destination, plan);
    } catch (const SaveInterrupted&) {
        finish(std::nullopt);
        return;
    } catch (const OverflowError&) {
        finish("the marked stretch is too large");
        return;
    } catch (const std::exception& error) {
        finish(error.what());
        return;
    }
    complete();
}

std::optional<std::string> ClipSaver::chooseDestination() {
    std::string destination;
    try {
        const auto chosen = parts_.dialog.chooseSave(
            {texts::kSaveDialogTitle, texts::kSaveFilter, state_.dialogFileName});
        if (chosen) {
            destination = *chosen;
            state_.dialogFileName = destination; // where the next dialog starts
        }
    } catch (const std::exception&) {
        destination.clear();
    }
    if (destination.empty()) {
        finish(std::nullopt);
        return std::nullopt;
    }
    // By text and by identity, so no other form of the source's path can replace it.
    if (isSource(destination)) {
        parts_.messages.inform(texts::kCannotOverwrite);
        finish(std::nullopt);
        return std::nullopt;
    }
    return destination;
}

bool ClipSaver::isSource(const std::string& destination) const {
    if (destination == state_.sourcePath || parts_.files.sameFile(destination, state_.sourcePath))
        return true;
    if (state_.title)
        for (const Extent& extent : state_.title->extents)
            if (destination == extent.path || parts_.files.sameFile(destination, extent.path))
                return true;
    return false;
}

bool ClipSaver::mayWrite(const std::string& destination) {
    const PathStatus status = parts_.files.inspect(destination);
    switch (status.kind) {
    case PathStatus::Kind::Absent:
        return true;
    case PathStatus::Kind::File:
        if (parts_.messages.ask(texts::kOverwriteQuestion))
            return true;
        finish(std::nullopt);
        return false;
    case PathStatus::Kind::NotAFile:
        finish("the destination is not a regular file");
        return false;
    case PathStatus::Kind::Unknowable:
        finish(status.reason);
        return false;
    }
    return false;
}

ClipSaver::CopyPlan ClipSaver::planProportional(SourceFile& source) const {
    // A title's own length: a player may count on past a title's end.
    const double duration = state_.title ? state_.title->duration() : parts_.player.duration();
    const ClipPlan plan = planClip(source.size(), duration, state_.clipBegin, state_.clipEnd);
    return {plan.bytes(source.size()), plan.progressMaximum,
            [plan](std::int64_t copied) { return plan.progressAfter(copied); }};
}

ClipSaver::CopyPlan ClipSaver::planStreamTimes(SourceFile& source) const {
    ByteRange range;
    if (state_.title) {
        range = TitleRangeFinder(*state_.title, source, parts_.navPacks)
                    .find(state_.clipBegin, state_.clipEnd)
                    .range;
    } else {
        StreamRangeFinder finder(source, parts_.navPacks);
        range = finder.find(state_.clipBegin, state_.clipEnd);
    }
    return {range, range.length, [](std::int64_t copied) { return copied; }};
}

void ClipSaver::copyClip(const std::string& destination, Planner planner) {
    auto source = state_.title ? parts_.files.openTitle(*state_.title)
                               : parts_.files.openSource(state_.sourcePath);
    const CopyPlan plan = (this->*planner)(*source);
    auto clip = parts_.files.createClip(destination);
    parts_.progress.setMaximum(plan.progressMaximum);
    parts_.progress.setValue(0);

    using Clock = std::chrono::steady_clock;
    auto lastPass = Clock::now();
    const auto showProgress = [&](std::int64_t copied) {
        const auto now = Clock::now();
        if (now - lastPass < pacing_.eventInterval && copied < plan.range.length)
            return true;
        lastPass = now;
        parts_.progress.setValue(plan.progressAfter(copied));
        return parts_.events.processPendingEvents();
    };
    if (!copyBytes(*source, *clip, plan.range, showProgress, pacing_.blocks))
        throw SaveInterrupted{};

    source.reset();
    clip->commit();
}

void ClipSaver::complete() {
    parts_.view.setCaption(texts::kWindowTitle);
    parts_.messages.inform(texts::kClipSaved);
    parts_.progress.setValue(0);
    parts_.view.setWorkflowButtonsEnabled(true);
    // The destination stays where the next dialog starts.
}

void ClipSaver::finish(const std::optional<std::string>& failure) {
    if (failure)
        parts_.messages.inform(texts::kClipNotSaved + *failure);
    parts_.view.setCaption(texts::kWindowTitle);
    parts_.progress.setValue(0);
    parts_.view.setWorkflowButtonsEnabled(true);
    state_.dialogFileName.clear();
}

} // namespace parvane
