#include "core/marks/source_opener.h"

#include "core/base/numbers.h"
#include "core/base/texts.h"
#include "core/base/time_text.h"
#include "core/base/views.h"

#include "platform/disc_reader.h"
#include "platform/file_access.h"
#include "platform/file_dialog.h"
#include "platform/media_player.h"

#include <exception>

namespace parvane {

SourceOpener::SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog,
                           const DiscReader& discs, Readouts& readouts,
                           std::function<void(bool)> switchPreviewWatch)
    : state_(state), player_(player), dialog_(dialog), discs_(discs), readouts_(readouts),
      switchPreviewWatch_(std::move(switchPreviewWatch)) {}

void SourceOpener::open() {
    player_.endPlayback();
    try {
        const FileRequest request{
            "", texts::kOpenFilter, state_.dialogFileName, {texts::kDvdFilter}, true};
        if (const auto chosen = dialog_.chooseOpen(request))
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
    std::optional<Disc> disc;
    try {
        disc = discs_.read(path);
    } catch (const FileError& error) {
        // A disc that cannot be read is told where a file that cannot be played is.
        player_.showCannotPlay(error.what());
        throw;
    }
    if (disc && disc->startTitle >= disc->titles.size())
        disc->startTitle = 0;
    if (disc && !disc->titles.empty()) {
        player_.setTitle(disc->titles[disc->startTitle]);
        state_.title = disc->titles[disc->startTitle];
        playingTitle_ = disc->startTitle;
        if (disc->startSeconds > 0)
            player_.setPosition(disc->startSeconds);
        disc_ = std::move(disc);
    } else {
        player_.setMediaFileName(path);
        state_.title.reset();
        playingTitle_.reset();
        disc_.reset();
    }
    state_.sourcePath = path;
    state_.dialogFileName.clear();
    startPlaying();
}

void SourceOpener::openTitle(std::size_t index) {
    if (!disc_ || index >= disc_->titles.size())
        return;
    player_.endPlayback();
    player_.setTitle(disc_->titles[index]);
    state_.title = disc_->titles[index];
    playingTitle_ = index;
    startPlaying();
}

void SourceOpener::openAngle(int angle) {
    if (!disc_ || !playingTitle_ || !state_.title || angle == state_.title->angle)
        return;
    const Title& title = disc_->titles[*playingTitle_];
    if (angle < 1 || angle > title.angles)
        return;
    // The angles share one timeline, so the picture goes on where it was.
    const double position = player_.position();
    player_.endPlayback();
    state_.title = title.withAngle(angle);
    player_.setTitle(*state_.title);
    if (position > 0)
        player_.setPosition(position);
    startPlaying();
}

void SourceOpener::startPlaying() {
    // A preview of the previous media must not halt this one at the old end mark.
    switchPreviewWatch_(false);
    player_.play();
}

const std::vector<Title>& SourceOpener::titles() const {
    static const std::vector<Title> none;
    return disc_ ? disc_->titles : none;
}

void SourceOpener::showPlayingTime() {
    if (player_.position() > 0.0) {
        const double position = player_.position();
        readouts_.setPlayingTimeText(formatSeconds(roundToInt32(position)));
    }
}

} // namespace parvane
