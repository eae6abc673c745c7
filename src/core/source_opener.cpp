#include "source_opener.h"

#include "numbers.h"
#include "texts.h"
#include "time_text.h"
#include "views.h"

#include "platform/file_dialog.h"
#include "platform/media_player.h"
#include "platform/timer.h"

#include <exception>

namespace parvane {

SourceOpener::SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog,
                           Readouts& readouts, Timer& previewWatch)
    : state_(state), player_(player), dialog_(dialog), readouts_(readouts),
      previewWatch_(previewWatch) {}

void SourceOpener::open() {
    player_.endPlayback();
    dialog_.setFilter(texts::kOpenFilter);
    try {
        if (dialog_.showOpen())
            playChosenFile();
    } catch (const std::exception&) {
        // Silent by design: the steps already done stay done.
    }
}

void SourceOpener::open(const std::string& path) {
    player_.endPlayback();
    dialog_.setFilter(texts::kOpenFilter);
    try {
        // As if the dialog had returned it, so a refused name stays in the dialog too.
        dialog_.setFileName(path);
        playChosenFile();
    } catch (const std::exception&) {
        // Silent, as the dialog's open.
    }
}

void SourceOpener::playChosenFile() {
    player_.setMediaFileName(dialog_.fileName());
    // A preview of the previous file must not halt this one at the old end mark.
    previewWatch_.stop();
    state_.sourcePath = dialog_.fileName();
    dialog_.setFileName("");
    player_.play();
}

void SourceOpener::showPlayingTime() {
    if (player_.position() > 0.0) {
        const double position = player_.position();
        readouts_.setPlayingTimeText(formatSeconds(roundToInt32(position)));
    }
}

} // namespace parvane
