#include "clip_saver.h"

#include "clip_plan.h"
#include "numbers.h"
#include "texts.h"
#include "views.h"

#include "platform/event_pump.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/media_player.h"
#include "platform/message_box.h"
#include "platform/progress_bar.h"

#include <vector>

namespace parvane {

namespace {

// The program is ending while the copy runs: stop quietly, leaving nothing behind.
struct SaveInterrupted {};

} // namespace

ClipSaver::ClipSaver(ClipState& state, Parts parts) : state_(state), parts_(parts) {}

void ClipSaver::save() {
    if (!state_.selectionValid() || state_.ClipEnd == 0) {
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
    if (!destination) {
        finish(std::nullopt);
        return;
    }
    if (parts_.files.exists(*destination) && !parts_.messages.ask(texts::kOverwriteQuestion)) {
        finish(std::nullopt);
        return;
    }

    try {
        copyClip(*destination);
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
        parts_.dialog.setFilter(texts::kSaveFilter);
        parts_.dialog.setTitle(texts::kSaveDialogTitle);
        if (!parts_.dialog.showSave())
            return std::nullopt;
        destination = parts_.dialog.fileName();
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (destination.empty())
        return std::nullopt;
    // By text and by identity, so no other form of the source's path can replace it.
    if (destination == state_.SourcePath || parts_.files.sameFile(destination, state_.SourcePath)) {
        parts_.messages.inform(texts::kCannotOverwrite);
        return std::nullopt;
    }
    return destination;
}

void ClipSaver::copyClip(const std::string& destination) {
    auto source = parts_.files.openSource(state_.SourcePath);
    auto clip = parts_.files.createClip(destination);
    const std::int64_t SourceLength = source->size();
    const ClipPlan plan =
        planClip(SourceLength, parts_.player.duration(), state_.ClipBegin, state_.ClipEnd);
    parts_.progress.setMaximum(plan.progressMaximum);
    parts_.progress.setValue(0);

    std::vector<std::byte> CopyBuffer(kCopyBufferSize);
    std::int64_t written = 0;
    for (std::int64_t ReadPos = plan.FirstPos; ReadPos <= plan.LastPos;
         ReadPos = checkedAdd(ReadPos, kCopyStep)) {
        const std::size_t got = source->readAt(ReadPos - 1, CopyBuffer.data(), CopyBuffer.size());
        if (got > 0) {
            clip->writeAt(ReadPos - plan.FirstPos, CopyBuffer.data(), got);
            written = ReadPos - plan.FirstPos + static_cast<std::int64_t>(got);
        }
        parts_.progress.setValue(checkedAdd(parts_.progress.value(), kCopyStep));
        if (!parts_.events.processPendingEvents())
            throw SaveInterrupted{};
        if (got < CopyBuffer.size())
            break; // the source ends here; later steps would find nothing to copy
    }
    if (written == 0)
        throw SaveError("the marked stretch lies past the end of the source file");

    source.reset();
    clip->commit();
}

void ClipSaver::complete() {
    parts_.view.setCaption(texts::kWindowTitle);
    parts_.messages.inform(texts::kClipSaved);
    parts_.progress.setValue(0);
    parts_.view.setWorkflowButtonsEnabled(true);
    // The dialog keeps the destination, so the next save starts with it.
}

void ClipSaver::finish(const std::optional<std::string>& failure) {
    if (failure)
        parts_.messages.inform(texts::kClipNotSaved + *failure);
    parts_.view.setCaption(texts::kWindowTitle);
    parts_.progress.setValue(0);
    parts_.view.setWorkflowButtonsEnabled(true);
    parts_.dialog.setFileName("");
}

} // namespace parvane
