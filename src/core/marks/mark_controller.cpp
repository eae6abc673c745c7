#include "core/marks/mark_controller.h"

#include "core/base/numbers.h"
#include "core/base/texts.h"
#include "core/base/time_text.h"
#include "core/base/views.h"

#include "platform/media_player.h"
#include "platform/message_box.h"

namespace parvane {

MarkController::MarkController(ClipState& state, MediaPlayer& player, Readouts& readouts,
                               MessageBox& messages, std::function<void(bool)> switchPreviewWatch)
    : state_(state), player_(player), readouts_(readouts), messages_(messages),
      switchPreviewWatch_(std::move(switchPreviewWatch)) {}

void MarkController::setBegin() {
    setBeginAt(player_.position());
}

void MarkController::setEnd() {
    setEndAt(player_.position());
}

void MarkController::setBeginAt(double seconds) {
    state_.clipBegin = roundToInt32(seconds);
    state_.beginSeconds = seconds;
    readouts_.setBeginText(formatSeconds(state_.clipBegin));
    showLength();
}

void MarkController::setEndAt(double seconds) {
    state_.clipEnd = roundToInt32(seconds);
    state_.endSeconds = seconds;
    readouts_.setEndText(formatSeconds(state_.clipEnd));
    showLength();
}

void MarkController::showLength() {
    if (state_.selectionValid()) {
        const auto length = checkedSub(static_cast<std::int64_t>(state_.clipEnd), state_.clipBegin);
        if (length > INT32_MAX)
            throw OverflowError();
        readouts_.setLengthText(formatSeconds(static_cast<std::int32_t>(length)));
    } else {
        readouts_.setLengthText(texts::kNoLength);
    }
}

void MarkController::preview() {
    if (!state_.selectionValid()) {
        messages_.inform(texts::kInvalidSelection);
        return;
    }
    player_.setPosition(static_cast<double>(state_.clipBegin));
    player_.play();
    switchPreviewWatch_(true);
}

void MarkController::watchTick() {
    // The end mark is read afresh each tick, so moving it during a preview moves the stop.
    if (player_.position() > static_cast<double>(state_.clipEnd)) {
        switchPreviewWatch_(false);
        player_.haltAtPreviewEnd();
    }
}

} // namespace parvane
