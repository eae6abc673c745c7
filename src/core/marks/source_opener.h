#pragma once

#include "core/base/title.h"
#include "core/marks/clip_state.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace parvane {

class DiscReader;
class FileDialog;
class MediaPlayer;
class Readouts;

// Choosing a source, a file or a DVD, and playing it, and the once-a-second playing time.
class SourceOpener {
public:
    SourceOpener(ClipState& state, MediaPlayer& player, FileDialog& dialog, const DiscReader& discs,
                 Readouts& readouts, std::function<void(bool)> switchPreviewWatch);

    // Any failure from the dialog on ends the open silently: the player's own area
    // tells the user why a file cannot be played.
    void open();
    // The same open with `path` in place of the dialog's choice: a file named on the
    // command line or dropped on the window.
    void open(const std::string& path);
    // Plays another title of the open disc from its start; the source stays the same.
    void openTitle(std::size_t index);
    // Plays the playing title's angle `angle` (from 1) from where it is now.
    void openAngle(int angle);
    void showPlayingTime();

    // The open disc's titles; empty while the source is a plain file.
    const std::vector<Title>& titles() const;
    // Which of them plays; nothing while the source is a plain file.
    std::optional<std::size_t> playingTitle() const { return playingTitle_; }
    // The angle of it that plays, from 1.
    int playingAngle() const { return state_.title ? state_.title->angle : 1; }

private:
    void playChosenFile(const std::string& path);
    // What every open ends with once the player took the new media.
    void startPlaying();

    ClipState& state_;
    MediaPlayer& player_;
    FileDialog& dialog_;
    const DiscReader& discs_;
    Readouts& readouts_;
    std::function<void(bool)> switchPreviewWatch_;
    std::optional<Disc> disc_;
    std::optional<std::size_t> playingTitle_;
};

} // namespace parvane
