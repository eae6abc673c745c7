#include "source_opener.h"

#include "numbers.h"
#include "texts.h"
#include "time_text.h"
#include "views.h"

#include "platform/file_dialog.h"
#include "platform/media_player.h"

#include <exception>

namespace parvane {

SourceOpener::SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog,
                           Readouts& readouts, std::function<void(bool)> switchPreviewWatch)
    : state_(state), player_(player), dialog_(dialog), readouts_(readouts),
      switchPreviewWatch_(std::move(switchPreviewWatch)) {}

void SourceOpener::open() {
    player_.endPlayback();
    try {
        if (const auto chosen = dialog_.chooseOpen({"", texts::kOpenFilter, state_.dialogFileName}))
            playChosenFile(*chosen);
    } catch (const std::exception&) {
        // Silent by design: the steps already done stay done.
    }
}

void SourceOpener::open(const std::string& path) {
    player_.endPlayback();
    try {
        playChosenFile(path); // as if the dialog had returned it
    } catch (const std::exception&) {
        // Silent, as the dialog's open.
    }
}

void SourceOpener::playChosenFile(const std::string& path) {
    // A name the player refuses is where the next dialog starts.
    state_.dialogFileName = path;
    player_.setMediaFileName(path);
    // A preview of the previous file must not halt this one at the old end mark.
    switchPreviewWatch_(false);
    state_.sourcePath = path;
    state_.dialogFileName.clear();
    player_.play();
}

void SourceOpener::showPlayingTime() {
    if (player_.position() > 0.0) {
        const double position = player_.position();
        readouts_.setPlayingTimeText(formatSeconds(roundToInt32(position)));
    }
}

} // namespace parvane
